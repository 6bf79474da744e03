#include "sim/MemoryLink.h"

#include <gtest/gtest.h>

#include "SimClient.h"
#include "base/MessageSink.h"
#include "base/VirtualClock.h"
#include "tests/support/QuietPortLists.h"
#include "tests/support/RecordingSink.h"
#include "transport/TSerDev.h"

namespace {
const Bytes kPrefix = "!rimPAX_SC_";

class MemoryLinkTest : public ::testing::Test {
protected:
    explicit MemoryLinkTest(SimConfig config = {}) : sim(std::move(config)) {}

    bool OpenAt(const std::string& settings) {
        dev.PortName = "/dev/sim0";
        if (!dev.Open()) return false;
        dev.SetParams(settings);
        return true;
    }
    Bytes Peek() {
        Bytes got;
        const auto n = dev.InCount();
        if (n == 0) return pending;
        dev.Read(got, n);
        pending += got;
        return pending;
    }

    VirtualClock clock;
    RecordingSink sink;
    AdapterSim sim;
    MemoryLink link{sim, clock};
    TSerDev dev{clock, sink, link.Column(), QuietPortLists()};
    Bytes pending;
};

Bytes TakeAll(Bytes& pending, TSerDev& dev) {
    Bytes got;
    dev.Read(got, dev.InCount());
    Bytes all = pending + got;
    pending.clear();
    return all;
}
}  // namespace

TEST_F(MemoryLinkTest, TSerDevFindsTheAdapterOnlyAtItsSpeed) {
    ASSERT_TRUE(OpenAt("9600,N,8"));
    dev.Write(kPrefix + "I");
    clock.Advance(300);
    EXPECT_EQ(dev.InCount(), 0u);

    dev.SetParams("115200,N,8");
    dev.Write(kPrefix + "I");
    clock.RunUntil([&] { return SimClient::Replies(Peek()).size() == 1; }, 300);
    const auto replies = SimClient::Replies(TakeAll(pending, dev));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(SimClient::Lines(replies[0])[1], "SN:000123");

    ASSERT_EQ(link.Writes().size(), 2u);
    EXPECT_EQ(link.Writes()[0].line, (LineSettings{9600, 'N', 8}));
    EXPECT_EQ(link.Writes()[1].line, (LineSettings{115200, 'N', 8}));
    EXPECT_EQ(link.WrittenBytes(), kPrefix + "I" + kPrefix + "I");
    EXPECT_TRUE(sink.boxes.empty());
}

TEST_F(MemoryLinkTest, LineStateIsVisibleAndSurvivesReopening) {
    ASSERT_TRUE(OpenAt("19200,E,7"));
    dev.SetRTS(false);
    dev.SetDTR(true);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.LastOpenedName(), "/dev/sim0");
    EXPECT_EQ(link.Line(), (LineSettings{19200, 'E', 7}));
    EXPECT_FALSE(link.Rts());
    EXPECT_TRUE(link.Dtr());
    EXPECT_EQ(link.InQueueSize(), TSerDev::kInQueue);
    EXPECT_EQ(link.OutQueueSize(), TSerDev::kOutQueue);

    dev.BeginUpdate();
    dev.SetRTS(true);
    dev.SetDTR(true);
    dev.EndUpdate();
    EXPECT_TRUE(link.Rts());
    dev.Close();
    EXPECT_FALSE(link.IsOpen());
    // A port keeps its settings between opens, as a driver does.
    dev.Open();
    EXPECT_EQ(dev.GetBaud(), 19200u);
    EXPECT_EQ(link.OpenCount(), 2);
    const auto& log = link.Log();
    EXPECT_EQ(log.front(), "open /dev/sim0");
    EXPECT_NE(std::find(log.begin(), log.end(), "rts 0"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "dcb 19200,E,7 rts=1 dtr=1"), log.end());
}

TEST_F(MemoryLinkTest, PacedLineHoldsTheTransmitQueueUntilTheBytesAreOnTheWire) {
    link.SetPaced(true);
    ASSERT_TRUE(OpenAt("9600,N,8"));
    const Bytes file(80, 'x');
    dev.Write(file);
    // 80 bytes at 9600 baud take 80 * 1.0417 ms.
    EXPECT_EQ(dev.OutCount(), 80u);
    clock.Advance(40);
    const auto midway = dev.OutCount();
    EXPECT_GT(midway, 0u);
    EXPECT_LT(midway, 80u);
    EXPECT_TRUE(clock.RunUntil([&] { return dev.OutCount() == 0; }, 200));
}

