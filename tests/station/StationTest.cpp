// configurator-cli station on a bench of simulated adapters that are plugged in one after
// another (each makes its link in the bench's folder, and takes it away when it stops): what
// it works, what it leaves alone, what it records, and that no record is lost to a killed
// station or to a shared server that goes away for a while.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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
#include "tests/support/Eventually.h"
#include "tests/support/TestTerminal.h"
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
    // How the station's lines begin for the unit plugged in as `name`: its slot (the link's
    // name is its place), then its port.
    std::string At(const std::string& name) const { return name + " (" + Link(name) + "): "; }

    ChildProcess::Options Env(ChildProcess::Options o = {}) const {
        o.env = env_;
        return o;
    }
    // A station whose job is `args` (an update of the bench's file unless it says otherwise),
    // watching the ports that match `ports` in the bench.
    std::unique_ptr<ChildProcess> Station(std::vector<std::string> args,
                                          const std::string& ports = "*") const {
        if (std::find(args.begin(), args.end(), "--mode") == args.end())
            args.insert(args.begin(), {"--update", firmware_});
        args.insert(args.begin(), {CONFIGURATOR_CLI_PATH, "station", "--settle", "100", "--ports",
                                   (dir_ / "bench" / ports).string()});
        ChildProcess::Options o;
        o.err = ChildProcess::kInherit;
        return std::make_unique<ChildProcess>(args, Env(o));
    }
    // Reads the station's lines until each of `lines` has come, in any order; false at its
    // end or limit.
    static bool Until(ChildProcess& station, std::vector<std::string> lines, std::string& seen) {
        std::string got;
        while (!lines.empty() && station.ReadLine(got)) {
            seen += got + "\n";
            lines.erase(std::remove(lines.begin(), lines.end(), got), lines.end());
        }
        return lines.empty();
    }
    static bool Until(ChildProcess& station, const std::string& line, std::string& seen) {
        return Until(station, std::vector<std::string>{line}, seen);
    }
    nlohmann::json Records(std::vector<std::string> args = {}) const {
        args.insert(args.begin(), {CONFIGURATOR_CLI_PATH, "--json", "records"});
        const Result r = ChildProcess::Run(args, Env());
        EXPECT_EQ(r.status, 0) << r.err;
        return nlohmann::json::parse(r.out, nullptr, false);
    }
    // The line trace kept with a record ("" when none is).
    std::string Trace(const std::string& id) const {
        return ChildProcess::Run({CONFIGURATOR_CLI_PATH, "records", "--trace", id}, Env()).out;
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
    ASSERT_TRUE(Until(*station, At("a") + "passed", seen)) << seen;
    Unplug("a");
    Plug("b", {"--serial", "000302", "--nak-page", "3", "--nak-count", "4"});
    ASSERT_TRUE(Until(*station, At("b") + "failed: Writing Page #3 : Error", seen)) << seen;
    Plug("c", {"--serial", "000303"});
    ASSERT_TRUE(Until(*station, At("c") + "passed", seen)) << seen;
    Plug("a", {"--serial", "000301"});  // the same unit, plugged in again
    ASSERT_TRUE(Until(*station, At("a") + "already done: serial number 000301", seen)) << seen;
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
    // The failed unit's line is kept with its record, to the refused page; a passed one's not.
    EXPECT_TRUE(Contains(Trace(rows[1]["id"]), " TX 40 03 00 ")) << Trace(rows[1]["id"]);
    EXPECT_EQ(Trace(rows[0]["id"]), "");
}

// Killed in the middle of an update, a station leaves the unit's row; the next start records it
// as interrupted and goes on working.
TEST_F(Bench, AKilledStationLeavesAnInterruptedRowAndTheNextOneCarriesOn) {
    auto station = Station({});
    std::string seen;
    Plug("a", {"--serial", "000311", "--hold", "page:5"});
    ASSERT_TRUE(Until(*station, At("a") + "working on serial number 000311", seen)) << seen;
    station->Stop(SIGKILL);
    auto rows = Records();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["verdict"], "started");

    Unplug("a");
    auto next = Station({"--units", "1"});
    Plug("b", {"--serial", "000312"});
    ASSERT_TRUE(Until(*next, At("b") + "passed", seen)) << seen;
    EXPECT_EQ(next->Finish().status, 0);
    rows = Records();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["verdict"], "interrupted");
    EXPECT_EQ(rows[1]["verdict"], "passed");
    // What the killed station's unit saw was on disk as it went, and is kept with its row.
    EXPECT_TRUE(Contains(Trace(rows[0]["id"].get<std::string>().substr(0, 8)), "|!rimPAX_SC_"));
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
    ASSERT_TRUE(Until(*station, At("a") + "passed", seen)) << seen;
    Cluster("stop");
    Plug("b", {"--serial", "000322"});
    ASSERT_TRUE(Until(*station, At("b") + "passed", seen)) << seen;
    Cluster("start");
    Plug("c", {"--serial", "000323"});
    ASSERT_TRUE(Until(*station, At("c") + "passed", seen)) << seen;
    EXPECT_EQ(station->Finish().status, 0);
    const auto rows = Records({"--records", "postgresql:"});
    ASSERT_EQ(rows.size(), 3u) << rows;
    for (const auto& row : rows)
        EXPECT_EQ(row["verdict"], "passed");
}

