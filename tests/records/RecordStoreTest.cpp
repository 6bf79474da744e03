// The records store, one suite on both backends: SQLite, and a real PostgreSQL server reached
// through the local file and the forwarder (the server is the private cluster of the test
// fixture, whose socket folder PGHOST names).
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "records/RecordExport.h"
#include "records/RecordSchema.h"
#include "records/RecordStore.h"
#include "tests/support/TextFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kForwardLimit = 30s;  // only a forwarder that has stopped goes past it

// A temporary folder of the test's own.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "records-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path_); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// A version-1 row, as a station of that version wrote it.
const char* const kV1Row =
    "INSERT INTO records (id, started_ms, ended_ms, station, serial, firmware_before, "
    "firmware_after, job, verdict) VALUES ('v1-row', 1000, 61000, 'old-bench', '000007', "
    "'1.05', '1.06', 'update', 'passed')";

// Each backend: where a store is opened (with a local file per station for forwarding), and
// direct access to the database underneath for what a store must not do itself.
class SqliteBackend {
public:
    std::string Where() const { return file_; }
    std::string LocalFile(int /*station*/) const { return ""; }
    void Exec(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open(file_.c_str(), &db);
        char* message = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
            ADD_FAILURE() << sql << ": " << message;
        sqlite3_free(message);
        sqlite3_close(db);
    }
    void MakeV1() { Exec(std::string(record_schema::kSqliteV1) + ";" + kV1Row); }
    void SetVersion(int version) { Exec("PRAGMA user_version = " + std::to_string(version)); }
    // Everything of the database: a refused open must leave every byte as it was.
    std::string Snapshot() const { return Slurp(file_) + "|wal:" + Slurp(file_ + "-wal"); }

private:
    TempFolder dir_;
    std::string file_ = dir_.File("records.sqlite");
};

class PostgresBackend {
public:
    PostgresBackend() { Admin("CREATE DATABASE " + db_); }
    ~PostgresBackend() { Admin("DROP DATABASE IF EXISTS " + db_ + " WITH (FORCE)"); }
    std::string Where() const {
        return "postgresql://configurator@/" + db_ + "?host=" + std::getenv("PGHOST");
    }
    std::string LocalFile(int station) const {
        return dir_.File("station" + std::to_string(station) + ".sqlite");
    }
    void Exec(const std::string& sql) { Run(db_, sql); }
    void MakeV1() { Exec(std::string(record_schema::kPostgresV1) + ";" + kV1Row); }
    void SetVersion(int version) {
        Exec("UPDATE schema_version SET version = " + std::to_string(version));
    }
    std::string Snapshot() {
        return Run(db_,
                   "SELECT (SELECT string_agg(version::text, ',') FROM schema_version) || '|' || "
                   "(SELECT string_agg(column_name, ',' ORDER BY column_name) FROM "
                   "information_schema.columns WHERE table_name = 'records') || '|' || "
                   "(SELECT string_agg(id || verdict || revision, ',' ORDER BY id) FROM records)");
    }

private:
    static void Admin(const std::string& sql) { Run("postgres", sql); }
    // The first value of the answer; a failure fails the test.
    static std::string Run(const std::string& db, const std::string& sql) {
        PGconn* conn = PQconnectdb(("user=configurator dbname=" + db).c_str());
        PGresult* result = PQexec(conn, sql.c_str());
        const auto status = PQresultStatus(result);
        std::string value;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            ADD_FAILURE() << sql << ": " << PQerrorMessage(conn);
        else if (PQntuples(result) > 0)
            value = PQgetvalue(result, 0, 0);
        PQclear(result);
        PQfinish(conn);
        return value;
    }

    TempFolder dir_;
    std::string db_ = "records_" + std::to_string(getpid());
};

