// Runs the built adapter-sim program as an end-to-end host would: first line, stty, bytes,
// state file, signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <thread>

#include "PtyClient.h"
#include "SimClient.h"

#ifdef ADAPTER_SIM_PATH
namespace {
const Bytes kPrefix = "!rimPAX_SC_";

std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// The program on its own process, stdout on a pipe so its first line can be read.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(ADAPTER_SIM_PATH)};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(ADAPTER_SIM_PATH, argv.data());
            _exit(127);
        }
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
    }
    ~Program() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_) fclose(out_);
    }
    std::string FirstLine() {
        char line[512] = {};
        if (!out_ || !fgets(line, sizeof line, out_)) return "";
        std::string s = line;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    // Sends the signal and returns the exit status (-1 when it did not exit normally).
    int Stop(int sig) {
        kill(pid_, sig);
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    bool reaped_ = false;
};

bool HasReply(const Bytes& in) {
    return !SimClient::Replies(in).empty();
}

nlohmann::json ReadState(const std::string& path) {
    std::ifstream in(path);
    nlohmann::json j;
    if (in) in >> j;
    return j;
}
}  // namespace

TEST(AdapterSimProgram, HelpDocumentsTheOptions) {
    int status = -1;
    const std::string help = RunCommand(std::string(ADAPTER_SIM_PATH) + " --help", &status);
    EXPECT_EQ(status, 0);
    for (const char* option : {"--speed",
                               "--prefix",
                               "--company",
                               "--labels",
                               "--modes",
                               "--selected",
                               "--power",
                               "--voltage",
                               "--image",
                               "--page-size",
                               "--wait-prompt",
                               "--alt-header",
                               "--nak-page",
                               "--nak-count",
                               "--nak-end",
                               "--noise",
                               "--trickle",
                               "--silent",
                               "--ack-count",
                               "--disconnect-at-page",
                               "--page-delay",
                               "--pace",
                               "--garbage-on-wrong-speed",
                               "--test-pause",
                               "--link",
                               "--state-file"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(AdapterSimProgram, RefusesMalformedModes) {
    int status = 0;
    RunCommand(std::string(ADAPTER_SIM_PATH) + " --modes 0123=x 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}

TEST(AdapterSimProgram, ServesAPtyThatSttyCanInspect) {
    const std::string dir = ::testing::TempDir();
    const std::string link = dir + "adapter-sim-link-" + std::to_string(getpid());
    const std::string state = dir + "adapter-sim-state-" + std::to_string(getpid()) + ".json";
    Program program({"--link", link, "--state-file", state, "--quiet", "--modes", "01=One,02=Two",
                     "--labels", "long"});
    const std::string path = program.FirstLine();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;

    int status = -1;
    const std::string stty = RunCommand("stty -F " + path + " -a", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(stty.find("speed 115200 baud"), std::string::npos) << stty;
    EXPECT_NE(stty.find("-icanon"), std::string::npos) << stty;

    {
        PtyClient host(link);  // through the symbolic link
        ASSERT_TRUE(host.IsOpen());
        ASSERT_TRUE(host.SetSpeed(115200));
        host.Write(kPrefix + "I");
        const Bytes in = host.ReadUntil(HasReply, 3000);
        ASSERT_TRUE(HasReply(in));
        EXPECT_EQ(SimClient::Lines(SimClient::Replies(in)[0])[1], "Serial Number: 000123");
    }
    {
        PtyClient host(path);
        ASSERT_TRUE(host.SetSpeed(115200));
        host.Write(kPrefix + "M");
        host.ReadUntil(HasReply, 3000);
        host.Write("02");
        ASSERT_TRUE(HasReply(host.ReadUntil(HasReply, 3000)));
    }
    EXPECT_EQ(ReadState(state).value("selected", ""), "02");
    EXPECT_EQ(ReadState(state).value("commands", ""), "IM");

    EXPECT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_FALSE(std::ifstream(link).good());  // the link goes with the program
    std::remove(state.c_str());
}
#endif
