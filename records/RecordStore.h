// Where the records of the units worked are kept. A station begins a row before its job touches
// a unit and completes it afterwards, each in a transaction of its own, so that whatever stops
// the station (a crash, kill -9, a pulled plug) leaves a row behind. Backends: SQLite (the
// default, one file per user) and PostgreSQL shared by several stations, reached through a
// local SQLite file and a forwarder so that a server that is down never holds up flashing.
// Nothing here throws: each operation returns whether it worked and, when not, a text for the
// user in `error` (connection texts in it are redacted: never a password). Listed rows export
// as CSV or JSON through records/RecordExport.h; a file's SHA-256 comes from FileDigest.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/UnitRecord.h"

// Which rows to list; an empty or unset field does not filter.
struct RecordFilter {
    std::string serial;
    std::int64_t sinceMs = 0;  // rows started at or after this time
    std::optional<Verdict> verdict;
    std::string result;  // the update's outcome token, e.g. "page-error"
};

// How forwarding to a shared server is going, for a live view. `enabled` is false for a store
// that keeps its rows only locally.
struct ForwardState {
    bool enabled = false;
    bool connected = false;    // the last attempt reached the server
    int pending = 0;           // rows written locally and not yet on the server
    std::string lastError;     // redacted; empty after a successful pass
    std::int64_t sinceMs = 0;  // UTC ms: when `connected` last changed (the store's start)
    std::string localFile;     // where the rows wait meanwhile
};

class RecordStore {
public:
    virtual ~RecordStore() = default;

    // Writes `row` as "started" and commits, before the job starts. Fills in what the caller
    // left empty: the id (a new UUID) and the start time (now).
    virtual bool Begin(UnitRecord& row, std::string& error) = 0;
    // Rewrites the begun row (matched by id) with its verdict, after-values, result and end
    // time (now when left 0), and seconds (from the times when left 0); one transaction.
    virtual bool Complete(UnitRecord& row, std::string& error) = 0;
    // A station calls this when it starts: its rows that a previous run left "started" (the
    // run died) become "interrupted". `count` is how many.
    virtual bool MarkInterrupted(const std::string& station, int& count, std::string& error) = 0;
    // Has this unit already passed this job with this file content? Lets a station leave alone
    // a unit that is plugged in again; an empty serial number has never passed anything.
    virtual bool AlreadyPassed(const std::string& serial, const std::string& job,
                               const std::string& fileSha256, bool& passed, std::string& error) = 0;
    // Rows in the order they were started.
    virtual bool List(const RecordFilter& filter, std::vector<UnitRecord>& rows,
                      std::string& error) = 0;

    // A unit's line trace, kept with its row in the local store, compressed. A station writes
    // each unit's trace to TraceFile(id) as its job goes (so that a killed station's unit keeps
    // it) and hands it over with KeepTrace; files left by a killed station are taken in by
    // the next start's MarkInterrupted.
    virtual std::string TraceFile(const std::string& id) const = 0;
    // Stores the file's text as the trace of row `id` and removes the file.
    virtual bool KeepTrace(const std::string& id, std::string& error) = 0;
    // The trace of the row whose id is `id` or begins with it; `fullId` empty when none is
    // kept; an error for a prefix that several rows share.
    virtual bool Trace(const std::string& id, std::string& fullId, std::string& text,
                       std::string& error) = 0;

    // Where the rows go, for messages: a file path or a redacted connection.
    virtual std::string Describe() const = 0;
    virtual ForwardState Forwarding() const { return {}; }
    // Waits until every row written so far is on the shared server, at most `limit`: for a
    // station that is about to exit, and for measuring. True at once for a local store.
    virtual bool WaitForwarded(std::chrono::milliseconds /*limit*/) { return true; }
};

struct RecordStoreOptions {
    // The local SQLite file; "" is the default file (DefaultRecordsPath). With a PostgreSQL
    // server, rows are kept here until they have been forwarded.
    std::string localFile;
    // Forwarding retries after a failure, doubling from the first delay to the last.
    std::chrono::milliseconds retryFirst{500};
    std::chrono::milliseconds retryLast{30000};
};

// The one way to a store. `where` is "" (the default SQLite file), a file path, or a
// PostgreSQL connection: "postgresql://user@host/db" (or "postgres://"), a libpq keyword/value
// string ("host=db dbname=production user=station"), or "postgresql:" alone for libpq's own
// defaults (the PG* environment variables and ~/.pgpass). A file is created when missing. A server
// that cannot be reached now still gives a store: rows are kept locally and forwarded when it can
// be; one that holds a newer schema than this program knows is refused. Null with `error` on
// failure.
std::unique_ptr<RecordStore> OpenRecordStore(const std::string& where, std::string& error,
                                             const RecordStoreOptions& options = {});

// The store a listing reads, at the same places as OpenRecordStore, but it never creates or
// writes anything: a missing file is an error ("There are no records at PATH"), a file on a
// read-only mount or another user's readable file is read as it is, and a server is read
// directly (no local file, no forwarder). Its writes fail. Null with `error` on failure.
std::unique_ptr<RecordStore> OpenRecordReader(const std::string& where, std::string& error);

// True when `where` names a PostgreSQL server rather than a file: a postgresql:// or
// postgres:// URI, the bare scheme, or text that begins like a keyword/value string ("word=",
// after any spaces). A file whose name begins so is named with a folder: "./word=...".
bool IsPostgresLocation(const std::string& where);

// $XDG_DATA_HOME/korvanta-configurator/records.sqlite, or ~/.local/share/... when unset.
std::string DefaultRecordsPath();
