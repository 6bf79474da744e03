// Several adapters in one process: each core has its own line and its own machine, so two
// searches at once each find their own adapter and send only to it; cores add no threads.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/VirtualClock.h"
#include "control/AdapterCore.h"
#include "sim/AdapterSim.h"
#include "sim/MemoryLink.h"
#include "tests/NativePort.h"
#include "tests/support/PortOnlyView.h"
#include "tests/support/QuietPortLists.h"
#include "tests/support/RecordingSink.h"

#if defined(ADAPTER_SIM_PATH)
#include <filesystem>

#include "base/EventLoop.h"
#include "tests/support/AdapterSimProcess.h"
#endif

namespace {

struct SimulatedAdapter {
    SimulatedAdapter(VirtualClock& clock, SimConfig config) : sim(config), link(sim, clock) {}
    AdapterSim sim;
    MemoryLink link;
    RecordingSink sink;
    PortOnlyView view{PortChoice{NATIVE_PORT("/dev/sim0", "COM9"), "SIM", ""}};
};

TEST(ManyCores, TwoSearchesAtOnceEachFindTheirOwnAdapterOnTheirOwnLine) {
    VirtualClock clock;
    SimConfig first, second;
    first.serialNumber = "000111";
    second.serialNumber = "000222";
    second.line = {38400, 'N', 8};  // found a probe later: the two exchanges interleave
    SimulatedAdapter a(clock, first), b(clock, second);
    AdapterCore coreA(clock, a.sink, a.view, {nullptr, a.link.Column(), QuietPortLists()});
    AdapterCore coreB(clock, b.sink, b.view, {nullptr, b.link.Column(), QuietPortLists()});
    coreA.Control().btSearchClick();
    coreB.Control().btSearchClick();
    ASSERT_TRUE(
        clock.RunUntil([&] { return !coreA.Control().Busy() && !coreB.Control().Busy(); }, 60000));
    EXPECT_EQ(coreA.Model().Identity.SerialNumber, "000111");
    EXPECT_EQ(coreB.Model().Identity.SerialNumber, "000222");
    // Each line carried its own core's commands and nothing of the other's.
    EXPECT_EQ(a.link.Writes().size(), 2u);  // I and S at 115200
    EXPECT_EQ(b.link.Writes().size(), 3u);  // I at 115200, I and S at 38400
    EXPECT_EQ(a.sim.Commands(), "IS");
    EXPECT_EQ(b.sim.Commands(), "IS");
    EXPECT_TRUE(a.sink.boxes.empty() && b.sink.boxes.empty());
}

#if defined(ADAPTER_SIM_PATH)
int Threads() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++n;
    }
    return n;
}

// Two adapter-sims on two pseudo-terminals, searched at once by two cores on one loop; eight
// cores run on the same threads as one.
TEST(ManyCores, TwoRealPortsSearchedAtOnceByTwoCoresInOneProcess) {
    AdapterSimProcess simA(ADAPTER_SIM_PATH, {"--serial", "000111"});
    AdapterSimProcess simB(ADAPTER_SIM_PATH, {"--serial", "000222", "--speed", "19200"});
    ASSERT_FALSE(simA.Pty().empty() || simB.Pty().empty());
    EventLoop loop;
    RecordingSink sink;
    int ended = 0;
    auto onEnded = [&] {
        if (++ended == 2) loop.Quit(0);
    };
    PortOnlyView viewA(PortChoice{simA.Pty(), simA.Pty(), ""}, onEnded);
    PortOnlyView viewB(PortChoice{simB.Pty(), simB.Pty(), ""}, onEnded);
    AdapterCore coreA(loop, sink, viewA);
    const int threadsWithOne = Threads();
    AdapterCore coreB(loop, sink, viewB);
    coreA.Control().btSearchClick();
    coreB.Control().btSearchClick();
    loop.Run();
    EXPECT_EQ(coreA.Model().Identity.SerialNumber, "000111");
    EXPECT_EQ(coreB.Model().Identity.SerialNumber, "000222");
    EXPECT_TRUE(sink.boxes.empty());

    std::vector<std::unique_ptr<AdapterCore>> more;
    for (int i = 0; i < 6; ++i)
        more.push_back(std::make_unique<AdapterCore>(loop, sink, viewA));
    EXPECT_EQ(Threads(), threadsWithOne) << "cores share the port lists' two workers";
}
#endif

}  // namespace
