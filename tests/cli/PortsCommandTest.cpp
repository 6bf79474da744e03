// `configurator-cli ports` on this machine: the virtual ports of CONFIGURATOR_PORTS show up as
// the window would list them, and --watch follows them as they come and go.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
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

#ifdef CONFIGURATOR_CLI_PATH
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLimit = 15s;  // generous: only a hang goes past it

// The program on a process of its own, its stdout on a pipe read line by line.
class CliProcess {
public:
    CliProcess(const std::vector<std::string>& args, const std::string& virtualPorts) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            setenv("CONFIGURATOR_PORTS", virtualPorts.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(CONFIGURATOR_CLI_PATH)};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(CONFIGURATOR_CLI_PATH, argv.data());
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
    }
    ~CliProcess() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }

    // The next line, or false at the end of the output or after the limit.
    bool ReadLine(std::string& line) {
        const auto end = std::chrono::steady_clock::now() + kLimit;
        for (;;) {
            const auto nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char chunk[1024];
            const ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
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
    // The exit status, or -1 when the program did not end within the limit.
    int Wait() {
        const auto end = std::chrono::steady_clock::now() + kLimit;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) return -1;
            usleep(1000);
        }
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int sig) { kill(pid_, sig); }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    bool reaped_ = false;
    std::string buffer_;
};

class PortsCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("ports-cli-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        present_ = (dir_ / "pty-present").string();
        absent_ = (dir_ / "pty-absent").string();
        std::ofstream(present_).put('\n');
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string VirtualPorts() const { return absent_ + ":" + present_; }
    static bool Has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    fs::path dir_;
    std::string present_;
    std::string absent_;
};

TEST_F(PortsCommand, ListsThePresentVirtualPortsAsItemTexts) {
    CliProcess cli({"ports"}, VirtualPorts());
    std::vector<std::string> lines;
    std::string line;
    while (cli.ReadLine(line))
        lines.push_back(line);
    EXPECT_EQ(cli.Wait(), 0);
    EXPECT_TRUE(Has(lines, present_ + " (virtual port)"));
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
    // COM entries come before USB entries.
    bool usbSeen = false;
    for (const auto& p : ports) {
        if (p.at("kind") == "USB") usbSeen = true;
        EXPECT_FALSE(usbSeen && p.at("kind") == "COM") << line;
    }
}

TEST_F(PortsCommand, WatchFollowsAPortThatComesAndGoesUntilInterrupted) {
    CliProcess cli({"ports", "--watch"}, VirtualPorts());
    const std::string absentItem = absent_ + " (virtual port)";
    std::vector<std::string> lines;
    ASSERT_TRUE(cli.ReadListing(lines));
    EXPECT_FALSE(Has(lines, absentItem));

    std::ofstream(absent_).put('\n');
    ASSERT_TRUE(cli.ReadListing(lines));
    EXPECT_TRUE(Has(lines, absentItem));
    EXPECT_TRUE(Has(lines, present_ + " (virtual port)"));

    fs::remove(absent_);
    ASSERT_TRUE(cli.ReadListing(lines));
    EXPECT_FALSE(Has(lines, absentItem));

    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(), 0);
}

}  // namespace
#endif
