#include "sim/BootLoaderSim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "SimClient.h"
#include "sim/AdapterSim.h"

namespace {
const Bytes kPrefix = "!rimPAX_SC_";

Bytes Le16(unsigned v) {
    return Bytes{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

Bytes Sum16(const Bytes& data) {
    unsigned sum = 0;
    for (unsigned char c : data)
        sum += c;
    return Le16(sum & 0xFFFF);
}

// A firmware file: 80 header bytes, then `size - 80` bytes of paged data.
Bytes Firmware(std::size_t size) {
    Bytes f;
    for (std::size_t i = 0; i < size; ++i)
        f += static_cast<char>((i * 7 + i / 256) & 0xFF);
    return f;
}

Bytes HeaderFrame(const Bytes& file) {
    return "#" + Sum16(file.substr(0, 80)) + file.substr(0, 80);
}

Bytes PageFrame(const Bytes& payload, unsigned page, std::size_t pageSize) {
    const Bytes data = payload.substr(page * pageSize, pageSize);
    return "@" + Le16(page) + Sum16(data) + data;
}

const Bytes kEnd = "@\xFF\xFF";

Bytes Ack(unsigned value) {
    return "+\x02" + Le16(value);
}
Bytes Request(unsigned page) {
    return "." + Le16(page);
}

std::string TempPath(const char* name) {
    return ::testing::TempDir() + name + std::to_string(::getpid());
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Enters the boot loader with "U" and greets it; the client then speaks the boot protocol.
void EnterAndConnect(AdapterSim& sim, SimClient& client) {
    const Bytes reply = client.Exchange(kPrefix + "U");
    ASSERT_EQ(SimClient::Replies(reply).size(), 1u);
    ASSERT_TRUE(sim.InBootLoader());
    ASSERT_EQ(client.Exchange("<"), Bytes("+\x00", 2));
}

// Answers every page request until the end is confirmed; returns everything received.
Bytes ServePages(SimClient& client, const Bytes& payload, std::size_t pageSize, Bytes in,
                 int limit = 1000) {
    const std::size_t count = payload.size() / pageSize;
    Bytes all = in;
    for (int i = 0; i < limit; ++i) {
        const auto at = in.rfind('.');
        if (at == Bytes::npos || at + 3 > in.size()) break;
        const unsigned page =
            static_cast<unsigned char>(in[at + 1]) | (static_cast<unsigned char>(in[at + 2]) << 8);
        in = client.Exchange(page == count ? kEnd : PageFrame(payload, page, pageSize));
        all += in;
    }
    return all;
}
}  // namespace

TEST(BootLoaderSim, FullUpdateWritesTheWholePagesOfTheFile) {
    SimConfig config;
    config.imagePath = TempPath("image");
    AdapterSim sim(config);
    SimClient client(sim);
    EnterAndConnect(sim, client);
    // Three whole pages and a remainder that is never sent.
    const Bytes file = Firmware(80 + 3 * 128 + 50);
    const Bytes first = client.Exchange(HeaderFrame(file));
    EXPECT_EQ(first, Ack(128) + Request(0));
    const Bytes all = ServePages(client, file.substr(80), 128, first);
    EXPECT_EQ(all, Ack(128) + Request(0) + Ack(0) + Request(1) + Ack(1) + Request(2) + Ack(2) +
                       Request(3) + Ack(0xFFFF));
    EXPECT_EQ(sim.Boot().Image(), file.substr(80, 3 * 128));
    EXPECT_EQ(ReadFile(config.imagePath), file.substr(80, 3 * 128));
    EXPECT_TRUE(sim.Boot().Finished());
    // Back in the application: commands are answered again.
    EXPECT_FALSE(sim.InBootLoader());
    EXPECT_EQ(SimClient::Replies(client.Exchange(kPrefix + "I")).size(), 1u);
    std::remove(config.imagePath.c_str());
}

TEST(BootLoaderSim, PromptsUntilGreeted) {
    SimConfig config;
    config.startInBootLoader = true;
    config.waitPrompt = true;
    AdapterSim sim(config);
    SimClient client(sim);
    EXPECT_EQ(client.Wait(350), ">>>>");  // at 0 (first poll), 100, 200, 300
    EXPECT_EQ(client.Exchange("<", 300), Bytes("+\x00", 2));
}

TEST(BootLoaderSim, AlternativeHeaderIsTakenAfterSilence) {
    SimConfig config;
    config.altHeader = true;
    config.pageSize = 64;
    AdapterSim sim(config);
    SimClient client(sim);
    EnterAndConnect(sim, client);
    const Bytes file = Firmware(264 + 2 * 64 + 10);
    EXPECT_TRUE(client.Exchange(HeaderFrame(file), 200).empty());
    const Bytes in = client.Exchange(file.substr(80, 184));
    EXPECT_EQ(in, Ack(64) + Request(0));
    ServePages(client, file.substr(264), 64, in);
    EXPECT_EQ(sim.Boot().Image(), file.substr(264, 2 * 64));
    EXPECT_TRUE(sim.Boot().Finished());
}

TEST(BootLoaderSim, BadFramesAreRefusedAndRequestedAgain) {
    AdapterSim sim;
    SimClient client(sim);
    EnterAndConnect(sim, client);
    const Bytes file = Firmware(80 + 2 * 128);
    Bytes header = HeaderFrame(file);
    header[1] ^= 1;
    EXPECT_EQ(client.Exchange(header), "-");
    client.Exchange(HeaderFrame(file));
    const Bytes payload = file.substr(80);

    Bytes badSum = PageFrame(payload, 0, 128);
    badSum[10] ^= 0x40;
    EXPECT_EQ(client.Exchange(badSum), "-" + Request(0));
    EXPECT_EQ(client.Exchange(PageFrame(payload, 1, 128)), "-" + Request(0));  // wrong page
    // A frame that stops short is refused once the line stays quiet.
    EXPECT_EQ(client.Exchange(PageFrame(payload, 0, 128).substr(0, 60), 400), "-" + Request(0));
    EXPECT_EQ(client.Exchange(PageFrame(payload, 0, 128)), Ack(0) + Request(1));
    EXPECT_EQ(sim.Boot().NaksSent(), 4);
}

TEST(BootLoaderSim, NakFaultsForAPageAndForTheEndMarker) {
    SimConfig config;
    config.nakPage = 1;
    config.nakCount = 3;
    config.nakEnd = true;
    AdapterSim sim(config);
    SimClient client(sim);
    EnterAndConnect(sim, client);
    const Bytes file = Firmware(80 + 2 * 128);
    const Bytes payload = file.substr(80);
    client.Exchange(HeaderFrame(file));
    client.Exchange(PageFrame(payload, 0, 128));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(client.Exchange(PageFrame(payload, 1, 128)), "-" + Request(1)) << i;
    EXPECT_EQ(client.Exchange(PageFrame(payload, 1, 128)), Ack(1) + Request(2));
    EXPECT_EQ(client.Exchange(kEnd), "-");
    EXPECT_FALSE(sim.Boot().Finished());
}

TEST(BootLoaderSim, AcknowledgementCountFaults) {
    struct Case {
        int count;
        Bytes pageAck;
    };
    const std::vector<Case> cases = {
        {0, Bytes("+\x00", 2)},
        {1, Bytes("+\x01\x00", 3)},
        {3, Bytes("+\x03\x00\x00\x00", 5)},
        {0x80, Bytes("+\x80\x00\x00", 4)},
        {0xFF, Bytes("+\xFF\x00\x00", 4)},
    };
    for (const auto& c : cases) {
        SimConfig config;
        config.ackCount = c.count;
        AdapterSim sim(config);
        SimClient client(sim);
        EnterAndConnect(sim, client);
        const Bytes file = Firmware(80 + 128);
        EXPECT_EQ(client.Exchange(HeaderFrame(file)), Ack(128) + Request(0)) << c.count;
        EXPECT_EQ(client.Exchange(PageFrame(file.substr(80), 0, 128)), c.pageAck + Request(1))
            << c.count;
    }
}

TEST(BootLoaderSim, PageSizeZeroIsAnnouncedAsIs) {
    SimConfig config;
    config.pageSize = 0;
    config.headerAckCount = 2;
    AdapterSim sim(config);
    SimClient client(sim);
    EnterAndConnect(sim, client);
    EXPECT_EQ(client.Exchange(HeaderFrame(Firmware(200))), Ack(0) + Request(0));
    EXPECT_EQ(client.Exchange(kEnd), Ack(0xFFFF));
}

TEST(BootLoaderSim, DisconnectAtPageAndSlowPages) {
    SimConfig config;
    config.disconnectAtPage = 2;
    config.pageDelayMs = 150;
    AdapterSim sim(config);
    SimClient client(sim);
    EnterAndConnect(sim, client);
    const Bytes file = Firmware(80 + 4 * 128);
    const Bytes payload = file.substr(80);
    client.Exchange(HeaderFrame(file));
    EXPECT_TRUE(client.Exchange(PageFrame(payload, 0, 128), 100).empty());
    EXPECT_EQ(client.Wait(100), Ack(0) + Request(1));
    client.Exchange(PageFrame(payload, 1, 128), 200);
    EXPECT_EQ(sim.Disconnects(), 0);
    EXPECT_TRUE(client.Exchange(PageFrame(payload, 2, 128), 500).empty());
    EXPECT_EQ(sim.Disconnects(), 1);
    EXPECT_TRUE(sim.TakeDisconnect());
    EXPECT_FALSE(sim.TakeDisconnect());
    EXPECT_EQ(sim.Boot().PagesAccepted(), 2);
}

TEST(BootLoaderSim, LeftAloneItGivesTheLineBackWhenToldTo) {
    SimConfig config;
    config.startInBootLoader = true;
    config.bootIdleMs = 500;
    AdapterSim sim(config);
    SimClient client(sim);
    EXPECT_TRUE(client.Exchange(kPrefix + "I", 100).empty());  // the boot loader ignores it
    client.Exchange("<", 400);                                 // activity restarts the wait
    EXPECT_TRUE(sim.InBootLoader());
    client.Wait(200);
    EXPECT_FALSE(sim.InBootLoader());
    EXPECT_EQ(SimClient::Replies(client.Exchange(kPrefix + "I")).size(), 1u);
}
