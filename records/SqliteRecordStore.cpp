#include "records/SqliteRecordStore.h"

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>

#include "records/Gzip.h"
#include "records/RecordSchema.h"
#include "records/RecordTime.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBusyTimeoutMs = 5000;  // another station's transaction is short
constexpr const char* kTraceSuffix = ".trace";
// A kept trace is read back whole; one this large is no trace of a unit's job.
constexpr std::size_t kMaxTraceBytes = std::size_t{1} << 30;

// One prepared statement, finalized on every path.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        ok_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return ok_; }
    void Bind(int index, const std::optional<std::string>& text) {
        if (text)
            sqlite3_bind_text(stmt_, index, text->data(), static_cast<int>(text->size()),
                              SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(stmt_, index);
    }
    void Bind(int index, long long value) { sqlite3_bind_int64(stmt_, index, value); }
    void BindBlob(int index, const std::string& data) {
        sqlite3_bind_blob64(stmt_, index, data.data(), data.size(), SQLITE_TRANSIENT);
    }
    std::string Blob(int column) {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string();
    }
    // Ready to run again with new values.
    void Reset() { sqlite3_reset(stmt_); }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return sqlite3_step(stmt_); }
    std::optional<std::string> Text(int column) {
        if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
    }
    long long Int(int column) { return sqlite3_column_int64(stmt_, column); }
    UnitRecord Row(int firstColumn = 0) {
        std::vector<std::optional<std::string>> fields;
        for (std::size_t i = 0; i < record_schema::kColumns.size(); ++i)
            fields.push_back(Text(firstColumn + static_cast<int>(i)));
        return record_schema::RowFromFields(fields);
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// PRAGMA user_version: the schema version, 0 for a new file; -1 when it is not a database.
int UserVersion(sqlite3* db) {
    Statement s(db, "PRAGMA user_version");
    return s.Ok() && s.Step() == SQLITE_ROW ? static_cast<int>(s.Int(0)) : -1;
}

std::string NewerMessage(const std::string& where, int version) {
    return "The records database " + where + " has schema version " + std::to_string(version) +
           ", newer than this program knows (" + std::to_string(record_schema::kVersion) +
           "); it was left untouched. Use the configurator that wrote it, or a newer one.";
}

// Bytes 18 and 19 of the header, the file format versions, are 2 for a file in WAL mode.
bool InWalMode(const std::string& path) {
    char header[20] = {};
    std::ifstream in(path, std::ios::binary);
    return in.read(header, sizeof header) && header[18] == 2 && header[19] == 2;
}

// "file:/the/path?immutable=1": the URI's own characters escaped, one leading slash (two
// would start an authority).
std::string ImmutableUri(const std::string& path) {
    std::error_code ec;
    std::string absolute = fs::absolute(path, ec).string();
    if (ec) absolute = path;
    while (absolute.size() > 1 && absolute[0] == '/' && absolute[1] == '/')
        absolute.erase(0, 1);
    std::string uri = "file:";
    for (const char c : absolute) {
        if (c == '%')
            uri += "%25";
        else if (c == '?')
            uri += "%3f";
        else if (c == '#')
            uri += "%23";
        else
            uri += c;
    }
    return uri + "?immutable=1";
}

std::string UpdateSql() {
    std::string sql = "UPDATE records SET ";
    const auto& columns = record_schema::kColumns;
    for (std::size_t i = 1; i < columns.size(); ++i)
        sql += columns[i] + " = ?" + std::to_string(i + 1) + ", ";
    return sql + "revision = revision + 1 WHERE id = ?1";
}

}  // namespace

