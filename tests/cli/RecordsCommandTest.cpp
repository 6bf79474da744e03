// `configurator-cli records` as a user or a script calls it: the table, the filters, CSV and
// JSON, refused options and databases, and no password in what it prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
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
        for (const char* serial : {"000123", "000124", "000125"}) {
            UnitRecord r;
            r.station = "bench-1";
            r.serial = serial;
            r.job = "update";
            r.startedMs = 1793524502000;  // 2026-11-01T09:15:02Z
            ASSERT_TRUE(store->Begin(r, error)) << error;
            if (r.serial == "000125") continue;  // still running
            r.verdict = r.serial == "000123" ? Verdict::Passed : Verdict::Failed;
            r.result = r.serial == "000123" ? "ok" : "port-lost";
            r.endedMs = r.startedMs + 17500;
            ASSERT_TRUE(store->Complete(r, error)) << error;
        }
    }
    const std::string away = "postgresql://station:S3cret-Pw@/records?host=/nonexistent";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out;  // parts of stdout, or of stderr when the status is not 0
    };
    for (const Case& c : std::vector<Case>{
             {{}, 0, {"started (UTC)", "2026-11-01 09:15:02  bench-1", "000125", "3 records\n"}},
             {{"--serial", "000124", "--csv"},
              0,
              {"id,started,ended,station,", ",port-lost,,17.500,failed\r\n"}},
             {{"--result", "passed"}, 0, {"000123", "1 record\n"}},
             {{"--verdict", "started"}, 0, {"000125", "1 record\n"}},
             {{"--since", "2026-11-01T10:15+02:00"}, 0, {"3 records\n"}},
             {{"--since", "2026-11-01T09:16"}, 0, {"0 records\n"}},
             {{"--since", "yesterday"}, 2, {"Not a date or time: yesterday"}},
             {{"--csv", "--json"}, 2, {"exclude each other"}},
             {{"--records", away}, 1, {"Cannot reach the records database", "station:***@"}},
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
    // JSON: an array of rows, as a script reads it.
    const auto r = ChildProcess::Run(
        {CONFIGURATOR_CLI_PATH, "--json", "records", "--records", file, "--result", "port-lost"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = nlohmann::json::parse(r.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["serial"], "000124");
    EXPECT_EQ(rows[0]["started"], "2026-11-01T09:15:02.000Z");
    fs::remove_all(dir);
}

}  // namespace
#endif
