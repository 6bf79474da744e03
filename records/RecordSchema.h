// The records' tables, the same on SQLite and PostgreSQL, and how a row maps to their columns.
// A database carries its schema version (SQLite's user_version, a schema_version table on
// PostgreSQL); opening one applies the steps it lacks, in one transaction, and refuses one that
// is newer than this program, leaving it untouched. Steps are only ever appended: step N takes
// a database from version N to N + 1, and a new database is made by running them all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/UnitRecord.h"

namespace record_schema {

inline constexpr int kVersion = 3;

// Version 1, the first shape: no bootware nor mode before and after, no revisions for
// forwarding. Kept whole (not only as a step) so that a test can make a version-1 database.
extern const char* const kSqliteV1;
extern const char* const kPostgresV1;
// Step v -> v + 1 is kSqliteSteps[v]; the same for PostgreSQL.
extern const std::vector<const char*> kSqliteSteps;
extern const std::vector<const char*> kPostgresSteps;

// The row's columns in the current version, in the order of RowFields; the id comes first.
extern const std::vector<std::string> kColumns;
// "a, b, c" of kColumns.
std::string ColumnList();

// A row as column texts (null for an end time that is not known): both client libraries bind
// text, and each column's type converts it.
std::vector<std::optional<std::string>> RowFields(const UnitRecord& row);
// Back from the texts of kColumns, as a query returns them.
UnitRecord RowFromFields(const std::vector<std::optional<std::string>>& fields);

}  // namespace record_schema
