#include "sim/AdapterSim.h"

#include <gtest/gtest.h>

#include "SimClient.h"

namespace {
const Bytes kPrefix = "!rimPAX_SC_";

// A complete reply as the host's framing sees it: CR LF, a "CR:" or "USB-" line, lines
// joined by CR LF, CR LF CR LF; no empty line inside.
void ExpectFramed(const Bytes& in) {
    ASSERT_GE(in.size(), 4u);
    EXPECT_EQ(in.substr(0, 2), "\r\n");
    EXPECT_TRUE(in.compare(2, 3, "CR:") == 0 || in.compare(2, 4, "USB-") == 0) << in;
    EXPECT_EQ(in.substr(in.size() - 4), "\r\n\r\n");
    EXPECT_EQ(in.find("\r\n\r\n"), in.size() - 4) << "empty line inside: " << in;
}

std::vector<std::string> OnlyReplyLines(const Bytes& in) {
    const auto replies = SimClient::Replies(in);
    EXPECT_EQ(replies.size(), 1u) << in;
    return replies.empty() ? std::vector<std::string>{} : SimClient::Lines(replies.front());
}
}  // namespace

TEST(AdapterSim, IdentifyIsAnsweredOnlyWithItsPrefixAtItsLineSettings) {
    struct Case {
        const char* name;
        std::string configuredPrefix;
        LineSettings hostLine;
        Bytes sent;
        bool answered;
    };
    const std::string company = SimConfig::CompanyPrefix("Adapter Works");
    const std::vector<Case> cases = {
        {"fixed prefix, right speed", kPrefix, {115200, 'N', 8}, kPrefix + "I", true},
        {"noise before the prefix", kPrefix, {115200, 'N', 8}, "\x01zz" + kPrefix + "I", true},
        {"wrong speed", kPrefix, {9600, 'N', 8}, kPrefix + "I", false},
        {"125000 is not 115200", kPrefix, {125000, 'N', 8}, kPrefix + "I", false},
        {"wrong parity", kPrefix, {115200, 'E', 8}, kPrefix + "I", false},
        {"wrong data bits", kPrefix, {115200, 'N', 7}, kPrefix + "I", false},
        {"other prefix", company, {115200, 'N', 8}, kPrefix + "I", false},
        {"company prefix", company, {115200, 'N', 8}, company + "I", true},
        {"prefix cut short", kPrefix, {115200, 'N', 8}, "!rimPAX_SCI", false},
        {"lower-case letter", kPrefix, {115200, 'N', 8}, kPrefix + "i", false},
    };
    for (const auto& c : cases) {
        SimConfig config;
        config.prefix = c.configuredPrefix;
        AdapterSim sim(config);
        SimClient client(sim, c.hostLine);
        const Bytes in = client.Exchange(c.sent);
        EXPECT_EQ(!in.empty(), c.answered) << c.name;
    }
    EXPECT_EQ(company, "!ADAPTER WORKS*kv7Tq_CFG_09xZ+");
}

TEST(AdapterSim, WrongSpeedGivesGarbageWhenAskedAndNeverAReply) {
    SimConfig config;
    config.garbageOnWrongSpeed = true;
    AdapterSim sim(config);
    SimClient client(sim, {38400, 'N', 8});
    const Bytes in = client.Exchange(kPrefix + "I");
    EXPECT_EQ(in.size(), kPrefix.size() + 1);
    EXPECT_EQ(in.find('\r'), Bytes::npos);
    EXPECT_TRUE(SimClient::Replies(in).empty());
}

TEST(AdapterSim, IdentifyCarriesTheIdentityInBothLabelStyles) {
    SimConfig config;
    config.serialNumber = "777001";
    AdapterSim shortSim(config);
    SimClient a(shortSim);
    const Bytes shortIn = a.Exchange(kPrefix + "I");
    ExpectFramed(shortIn);
    EXPECT_EQ(OnlyReplyLines(shortIn),
              (std::vector<std::string>{"CR:Adapter (C) 2026 Adapter Works", "SN:777001", "ID:ADPT",
                                        "HW:2.1", "FW:1.07", "BW:1.02"}));

    config.labels = LabelStyle::Long;
    config.bootware.clear();
    AdapterSim longSim(config);
    SimClient b(longSim);
    const Bytes longIn = b.Exchange(kPrefix + "I");
    ExpectFramed(longIn);
    EXPECT_EQ(
        OnlyReplyLines(longIn),
        (std::vector<std::string>{"USB-Adapter (C) 2026 Adapter Works", "Serial Number: 777001",
                                  "Signature: ADPT", "Hardware: 2.1", "Version 1.07"}));
}

