// Runs the built adapter-sim program as an end-to-end host would: first line, stty, bytes,
// state file, signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "PtyClient.h"
#include "SimClient.h"
#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"

#ifdef ADAPTER_SIM_PATH
namespace {
const Bytes kPrefix = "!rimPAX_SC_";

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
    const auto help = ChildProcess::Run({ADAPTER_SIM_PATH, "--help"});
    EXPECT_EQ(help.status, 0);
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
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

TEST(AdapterSimProgram, RefusesMalformedModes) {
    EXPECT_EQ(ChildProcess::Run({ADAPTER_SIM_PATH, "--modes", "0123=x"}).status, 2);
}

TEST(AdapterSimProgram, ServesAPtyThatSttyCanInspect) {
    const std::string dir = ::testing::TempDir();
    const std::string link = dir + "adapter-sim-link-" + std::to_string(getpid());
    const std::string state = dir + "adapter-sim-state-" + std::to_string(getpid()) + ".json";
    AdapterSimProcess program(ADAPTER_SIM_PATH, {"--link", link, "--state-file", state, "--modes",
                                                 "01=One,02=Two", "--labels", "long"});
    const std::string path = program.Pty();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;

    const auto stty = ChildProcess::Run({"stty", "-F", path, "-a"});
    EXPECT_EQ(stty.status, 0);
    EXPECT_NE(stty.out.find("speed 115200 baud"), std::string::npos) << stty.out;
    EXPECT_NE(stty.out.find("-icanon"), std::string::npos) << stty.out;

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