UnitRecord Unit(const std::string& serial, const std::string& station) {
    UnitRecord r;
    r.station = station;
    r.port = "/dev/ttyUSB0";
    r.slot = "Slot 1";
    r.serial = serial;
    r.signature = "KV-2";
    r.hardware = "2.1";
    r.firmwareBefore = "1.07";
    r.bootwareBefore = "0.9";
    r.modeBefore = "01";
    r.job = "update+mode 02";
    r.note = "from boot loader";
    r.fileName = "fw 1.08, \"final\".rfw";  // a comma and quotes: CSV must quote it
    r.fileSha256 = std::string(64, 'a');
    return r;
}

void Finish(UnitRecord& r, Verdict verdict, const std::string& result, const std::string& text) {
    r.firmwareAfter = verdict == Verdict::Passed ? "1.08" : r.firmwareBefore;
    r.bootwareAfter = r.bootwareBefore;
    r.modeAfter = verdict == Verdict::Passed ? "02" : r.modeBefore;
    r.verdict = verdict;
    r.result = result;
    r.resultText = text;
}

template <typename Backend>
class RecordStoreSuite : public ::testing::Test {
protected:
    std::unique_ptr<RecordStore> Open(int station = 1) {
        RecordStoreOptions options;
        options.localFile = backend_.LocalFile(station);
        options.retryFirst = 20ms;
        options.retryLast = 200ms;
        std::string error;
        auto store = OpenRecordStore(backend_.Where(), error, options);
        EXPECT_TRUE(store) << error;
        return store;
    }
    // The rows as a listing reads them, once everything written is where listings read.
    std::vector<UnitRecord> Rows(RecordStore& store, const RecordFilter& filter = {}) {
        EXPECT_TRUE(store.WaitForwarded(kForwardLimit)) << store.Forwarding().lastError;
        std::vector<UnitRecord> rows;
        std::string error;
        EXPECT_TRUE(store.List(filter, rows, error)) << error;
        return rows;
    }
    static std::vector<std::string> Serials(const std::vector<UnitRecord>& rows) {
        std::vector<std::string> serials;
        for (const auto& r : rows)
            serials.push_back(r.serial + ":" + VerdictToken(r.verdict));
        return serials;
    }

    Backend backend_;
};

using Backends = ::testing::Types<SqliteBackend, PostgresBackend>;
TYPED_TEST_SUITE(RecordStoreSuite, Backends);

