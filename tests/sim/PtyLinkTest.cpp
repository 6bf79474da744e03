#include "sim/PtyLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "PtyClient.h"
#include "SimClient.h"
#include "base/MessageSink.h"
#include "base/VirtualClock.h"
#include "transport/TSerDev.h"

namespace {
const Bytes kPrefix = "!rimPAX_SC_";

bool HasReply(const Bytes& in) {
    return !SimClient::Replies(in).empty();
}

// The adapter on a pseudo-terminal, served on its own thread for the test's lifetime.
class ServedPty {
public:
    explicit ServedPty(SimConfig config = {}, bool paced = false)
        : sim(std::move(config)), link(sim) {
        link.SetPaced(paced);
        opened = link.Open();
        sim.SetEventSink([this](const std::string& e) {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(e);
        });
        if (opened) thread = std::thread([this] { link.Serve([this] { return stop.load(); }); });
    }
    ~ServedPty() { Stop(); }
    void Stop() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }

    AdapterSim sim;
    PtyLink link;
    bool opened = false;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<std::string> events;
    std::thread thread;
};
}  // namespace

TEST(PtyLink, AnswersOnlyAtTheSpeedTheHostSet) {
    ServedPty pty;
    ASSERT_TRUE(pty.opened) << pty.link.Error();
    PtyClient host(pty.link.SlavePath());
    ASSERT_TRUE(host.IsOpen());
    ASSERT_TRUE(host.SetSpeed(9600));
    host.Write(kPrefix + "I");
    EXPECT_TRUE(host.ReadFor(300).empty());
    ASSERT_TRUE(host.SetSpeed(115200));
    host.Write(kPrefix + "I");
    const Bytes in = host.ReadUntil(HasReply, 3000);
    ASSERT_TRUE(HasReply(in)) << in;
    EXPECT_EQ(SimClient::Lines(SimClient::Replies(in)[0])[1], "SN:000123");
}

TEST(PtyLink, NonStandardSpeedIsReadThroughTermios2) {
    SimConfig config;
    config.line.baud = 125000;
    ServedPty pty(config);
    ASSERT_TRUE(pty.opened) << pty.link.Error();
    PtyClient host(pty.link.SlavePath());
    EXPECT_EQ(host.Speed(), 125000u);  // the link leaves the line at the adapter's speed
    ASSERT_TRUE(host.SetSpeed(115200));
    host.Write(kPrefix + "I");
    EXPECT_TRUE(host.ReadFor(300).empty());
    ASSERT_TRUE(host.SetSpeed(125000));
    host.Write(kPrefix + "I");
    EXPECT_TRUE(HasReply(host.ReadUntil(HasReply, 3000)));
}

TEST(PtyLink, KeepsServingAcrossTheHostsOpenAndClose) {
    ServedPty pty;
    ASSERT_TRUE(pty.opened) << pty.link.Error();
    for (int round = 0; round < 4; ++round) {
        PtyClient host(pty.link.SlavePath());
        ASSERT_TRUE(host.IsOpen()) << round;
        ASSERT_TRUE(host.SetSpeed(115200));
        host.Write(kPrefix + "P");
        host.ReadUntil(HasReply, 3000);
        host.Write(round % 2 == 0 ? "1" : "0");
        const Bytes in = host.ReadUntil(HasReply, 3000);
        ASSERT_TRUE(HasReply(in)) << round;
        EXPECT_EQ(SimClient::Lines(SimClient::Replies(in)[0])[1],
                  round % 2 == 0 ? "PW:On" : "PW:Off");
    }
    pty.Stop();
    EXPECT_FALSE(pty.sim.PowerOn());
}

TEST(PtyLink, PacedSelfTestStreamsAndArrivesWhole) {
    SimConfig config;
    config.testPauseMs = 150;  // long enough that a busy machine still sees pieces
    ServedPty pty(config, true);
    ASSERT_TRUE(pty.opened) << pty.link.Error();
    PtyClient host(pty.link.SlavePath());
    ASSERT_TRUE(host.SetSpeed(115200));
    host.Write(kPrefix + "T");
    // The first piece arrives before the whole reply does.
    const Bytes first = host.ReadUntil([](const Bytes& b) { return b.size() > 2; }, 3000);
    EXPECT_FALSE(HasReply(first));
    const Bytes rest = host.ReadUntil(HasReply, 5000);
    const auto replies = SimClient::Replies(first + rest);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(SimClient::Lines(replies[0]).back(), "Self-test passed");
}

