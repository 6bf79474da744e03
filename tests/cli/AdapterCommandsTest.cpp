// configurator-cli against adapter-sim on a pseudo-terminal: the real serial layer, the real
// loop and the programs as a user or a script runs them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#ifdef CONFIGURATOR_CLI_PATH
namespace {

namespace fs = std::filesystem;

const fs::path kCli = CONFIGURATOR_CLI_PATH;
const fs::path kSim = kCli.parent_path().parent_path() / "sim" / "adapter-sim";
// The company name of the program's version strings, which makes the second prefix.
const char kCompany[] = "Veltrask Instruments";

// adapter-sim on a process of its own; its first output line is the pty's path.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            close(out[0]);
            args.insert(args.begin(), kSim.string());
            args.push_back("--quiet");
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        // A blocking read of the first line: the program prints it as soon as the pty exists.
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            pty_ += c;
        out_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    const std::string& Pty() const { return pty_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pty_;
};

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

Result RunCli(const std::string& args) {
    const fs::path dir = fs::temp_directory_path();
    const fs::path out = dir / ("cli-out-" + std::to_string(getpid()));
    const fs::path err = dir / ("cli-err-" + std::to_string(getpid()));
    const std::string cmd = Quote(kCli.string()) + " " + args + " >" + Quote(out.string()) + " 2>" +
                            Quote(err.string()) + " </dev/null";
    const int rc = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

Result RunOn(const SimProcess& sim, const std::string& args) {
    return RunCli("--port " + Quote(sim.Pty()) + " " + args);
}

nlohmann::json SearchJson(const SimProcess& sim) {
    const Result r = RunOn(sim, "--json search");
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out, nullptr, false);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliOnSimulator, SearchFindsTheAdapterAtEverySpeedWithEitherPrefix) {
    for (const char* speed : {"115200", "38400", "19200", "9600", "125000"}) {
        for (bool company : {false, true}) {
            std::vector<std::string> args = {"--speed", speed};
            if (company) args.insert(args.end(), {"--company", kCompany, "--labels", "long"});
            SimProcess sim(args);
            ASSERT_FALSE(sim.Pty().empty());
            const Result r = RunOn(sim, "search");
            EXPECT_EQ(r.status, 0) << speed << (company ? " company" : "") << ": " << r.err;
            EXPECT_TRUE(Contains(r.out, "Serial Number: 000123\n")) << r.out;
            EXPECT_TRUE(Contains(r.out, "Firmware: 1.07\n")) << r.out;
        }
    }
}

TEST(CliOnSimulator, SearchPrintsTheStripAndTheMarkedModeList) {
    SimProcess sim({"--power", "on", "--voltage", "BD", "--modes", "01=Standard,7A=Seven"});
    const Result r = RunOn(sim, "search");
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
    const Result r = RunOn(sim, "search");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Copyright: Привет № 1\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "* 00  01   Режим\n")) << r.out;
    EXPECT_EQ(SearchJson(sim)["modes"][0]["description"], "Режим");
}

TEST(CliOnSimulator, ModePowerTestAndRepairChangeWhatTheAdapterReportsNext) {
    SimProcess sim({"--test-pause", "20"});
    Result r = RunOn(sim, "mode 02");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "* 01  02   Extended")) << r.out;
    EXPECT_EQ(SearchJson(sim)["currentMode"], "02");

    r = RunOn(sim, "power on");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SearchJson(sim)["identity"]["extPower"], true);
    r = RunOn(sim, "power off");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SearchJson(sim)["identity"]["extPower"], false);

    r = RunOn(sim, "test");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Self-test started\nRAM ........ OK\n") ||
                Contains(r.out, "Self-test started\r\nRAM ........ OK\r\n"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "Self-test passed")) << r.out;

    const fs::path file = fs::temp_directory_path() / ("repair-" + std::to_string(getpid()));
    { std::ofstream(file, std::ios::binary) << "0A" << std::string(78, '\x01'); }
    r = RunOn(sim, "repair " + Quote(file.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(SearchJson(sim)["currentMode"], "0A");
    fs::remove(file);
}

TEST(CliOnSimulator, FailuresPrintTheBoxTextAndExitWithOne) {
    SimProcess sim({"--speed", "57600"});  // a speed the search never tries
    Result r = RunOn(sim, "search");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Korvanta Adapter is not found on Communication Port " + sim.Pty() + "\n");
    EXPECT_EQ(r.out, "");

    const fs::path file = fs::temp_directory_path() / ("short-" + std::to_string(getpid()));
    { std::ofstream(file, std::ios::binary) << std::string(79, 'x'); }
    r = RunOn(sim, "repair " + Quote(file.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Change Mode file \"" + file.string() + "\"")) << r.err;
    fs::remove(file);

    r = RunCli("--port /dev/no-such-port search");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Open Port(/dev/no-such-port) Error...")) << r.err;
}

TEST(CliOnSimulator, AnUnknownModeFailsAndTheCurrentModeIsNoChange) {
    SimProcess sim({});
    Result r = RunOn(sim, "mode ZZ");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "ZZ")) << r.err;
    r = RunOn(sim, "mode 01");  // already the current mode: nothing to do
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CliUsage, UsageErrorsExitWithTwoAndHelpAndVersionWithZero) {
    EXPECT_EQ(RunCli("").status, 2);
    EXPECT_EQ(RunCli("bogus").status, 2);
    EXPECT_EQ(RunCli("--port /dev/null power maybe").status, 2);
    EXPECT_EQ(RunCli("--port /dev/null mode").status, 2);
    const Result noPort = RunCli("search");
    EXPECT_EQ(noPort.status, 2);
    EXPECT_TRUE(Contains(noPort.err, "--port")) << noPort.err;

    const Result help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"search", "mode", "power", "test", "repair", "--port", "--json"})
        EXPECT_TRUE(Contains(help.out, word)) << word;
    const Result version = RunCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Korvanta Configurator 1.7.0.8\n");
}

}  // namespace
#endif