TEST_F(MemoryLinkTest, PacedRepliesArriveAtTheLineSpeed) {
    link.SetPaced(true);
    ASSERT_TRUE(OpenAt("115200,N,8"));
    dev.Write(kPrefix + "S");
    clock.Advance(3);
    const auto early = dev.InCount();
    EXPECT_TRUE(clock.RunUntil([&] { return SimClient::Replies(Peek()).size() == 1; }, 500));
    EXPECT_LT(early, pending.size());
}

TEST_F(MemoryLinkTest, TransmitQueueThatNeverDrains) {
    link.SetTransmitStuck(true);
    ASSERT_TRUE(OpenAt("115200,N,8"));
    dev.Write(kPrefix + "I");
    clock.Advance(5000);
    EXPECT_EQ(dev.OutCount(), kPrefix.size() + 1);
    EXPECT_EQ(dev.InCount(), 0u);
    EXPECT_TRUE(sim.Commands().empty());
    dev.Purge(false, true);
    EXPECT_EQ(dev.OutCount(), 0u);
}

TEST_F(MemoryLinkTest, OpenFailuresAreReportedLikeAPort) {
    link.SetOpenFails(true);
    dev.PortName = "/dev/sim0";
    EXPECT_FALSE(dev.Open());
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption.rfind("Open Port(/dev/sim0) Error...", 0), 0u);
}

// A device may outlive the line it was handed: the port is then gone, as an unplugged one.
TEST(MemoryLink, ADeviceThatOutlivesItsLinkFindsThePortGone) {
    VirtualClock clock;
    RecordingSink sink;
    auto sim = std::make_unique<AdapterSim>();
    auto link = std::make_unique<MemoryLink>(*sim, clock);
    TSerDev dev(clock, sink, link->Column(), QuietPortLists());
    dev.PortName = "/dev/sim0";
    ASSERT_TRUE(dev.Open());
    link.reset();
    sim.reset();
    EXPECT_FALSE(dev.Write("!rimPAX_SC_I"));
    EXPECT_EQ(dev.InCount(), 0u);
    EXPECT_TRUE(dev.Lost());
    dev.Close();
    EXPECT_FALSE(dev.Open());
}

TEST_F(MemoryLinkTest, DisconnectAtAPageClosesTheLine) {
    sim.MutableConfig().disconnectAtPage = 0;
    ASSERT_TRUE(OpenAt("115200,N,8"));
    dev.Write(kPrefix + "U");
    clock.Advance(50);
    dev.Write("<");
    clock.Advance(20);
    Bytes header = "#";
    header += Bytes("\x00\x00", 2) + Bytes(80, '\0');
    dev.Write(header);
    clock.Advance(20);
    Bytes page = "@";
    page += Bytes(4, '\0') + Bytes(128, '\0');
    dev.Write(page);
    clock.Advance(20);
    EXPECT_TRUE(link.Disconnected());
    sink.boxes.clear();
    // The device is lost: its reader says so, the write no error of its own.
    EXPECT_FALSE(dev.Write("@"));
    EXPECT_TRUE(dev.Lost());
    EXPECT_TRUE(sink.boxes.empty());
    dev.Close();
    EXPECT_FALSE(dev.Open());
    link.Reconnect();
    EXPECT_TRUE(dev.Open());
}

TEST(WirePacer, BytesTakeTenBitTimesAndKeepTheirLineSettings) {
    EXPECT_EQ(WirePacer::ByteTimeUs(115200), 87);
    EXPECT_EQ(WirePacer::ByteTimeUs(9600), 1042);
    EXPECT_EQ(WirePacer::ByteTimeUs(125000), 80);
    WirePacer pacer;
    pacer.SetEnabled(true);
    pacer.Push("ab", {9600, 'N', 8}, 0);
    pacer.Push("c", {115200, 'N', 8}, 0);  // queued behind the slow bytes
    EXPECT_TRUE(pacer.Take(1041).empty());
    auto chunks = pacer.Take(2084);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].data, "ab");
    EXPECT_EQ(pacer.Pending(), 1u);
    chunks = pacer.Take(2084 + 87);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].data, "c");
    EXPECT_EQ(chunks[0].line.baud, 115200u);
}
