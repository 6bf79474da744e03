// The records in an SQLite file: the default store of a station, and the local half of a shared
// one (rows wait here until the forwarder has put them on the server). WAL and full syncs, so a
// committed row survives a crash of the station or of the machine; a busy timeout, so several
// stations (or a `records` listing) may use one file at once. A station keeps the file's
// write-ahead log and its index beside it when it closes, so that a reader without the right to
// make files there (a read-only mount, another user's file) can still read it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/RunLock.h"
#include "records/RecordStore.h"

struct sqlite3;

// A row as the forwarder sends it: the server keeps the highest revision it was sent.
struct RevisedRow {
    UnitRecord row;
    long long revision = 0;
};

class SqliteRecordStore : public RecordStore {
public:
    // Opens or creates `path` and brings its schema up to date; refuses a newer schema without
    // writing a byte. Null with `error` for the user on failure.
    static std::unique_ptr<SqliteRecordStore> Open(const std::string& path, std::string& error);
    // Opens `path` to list it, never to write: it creates no file (neither the database nor its
    // log), migrates nothing and needs no right to write the file or its folder; an older
    // schema is read as it is. A missing file is an error ("There are no records at PATH").
    // Every write on such a store fails.
    static std::unique_ptr<SqliteRecordStore> OpenReader(const std::string& path,
                                                         std::string& error);
    ~SqliteRecordStore() override;
    SqliteRecordStore(const SqliteRecordStore&) = delete;
    SqliteRecordStore& operator=(const SqliteRecordStore&) = delete;

    bool Begin(UnitRecord& row, std::string& error) override;
    bool Complete(UnitRecord& row, std::string& error) override;
    // From this call on, the store counts as a running station's on this file (until it is
    // closed), and the rows are marked only when no other station runs on the file: a running
    // station's rows are begun, not left behind. A second call marks nothing.
    bool MarkInterrupted(const std::string& station, int& count, std::string& error) override;
    bool AlreadyPassed(const std::string& serial, const std::string& job,
                       const std::string& fileSha256, bool& passed, std::string& error) override;
    bool List(const RecordFilter& filter, std::vector<UnitRecord>& rows,
              std::string& error) override;
    std::string TraceFile(const std::string& id) const override;
    bool KeepTrace(const std::string& id, std::string& error) override;
    bool Trace(const std::string& id, std::string& fullId, std::string& text,
               std::string& error) override;
    std::string Describe() const override { return path_; }

    // For the forwarder: up to `limit` rows whose latest revision the server has not
    // acknowledged, oldest first; then their acknowledgement (a row written again meanwhile
    // stays pending).
    bool PendingRows(int limit, std::vector<RevisedRow>& rows, std::string& error);
    bool MarkForwarded(const std::vector<RevisedRow>& rows, std::string& error);
    // How many rows wait to be forwarded; -1 when the file cannot be read.
    int PendingCount();

private:
    // What a file without its log looked like when a reader opened it: anything that writes
    // to it meanwhile changes one of these.
    struct Stamp {
        bool logThere = false;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type written;
        bool operator==(const Stamp&) const = default;
    };

    SqliteRecordStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
    // The reader's connection: through SQLite's shared index where the log is there, else on
    // the file alone as it stands (see `stamp_`). Sets `columns_`.
    bool OpenForReading(std::string& error);
    bool ListOnce(const RecordFilter& filter, std::vector<UnitRecord>& rows, std::string& error);
    static Stamp StampOf(const std::string& path);
    // Reads the version, sets the journal and brings the schema up to date.
    bool Prepare(std::string& error);
    bool Migrate(std::string& error);
    // The trace files a killed station left: kept with their rows, or removed when no row
    // was begun for them (the unit was still being searched).
    void TakeInLeftTraces();
    bool StoreTrace(const std::string& id, const std::string& text, std::string& error);
    // "Cannot <what> the records database PATH: <SQLite's reason>".
    std::string Failure(const std::string& what) const;

    sqlite3* db_;
    const std::string path_;
    // What a listing selects: the current columns, with '' for those an older schema lacks.
    std::string columns_;
    // A reader of a file whose log is not there reads the file alone, unlocked; its rows hold
    // only while nothing wrote to the file meanwhile, which this stamp, taken before it was
    // opened, tells after each listing.
    std::optional<Stamp> stamp_;
    std::mutex mutex_;  // one connection, used by the station and the forwarder
    std::unique_ptr<platform::RunLock> running_;  // held by a station while it runs
};