std::unique_ptr<SqliteRecordStore> SqliteRecordStore::Open(const std::string& path,
                                                           std::string& error) {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<SqliteRecordStore> store(new SqliteRecordStore(db, path));
    if (rc != SQLITE_OK) {
        error = store->Failure("open");
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // The log and its index stay beside the file after the last writer closes it: a reader
    // that may not make files there reads through them (SQLite keeps a private copy of an
    // index it may not write), where without them it could not read a WAL file at all.
    int persist = 1;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // Two stations that start together on a new file meet while one turns it to WAL: SQLite
    // then answers "locked" at once, without waiting as the busy timeout would. The opening is
    // tried again for as long as that timeout.
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    while (true) {
        error.clear();
        if (store->Prepare(error)) return store;
        const int code = sqlite3_errcode(db) & 0xFF;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
            std::chrono::steady_clock::now() >= giveUp)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool SqliteRecordStore::Prepare(std::string& error) {
    // The version is read before anything that writes (WAL mode rewrites the header): a newer
    // file is refused exactly as it was found.
    const int version = UserVersion(db_);
    if (version < 0) {
        error = Failure("read");
        return false;
    }
    if (version > record_schema::kVersion) {
        error = NewerMessage(path_, version);
        return false;
    }
    // WAL: a listing reads while a station writes. FULL: each commit is on the disk before
    // the job it records starts.
    if (!Exec(db_, "PRAGMA journal_mode = WAL") || !Exec(db_, "PRAGMA synchronous = FULL") ||
        !Migrate(error)) {
        if (error.empty()) error = Failure("prepare");
        return false;
    }
    return true;
}

std::unique_ptr<SqliteRecordStore> SqliteRecordStore::OpenReader(const std::string& path,
                                                                 std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        error = "There are no records at " + path + ": no such file.";
        return nullptr;
    }
    if (ec || fs::is_directory(status)) {
        error = "Cannot read the records database " + path + ": " +
                (ec ? ec.message() : std::string("it is a folder"));
        return nullptr;
    }
    std::unique_ptr<SqliteRecordStore> store(new SqliteRecordStore(nullptr, path));
    if (!store->OpenForReading(error)) return nullptr;
    return store;
}

SqliteRecordStore::Stamp SqliteRecordStore::StampOf(const std::string& path) {
    std::error_code ec;
    Stamp stamp;
    // A writer's connection holds the log open from its start; the index comes with its first
    // read. A log with rows in it is needed however its index is.
    const bool log = fs::exists(path + "-wal", ec);
    const bool index = fs::exists(path + "-shm", ec);
    stamp.logThere = log && (index || fs::file_size(path + "-wal", ec) > 0);
    stamp.size = fs::file_size(path, ec);
    stamp.written = fs::last_write_time(path, ec);
    return stamp;
}

bool SqliteRecordStore::OpenForReading(std::string& error) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    stamp_.reset();
    const Stamp before = StampOf(path_);
    // Without its log, SQLite would make the log and the index to read a WAL file, and fails
    // where it may not (a read-only mount, another user's folder); where it may, it would leave
    // them behind, owned by the reader, and the file's own station could no longer write. No
    // log means that no connection has the file open and that every row is in the file, so it
    // is read as it stands, unlocked ("immutable"), and checked afterwards for a writer that
    // came meanwhile.
    const bool alone = InWalMode(path_) && !before.logThere;
    const int rc = alone ? sqlite3_open_v2(ImmutableUri(path_).c_str(), &db_,
                                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr)
                         : sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        error = Failure("open");
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    const int version = UserVersion(db_);
    if (version < 0) {
        error = Failure("read");
        return false;
    }
    if (version > record_schema::kVersion) {
        error = NewerMessage(path_, version);
        return false;
    }
    // An older schema is read as it is: a column it lacks reads as the default that bringing
    // it up to date would give ('' for every column added since the first version).
    std::set<std::string> present;
    Statement info(db_, "SELECT name FROM pragma_table_info('records')");
    int step = info.Ok() ? info.Step() : SQLITE_ERROR;
    for (; step == SQLITE_ROW; step = info.Step())
        present.insert(info.Text(0).value_or(""));
    if (step != SQLITE_DONE) {
        error = Failure("read");
        return false;
    }
    if (present.empty()) {
        error = "There are no records at " + path_ + ": it is not a records database.";
        return false;
    }
    columns_.clear();
    for (const std::string& column : record_schema::kColumns)
        columns_.append(columns_.empty() ? "" : ", ")
            .append(present.count(column) ? column : "'' AS " + column);
    if (alone) stamp_ = before;
    return true;
}

SqliteRecordStore::~SqliteRecordStore() {
    sqlite3_close_v2(db_);
}

bool SqliteRecordStore::Migrate(std::string& error) {
    // IMMEDIATE takes the write lock first, so two stations opening one new file at once
    // migrate it once; the version is read again under the lock.
    if (!Exec(db_, "BEGIN IMMEDIATE")) {
        error = Failure("lock");
        return false;
    }
    const int version = UserVersion(db_);
    bool ok = version >= 0 && version <= record_schema::kVersion;
    if (version > record_schema::kVersion) error = NewerMessage(path_, version);
    for (int v = version; ok && v < record_schema::kVersion; ++v)
        ok = Exec(db_, record_schema::kSqliteSteps[static_cast<std::size_t>(v)]);
    if (ok && Exec(db_, "COMMIT")) return true;
    if (error.empty()) error = Failure("update the schema of");
    Exec(db_, "ROLLBACK");
    return false;
}

std::string SqliteRecordStore::Failure(const std::string& what) const {
    return "Cannot " + what + " the records database " + path_ + ": " +
           (db_ ? sqlite3_errmsg(db_) : "out of memory");
}