TYPED_TEST(RecordStoreSuite, KeepsEveryFieldFiltersAndExports) {
    auto store = this->Open();
    std::string error;
    UnitRecord passed = Unit("000123", "bench-1");
    UnitRecord failed = Unit("000124", "bench-1");
    UnitRecord running = Unit("000125", "bench-1");
    std::int64_t started = 1793524502000;  // a second apart: listings sort by start
    for (UnitRecord* r : {&passed, &failed, &running}) {
        r->startedMs = started += 1000;
        ASSERT_TRUE(store->Begin(*r, error)) << error;
        ASSERT_EQ(r->id.size(), 36u);
    }
    Finish(passed, Verdict::Passed, "ok", "Updating firmware : Ok");
    Finish(failed, Verdict::Failed, "page-error", "Page 3 Error");
    ASSERT_TRUE(store->Complete(passed, error)) << error;
    ASSERT_TRUE(store->Complete(failed, error)) << error;

    const auto rows = this->Rows(*store);
    ASSERT_EQ(this->Serials(rows),
              (std::vector<std::string>{"000123:passed", "000124:failed", "000125:started"}));
    // Every field comes back as written.
    EXPECT_EQ(RecordsJson({rows[0]}), RecordsJson({passed}));
    EXPECT_EQ(RecordsJson({rows[2]}), RecordsJson({running}));
    EXPECT_EQ(rows[2].endedMs, 0);

    RecordFilter bySerial;
    bySerial.serial = "000124";
    EXPECT_EQ(this->Serials(this->Rows(*store, bySerial)),
              std::vector<std::string>{"000124:failed"});
    RecordFilter byResult;
    byResult.result = "ok";
    EXPECT_EQ(this->Serials(this->Rows(*store, byResult)),
              std::vector<std::string>{"000123:passed"});
    RecordFilter byVerdict;
    byVerdict.verdict = Verdict::Started;
    EXPECT_EQ(this->Serials(this->Rows(*store, byVerdict)),
              std::vector<std::string>{"000125:started"});
    RecordFilter later;
    later.sinceMs = running.startedMs + 1;
    EXPECT_TRUE(this->Rows(*store, later).empty());

    // "Already passed" is per unit, job and file content, and another station knows it too.
    auto other = this->Open(2);
    bool done = false;
    const std::string sha = passed.fileSha256;
    EXPECT_TRUE(other->AlreadyPassed("000123", passed.job, sha, done, error) && done) << error;
    EXPECT_TRUE(other->AlreadyPassed("000123", "update", sha, done, error) && !done);
    EXPECT_TRUE(other->AlreadyPassed("000123", passed.job, std::string(64, 'b'), done, error) &&
                !done);
    EXPECT_TRUE(other->AlreadyPassed("000124", failed.job, sha, done, error) && !done);
    EXPECT_TRUE(other->AlreadyPassed("", passed.job, sha, done, error) && !done);

    // Exports read back: a CSV header and one quoted line per row, JSON with every row.
    const std::string csv = RecordsCsv(rows);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "id,started,ended,station,port,slot,serial,signature,hardware,firmware_before,"
              "firmware_after,bootware_before,bootware_after,mode_before,mode_after,job,note,"
              "file_name,file_sha256,result,result_text,seconds,verdict");
    EXPECT_NE(csv.find(",\"fw 1.08, \"\"final\"\".rfw\","), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    const auto json = nlohmann::json::parse(RecordsJson(rows));
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["modeAfter"], "02");
    EXPECT_EQ(json[1]["resultText"], "Page 3 Error");
    EXPECT_TRUE(json[2]["ended"].is_null());
}

TYPED_TEST(RecordStoreSuite, RowsLeftStartedByAStoppedStationBecomeInterrupted) {
    std::string error;
    std::string traceId;
    {
        // The station dies with its units begun: their rows are committed, not completed.
        auto store = this->Open();
        UnitRecord mine = Unit("000200", "bench-1");
        UnitRecord theirs = Unit("000201", "bench-2");
        ASSERT_TRUE(store->Begin(mine, error)) << error;
        theirs.startedMs = mine.startedMs + 1;
        ASSERT_TRUE(store->Begin(theirs, error)) << error;
        // Its unit's line trace was being written as the job went; another file belongs to a
        // unit that was still being searched (no row).
        std::ofstream(store->TraceFile(mine.id)) << "   0.000 open /dev/ttyUSB0\n";
        std::ofstream(store->TraceFile(NewRowId())) << "   0.000 open /dev/ttyUSB1\n";
        traceId = mine.id;
    }
    auto store = this->Open();
    int count = 0;
    ASSERT_TRUE(store->MarkInterrupted("bench-1", count, error)) << error;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(this->Serials(this->Rows(*store)),
              (std::vector<std::string>{"000200:interrupted", "000201:started"}));
    // The trace is kept with its row, found by a prefix of the id; the stray file is gone.
    std::string fullId, text;
    ASSERT_TRUE(store->Trace(traceId.substr(0, 8), fullId, text, error)) << error;
    EXPECT_EQ(fullId, traceId);
    EXPECT_EQ(text, "   0.000 open /dev/ttyUSB0\n");
    const std::filesystem::path traces =
        std::filesystem::path(store->TraceFile(traceId)).parent_path();
    EXPECT_TRUE(std::filesystem::is_empty(traces));
    ASSERT_TRUE(store->Trace("f-no-such", fullId, text, error)) << error;
    EXPECT_TRUE(fullId.empty());
    ASSERT_TRUE(store->MarkInterrupted("bench-1", count, error)) << error;
    EXPECT_EQ(count, 0);

    // A second station started on the same file (another hub on this host) while the first
    // works leaves the first one's begun rows alone; once both have stopped, the next start
    // finds them left behind.
    UnitRecord working = Unit("000202", "bench-1");
    working.startedMs = this->Rows(*store).back().startedMs + 1;
    ASSERT_TRUE(store->Begin(working, error)) << error;
    {
        auto second = this->Open();
        ASSERT_TRUE(second->MarkInterrupted("bench-1", count, error)) << error;
        EXPECT_EQ(count, 0);
        store.reset();
        auto third = this->Open();
        ASSERT_TRUE(third->MarkInterrupted("bench-1", count, error)) << error;
        EXPECT_EQ(count, 0);
    }
    store = this->Open();
    ASSERT_TRUE(store->MarkInterrupted("bench-1", count, error)) << error;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(this->Serials(this->Rows(*store)).back(), "000202:interrupted");
}

