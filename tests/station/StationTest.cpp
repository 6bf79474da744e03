// configurator-cli station on a bench of simulated adapters that are plugged in one after
// another (each makes its link in the bench's folder, and takes it away when it stops): what
// it works, what it leaves alone, what it records, and that no record is lost to a killed
// station or to a shared server that goes away for a while.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TextFiles.h"

namespace {

namespace fs = std::filesystem;
using Result = ChildProcess::Result;

class Bench : public ::testing::Test {
protected:
    Bench() {
        std::string pattern = "/tmp/station-XXXXXX";  // short: a server's socket lives here
        dir_ = mkdtemp(pattern.data());
        fs::create_directories(dir_ / "bench");
        firmware_ = (dir_ / "fw.rfw").string();
        std::string content(80 + 24 * 128, '\0');
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>((i * 53 + i / 256) & 0xFF);
        std::ofstream(firmware_, std::ios::binary) << content;
        env_ = {{"CONFIGURATOR_PORTS", (dir_ / "bench").string()},
                {"XDG_DATA_HOME", (dir_ / "data").string()}};
    }
    ~Bench() override {
        adapters_.clear();
        if (!pg_.empty()) Cluster("remove");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // An adapter plugged into the bench as `name`, until Unplug.
    void Plug(const std::string& name, std::vector<std::string> options) {
        options.insert(options.end(), {"--link", Link(name)});
        adapters_[name] =
            std::make_unique<AdapterSimProcess>(ADAPTER_SIM_PATH, options, ChildProcess::kDiscard);
    }
    void Unplug(const std::string& name) { adapters_.erase(name); }
    std::string Link(const std::string& name) const { return (dir_ / "bench" / name).string(); }

    ChildProcess::Options Env(ChildProcess::Options o = {}) const {
        o.env = env_;
        return o;
    }
    std::unique_ptr<ChildProcess> Station(std::vector<std::string> args) const {
        args.insert(args.begin(), {CONFIGURATOR_CLI_PATH, "station", "--update", firmware_,
                                   "--settle", "100", "--ports", (dir_ / "bench" / "*").string()});
        ChildProcess::Options o;
        o.err = ChildProcess::kDiscard;
        return std::make_unique<ChildProcess>(args, Env(o));
    }
    // Reads the station's lines until one is `line`; false at its end or limit.
    static bool Until(ChildProcess& station, const std::string& line, std::string& seen) {
        std::string got;
        while (station.ReadLine(got)) {
            seen += got + "\n";
            if (got == line) return true;
        }
        return false;
    }
    nlohmann::json Records(std::vector<std::string> args = {}) const {
        args.insert(args.begin(), {CONFIGURATOR_CLI_PATH, "--json", "records"});
        const Result r = ChildProcess::Run(args, Env());
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out, nullptr, false);
    }
    void Cluster(const std::string& command) {
        const std::string line = std::string(PG_CLUSTER_SCRIPT) + " " + command + " " + pg_;
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }

    fs::path dir_;
    std::string firmware_;
    std::string pg_;
    std::vector<std::pair<std::string, std::string>> env_;
    std::map<std::string, std::unique_ptr<AdapterSimProcess>> adapters_;
};

// Four units one after another: one passes, one fails in its update, one passes, and the
// first one plugged in again is left alone. The records and the count say so.
TEST_F(Bench, EachUnitPluggedInIsWorkedOnceAndRecorded) {
    auto station = Station({"--units", "4"});
    std::string seen;
    Plug("a", {"--serial", "000301"});
    ASSERT_TRUE(Until(*station, Link("a") + ": passed", seen)) << seen;
    Unplug("a");
    Plug("b", {"--serial", "000302", "--nak-page", "3", "--nak-count", "4"});
    ASSERT_TRUE(Until(*station, Link("b") + ": failed: Writing Page #3 : Error", seen)) << seen;
    Plug("c", {"--serial", "000303"});
    ASSERT_TRUE(Until(*station, Link("c") + ": passed", seen)) << seen;
    Plug("a", {"--serial", "000301"});  // the same unit, plugged in again
    ASSERT_TRUE(Until(*station, Link("a") + ": already done: serial number 000301", seen)) << seen;
    const Result end = station->Finish();
    EXPECT_EQ(end.status, 1) << "a unit failed";
    EXPECT_TRUE(Contains(seen + end.out, "passed 2, failed 1, already done 1")) << seen + end.out;

    const auto rows = Records();
    ASSERT_EQ(rows.size(), 3u) << rows;
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"000301", "passed"}, {"000302", "failed"}, {"000303", "passed"}};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i]["serial"], expected[i].first);
        EXPECT_EQ(rows[i]["verdict"], expected[i].second);
        EXPECT_EQ(rows[i]["job"], "update");
        EXPECT_EQ(rows[i]["firmwareBefore"], "1.07");
        EXPECT_EQ(rows[i]["fileSha256"].get<std::string>().size(), 64u);
    }
    EXPECT_EQ(rows[1]["result"], "page-error");
    EXPECT_EQ(rows[0]["result"], "ok");
}

// Killed in the middle of an update, a station leaves the unit's row; the next start records it
// as interrupted and goes on working.
TEST_F(Bench, AKilledStationLeavesAnInterruptedRowAndTheNextOneCarriesOn) {
    auto station = Station({});
    std::string seen;
    Plug("a", {"--serial", "000311", "--hold", "page:5"});
    ASSERT_TRUE(Until(*station, Link("a") + ": working on serial number 000311", seen)) << seen;
    station->Stop(SIGKILL);
    auto rows = Records();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["verdict"], "started");

    Unplug("a");
    auto next = Station({"--units", "1"});
    Plug("b", {"--serial", "000312"});
    ASSERT_TRUE(Until(*next, Link("b") + ": passed", seen)) << seen;
    EXPECT_EQ(next->Finish().status, 0);
    rows = Records();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["verdict"], "interrupted");
    EXPECT_EQ(rows[1]["verdict"], "passed");
}

// A shared server that goes away while units are worked: flashing goes on, and every row is
// on the server once it is back.
TEST_F(Bench, EveryRowReachesASharedServerThatWasAwayForAWhile) {
    // Beside the bench, not in it: the server runs as another user, who cannot enter it.
    std::string pattern = "/tmp/station-pg-XXXXXX";
    pg_ = mkdtemp(pattern.data());
    Cluster("start");
    env_.push_back({"PGHOST", pg_});
    env_.push_back({"PGUSER", "configurator"});
    env_.push_back({"PGDATABASE", "postgres"});
    auto station = Station({"--units", "3", "--records", "postgresql:"});
    std::string seen;
    Plug("a", {"--serial", "000321"});
    ASSERT_TRUE(Until(*station, Link("a") + ": passed", seen)) << seen;
    Cluster("stop");
    Plug("b", {"--serial", "000322"});
    ASSERT_TRUE(Until(*station, Link("b") + ": passed", seen)) << seen;
    Cluster("start");
    Plug("c", {"--serial", "000323"});
    ASSERT_TRUE(Until(*station, Link("c") + ": passed", seen)) << seen;
    EXPECT_EQ(station->Finish().status, 0);
    const auto rows = Records({"--records", "postgresql:"});
    ASSERT_EQ(rows.size(), 3u) << rows;
    for (const auto& row : rows)
        EXPECT_EQ(row["verdict"], "passed");
}

}  // namespace
