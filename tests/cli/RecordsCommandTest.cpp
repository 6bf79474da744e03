// `configurator-cli records` as a user or a script calls it: the table, the filters, CSV and
// JSON, refused options and databases, no secret in what it prints, and files it may only read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "records/RecordStore.h"
#include "tests/support/ChildProcess.h"

#ifdef CONFIGURATOR_CLI_PATH
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(RecordsCommand, ListsFiltersExportsAndRefuses) {
    const fs::path dir = fs::temp_directory_path() / ("records-cli-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string file = (dir / "records.sqlite").string();
    {
        std::string error;
        auto store = OpenRecordStore(file, error);
        ASSERT_TRUE(store) << error;
        // Passed, failed, still running, stopped by Ctrl-C, killed (marked at the next start).
        for (const char* serial : {"000123", "000124", "000125", "000126", "000127"}) {
            UnitRecord r;
            r.serial = serial;
            r.station = r.serial == "000127" ? "bench-2" : "bench-1";
            r.job = "update";
            r.firmwareBefore = "1.07";
            r.startedMs = 1793524502000;  // 2026-11-01T09:15:02Z
            ASSERT_TRUE(store->Begin(r, error)) << error;
            if (r.serial == "000125" || r.serial == "000127") continue;
            const bool passed = r.serial == "000123";
            r.verdict = passed                 ? Verdict::Passed
                        : r.serial == "000124" ? Verdict::Failed
                                               : Verdict::Interrupted;
            if (passed) r.firmwareAfter = "1.08";
            r.result = passed ? "ok" : r.serial == "000124" ? "port-lost" : "canceled";
            r.endedMs = r.startedMs + 17500;
            ASSERT_TRUE(store->Complete(r, error)) << error;
        }
        int count = 0;
        ASSERT_TRUE(store->MarkInterrupted("bench-2", count, error) && count == 1) << error;
    }
    const std::string missing = (dir / "typo.sqlite").string();
    const std::string away = "postgresql://station:S3cret-Pw@/records?host=/nonexistent";
    const std::string typo = "hots=db.example password=S3cret-Pw";
    const std::string keywords = "host=/nonexistent dbname=records password='S3cret-Pw x'";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out;  // parts of stdout, or of stderr when the status is not 0
    };
    for (const Case& c : std::vector<Case>{
             {{}, 0, {"started (UTC)", "2026-11-01 09:15:02  bench-1", "000125", "5 records\n"}},
             // Interrupted either way, the values after are unknown; a running unit's are not
             // yet, and a passed one's are known.
             {{"--result", "interrupted"},
              0,
              {"000126  update  1.07 > ?", "000127  update  1.07 > ?"}},
             {{"--serial", "000125"}, 0, {"000125  update  1.07  "}},
             {{"--serial", "000123"}, 0, {"000123  update  1.07 > 1.08  "}},
             {{"--serial", "000124", "--csv"},
              0,
              {"id,started,ended,station,", ",port-lost,,17.500,failed\r\n"}},
             {{"--result", "passed"}, 0, {"000123", "1 record\n"}},
             {{"--verdict", "started"}, 0, {"000125", "1 record\n"}},
             {{"--since", "2026-11-01T10:15+02:00"}, 0, {"5 records\n"}},
             {{"--since", "2026-11-01T09:16"}, 0, {"0 records\n"}},
             {{"--since", "yesterday"}, 2, {"Not a date or time: yesterday"}},
             {{"--csv", "--json"}, 2, {"exclude each other"}},
             {{"--result", "bogus"},
              2,
              {"--result: bogus is not a result",
               "(ok, header-only, canceled, port-lost, "
               "connect-error, header-error, page-error, "
               "end-error)",
               "(started, passed, failed, interrupted)"}},
             {{"--records", away}, 1, {"Cannot reach the records database", "station:***@"}},
             {{"--records", keywords}, 1, {"Cannot reach", "dbname=records password=***"}},
             // A mistyped keyword is libpq's to refuse, not a file to make.
             {{"--records", typo},
              1,
              {"invalid connection option \"hots\"", "password=***", "./word="}},
             {{"--records", missing}, 1, {"There are no records at " + missing + ": no such file"}},
         }) {
        std::vector<std::string> args = {CONFIGURATOR_CLI_PATH, "records"};
        if (c.args.empty() || c.args[0] != "--records")
            args.insert(args.end(), {"--records", file});
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = ChildProcess::Run(args);
        EXPECT_EQ(r.status, c.status) << c.args.back() << r.err;
        for (const auto& part : c.out)
            EXPECT_TRUE(Has(c.status == 0 ? r.out : r.out + r.err, part))
                << c.args.back() << ": " << r.out << r.err;
        EXPECT_FALSE(Has(r.out + r.err, "S3cret"));
    }
    // Nothing that was named is made: only the database, its log and index, and the stations'
    // lock are there.
    EXPECT_FALSE(fs::exists(typo));
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"records.sqlite", "records.sqlite-shm",
                                            "records.sqlite-wal", "records.sqlite.stations"}));
    // JSON: an array of rows, as a script reads it.
    const auto r = ChildProcess::Run(
        {CONFIGURATOR_CLI_PATH, "--json", "records", "--records", file, "--result", "port-lost"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = nlohmann::json::parse(r.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["serial"], "000124");
    EXPECT_EQ(rows[0]["started"], "2026-11-01T09:15:02.000Z");
    EXPECT_EQ(rows[0]["seconds"], 17.5);
    // A killed run has no end, so no time: null, not 0.
    const auto killed =
        nlohmann::json::parse(ChildProcess::Run({CONFIGURATOR_CLI_PATH, "--json", "records",
                                                 "--records", file, "--serial", "000127"})
                                  .out);
    ASSERT_EQ(killed.size(), 1u);
    EXPECT_TRUE(killed[0]["ended"].is_null() && killed[0]["seconds"].is_null()) << killed;
    fs::remove_all(dir);
}

// The names in `dir`.
std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// A file the reader may not write, in a folder where it may make nothing: on a read-only mount,
// or another user's. As root, whom no mode stops, the listing runs as nobody, and the files are
// then another user's too; as anyone else, the modes alone stop it. Each way of finding the
// file: left by a station that stopped, by one still running (its log holds rows not yet in the
// file), and by an earlier configurator that took its log away when it stopped.
TEST(RecordsCommand, ReadsAFileItMayNotWriteAndMakesNothing) {
    std::string pattern = (fs::temp_directory_path() / "records-ro-XXXXXX").string();
    const fs::path dir = mkdtemp(pattern.data());
    const fs::path file = dir / "records.sqlite";
    std::vector<std::string> as;
    if (geteuid() == 0) as = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    auto list = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv = as;
        argv.insert(argv.end(), {CONFIGURATOR_CLI_PATH, "records", "--records", file.string()});
        argv.insert(argv.end(), args.begin(), args.end());
        return ChildProcess::Run(argv);
    };
    auto lock = [&](bool locked) {
        for (const auto& entry : fs::directory_iterator(dir))
            chmod(entry.path().c_str(), locked ? 0444 : 0644);
        chmod(dir.c_str(), locked ? 0555 : 0755);
    };
    std::string error;
    auto unit = [&](RecordStore& store, const std::string& serial) {
        UnitRecord r;
        r.serial = serial;
        ASSERT_TRUE(store.Begin(r, error)) << error;
    };
    {
        auto store = OpenRecordStore(file.string(), error);
        ASSERT_TRUE(store) << error;
        unit(*store, "000501");
    }
    lock(true);
    if (!as.empty() && list({}).err.find("setpriv") != std::string::npos) {
        lock(false);
        fs::remove_all(dir);
        GTEST_SKIP() << "cannot run the listing as nobody here";
    }
    struct Case {
        const char* how;
        std::function<void()> arrange;
        std::string serials;
    };
    std::unique_ptr<RecordStore> running;
    for (const Case& c : std::vector<Case>{
             {"stopped", [] {}, "000501"},
             {"running",
              [&] {
                  running = OpenRecordStore(file.string(), error);
                  ASSERT_TRUE(running) << error;
                  unit(*running, "000502");
              },
              "000501,000502"},
             {"without its log",
              [&] {
                  running.reset();
                  fs::remove(file.string() + "-wal");
                  fs::remove(file.string() + "-shm");
              },
              "000501,000502"},
         }) {
        SCOPED_TRACE(c.how);
        lock(false);
        c.arrange();
        lock(true);
        const std::set<std::string> before = Names(dir);
        const auto r = list({"--csv"});
        EXPECT_EQ(r.status, 0) << r.err;
        std::string serials;
        for (const char* serial : {"000501", "000502"})
            if (Has(r.out, std::string(",") + serial + ","))
                serials += (serials.empty() ? "" : ",") + std::string(serial);
        EXPECT_EQ(serials, c.serials) << r.out;
        EXPECT_EQ(Names(dir), before);
    }
    // The default file is only read too: missing, it is said so, and no folder is made for it.
    const fs::path data = dir / "data";
    lock(false);
    const auto r = ChildProcess::Run(
        {CONFIGURATOR_CLI_PATH, "records"},
        {ChildProcess::kPipe, ChildProcess::kPipe, {{"XDG_DATA_HOME", data.string()}}});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "There are no records at " +
                               (data / "korvanta-configurator" / "records.sqlite").string()))
        << r.err;
    EXPECT_FALSE(fs::exists(data));
    fs::remove_all(dir);
}

}  // namespace
#endif