TEST(AdapterSim, QueryListsModesSelectionPowerAndSupply) {
    SimConfig config;
    config.modes = {{"1", "One"}, {"A2", "Two"}, {"B33", "Three"}};
    config.selected = "A2";
    config.power = true;
    config.voltage = 0xBD;
    AdapterSim sim(config);
    SimClient client(sim);
    const Bytes in = client.Exchange(kPrefix + "S");
    ExpectFramed(in);
    EXPECT_EQ(OnlyReplyLines(in),
              (std::vector<std::string>{"CR:Adapter (C) 2026 Adapter Works", "1 - One", "A2 - Two",
                                        "B33 - Three", "Selected Mode: A2", "PW:On", "UP:BD"}));
}

TEST(AdapterSim, ModeCommandTakesTheIdAndAnswersWithTheNewSelection) {
    AdapterSim sim;
    SimClient client(sim);
    const Bytes ack = client.Exchange(kPrefix + "M");
    ExpectFramed(ack);
    EXPECT_EQ(OnlyReplyLines(ack).back(), "OK");
    const Bytes in = client.Exchange("02");
    ExpectFramed(in);
    const auto lines = OnlyReplyLines(in);
    EXPECT_EQ(lines.back(), "Selected Mode: 02");
    EXPECT_EQ(lines[1], "01 - Standard");
    EXPECT_EQ(sim.SelectedMode(), "02");
}

TEST(AdapterSim, AModeIdThatCouldGrowWaitsForMoreOrForThePause) {
    SimConfig config;
    config.modes = {{"1", "Short"}, {"12", "Long"}};
    AdapterSim sim(config);
    SimClient client(sim);
    client.Exchange(kPrefix + "M");
    // "1" may be the start of "12": nothing yet after a millisecond.
    EXPECT_TRUE(SimClient::Replies(client.Exchange("1", 1)).empty());
    EXPECT_EQ(OnlyReplyLines(client.Exchange("2")).back(), "Selected Mode: 12");

    client.Exchange(kPrefix + "M");
    const Bytes in = client.Exchange("1", config.modeIdWaitMs + 10);
    EXPECT_EQ(OnlyReplyLines(in).back(), "Selected Mode: 1");
    EXPECT_EQ(sim.SelectedMode(), "1");
}

TEST(AdapterSim, UnknownModeIdKeepsTheSelection) {
    AdapterSim sim;
    SimClient client(sim);
    client.Exchange(kPrefix + "M");
    const auto lines = OnlyReplyLines(client.Exchange("7"));
    EXPECT_EQ(lines[1], "Unknown Mode: 7");
    EXPECT_EQ(lines.back(), "Selected Mode: 01");
    EXPECT_EQ(sim.SelectedMode(), "01");
}

TEST(AdapterSim, PowerCommandSwitchesAndReportsOnlyPowerLines) {
    AdapterSim sim;
    SimClient client(sim);
    client.Exchange(kPrefix + "P");
    EXPECT_EQ(OnlyReplyLines(client.Exchange("1")),
              (std::vector<std::string>{"CR:Adapter (C) 2026 Adapter Works", "PW:On", "UP:5C"}));
    EXPECT_TRUE(sim.PowerOn());
    client.Exchange(kPrefix + "P");
    EXPECT_EQ(OnlyReplyLines(client.Exchange("0"))[1], "PW:Off");
    EXPECT_FALSE(sim.PowerOn());
}

TEST(AdapterSim, RepairStoresExactlyEightyBytesAndSelectsTheNamedMode) {
    AdapterSim sim;
    SimClient client(sim);
    client.Exchange(kPrefix + "E");
    Bytes file = "0A";
    file += Bytes(1, '\0');
    while (file.size() < 80)
        file += static_cast<char>(file.size());
    // 79 bytes are not yet a file; the 80th completes it.
    EXPECT_TRUE(client.Exchange(file.substr(0, 79)).empty());
    const Bytes in = client.Exchange(file.substr(79));
    ExpectFramed(in);
    EXPECT_EQ(OnlyReplyLines(in).back(), "Selected Mode: 0A");
    EXPECT_EQ(sim.StoredModeFile(), file);
    EXPECT_EQ(sim.StoredModeFiles(), 1);
}