// Units whose update was cut short sit in their boot loaders and answer no search: one calls
// for its host, one waits silently for the greeting. The station finishes both, without the
// update command, and their rows say so; a job without firmware cannot, and says why.
TEST_F(Bench, UnitsLeftInTheirBootLoadersAreFinished) {
    auto station = Station({"--units", "2"});
    std::string seen;
    const std::string image = (dir_ / "a.img").string();
    Plug("a", {"--serial", "000331", "--start-in-bootloader", "--wait-prompt", "--image", image});
    Plug("b", {"--serial", "000332", "--start-in-bootloader"});
    ASSERT_TRUE(
        Until(*station,
              {At("a") + "passed (from boot loader)", At("b") + "passed (from boot loader)"}, seen))
        << seen;
    EXPECT_EQ(station->Finish().status, 0);
    EXPECT_TRUE(Contains(seen, At("a") + "in its boot loader (heard calling): updating"));
    // Heard calling, it was greeted only after its next prompt: "Waiting Connection...".
    EXPECT_TRUE(Contains(seen, At("a") + "Waiting Connection..."));
    EXPECT_EQ(Slurp(image), Slurp(firmware_).substr(80)) << "the whole image, every page";
    auto rows = Records();
    ASSERT_EQ(rows.size(), 2u) << rows;
    for (const auto& row : rows) {
        EXPECT_EQ(row["verdict"], "passed");
        EXPECT_EQ(row["note"], "from boot loader");
        EXPECT_EQ(row["firmwareBefore"], "") << "not known: its firmware did not run";
        EXPECT_EQ(row["firmwareAfter"], "1.07");
    }
    EXPECT_EQ(rows[0]["serial"].get<std::string>() + rows[1]["serial"].get<std::string>() ==
                      "000331000332" ||
                  rows[0]["serial"].get<std::string>() + rows[1]["serial"].get<std::string>() ==
                      "000332000331",
              true)
        << rows;

    Unplug("a");
    Unplug("b");
    auto modeOnly = Station({"--mode", "02", "--units", "1"});
    Plug("a", {"--serial", "000333", "--start-in-bootloader", "--wait-prompt"});
    ASSERT_TRUE(Until(*modeOnly,
                      At("a") + "failed (from boot loader): in its boot loader; this job "
                                "has no firmware to finish it",
                      seen))
        << seen;
    EXPECT_EQ(modeOnly->Finish().status, 1);
    rows = Records();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2]["verdict"], "failed");
    EXPECT_EQ(rows[2]["job"], "mode 02");
}

// Two stations (one per hub) start together on one large firmware file and both work; the
// file replaced on disk mid-shift changes nothing of what the units get, and each station
// says so.
TEST_F(Bench, TwoStationsShareOneLargeFileAndWriteWhatTheyReadAtTheirStart) {
    std::string big(8 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
    std::ofstream(firmware_, std::ios::binary) << big;
    std::ofstream(dir_ / "kept.rfw", std::ios::binary) << big;
    auto first = Station({"--units", "2"}, "a*");
    auto second = Station({"--units", "2"}, "b*");
    std::string seen1, seen2;
    const std::vector<std::string> page = {"--page-size", "8192"};
    auto plug = [&](const std::string& name, const std::string& serial) {
        std::vector<std::string> o = {"--serial", serial, "--image", (dir_ / name).string()};
        o.insert(o.end(), page.begin(), page.end());
        Plug(name, o);
    };
    plug("a1", "000341");
    plug("b1", "000342");
    ASSERT_TRUE(Until(*first, At("a1") + "working on serial number 000341", seen1)) << seen1;
    ASSERT_TRUE(Until(*second, At("b1") + "working on serial number 000342", seen2)) << seen2;
    std::ofstream(firmware_, std::ios::binary | std::ios::trunc) << std::string(80 + 128, 'x');
    ASSERT_TRUE(Until(*first, At("a1") + "passed", seen1)) << seen1;
    ASSERT_TRUE(Until(*second, At("b1") + "passed", seen2)) << seen2;
    plug("a2", "000343");
    plug("b2", "000344");
    ASSERT_TRUE(Until(*first, At("a2") + "passed", seen1)) << seen1;
    ASSERT_TRUE(Until(*second, At("b2") + "passed", seen2)) << seen2;
    const Result one = first->Finish(), two = second->Finish();
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(two.status, 0);
    const std::string pages = big.substr(80, (big.size() - 80) / 8192 * 8192);
    for (const char* name : {"a1", "b1", "a2", "b2"})
        EXPECT_TRUE(Slurp(dir_ / name) == pages) << name << ": not the image read at the start";
    EXPECT_TRUE(Contains(seen1 + one.out, "has changed on disk")) << seen1 + one.out;
    const Result sum = ChildProcess::Run({"sha256sum", (dir_ / "kept.rfw").string()});
    const auto rows = Records();
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows)
        EXPECT_EQ(row["fileSha256"], sum.out.substr(0, 64)) << row;
}

