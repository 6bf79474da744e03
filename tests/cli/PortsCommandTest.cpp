// `configurator-cli ports` on this machine: the virtual ports of CONFIGURATOR_PORTS show up as
// the window would list them, each with its place, and --watch follows them as they come and
// go.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

#ifdef CONFIGURATOR_CLI_PATH
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLimit = 15s;  // generous: only a hang goes past it

// The program with `virtualPorts` as its virtual ports, its stdout read line by line.
class CliProcess : public ChildProcess {
public:
    CliProcess(std::vector<std::string> args, const std::string& virtualPorts)
        : ChildProcess(WithProgram(std::move(args)), ChildOptions(virtualPorts)) {}

    // One listing of --watch: the lines up to the blank line that ends it.
    bool ReadListing(std::vector<std::string>& lines) {
        lines.clear();
        std::string line;
        while (ReadLine(line)) {
            if (line.empty()) return true;
            lines.push_back(line);
        }
        return false;
    }

private:
    static std::vector<std::string> WithProgram(std::vector<std::string> args) {
        args.insert(args.begin(), CONFIGURATOR_CLI_PATH);
        return args;
    }
    static ChildProcess::Options ChildOptions(const std::string& virtualPorts) {
        ChildProcess::Options o;
        o.err = kInherit;
        o.env = {{"CONFIGURATOR_PORTS", virtualPorts}};
        o.limit = kLimit;
        return o;
    }
};

class PortsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("ports-cli-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        present_ = (dir_ / "pty-present").string();
        absent_ = (dir_ / "pty-absent").string();
        std::ofstream(present_).put('\n');
        link_ = (dir_ / "bench" / "a1").string();
        fs::create_directories(dir_ / "bench");
        fs::create_symlink("/dev/null", link_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string VirtualPorts() const {
        return absent_ + ":" + present_ + ":" + (dir_ / "bench").string();
    }
    // Whether a line of the table reads `item`, then `place` in the next column.
    static bool Has(const std::vector<std::string>& lines, const std::string& item,
                    const std::string& place) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            const auto at = line.find_first_not_of(' ', item.size());
            return line.compare(0, item.size(), item) == 0 && at != std::string::npos &&
                   at >= item.size() + 2 && line.substr(at) == place;
        });
    }

    fs::path dir_;
    std::string present_;
    std::string absent_;
    std::string link_;
};

TEST_F(PortsCommand, ListsThePresentVirtualPortsAsItemTextsWithTheirPlaces) {
    CliProcess cli({"ports"}, VirtualPorts());
    std::vector<std::string> lines;
    std::string line;
    while (cli.ReadLine(line))
        lines.push_back(line);
    EXPECT_EQ(cli.Wait(), 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(Has(lines, "port", "place"));
    EXPECT_TRUE(Has(lines, present_ + " (virtual port)", present_));
    EXPECT_TRUE(Has(lines, link_ + " (virtual port)", "a1"));  // a folder's link: its name
    for (const auto& l : lines)
        EXPECT_EQ(l.find(absent_), std::string::npos) << l;
}

TEST_F(PortsCommand, JsonCarriesDeviceIdsAndKinds) {
    CliProcess cli({"ports", "--json"}, VirtualPorts());
    std::string line;
    ASSERT_TRUE(cli.ReadLine(line));
    EXPECT_EQ(cli.Wait(), 0);
    const auto doc = nlohmann::json::parse(line);
    const auto& ports = doc.at("ports");
    auto it = std::find_if(ports.begin(), ports.end(),
                           [&](const auto& p) { return p.at("name") == present_; });
    ASSERT_NE(it, ports.end()) << line;
    EXPECT_EQ(it->at("description"), "virtual port");
    EXPECT_EQ(it->at("deviceId"), "");
    EXPECT_EQ(it->at("kind"), "COM");
    EXPECT_EQ(it->at("text"), present_ + " (virtual port)");
    EXPECT_EQ(it->at("place"), present_);
    // COM entries come before USB entries.
    bool usbSeen = false;
    for (const auto& p : ports) {
        if (p.at("kind") == "USB") usbSeen = true;
        EXPECT_FALSE(usbSeen && p.at("kind") == "COM") << line;
    }
}

// A name that is not UTF-8 (Linux paths are bytes) is printed with U+FFFD in place of what
// cannot be encoded; the listing never aborts on it.
TEST_F(PortsCommand, JsonReplacesWhatIsNotUtf8) {
    const std::string odd = (dir_ / "pty-\xff\xfe").string();
    std::ofstream(odd).put('\n');
    CliProcess cli({"ports", "--json"}, odd);
    std::string line;
    ASSERT_TRUE(cli.ReadLine(line));
    EXPECT_EQ(cli.Wait(), 0);
    const auto doc = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << line;
    const std::string name = (dir_ / "pty-\xEF\xBF\xBD\xEF\xBF\xBD").string();
    const auto& ports = doc.at("ports");
    EXPECT_TRUE(std::any_of(ports.begin(), ports.end(), [&](const auto& p) {
        return p.at("name") == name;
    })) << line;
}

TEST_F(PortsCommand, WatchFollowsAPortThatComesAndGoesUntilInterrupted) {
    CliProcess cli({"ports", "--watch"}, VirtualPorts());
    const std::string absentItem = absent_ + " (virtual port)";
    std::vector<std::string> lines;
    ASSERT_TRUE(cli.ReadListing(lines));
    EXPECT_FALSE(Has(lines, absentItem, absent_));

    std::ofstream(absent_).put('\n');
    ASSERT_TRUE(cli.ReadListing(lines));
    EXPECT_TRUE(Has(lines, absentItem, absent_));
    EXPECT_TRUE(Has(lines, present_ + " (virtual port)", present_));

    fs::remove(absent_);
    ASSERT_TRUE(cli.ReadListing(lines));
    EXPECT_FALSE(Has(lines, absentItem, absent_));

    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(), 0);
}

}  // namespace
#endif