TEST(PtyLink, BootLoaderExchangeOverTheTerminal) {
    SimConfig config;
    config.pageSize = 32;
    config.noiseBytes = 2;
    ServedPty pty(config);
    ASSERT_TRUE(pty.opened) << pty.link.Error();
    PtyClient host(pty.link.SlavePath());
    ASSERT_TRUE(host.SetSpeed(115200));
    host.Write(kPrefix + "U");
    ASSERT_TRUE(HasReply(host.ReadUntil(HasReply, 3000)));
    host.Write("<");
    EXPECT_NE(
        host.ReadUntil([](const Bytes& b) { return b.find('+') != Bytes::npos; }, 3000).find('+'),
        Bytes::npos);
    Bytes file;
    for (int i = 0; i < 80 + 2 * 32 + 5; ++i)
        file += static_cast<char>(i * 13);
    auto sum = [](const Bytes& d) {
        unsigned s = 0;
        for (unsigned char c : d)
            s += c;
        return Bytes{static_cast<char>(s & 0xFF), static_cast<char>((s >> 8) & 0xFF)};
    };
    host.Write("#" + sum(file.substr(0, 80)) + file.substr(0, 80));
    for (unsigned page = 0; page <= 2; ++page) {
        const Bytes request{'.', static_cast<char>(page), 0};
        ASSERT_NE(
            host.ReadUntil([&](const Bytes& b) { return b.find(request) != Bytes::npos; }, 3000)
                .find(request),
            Bytes::npos)
            << page;
        if (page == 2) {
            host.Write("@\xFF\xFF");
        } else {
            const Bytes data = file.substr(80 + page * 32, 32);
            host.Write("@" + Bytes{static_cast<char>(page), 0} + sum(data) + data);
        }
    }
    const Bytes end = "+\x02\xFF\xFF";
    EXPECT_NE(
        host.ReadUntil([&](const Bytes& b) { return b.find(end) != Bytes::npos; }, 3000).find(end),
        Bytes::npos);
    pty.Stop();
    EXPECT_EQ(pty.sim.Boot().Image(), file.substr(80, 64));
}

TEST(PtyLink, DisconnectClosesTheTerminal) {
    SimConfig config;
    config.startInBootLoader = true;
    config.disconnectAtPage = 0;
    config.pageSize = 4;
    ServedPty pty(config);
    ASSERT_TRUE(pty.opened) << pty.link.Error();
    PtyClient host(pty.link.SlavePath());
    ASSERT_TRUE(host.SetSpeed(115200));
    host.Write("<");
    host.ReadFor(100);
    host.Write("#" + Bytes(82, '\0'));
    host.ReadFor(100);
    host.Write("@" + Bytes(4, '\0') + Bytes(4, '\0'));
    pty.thread.join();  // Serve returns once the line is closed
    EXPECT_TRUE(pty.link.Closed());
    const auto events = pty.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "boot disconnect page 0"), events.end());
}

// The configurator's own serial device on its platform column, the simulator behind the pty.
TEST(PtyLink, TSerDevSearchesAndQueriesThroughThePlatformSerialLayer) {
    struct NoMessages : MessageSink {
        void ShowMessage(const std::string& c, const std::string& t, MsgIcon) override {
            ADD_FAILURE() << c << ": " << t;
        }
    } sink;
    SimConfig config;
    config.line.baud = 19200;
    ServedPty pty(config);
    ASSERT_TRUE(pty.opened) << pty.link.Error();
    VirtualClock clock;  // TSerDev's poll timer; reads below poll the device themselves
    TSerDev dev(clock, sink);
    dev.PortName = pty.link.SlavePath();
    auto ask = [&](const Bytes& command, int limitMs = 3000) {
        dev.Write(command);
        Bytes got;
        for (int i = 0; i < limitMs / 10 && !HasReply(got); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            Bytes chunk;
            dev.Read(chunk, dev.InCount());
            got += chunk;
        }
        return got;
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(dev.Open()) << round;
        dev.SetParams(round == 0 ? "115200,N,8" : "19200,N,8");
        const Bytes in = ask(kPrefix + "I", round == 0 ? 300 : 3000);
        EXPECT_EQ(HasReply(in), round == 1) << round;
        dev.Close();
    }
    // A later operation relies on the port keeping its speed.
    ASSERT_TRUE(dev.Open());
    EXPECT_EQ(dev.GetBaud(), 19200u);
    const Bytes in = ask(kPrefix + "S");
    ASSERT_TRUE(HasReply(in));
    EXPECT_EQ(SimClient::Lines(SimClient::Replies(in)[0]).back(), "UP:5C");
    dev.Close();
}