bool SqliteRecordStore::Begin(UnitRecord& row, std::string& error) {
    if (row.id.empty()) row.id = NewRowId();
    if (row.startedMs == 0) row.startedMs = RecordNowMs();
    row.verdict = Verdict::Started;
    const std::size_t n = record_schema::kColumns.size();
    std::string values;
    for (std::size_t i = 1; i <= n; ++i)
        values.append(i > 1 ? ", ?" : "?").append(std::to_string(i));
    const std::lock_guard<std::mutex> lock(mutex_);
    // One statement, so one transaction of its own: committed before the job starts.
    Statement s(
        db_, "INSERT INTO records (" + record_schema::ColumnList() + ") VALUES (" + values + ")");
    const auto fields = record_schema::RowFields(row);
    for (std::size_t i = 0; i < fields.size(); ++i)
        s.Bind(static_cast<int>(i + 1), fields[i]);
    if (s.Ok() && s.Step() == SQLITE_DONE) return true;
    error = Failure("write to");
    return false;
}

bool SqliteRecordStore::Complete(UnitRecord& row, std::string& error) {
    if (row.endedMs == 0) row.endedMs = RecordNowMs();
    if (row.seconds == 0 && row.endedMs > row.startedMs)
        row.seconds = static_cast<double>(row.endedMs - row.startedMs) / 1000.0;
    const std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, UpdateSql());
    const auto fields = record_schema::RowFields(row);
    for (std::size_t i = 0; i < fields.size(); ++i)
        s.Bind(static_cast<int>(i + 1), fields[i]);
    if (!s.Ok() || s.Step() != SQLITE_DONE) {
        error = Failure("write to");
        return false;
    }
    if (sqlite3_changes(db_) == 0) {
        error = "The records database " + path_ + " has no row " + row.id + " to complete";
        return false;
    }
    return true;
}

bool SqliteRecordStore::MarkInterrupted(const std::string& station, int& count,
                                        std::string& error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    count = 0;
    if (running_) return true;
    bool alone = false;
    running_ = platform::RunLock::Take(path_ + ".stations", alone, error);
    if (!running_) return false;
    if (!alone) return true;
    Statement s(db_,
                "UPDATE records SET verdict = 'interrupted', revision = revision + 1 "
                "WHERE station = ?1 AND verdict = 'started'");
    s.Bind(1, station);
    const bool done = s.Ok() && s.Step() == SQLITE_DONE;
    if (done) count = sqlite3_changes(db_);
    if (done) TakeInLeftTraces();
    running_->Share();
    if (!done) error = Failure("write to");
    return done;
}

bool SqliteRecordStore::AlreadyPassed(const std::string& serial, const std::string& job,
                                      const std::string& fileSha256, bool& passed,
                                      std::string& error) {
    passed = false;
    if (serial.empty()) return true;
    const std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_,
                "SELECT 1 FROM records WHERE serial = ?1 AND job = ?2 AND file_sha256 = ?3 "
                "AND verdict = 'passed' LIMIT 1");
    s.Bind(1, serial);
    s.Bind(2, job);
    s.Bind(3, fileSha256);
    const int rc = s.Ok() ? s.Step() : SQLITE_ERROR;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        error = Failure("read");
        return false;
    }
    passed = rc == SQLITE_ROW;
    return true;
}

bool SqliteRecordStore::List(const RecordFilter& filter, std::vector<UnitRecord>& rows,
                             std::string& error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (int attempt = 1;; ++attempt) {
        if (!ListOnce(filter, rows, error)) return false;
        if (!stamp_ || StampOf(path_) == *stamp_) return true;
        // Written to while it was read unlocked: the rows may be torn. The writer's log stays
        // beside the file, so the next reading goes through it.
        if (attempt == 3) {
            rows.clear();
            error = "The records database " + path_ + " changed while it was read; try again.";
            return false;
        }
        if (!OpenForReading(error)) return false;
    }
}

bool SqliteRecordStore::ListOnce(const RecordFilter& filter, std::vector<UnitRecord>& rows,
                                 std::string& error) {
    rows.clear();
    std::string sql = "SELECT " + (columns_.empty() ? record_schema::ColumnList() : columns_) +
                      " FROM records WHERE started_ms >= ?1";
    if (!filter.serial.empty()) sql += " AND serial = ?2";
    if (filter.verdict) sql += " AND verdict = ?3";
    if (!filter.result.empty()) sql += " AND result = ?4";
    sql += " ORDER BY started_ms, id";
    Statement s(db_, sql);
    s.Bind(1, static_cast<long long>(filter.sinceMs));
    if (!filter.serial.empty()) s.Bind(2, filter.serial);
    if (filter.verdict) s.Bind(3, std::string(VerdictToken(*filter.verdict)));
    if (!filter.result.empty()) s.Bind(4, filter.result);
    int rc = s.Ok() ? s.Step() : SQLITE_ERROR;
    for (; rc == SQLITE_ROW; rc = s.Step())
        rows.push_back(s.Row());
    if (rc == SQLITE_DONE) return true;
    error = Failure("read");
    return false;
}

