// configurator-cli against adapter-sim on a pseudo-terminal: the real serial layer, the real
// loop and the programs as a user or a script runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Eventually.h"
#include "tests/support/TextFiles.h"

#if defined(CONFIGURATOR_CLI_PATH) && defined(ADAPTER_SIM_PATH)
namespace {

namespace fs = std::filesystem;
using Result = ChildProcess::Result;

// The company name of the program's version strings, which makes the second prefix.
const char kCompany[] = "Veltrask Instruments";

// The simulator with these options, its complaints kept out of the test's output.
class SimProcess : public AdapterSimProcess {
public:
    explicit SimProcess(std::vector<std::string> options)
        : AdapterSimProcess(ADAPTER_SIM_PATH, std::move(options), ChildProcess::kDiscard) {}
};

Result RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), CONFIGURATOR_CLI_PATH);
    return ChildProcess::Run(args);
}

Result RunOn(const SimProcess& sim, std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", sim.Pty()});
    return RunCli(std::move(args));
}

nlohmann::json SearchJson(const SimProcess& sim) {
    const Result r = RunOn(sim, {"--json", "search"});
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out, nullptr, false);
}

TEST(CliOnSimulator, SearchFindsTheAdapterAtEverySpeedWithEitherPrefix) {
    for (const char* speed : {"115200", "38400", "19200", "9600", "125000"}) {
        for (bool company : {false, true}) {
            std::vector<std::string> args = {"--speed", speed};
            if (company) args.insert(args.end(), {"--company", kCompany, "--labels", "long"});
            SimProcess sim(args);
            ASSERT_FALSE(sim.Pty().empty());
            const Result r = RunOn(sim, {"search"});
            EXPECT_EQ(r.status, 0) << speed << (company ? " company" : "") << ": " << r.err;
            EXPECT_TRUE(Contains(r.out, "Serial Number: 000123\n")) << r.out;
            EXPECT_TRUE(Contains(r.out, "Firmware: 1.07\n")) << r.out;
        }
    }
}

TEST(CliOnSimulator, SearchPrintsTheStripAndTheMarkedModeList) {
    SimProcess sim({"--power", "on", "--voltage", "BD", "--modes", "01=Standard,7A=Seven"});
    const Result r = RunOn(sim, {"search"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"Signature: ADPT\n", "Serial Number: 000123\n", "Hardware: 2.1\n", "Firmware: 1.07\n",
          "Bootware: 1.02\n", "Copyright: Adapter (C) 2026 Adapter Works\n", "Ext. Power: on\n",
          "Supply Voltage: 25.9 V\n", "* 00  01   Standard\n", "  01  7A   Seven\n"})
        EXPECT_TRUE(Contains(r.out, line)) << line << "\n" << r.out;
    EXPECT_EQ(r.err, "");

    const auto j = SearchJson(sim);
    EXPECT_EQ(j["identity"]["extPower"], true);
    EXPECT_EQ(j["identity"]["supplyVoltage"], "25.9");
    EXPECT_EQ(j["currentMode"], "01");
    EXPECT_EQ(j["modes"].size(), 2u);
}

TEST(CliOnSimulator, AdapterTextIsCodePage1251AndPrintedAsUtf8) {
    SimProcess sim(
        {"--copyright", "\xCF\xF0\xE8\xE2\xE5\xF2 \xB9 1", "--modes", "01=\xD0\xE5\xE6\xE8\xEC"});
    const Result r = RunOn(sim, {"search"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Copyright: Привет № 1\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "* 00  01   Режим\n")) << r.out;
    EXPECT_EQ(SearchJson(sim)["modes"][0]["description"], "Режим");
}

