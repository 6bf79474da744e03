// configurator-cli update against adapter-sim on a pseudo-terminal: the flashed image is
// compared with the file's whole pages, faults are injected by the simulator, and every run
// must end (success, error, Ctrl-C or silence) with the right exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
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
using namespace std::chrono_literals;
using Result = ChildProcess::Result;

constexpr int kPageSize = 128;
constexpr int kPages = 12;
// No run may take this long; a run that does has hung.
constexpr auto kHangLimit = 60s;

// The command line's stdout and stderr: pipes, or the terminal `fd`.
ChildProcess::Options Output(int fd = ChildProcess::kPipe) {
    ChildProcess::Options o;
    o.out = o.err = fd;
    o.limit = kHangLimit;
    return o;
}

// adapter-sim writing what it flashed to `image`.
class Sim : public AdapterSimProcess {
public:
    Sim(std::vector<std::string> options, const fs::path& image)
        : AdapterSimProcess(ADAPTER_SIM_PATH, WithImage(std::move(options), image),
                            ChildProcess::kDiscard) {}

private:
    static std::vector<std::string> WithImage(std::vector<std::string> options,
                                              const fs::path& image) {
        options.insert(options.begin(), {"--image", image.string()});
        return options;
    }
};

class UpdateCommand : public ::testing::Test {
protected:
    UpdateCommand() {
        dir_ = fs::temp_directory_path() /
               ("update-cli-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        firmware_ = dir_ / "fw.rfw";
        image_ = dir_ / "image.bin";
        content_.resize(264 + kPages * kPageSize + 37);
        for (std::size_t i = 0; i < content_.size(); ++i)
            content_[i] = static_cast<char>((i * 131 + i / 256) & 0xFF);
        std::ofstream(firmware_, std::ios::binary) << content_;
    }
    ~UpdateCommand() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Starts the command line; with `interruptAt`, sends it SIGINT once its trace of the line
    // holds that text (so the signal lands where the test means, however slow the start).
    Result Run(const Sim& sim, std::vector<std::string> args, const std::string& interruptAt = "") {
        const std::string trace = (dir_ / "trace.txt").string();
        fs::remove(trace);
        args.insert(args.begin(), {CONFIGURATOR_CLI_PATH, "--trace", trace, "--port", sim.Pty(),
                                   "update", firmware_.string()});
        ChildProcess cli(args, Output());
        if (!interruptAt.empty()) {
            EXPECT_TRUE(Eventually([&] { return FileContains(trace, interruptAt); }, kHangLimit));
            cli.Signal(SIGINT);
        }
        return cli.Finish();
    }
    // The whole pages of the paged data that starts at `from`.
    std::string WholePages(std::size_t from) const {
        const std::size_t pages = (content_.size() - from) / kPageSize;
        return content_.substr(from, pages * kPageSize);
    }
    std::string Image() const { return Slurp(image_); }
    // The progress line at the end of a run with the header frame.
    std::string LastProgress() const {
        const std::string n = std::to_string((content_.size() - 80) / kPageSize);
        return "Pages written: " + n + " / " + n;
    }

    fs::path dir_, firmware_, image_;
    std::string content_;
};

TEST_F(UpdateCommand, WritesTheWholePagesWithAndWithoutSearchAndWait) {
    struct Case {
        std::vector<std::string> sim, cli;
    };
    const std::vector<Case> cases = {
        {{}, {}},
        {{"--wait-prompt"}, {"--wait"}},
        {{"--start-in-bootloader"}, {"--no-search"}},
        {{"--start-in-bootloader", "--wait-prompt"}, {"--no-search", "--wait"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.cli));
        fs::remove(image_);
        Sim sim(c.sim, image_);
        const Result r = Run(sim, c.cli);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(Image() == WholePages(80)) << "image of " << Image().size() << " bytes";
        EXPECT_TRUE(Contains(r.out, "Updating firmware : Ok\n")) << r.out;
        EXPECT_TRUE(Contains(r.out, LastProgress() + "\n")) << r.out;
        const bool waited = c.cli.size() == 2 || (c.cli.size() == 1 && c.cli[0] == "--wait");
        EXPECT_EQ(Contains(r.out, "Waiting Connection...\n"), waited) << r.out;
        // Only the bytes after the last whole page, which no page carries, are told of.
        const std::size_t tail = (content_.size() - 80) % kPageSize;
        EXPECT_EQ(r.err, "warning: " + std::to_string(tail) +
                             " bytes at the end of the file were not written: they do not fill "
                             "a page of 128 bytes.\n");
    }
}

TEST_F(UpdateCommand, AlternativeHeaderModeWritesPagesFromByte264) {
    Sim sim({"--start-in-bootloader", "--alt-header"}, image_);
    const Result r = Run(sim, {"--no-search"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Image() == WholePages(264));
}

TEST_F(UpdateCommand, NakBurstsNoiseAndLongCountsStillGiveTheWholeImage) {
    Sim sim({"--start-in-bootloader", "--nak-page", "4", "--nak-count", "3", "--noise", "3",
             "--trickle", "1", "--ack-count", "128", "--header-ack-count", "255"},
            image_);
    const Result r = Run(sim, {"--no-search"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Image() == WholePages(80));
    EXPECT_TRUE(Contains(r.out, "Writing Page #4 : Retry 3\n")) << r.out;
}

TEST_F(UpdateCommand, ProtocolErrorsExitWithOne) {
    {
        Sim sim({"--start-in-bootloader", "--nak-page", "2", "--nak-count", "4"}, image_);
        const Result r = Run(sim, {"--no-search"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.out, "Writing Page #2 : Error\n")) << r.out;
        EXPECT_TRUE(Contains(
            r.err, "--port " + sim.Pty() + " update --no-search " + firmware_.string() + "\n"))
            << r.err;
    }
    {
        Sim sim({"--start-in-bootloader", "--page-size", "0"}, image_);
        const Result r = Run(sim, {"--no-search"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.out, "Send Header: Error\n")) << r.out;
    }
    {
        Sim sim({"--start-in-bootloader", "--nak-end"}, image_);
        const Result r = Run(sim, {"--no-search"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.out, "Error updating firmware...\n")) << r.out;
    }
}

// The far end gone is told as such, not as a cancel nor as a silence the idle timeout ends.
TEST_F(UpdateCommand, DisconnectMidRunEndsWithAReasonAndNoHang) {
    Sim sim({"--start-in-bootloader", "--disconnect-at-page", "5"}, image_);
    const Result r = Run(sim, {"--no-search"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Communication Port was lost: Error\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "canceled")) << r.out;
    EXPECT_FALSE(Contains(r.err, "Write Port(")) << r.err;
    EXPECT_FALSE(Contains(r.err, "No answer from the boot loader")) << r.err;
}

TEST_F(UpdateCommand, SilentBootLoaderIsGivenUpAfterTheIdleTimeout) {
    // Not in its boot loader and not greeted: the prompt never comes.
    Sim sim({}, image_);
    const Result r = Run(sim, {"--no-search", "--wait", "--idle-timeout", "0.5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "No answer from the boot loader for 0.5 s")) << r.err;
    EXPECT_TRUE(Contains(r.out, "Waiting Connection...\nFirmware Update canceled...\n")) << r.out;
}

TEST_F(UpdateCommand, CtrlCCancelsAndClosesTheDevice) {
    // The boot loader holds its request for page 3: the run waits there for the interrupt.
    Sim sim({"--start-in-bootloader", "--hold", "page:3"}, image_);
    const Result r = Run(sim, {"--no-search"}, " TX 40 02 00 ");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Firmware Update canceled...\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Updating firmware : Ok")) << r.out;
    // The device was closed: another program can open the port at once.
    const Result again = Run(sim, {"--no-search", "--idle-timeout", "0.3"});
    EXPECT_FALSE(Contains(again.err, "Open Port(")) << again.err;
}

TEST_F(UpdateCommand, CtrlCDuringTheSearchEndsItToo) {
    Sim sim({"--speed", "57600"}, image_);  // a speed the search never tries: a long search
    const Result r = Run(sim, {}, " TX ");  // the first probe is out
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "Firmware Update canceled...\n");
    EXPECT_FALSE(Contains(r.err, "is not found")) << "ended before the search gave up";
}

TEST_F(UpdateCommand, HeaderOnlyFileEndsWithSystemUpdatingOk) {
    Sim sim({"--start-in-bootloader"}, image_);
    std::ofstream(firmware_, std::ios::binary | std::ios::trunc) << content_.substr(0, 80);
    const Result r = Run(sim, {"--no-search"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "System Updating : Ok\n")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Writing Page")) << r.out;
}

TEST_F(UpdateCommand, JsonReportsTheOutcomeOnceAtTheEnd) {
    {
        Sim sim({"--start-in-bootloader"}, image_);
        const Result r = Run(sim, {"--no-search", "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        const auto j = nlohmann::json::parse(r.out, nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << r.out;
        EXPECT_EQ(j["status"], "Updating firmware : Ok");
        EXPECT_EQ(j["ok"], true);
        EXPECT_EQ(j["pageCount"], (content_.size() - 80) / kPageSize);
        EXPECT_EQ(j["pagesWritten"], j["pageCount"]);
    }
    Sim sim({"--start-in-bootloader", "--nak-end"}, image_);
    const Result r = Run(sim, {"--no-search", "--json"});
    EXPECT_EQ(r.status, 1);
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    EXPECT_EQ(j["status"], "Error updating firmware...");
    EXPECT_EQ(j["ok"], false);
}

TEST_F(UpdateCommand, BadFileSendsNothingAndExitsWithOne) {
    Sim sim({}, image_);
    std::ofstream(firmware_, std::ios::binary | std::ios::trunc) << std::string(79, 'x');
    Result r = Run(sim, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Open Firware file... Error! Firmware file \"" + firmware_.string() +
                         "\" is short.\n");
    EXPECT_EQ(r.out, "");
    fs::remove(firmware_);
    r = Run(sim, {"--no-search"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "is not found.")) << r.err;
}

TEST_F(UpdateCommand, ProgressRedrawsInPlaceOnATerminal) {
    Sim sim({"--start-in-bootloader"}, image_);
    // The command line's stdout on a pseudo-terminal of our own.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ChildProcess cli(
        {CONFIGURATOR_CLI_PATH, "--port", sim.Pty(), "update", firmware_.string(), "--no-search"},
        Output(slave));
    close(slave);
    std::string out;
    char buf[4096];
    ssize_t n;
    // Reads until the program has gone and its side of the terminal is closed.
    while ((n = read(master, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    close(master);
    EXPECT_EQ(cli.Wait(), 0) << out;
    EXPECT_TRUE(Contains(out, "\r\033[K" + LastProgress())) << out;
    // Each drawing is taken back before the next text, never ended with a line break.
    const std::string third =
        "Pages written: 3 / " + LastProgress().substr(LastProgress().rfind(' ') + 1);
    EXPECT_TRUE(Contains(out, third + "\r\033[K")) << out;
    EXPECT_FALSE(Contains(out, third + "\r\n")) << out;
    EXPECT_TRUE(Contains(out, "Updating firmware : Ok")) << out;
}

}  // namespace
#endif
