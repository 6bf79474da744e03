// A port the user may not open: the device's message keeps the system's text and adds what
// to do about it; any other failure adds nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/AdapterSimProcess.h"
#include "tests/support/ChildProcess.h"

namespace {

// As root every port opens: the program then runs as nobody, for whom a root-owned port
// with no rights for others is closed.
ChildProcess::Result SearchAs(const std::string& port, bool unprivileged) {
    std::vector<std::string> argv = {CONFIGURATOR_CLI_PATH, "--port", port, "search"};
    if (unprivileged && geteuid() == 0)
        argv.insert(argv.begin(),
                    {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    return ChildProcess::Run(argv);
}

TEST(PortPermission, ANotPermittedPortSaysWhatToDoAndOtherFailuresDoNot) {
    AdapterSimProcess sim(ADAPTER_SIM_PATH, {});
    ASSERT_FALSE(sim.Pty().empty());
    ASSERT_EQ(chmod(sim.Pty().c_str(), 0600), 0);
    const ChildProcess::Result denied = SearchAs(sim.Pty(), true);
    EXPECT_NE(denied.status, 0);
    EXPECT_NE(denied.err.find("Permission denied"), std::string::npos) << denied.err;
    EXPECT_NE(denied.err.find("add your user to the group"), std::string::npos) << denied.err;
    EXPECT_NE(denied.err.find("log out and in again"), std::string::npos) << denied.err;

    const ChildProcess::Result missing = SearchAs("/dev/no-such-port", false);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find("group"), std::string::npos) << missing.err;
}

}  // namespace