TEST(CliOnSimulator, ModePowerTestAndRepairChangeWhatTheAdapterReportsNext) {
    SimProcess sim({"--test-pause", "20"});
    Result r = RunOn(sim, {"mode", "02"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "* 01  02   Extended")) << r.out;
    EXPECT_EQ(SearchJson(sim)["currentMode"], "02");

    r = RunOn(sim, {"power", "on"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SearchJson(sim)["identity"]["extPower"], true);
    r = RunOn(sim, {"power", "off"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SearchJson(sim)["identity"]["extPower"], false);

    r = RunOn(sim, {"test"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Self-test started\nRAM ........ OK\n") ||
                Contains(r.out, "Self-test started\r\nRAM ........ OK\r\n"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "Self-test passed")) << r.out;

    const fs::path file = fs::temp_directory_path() / ("repair-" + std::to_string(getpid()));
    { std::ofstream(file, std::ios::binary) << "0A" << std::string(78, '\x01'); }
    r = RunOn(sim, {"repair", file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SearchJson(sim)["currentMode"], "0A");
    fs::remove(file);
}

TEST(CliOnSimulator, FailuresPrintTheBoxTextAndExitWithOne) {
    SimProcess sim({"--speed", "57600"});  // a speed the search never tries
    Result r = RunOn(sim, {"search"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Korvanta Adapter is not found on Communication Port " + sim.Pty() + "\n");
    EXPECT_EQ(r.out, "");

    const fs::path file = fs::temp_directory_path() / ("short-" + std::to_string(getpid()));
    { std::ofstream(file, std::ios::binary) << std::string(79, 'x'); }
    r = RunOn(sim, {"repair", file.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Change Mode file \"" + file.string() + "\"")) << r.err;
    fs::remove(file);

    r = RunCli({"--port", "/dev/no-such-port", "search"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Open Port(/dev/no-such-port) Error...")) << r.err;
}

// The exit status is the adapter's answer: a mode or power switch that the answer does not
// show failed, though every reply came.
TEST(CliOnSimulator, ASwitchTheAnswerDoesNotShowExitsWithOne) {
    SimProcess sim({"--locked"});
    Result r = RunOn(sim, {"mode", "02"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "The adapter did not switch to mode 02")) << r.err;
    r = RunOn(sim, {"--json", "power", "on"});
    EXPECT_EQ(r.status, 1);
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    EXPECT_EQ(j.value("ok", true), false) << r.out;
    EXPECT_TRUE(Contains(j.value("error", ""), "external power off")) << r.out;
}

// Ctrl-C and SIGTERM end every command that talks to the adapter, with status 1 and the port
// closed (the next run opens it and finds the adapter).
TEST(CliOnSimulator, EveryCommandStopsOnSigintAndSigterm) {
    struct Case {
        std::vector<std::string> sim, cli;
        int signal;
    };
    // Each is signalled while it waits for the adapter: a search at a speed it never tries, a
    // self-test that pauses, replies that trickle (each exchange lasts seconds).
    const std::vector<Case> cases = {
        {{"--speed", "57600"}, {"search"}, SIGINT},
        {{"--test-pause", "2000"}, {"test"}, SIGTERM},
        {{"--trickle", "20"}, {"mode", "02"}, SIGINT},
        {{"--trickle", "20"}, {"power", "on"}, SIGTERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.cli) + " " + std::to_string(c.signal));
        SimProcess sim(c.sim);
        const std::string trace =
            (fs::temp_directory_path() / ("cli-signal-" + std::to_string(getpid()))).string();
        fs::remove(trace);
        std::vector<std::string> args = {CONFIGURATOR_CLI_PATH, "--trace", trace, "--port",
                                         sim.Pty()};
        args.insert(args.end(), c.cli.begin(), c.cli.end());
        ChildProcess cli(args);
        // The first command is out: the program is in its exchange, its handlers in place.
        EXPECT_TRUE(Eventually([&] { return FileContains(trace, " TX "); }));
        cli.Signal(c.signal);
        const Result r = cli.Finish();
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        // The port was closed: another program opens it at once.
        const Result again = RunOn(sim, {"--json", "search"});
        EXPECT_FALSE(Contains(again.err, "Open Port(")) << again.err;
        fs::remove(trace);
    }
}

TEST(CliOnSimulator, AnUnknownModeFailsAndTheCurrentModeIsNoChange) {
    SimProcess sim({});
    Result r = RunOn(sim, {"mode", "ZZ"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "ZZ")) << r.err;
    r = RunOn(sim, {"mode", "01"});  // already the current mode: nothing to do
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CliUsage, UsageErrorsExitWithTwoAndHelpAndVersionWithZero) {
    EXPECT_EQ(RunCli({"bogus"}).status, 2);
    EXPECT_EQ(RunCli({"--port", "/dev/null", "power", "maybe"}).status, 2);
    EXPECT_EQ(RunCli({"--port", "/dev/null", "mode"}).status, 2);
    const Result noPort = RunCli({"search"});
    EXPECT_EQ(noPort.status, 2);
    EXPECT_TRUE(Contains(noPort.err, "--port")) << noPort.err;

    const Result help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"search", "mode", "power", "test", "repair", "--port", "--json"})
        EXPECT_TRUE(Contains(help.out, word)) << word;
    const Result version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "configurator-cli 1.7.0.8\n");
}

}  // namespace
#endif