// The live view on a terminal of 80 columns, places named by a slots file: a failure's whole
// reason (wrapped, never cut), a unit pulled mid-update kept on its line with its outcome, an
// already done unit with its serial number; no line wider than the terminal.
TEST_F(Bench, TheLiveViewShowsEachSlotWholeOnANarrowTerminal) {
    std::ofstream(dir_ / "slots") << "# the bench\na  Slot 1\nb  Slot 2\nc  Slot 3\n";
    TestTerminal terminal(80);
    ChildProcess::Options o;
    o.out = terminal.Slave();
    o.err = ChildProcess::kDiscard;
    ChildProcess station(
        {CONFIGURATOR_CLI_PATH, "station", "--update", firmware_, "--firmware", "1.08", "--slots",
         (dir_ / "slots").string(), "--settle", "100", "--ports", (dir_ / "bench" / "*").string()},
        Env(o));
    terminal.CloseSlave();
    auto drawn = [&terminal] {
        std::string all;
        for (const std::string& line : terminal.Screen())
            all += line + "\n";
        return all;
    };
    auto shows = [&drawn](const std::string& text) {
        return Eventually([&] { return Contains(drawn(), text); });
    };
    Plug("a", {"--serial", "000501"});  // keeps 1.07
    Plug("c", {"--serial", "000503", "--firmware", "1.08"});
    ASSERT_TRUE(shows("passed 1, failed 1")) << drawn();
    Unplug("c");
    ASSERT_TRUE(shows("passed; unplugged")) << drawn();  // gone, as a hand takes it out
    Plug("c", {"--serial", "000503", "--firmware", "1.08"});
    Plug("b", {"--serial", "000502", "--hold", "page:5"});
    ASSERT_TRUE(shows("Writing Page #4 : Ok 5/24 20%")) << drawn();
    Unplug("b");
    ASSERT_TRUE(shows("passed 1, failed 2, already done 1")) << drawn();
    ASSERT_TRUE(shows("unplugged")) << drawn();
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait(), 1) << "two units failed";

    const std::vector<std::string> screen = terminal.Screen();
    std::string text;
    for (const std::string& line : screen) {
        EXPECT_LE(line.size(), 80u) << line;
        text += line + "\n";
    }
    auto slotLines = [&screen](const std::string& slot) {
        // The slot's line and the lines its text wraps onto, joined as one.
        std::string joined;
        bool in = false;
        for (const std::string& line : screen) {
            if (line.rfind(slot, 0) == 0) {
                in = true;
                joined = line;
            } else if (in && line.rfind("   ", 0) == 0) {
                joined += " " + line.substr(line.find_first_not_of(' '));
            } else {
                in = false;
            }
        }
        return joined;
    };
    EXPECT_TRUE(Contains(slotLines("Slot 1"), "000501"));
    EXPECT_TRUE(
        Contains(slotLines("Slot 1"), "failed: Updating firmware : Ok; firmware 1.07, not 1.08"))
        << text;
    EXPECT_TRUE(Contains(slotLines("Slot 2"), "failed: Communication Port was lost: Error"))
        << text;
    EXPECT_TRUE(Contains(slotLines("Slot 2"), "unplugged")) << text;
    EXPECT_TRUE(Contains(slotLines("Slot 3"), "000503") &&
                Contains(slotLines("Slot 3"), "already done"))
        << text;
    const auto rows = Records();
    ASSERT_EQ(rows.size(), 3u) << rows;
    std::map<std::string, std::string> slots;
    for (const auto& row : rows)
        slots[row["serial"]] = row["slot"];
    EXPECT_EQ(slots, (std::map<std::string, std::string>{
                         {"000501", "Slot 1"}, {"000502", "Slot 2"}, {"000503", "Slot 3"}}));
}

}  // namespace
