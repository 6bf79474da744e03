#include "records/RecordSchema.h"

#include <charconv>
#include <cstdlib>

namespace record_schema {

const char* const kSqliteV1 = R"sql(
CREATE TABLE records (
    id TEXT PRIMARY KEY,
    started_ms INTEGER NOT NULL,
    ended_ms INTEGER,
    station TEXT NOT NULL DEFAULT '',
    port TEXT NOT NULL DEFAULT '',
    serial TEXT NOT NULL DEFAULT '',
    signature TEXT NOT NULL DEFAULT '',
    hardware TEXT NOT NULL DEFAULT '',
    firmware_before TEXT NOT NULL DEFAULT '',
    firmware_after TEXT NOT NULL DEFAULT '',
    job TEXT NOT NULL DEFAULT '',
    file_name TEXT NOT NULL DEFAULT '',
    file_sha256 TEXT NOT NULL DEFAULT '',
    result TEXT NOT NULL DEFAULT '',
    result_text TEXT NOT NULL DEFAULT '',
    seconds REAL NOT NULL DEFAULT 0,
    verdict TEXT NOT NULL DEFAULT 'started'
);
CREATE INDEX records_serial ON records (serial);
PRAGMA user_version = 1;
)sql";

// `revision` counts the writes of a row and `forwarded` the last one the shared server has
// acknowledged: the forwarder sends the rows where they differ. Rows of a version-1 file have
// never been forwarded.
const char* const kSqliteV1ToV2 = R"sql(
ALTER TABLE records ADD COLUMN bootware_before TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN bootware_after TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN mode_before TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN mode_after TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN revision INTEGER NOT NULL DEFAULT 1;
ALTER TABLE records ADD COLUMN forwarded INTEGER NOT NULL DEFAULT 0;
CREATE INDEX records_started ON records (started_ms);
CREATE INDEX records_open ON records (station) WHERE verdict = 'started';
CREATE INDEX records_pending ON records (started_ms) WHERE forwarded < revision;
PRAGMA user_version = 2;
)sql";

const char* const kPostgresV1 = R"sql(
CREATE TABLE schema_version (version INTEGER NOT NULL);
INSERT INTO schema_version VALUES (1);
CREATE TABLE records (
    id TEXT PRIMARY KEY,
    started_ms BIGINT NOT NULL,
    ended_ms BIGINT,
    station TEXT NOT NULL DEFAULT '',
    port TEXT NOT NULL DEFAULT '',
    serial TEXT NOT NULL DEFAULT '',
    signature TEXT NOT NULL DEFAULT '',
    hardware TEXT NOT NULL DEFAULT '',
    firmware_before TEXT NOT NULL DEFAULT '',
    firmware_after TEXT NOT NULL DEFAULT '',
    job TEXT NOT NULL DEFAULT '',
    file_name TEXT NOT NULL DEFAULT '',
    file_sha256 TEXT NOT NULL DEFAULT '',
    result TEXT NOT NULL DEFAULT '',
    result_text TEXT NOT NULL DEFAULT '',
    seconds DOUBLE PRECISION NOT NULL DEFAULT 0,
    verdict TEXT NOT NULL DEFAULT 'started'
);
CREATE INDEX records_serial ON records (serial);
)sql";

// The server keeps each row's revision so that a late copy never overwrites a newer one (two
// stations' forwarders, a resend after a lost acknowledgement).
const char* const kPostgresV1ToV2 = R"sql(
ALTER TABLE records ADD COLUMN bootware_before TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN bootware_after TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN mode_before TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN mode_after TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN revision INTEGER NOT NULL DEFAULT 1;
CREATE INDEX records_started ON records (started_ms);
UPDATE schema_version SET version = 2;
)sql";