TEST(AdapterSim, ACommandInsteadOfAPayloadIsTakenAsACommand) {
    AdapterSim sim;
    SimClient client(sim);
    client.Exchange(kPrefix + "M");
    const auto lines = OnlyReplyLines(client.Exchange(kPrefix + "I"));
    EXPECT_EQ(lines[1], "SN:000123");
    EXPECT_EQ(sim.SelectedMode(), "01");
    client.Exchange(kPrefix + "P");
    EXPECT_EQ(OnlyReplyLines(client.Exchange(kPrefix + "S")).back(), "UP:5C");
    EXPECT_FALSE(sim.PowerOn());
}

TEST(AdapterSim, PayloadThatStopsArrivingIsGivenUp) {
    AdapterSim sim;
    SimClient client(sim);
    client.Exchange(kPrefix + "E");
    client.Exchange("abc", sim.Config().payloadTimeoutMs + 10);
    // Back in command mode: a command is a command again.
    ExpectFramed(client.Exchange(kPrefix + "I"));
    EXPECT_EQ(sim.StoredModeFiles(), 0);
}

TEST(AdapterSim, SilenceOptions) {
    SimConfig config;
    config.ackPayloadCommands = false;
    AdapterSim quietAcks(config);
    SimClient a(quietAcks);
    EXPECT_TRUE(a.Exchange(kPrefix + "M", 500).empty());
    EXPECT_EQ(OnlyReplyLines(a.Exchange("02")).back(), "Selected Mode: 02");

    config.silent = "MS";
    AdapterSim silent(config);
    SimClient b(silent);
    EXPECT_TRUE(b.Exchange(kPrefix + "S").empty());
    EXPECT_TRUE(b.Exchange(kPrefix + "M").empty());
    EXPECT_TRUE(b.Exchange("02").empty());
    EXPECT_EQ(silent.SelectedMode(), "02");  // the command still acts
    ExpectFramed(b.Exchange(kPrefix + "I"));
}

TEST(AdapterSim, SelfTestStreamsInPiecesWithShortPauses) {
    SimConfig config;
    config.testPauseMs = 40;
    AdapterSim sim(config);
    SimClient client(sim);
    sim.OnBytes(kPrefix + "T", 0);
    Bytes all;
    int pieces = 0;
    std::int64_t last = -1;
    int longestGap = 0;
    for (int i = 0; i < 2000; ++i) {
        const Bytes got = client.Wait(1);
        if (got.empty()) continue;
        ++pieces;
        if (last >= 0)
            longestGap = std::max<int>(longestGap, static_cast<int>(client.Now() - last));
        last = client.Now();
        all += got;
    }
    ExpectFramed(all);
    EXPECT_EQ(pieces, static_cast<int>(config.testLines.size()) + 2);
    EXPECT_LT(longestGap, 200);
    const auto lines = OnlyReplyLines(all);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), config.testLines);
}

TEST(AdapterSim, TrickleAndNoiseKeepTheReplyIntact) {
    SimConfig config;
    config.trickleMs = 3;
    config.noiseBytes = 4;
    AdapterSim sim(config);
    SimClient client(sim);
    sim.OnBytes(kPrefix + "I", 0);
    int pieces = 0;
    Bytes all;
    for (int i = 0; i < 1000; ++i) {
        const Bytes got = client.Wait(1);
        if (!got.empty()) ++pieces;
        all += got;
    }
    ASSERT_GT(all.size(), 4u);
    EXPECT_EQ(all.find("\r\n"), 4u);  // the noise comes first and holds no line break
    ExpectFramed(all.substr(4));
    // The noise leaves with the first byte, then byte by byte.
    EXPECT_EQ(pieces, static_cast<int>(all.size()) - 4);
}

TEST(AdapterSim, EventsReportStateChanges) {
    AdapterSim sim;
    std::vector<std::string> events;
    sim.SetEventSink([&](const std::string& e) { events.push_back(e); });
    SimClient client(sim);
    client.Exchange(kPrefix + "P");
    client.Exchange("1");
    client.Exchange(kPrefix + "M");
    client.Exchange("0A");
    EXPECT_EQ(events, (std::vector<std::string>{"command P", "power on", "command M", "mode 0A"}));
    EXPECT_EQ(sim.Commands(), "PM");
}