TYPED_TEST(RecordStoreSuite, MigratesAVersion1Database) {
    this->backend_.MakeV1();
    std::string error;
    {
        // A listing reads it as it is; only a station brings a file up to date.
        const bool file = std::is_same_v<TypeParam, SqliteBackend>;
        const std::string before = file ? this->backend_.Snapshot() : "";
        auto reader = OpenRecordReader(this->backend_.Where(), error);
        ASSERT_TRUE(reader) << error;
        std::vector<UnitRecord> rows;
        ASSERT_TRUE(reader->List({}, rows, error)) << error;
        ASSERT_EQ(this->Serials(rows), std::vector<std::string>{"000007:passed"});
        EXPECT_EQ(rows[0].firmwareAfter, "1.06");
        EXPECT_EQ(file ? this->backend_.Snapshot() : "", before);
    }
    auto store = this->Open();
    UnitRecord fresh = Unit("000300", "bench-1");
    ASSERT_TRUE(store->Begin(fresh, error)) << error;
    Finish(fresh, Verdict::Passed, "ok", "Updating firmware : Ok");
    ASSERT_TRUE(store->Complete(fresh, error)) << error;
    const auto rows = this->Rows(*store);
    ASSERT_EQ(this->Serials(rows), (std::vector<std::string>{"000007:passed", "000300:passed"}));
    EXPECT_EQ(rows[0].firmwareAfter, "1.06");
    EXPECT_EQ(rows[0].endedMs, 61000);
    EXPECT_EQ(rows[0].modeAfter, "");
    EXPECT_EQ(rows[1].modeAfter, "02");
    EXPECT_EQ(rows[1].bootwareAfter, "0.9");
}

TYPED_TEST(RecordStoreSuite, RefusesANewerSchemaAndLeavesItUntouched) {
    {
        auto store = this->Open();
        UnitRecord r = Unit("000400", "bench-1");
        std::string error;
        ASSERT_TRUE(store->Begin(r, error)) << error;
        ASSERT_TRUE(store->WaitForwarded(kForwardLimit));
    }
    this->backend_.SetVersion(record_schema::kVersion + 1);
    const std::string before = this->backend_.Snapshot();
    RecordStoreOptions options;
    options.localFile = this->backend_.LocalFile(1);
    std::string error;
    EXPECT_FALSE(OpenRecordStore(this->backend_.Where(), error, options));
    const std::string newer = "has schema version " + std::to_string(record_schema::kVersion + 1) +
                              ", newer than this program knows (" +
                              std::to_string(record_schema::kVersion) + ")";
    EXPECT_NE(error.find(newer), std::string::npos) << error;
    EXPECT_FALSE(OpenRecordReader(this->backend_.Where(), error));
    EXPECT_NE(error.find(newer), std::string::npos) << error;
    EXPECT_EQ(this->backend_.Snapshot(), before);
}

}  // namespace