// The place a unit was plugged in, by its slot name; a note on how its job went ("from boot
// loader"); and each failed unit's line trace, compressed, kept in the local file only (a
// trace is for whoever studies that station's failure, and large).
const char* const kSqliteV2ToV3 = R"sql(
ALTER TABLE records ADD COLUMN slot TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN note TEXT NOT NULL DEFAULT '';
CREATE TABLE traces (id TEXT PRIMARY KEY, gzip BLOB NOT NULL);
PRAGMA user_version = 3;
)sql";

const char* const kPostgresV2ToV3 = R"sql(
ALTER TABLE records ADD COLUMN slot TEXT NOT NULL DEFAULT '';
ALTER TABLE records ADD COLUMN note TEXT NOT NULL DEFAULT '';
UPDATE schema_version SET version = 3;
)sql";

const std::vector<const char*> kSqliteSteps = {kSqliteV1, kSqliteV1ToV2, kSqliteV2ToV3};
const std::vector<const char*> kPostgresSteps = {kPostgresV1, kPostgresV1ToV2, kPostgresV2ToV3};

const std::vector<std::string> kColumns = {"id",
                                           "started_ms",
                                           "ended_ms",
                                           "station",
                                           "port",
                                           "slot",
                                           "serial",
                                           "signature",
                                           "hardware",
                                           "firmware_before",
                                           "firmware_after",
                                           "bootware_before",
                                           "bootware_after",
                                           "mode_before",
                                           "mode_after",
                                           "job",
                                           "note",
                                           "file_name",
                                           "file_sha256",
                                           "result",
                                           "result_text",
                                           "seconds",
                                           "verdict"};

std::string ColumnList() {
    std::string list;
    for (const auto& c : kColumns)
        list.append(list.empty() ? "" : ", ").append(c);
    return list;
}

std::vector<std::optional<std::string>> RowFields(const UnitRecord& r) {
    // to_chars and from_chars, not printf: a host that sets a locale (Qt does) must not turn
    // the decimal point into a comma.
    char seconds[400];  // any double, fixed with three decimals
    const auto end =
        std::to_chars(seconds, seconds + sizeof seconds - 1, r.seconds, std::chars_format::fixed, 3)
            .ptr;
    *end = '\0';
    return {r.id,
            std::to_string(r.startedMs),
            r.endedMs ? std::optional<std::string>(std::to_string(r.endedMs)) : std::nullopt,
            r.station,
            r.port,
            r.slot,
            r.serial,
            r.signature,
            r.hardware,
            r.firmwareBefore,
            r.firmwareAfter,
            r.bootwareBefore,
            r.bootwareAfter,
            r.modeBefore,
            r.modeAfter,
            r.job,
            r.note,
            r.fileName,
            r.fileSha256,
            r.result,
            r.resultText,
            seconds,
            VerdictToken(r.verdict)};
}

UnitRecord RowFromFields(const std::vector<std::optional<std::string>>& f) {
    auto text = [&f](std::size_t i) { return i < f.size() && f[i] ? *f[i] : std::string(); };
    UnitRecord r;
    std::size_t i = 0;
    r.id = text(i++);
    r.startedMs = std::strtoll(text(i++).c_str(), nullptr, 10);
    r.endedMs = std::strtoll(text(i++).c_str(), nullptr, 10);
    for (std::string* s :
         {&r.station, &r.port, &r.slot, &r.serial, &r.signature, &r.hardware, &r.firmwareBefore,
          &r.firmwareAfter, &r.bootwareBefore, &r.bootwareAfter, &r.modeBefore, &r.modeAfter,
          &r.job, &r.note, &r.fileName, &r.fileSha256, &r.result, &r.resultText})
        *s = text(i++);
    const std::string seconds = text(i++);
    std::from_chars(seconds.data(), seconds.data() + seconds.size(), r.seconds);
    // A token this version does not know (a newer station's) reads as failed rather than
    // passed: "already passed" must never be claimed on a guess.
    if (!ParseVerdict(text(i++), r.verdict)) r.verdict = Verdict::Failed;
    return r;
}

}  // namespace record_schema
