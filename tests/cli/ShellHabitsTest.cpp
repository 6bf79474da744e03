// configurator-cli as shells and scripts use it: help, version, exit statuses, short options,
// unwritable output, JSON on failure, unknown commands, refused numbers, the line trace and
// links to ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TextFiles.h"

#if defined(CONFIGURATOR_CLI_PATH) && defined(ADAPTER_SIM_PATH)
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
ChildProcess::Result RunCli(std::vector<std::string> args, int out = ChildProcess::kPipe) {
    args.insert(args.begin(), CONFIGURATOR_CLI_PATH);
    ChildProcess::Options o;
    o.out = out;
    return ChildProcess::Run(args, o);
}
struct Shell : ::testing::Test {
    Shell() { fs::create_directories(dir); }
    ~Shell() override { fs::remove_all(dir); }
    const fs::path dir = fs::temp_directory_path() / ("shell-cli-" + std::to_string(getpid()));
};

TEST_F(Shell, HabitsGiveTheExpectedStatusAndTexts) {
    const int full = open("/dev/full", O_WRONLY);
    const std::string none = "/dev/no-such-port", trace = (dir / "no" / "t").string();
    // `out`: parts of stdout; `err`: part of stderr and of the JSON error; `to`: stdout.
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out;
        std::string err;
        int to = ChildProcess::kPipe;
    };
    for (const Case& c : std::vector<Case>{
             {{}, 0, {"Usage: configurator-cli", "Subcommands:"}, ""},
             {{"--version"}, 0, {"configurator-cli 1.7.0.8\n"}, ""},
             {{"--help"}, 0, {"Exit status:\n  0  done", "\n  1  failed", "\n  2  usage"}, ""},
             {{"-p", none, "search"}, 1, {}, "Open Port(" + none + ")"},
             {{"--version"}, 1, {}, "the output could not be written", full},
             {{"frobnicate"}, 2, {}, "unknown command frobnicate\nRun with --help"},
             // Every number option's refusal says what is wrong with the number.
             {{"-p", none, "update", "f", "--idle-timeout", "nan"}, 2, {}, ": nan is not a finite"},
             {{"-p", none, "update", "f", "--idle-timeout", "-1"},
              2,
              {},
              "-timeout: -1 is below 0"},
             {{"station", "--idle-timeout", "inf"}, 2, {}, "--idle-timeout: inf is not a finite"},
             {{"station", "--settle", "-5"}, 2, {}, "--settle: -5 is below 0\n"},
             {{"station", "--settle", "99999999999"}, 2, {}, "99999999999 is above 2147483647\n"},
             {{"station", "--units", "abc"}, 2, {}, "--units: abc is not a number\n"},
             {{"station", "--units", "1.5"}, 2, {}, "--units: 1.5 is not a whole number\n"},
             {{"station", "--units", "0x10"}, 2, {}, "--units: 0x10 is not a number\n"},
             {{"--trace", trace, "-p", none, "search"}, 2, {}, trace + ": No such file"},
             {{"--json", "-p", none, "search"}, 1, {}, "Open Port(" + none + ")"},
             {{"--json", "search"}, 2, {}, "--port is required"},
             {{"--json", "-p", none, "update", "/no/such.rfw"}, 1, {}, "is not found"},
         }) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const auto r = RunCli(c.args, c.to);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        for (const std::string& part : c.out)
            EXPECT_TRUE(Has(r.out, part)) << r.out;
        EXPECT_TRUE(Has(r.err, c.err)) << r.err;
        if (c.args.empty() || c.args[0] != "--json") continue;
        const auto j = nlohmann::json::parse(r.out, nullptr, false);
        EXPECT_TRUE(j.is_object() && j["ok"] == false && Has(j.value("error", ""), c.err)) << r.out;
    }
    close(full);
}

// The bytes sent and received in a piece of trace, whose times and settings are checked.
std::pair<std::string, std::string> ReadTrace(const std::string& trace) {
    std::string tx, rx, line, kind, hex;
    std::istringstream in(trace);
    double ms = 0, last = 0;
    bool settings = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        EXPECT_TRUE(words >> ms >> kind) << line;
        EXPECT_TRUE(kind == "open" || ms >= last) << line;
        last = ms;
        settings = settings || Has(line, " line 115200,N,8,1 ");
        if (kind != "TX" && kind != "RX") continue;
        EXPECT_TRUE(settings) << "before any line settings: " << line;
        while (words >> hex && hex[0] != '|')
            (kind == "TX" ? tx : rx) += static_cast<char>(std::stoi(hex, nullptr, 16));
    }
    return {tx, rx};
}

// The update goes through a link of the user's own to the terminal.
TEST_F(Shell, TraceOfASearchAndAnUpdateThroughALinkHoldsEveryByteInOrder) {
    const fs::path trace = dir / "line.trace", image = dir / "image.bin", fw = dir / "fw.rfw";
    std::string content;
    for (int i = 0; i < 80 + 5 * 128; ++i)
        content += static_cast<char>(i * 37 + 11);
    std::ofstream(fw, std::ios::binary) << content;
    AdapterSimProcess sim(ADAPTER_SIM_PATH, {"--image", image.string()}, ChildProcess::kDiscard);

    ASSERT_EQ(RunCli({"--trace", trace.string(), "-p", sim.Pty(), "search"}).status, 0);
    const std::string first = Slurp(trace);
    const auto [searchTx, searchRx] = ReadTrace(first);
    EXPECT_EQ(searchTx, "!rimPAX_SC_I!rimPAX_SC_S");
    EXPECT_TRUE(Has(searchRx, "SN:000123")) << searchRx;

    fs::create_symlink(sim.Pty(), dir / "adapter");
    const auto r = RunCli(
        {"--trace", trace.string(), "--port", (dir / "adapter").string(), "update", fw.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string both = Slurp(trace);
    ASSERT_EQ(both.compare(0, first.size(), first), 0) << "the trace is appended to";
    const std::string tx = ReadTrace(both.substr(first.size())).first, flashed = Slurp(image);
    EXPECT_EQ(flashed, content.substr(80));
    std::size_t at = 0;  // page by page, in order, each in a frame of its own
    for (std::size_t page = 0; page < flashed.size() && at != std::string::npos; page += 128)
        EXPECT_NE(at = tx.find(flashed.substr(page, 128), at), std::string::npos) << page;
}

}  // namespace
#endif
