// The runner every program-level test stands on: what it hands back must be what the program
// did, and a program that hangs must not hang the suite.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;

ChildProcess::Options WithLimit(std::chrono::milliseconds limit) {
    ChildProcess::Options o;
    o.limit = limit;
    return o;
}

TEST(ChildProcess, RunKeepsStdoutStderrAndTheExitStatusApart) {
    ChildProcess::Options o;
    o.env = {{"HOME", "/elsewhere"}, {"RUNNER_ONLY", "set"}};
    const auto r = ChildProcess::Run(
        {"sh", "-c", "echo out; echo err >&2; echo $HOME $RUNNER_ONLY; exit 3"}, o);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "out\n/elsewhere set\n");
    EXPECT_EQ(r.err, "err\n");
}

TEST(ChildProcess, AProgramPastTheLimitIsKilledAndGivesMinusOne) {
    EXPECT_EQ(ChildProcess::Run({"sleep", "30"}, WithLimit(200ms)).status, -1);
    // Still writing at the limit: the open output does not hold the run either.
    EXPECT_EQ(
        ChildProcess::Run({"sh", "-c", "while :; do echo x; sleep 0.05; done"}, WithLimit(200ms))
            .status,
        -1);
    ChildProcess silent({"sleep", "30"}, WithLimit(200ms));
    std::string line;
    EXPECT_FALSE(silent.ReadLine(line));
    EXPECT_EQ(silent.Wait(), -1);
}

TEST(ChildProcess, LinesComeOneAtATimeUntilTheOutputEnds) {
    ChildProcess p({"printf", "first\\nsecond\\n\\nlast"});
    std::string line;
    ASSERT_TRUE(p.ReadLine(line));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(p.ReadLine(line));
    EXPECT_EQ(line, "second");
    ASSERT_TRUE(p.ReadLine(line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(p.ReadLine(line));  // "last" has no line break
    EXPECT_EQ(p.Wait(), 0);
}

TEST(ChildProcess, AProgramThatCannotStartGives127) {
    const auto r = ChildProcess::Run({"/nonexistent/program"});
    EXPECT_EQ(r.status, 127);
    EXPECT_EQ(r.out, "");
}

TEST(ChildProcess, StopReturnsTheStatusOfAProgramThatHandlesTheSignal) {
    ChildProcess p({"sh", "-c", "trap 'exit 5' TERM; echo ready; while :; do sleep 0.05; done"});
    std::string line;
    ASSERT_TRUE(p.ReadLine(line));  // the trap is set
    EXPECT_EQ(p.Stop(SIGTERM), 5);
    EXPECT_EQ(p.Wait(), -1);  // gone: nothing is left to wait for
}

}  // namespace
