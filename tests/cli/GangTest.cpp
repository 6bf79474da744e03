// configurator-cli on several adapter-sims at once: every port its own run, a failing one
// leaving the others alone, `--port auto` finding the one adapter, Ctrl-C stopping them all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Eventually.h"
#include "tests/support/TextFiles.h"

#if defined(CONFIGURATOR_CLI_PATH) && defined(ADAPTER_SIM_PATH)
namespace {

namespace fs = std::filesystem;
using Result = ChildProcess::Result;

constexpr int kPageSize = 128;
constexpr int kPages = 16;

// An adapter-sim with its image and its state in the test's folder.
struct Adapter {
    Adapter(const fs::path& dir, int n, std::vector<std::string> options) {
        image = dir / ("image" + std::to_string(n));
        state = dir / ("state" + std::to_string(n) + ".json");
        options.insert(options.end(), {"--serial", "00010" + std::to_string(n), "--image",
                                       image.string(), "--state-file", state.string()});
        sim =
            std::make_unique<AdapterSimProcess>(ADAPTER_SIM_PATH, options, ChildProcess::kDiscard);
    }
    nlohmann::json State() const { return nlohmann::json::parse(Slurp(state), nullptr, false); }
    fs::path image, state;
    std::unique_ptr<AdapterSimProcess> sim;
};

class Gang : public ::testing::Test {
protected:
    Gang() {
        dir_ = fs::temp_directory_path() /
               ("gang-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        firmware_ = (dir_ / "fw.rfw").string();
        content_.resize(80 + kPages * kPageSize);
        for (std::size_t i = 0; i < content_.size(); ++i)
            content_[i] = static_cast<char>((i * 29 + i / 256) & 0xFF);
        std::ofstream(firmware_, std::ios::binary) << content_;
    }
    ~Gang() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    Adapter& Add(std::vector<std::string> options) {
        adapters_.push_back(std::make_unique<Adapter>(dir_, static_cast<int>(adapters_.size()) + 1,
                                                      std::move(options)));
        return *adapters_.back();
    }
    // The command line with the ports of the adapters made so far listed, as virtual ports.
    ChildProcess::Options Listing() const {
        std::string listed;
        for (const auto& a : adapters_)
            listed += (listed.empty() ? "" : ":") + a->sim->Pty();
        ChildProcess::Options o;
        o.env = {{"CONFIGURATOR_PORTS", listed}};
        return o;
    }
    Result Cli(std::vector<std::string> args) const {
        args.insert(args.begin(), CONFIGURATOR_CLI_PATH);
        return ChildProcess::Run(args, Listing());
    }
    std::string Pages() const { return content_.substr(80); }

    fs::path dir_;
    std::string firmware_, content_;
    std::vector<std::unique_ptr<Adapter>> adapters_;
};

TEST_F(Gang, ThreeUpdatesAtOnceAndOneThatFailsLeavesTheOthersWhole) {
    Add({});
    Add({"--nak-page", "5", "--nak-count", "4"});  // refuses page 5 for good
    Add({});
    std::vector<std::string> args;
    for (const auto& a : adapters_)
        args.insert(args.end(), {"--port", a->sim->Pty()});
    args.insert(args.end(), {"update", firmware_});
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    // Not on a terminal: one line per event, each with its port, then the summary.
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string& port = adapters_[i]->sim->Pty();
        const std::string end = i == 1 ? "Writing Page #5 : Error" : "Updating firmware : Ok";
        EXPECT_TRUE(Contains(r.out, port + ": " + end + "\n")) << r.out;
        EXPECT_TRUE(Contains(r.out, port + ": found: serial number 00010" + std::to_string(i + 1)))
            << r.out;
        const std::string row = r.out.substr(r.out.rfind(port));
        EXPECT_TRUE(Contains(row.substr(0, row.find('\n')),
                             i == 1 ? "failed: Writing Page #5 : Error" : " ok"))
            << row;
        if (i != 1) {
            EXPECT_TRUE(Slurp(adapters_[i]->image) == Pages());
        }
    }
    EXPECT_EQ(adapters_[1]->State()["bootLoader"], true);
    EXPECT_TRUE(Contains(r.err, "1 of 3 ports failed.")) << r.err;
}

TEST_F(Gang, AutoFindsTheOneAdapterAndNeverGuessesBetweenSeveral) {
    Adapter& deaf =
        Add({"--speed", "57600"});  // answers at no speed a search tries: no adapter there
    // None.
    Result r = Cli({"--port", "auto:/dev/pts/*", "power", "on"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        Contains(r.err, "No adapter answered on " + deaf.sim->Pty() + ", the one listed port"))
        << r.err;
    // One: the command goes to it.
    Adapter& one = Add({});
    r = Cli({"--port", "auto:/dev/pts/*", "power", "on"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Adapter found on " + one.sim->Pty())) << r.err;
    EXPECT_EQ(one.State()["power"], true);
    // Two: named, and nothing is changed on either.
    Adapter& two = Add({});
    r = Cli({"--port", "auto:/dev/pts/*", "power", "off"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, one.sim->Pty()) && Contains(r.err, two.sim->Pty())) << r.err;
    EXPECT_EQ(one.State()["power"], true);
    // A search lists every adapter it found.
    r = Cli({"--port", "auto:/dev/pts/*", "--json", "search"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    ASSERT_EQ(j["ports"].size(), 2u);
}

TEST_F(Gang, CtrlCStopsEveryUpdateAndClosesEveryPort) {
    for (int i = 0; i < 3; ++i)
        Add({"--start-in-bootloader", "--hold", "page:3"});  // each run waits after page 2
    const std::string trace = (dir_ / "trace").string();
    std::vector<std::string> args = {CONFIGURATOR_CLI_PATH, "--trace", trace};
    for (const auto& a : adapters_)
        args.insert(args.end(), {"--port", a->sim->Pty()});
    args.insert(args.end(), {"update", "--no-search", firmware_});
    ChildProcess cli(args, Listing());
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(Eventually(
            [&] { return FileContains(trace + "." + std::to_string(i), " TX 40 02 00 "); }));
    cli.Signal(SIGINT);
    const Result r = cli.Finish();
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    for (const auto& a : adapters_) {
        SCOPED_TRACE(a->sim->Pty());
        EXPECT_TRUE(Contains(r.out, a->sim->Pty() + ": Firmware Update canceled...")) << r.out;
        EXPECT_EQ(a->State()["bootLoader"], true);
        // Closed: it opens again at once.
        const Result again = Cli(
            {"--port", a->sim->Pty(), "update", "--no-search", "--idle-timeout", "0.2", firmware_});
        EXPECT_FALSE(Contains(again.err, "Open Port(")) << again.err;
    }
}

// `all` over an adapter, one left in its boot loader (it calls) and a port without one: the
// boot loader's is finished by the update, the empty port named and not counted; each port
// keeps its own trace and no FILE beside them; the JSON names each unit; `auto` tells an
// adapter in its boot loader from no adapter.
TEST_F(Gang, AllFinishesAnAdapterLeftInItsBootLoaderAndNamesEachUnit) {
    Add({});
    Add({"--start-in-bootloader", "--wait-prompt"});
    Add({"--speed", "57600"});  // deaf: no adapter there
    const std::string trace = (dir_ / "trace").string();
    Result r = Cli({"--trace", trace, "--port", "all:/dev/pts/*", "update", firmware_});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string& boot = adapters_[1]->sim->Pty();
    EXPECT_TRUE(Contains(r.out, boot + ": in its boot loader (heard calling): updating")) << r.out;
    auto row = [&r](const std::string& port) {
        const std::string tail = r.out.substr(r.out.rfind(port));
        return tail.substr(0, tail.find('\n'));
    };
    EXPECT_TRUE(Contains(row(boot), "ok (from boot loader)")) << r.out;
    EXPECT_TRUE(Contains(row(adapters_[2]->sim->Pty()), "no adapter")) << r.out;
    EXPECT_FALSE(Contains(r.out, "Pages written: 0 /")) << r.out;
    EXPECT_TRUE(Slurp(adapters_[0]->image) == Pages() && Slurp(adapters_[1]->image) == Pages());
    EXPECT_FALSE(fs::exists(trace));
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(FileContains(trace + "." + std::to_string(i), " open ")) << i;

    r = Cli({"--json", "--port", "all:/dev/pts/*", "search"});
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << r.out;
    ASSERT_EQ(j["ports"].size(), 3u) << r.out;
    EXPECT_EQ(j["ports"][0]["serial"], "000101");
    EXPECT_EQ(j["ports"][1]["serial"], "000102");
    EXPECT_EQ(j["ports"][2]["serial"], "");
    EXPECT_EQ(j["ports"][0]["place"], adapters_[0]->sim->Pty())
        << "a port named alone is its place";

    const Adapter& waiting = Add({"--start-in-bootloader", "--wait-prompt"});
    r = Cli({"--port", "auto:/dev/pts/*", "search"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, waiting.sim->Pty() + ": an adapter calls there from its boot "
                                                     "loader"))
        << r.err;
    EXPECT_EQ(waiting.State()["bootLoader"], true) << "a search only listens to it";
}

}  // namespace
#endif
