// Times of the records: stored as UTC milliseconds since the epoch (sortable, the same on every
// station), shown and exported as ISO 8601 in UTC.
#pragma once

#include <cstdint>
#include <string>

// Now, UTC, ms since the epoch.
std::int64_t RecordNowMs();
// "2026-11-01T09:15:02.123Z".
std::string FormatIsoTime(std::int64_t ms);
// "2026-11-01", "2026-11-01T09:15", "2026-11-01 09:15:02", "...:02.5", each optionally followed
// by "Z" or an offset such as "+02:00"; without one the time is UTC, as the records show it.
// False for anything else (and for dates that do not exist, such as 2026-02-30).
bool ParseIsoTime(const std::string& text, std::int64_t& ms);