bool SqliteRecordStore::PendingRows(int limit, std::vector<RevisedRow>& rows, std::string& error) {
    rows.clear();
    const std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, "SELECT revision, " + record_schema::ColumnList() +
                         " FROM records WHERE forwarded < revision ORDER BY started_ms LIMIT ?1");
    s.Bind(1, static_cast<long long>(limit));
    int rc = s.Ok() ? s.Step() : SQLITE_ERROR;
    for (; rc == SQLITE_ROW; rc = s.Step())
        rows.push_back({s.Row(1), s.Int(0)});
    if (rc == SQLITE_DONE) return true;
    error = Failure("read");
    return false;
}

bool SqliteRecordStore::MarkForwarded(const std::vector<RevisedRow>& rows, std::string& error) {
    const std::lock_guard<std::mutex> lock(mutex_);
    bool ok = Exec(db_, "BEGIN");
    {
        Statement s(db_, "UPDATE records SET forwarded = ?2 WHERE id = ?1 AND forwarded < ?2");
        ok = ok && s.Ok();
        for (std::size_t i = 0; ok && i < rows.size(); ++i) {
            s.Bind(1, rows[i].row.id);
            s.Bind(2, rows[i].revision);
            ok = s.Step() == SQLITE_DONE;
            s.Reset();
        }
    }
    if (ok && Exec(db_, "COMMIT")) return true;
    error = Failure("write to");
    Exec(db_, "ROLLBACK");
    return false;
}

int SqliteRecordStore::PendingCount() {
    const std::lock_guard<std::mutex> lock(mutex_);
    Statement s(db_, "SELECT count(*) FROM records WHERE forwarded < revision");
    return s.Ok() && s.Step() == SQLITE_ROW ? static_cast<int>(s.Int(0)) : -1;
}

std::string SqliteRecordStore::TraceFile(const std::string& id) const {
    const std::filesystem::path folder = path_ + ".traces";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // a failure shows when it is opened
    return (folder / (id + kTraceSuffix)).string();
}

bool SqliteRecordStore::StoreTrace(const std::string& id, const std::string& text,
                                   std::string& error) {
    std::string packed;
    if (!gzip::Compress(text, packed)) {
        error = "Cannot compress the line trace of " + id + ": out of memory";
        return false;
    }
    Statement s(db_, "INSERT OR REPLACE INTO traces (id, gzip) VALUES (?1, ?2)");
    s.Bind(1, id);
    s.BindBlob(2, packed);
    if (s.Ok() && s.Step() == SQLITE_DONE) return true;
    error = Failure("write to");
    return false;
}

bool SqliteRecordStore::KeepTrace(const std::string& id, std::string& error) {
    const std::string file = TraceFile(id);
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "Cannot read the line trace " + file;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!StoreTrace(id, text.str(), error)) return false;
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return true;
}

void SqliteRecordStore::TakeInLeftTraces() {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(path_ + ".traces", ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == kTraceSuffix) files.push_back(it->path());
    for (const fs::path& file : files) {
        const std::string id = file.stem().string();
        Statement s(db_, "SELECT 1 FROM records WHERE id = ?1");
        s.Bind(1, id);
        if (s.Ok() && s.Step() == SQLITE_ROW) {
            std::ifstream in(file, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            std::string error;
            // A trace that cannot be kept now stays for the next start.
            if (!in || !StoreTrace(id, text.str(), error)) continue;
        }
        fs::remove(file, ec);
    }
}

bool SqliteRecordStore::Trace(const std::string& id, std::string& fullId, std::string& text,
                              std::string& error) {
    fullId.clear();
    text.clear();
    const std::lock_guard<std::mutex> lock(mutex_);
    // A prefix by its length, not LIKE: what the user typed is never a pattern.
    Statement s(db_,
                "SELECT id, gzip FROM traces WHERE substr(id, 1, length(?1)) = ?1 "
                "ORDER BY id = ?1 DESC LIMIT 2");
    s.Bind(1, id);
    int rc = s.Ok() ? s.Step() : SQLITE_ERROR;
    std::vector<std::pair<std::string, std::string>> found;
    for (; rc == SQLITE_ROW; rc = s.Step())
        found.emplace_back(s.Text(0).value_or(""), s.Blob(1));
    if (rc != SQLITE_DONE) {
        error = Failure("read");
        return false;
    }
    if (found.empty()) return true;
    if (found.size() > 1 && found[0].first != id) {
        error = "Several records' ids begin with " + id + "; give more of the id.";
        return false;
    }
    if (!gzip::Decompress(found[0].second, text, kMaxTraceBytes)) {
        error = "The line trace of " + found[0].first + " in " + path_ + " is damaged.";
        return false;
    }
    fullId = found[0].first;
    return true;
}
