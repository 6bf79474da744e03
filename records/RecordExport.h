// Records as other programs read them: CSV for spreadsheets (RFC 4180: a header row, CRLF line
// ends, fields quoted where needed) and a JSON array for scripts. Times in ISO 8601 UTC.
#pragma once

#include <string>
#include <vector>

#include "records/UnitRecord.h"

std::string RecordsCsv(const std::vector<UnitRecord>& rows);
// Text that is not UTF-8 (an adapter's odd bytes) is replaced, never fails the export.
std::string RecordsJson(const std::vector<UnitRecord>& rows);
