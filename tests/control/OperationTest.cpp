// The operations end to end in virtual time: the state machine drives a real TSerDev whose
// serial column is the simulated adapter's in-memory link.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "RecordingView.h"
#include "base/VirtualClock.h"
#include "control/AdapterCore.h"
#include "control/AppTexts.h"
#include "sim/AdapterSim.h"
#include "sim/MemoryLink.h"
#include "tests/support/QuietPortLists.h"
#include "transport/LineTrace.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

namespace {

class NullProgress : public UpdateView {
public:
    void SetProgressMax(int) override {}
    void SetProgressPos(int) override {}
    void SetStatus(const std::string&) override {}
};

struct Write {
    Bytes data;
    std::string line;
    bool operator==(const Write&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Write& w) {
    return os << '"' << w.data << "\" @" << w.line;
}

const char* const kSpeeds[] = {"115200,N,8", "38400,N,8", "19200,N,8", "9600,N,8", "125000,N,8"};
const Bytes kFirst = "!rimPAX_SC_";

class OperationTest : public ::testing::Test {
protected:
    SimConfig config;
    VirtualClock clock;
    std::unique_ptr<AdapterSim> sim;
    std::unique_ptr<MemoryLink> link;
    RecordingSink sink;
    RecordingView view;
    RecordingSettings settings;
    std::unique_ptr<AdapterCore> core;
    AdapterControl* control = nullptr;

    // A fresh adapter on a fresh line, with a fresh core talking to it.
    void Attach() {
        core.reset();
        sim = std::make_unique<AdapterSim>(config);
        link = std::make_unique<MemoryLink>(*sim, clock);
        core = std::make_unique<AdapterCore>(
            clock, sink, view, CoreOptions{&settings, link->Column(), QuietPortLists()});
        control = &core->Control();
    }
    AdapterModel& Model() const { return core->Model(); }
    // The self-test's reply body as the adapter sends it: its banner, then its lines.
    Bytes SelfTestBody() const {
        Bytes body = "CR:" + config.copyright;
        for (const std::string& line : config.testLines)
            body += "\r\n" + line;
        return body;
    }
    // Runs the starter's operation to its end; false when it is still running at the limit.
    bool Run(const std::function<void()>& starter, std::int64_t limitMs = 60000) {
        starter();
        return clock.RunUntil([&] { return !control->Busy(); }, limitMs);
    }
    bool Search() {
        return Run([&] { control->btSearchClick(); });
    }
    std::vector<Write> Writes() const {
        std::vector<Write> out;
        for (const auto& w : link->Writes())
            out.push_back({w.data, w.line.Text()});
        return out;
    }
    std::vector<Bytes> WrittenData() const {
        std::vector<Bytes> out;
        for (const auto& w : link->Writes())
            out.push_back(w.data);
        return out;
    }
    std::size_t RowOf(const Bytes& id) const {
        for (std::size_t i = 0; i < Model().Modes.size(); ++i)
            if (Model().Modes[i].Id == id) return i;
        ADD_FAILURE() << "no row " << id;
        return 0;
    }
    void ExpectControlsBack() const {
        for (Control c : {Control::gbOptions, Control::lvModes, Control::btSearch, Control::cbCOM,
                          Control::btRefresh, Control::pcOptions})
            EXPECT_TRUE(Model().Enabled(c)) << ControlName(c);
        EXPECT_FALSE(link->IsOpen());
        EXPECT_FALSE(control->Busy());
    }
};

TEST_F(OperationTest, TenSilentProbesThenNotFoundWithEveryControlBack) {
    config.line = {57600, 'N', 8};  // a speed the search never tries
    Attach();
    ASSERT_TRUE(Search());

    std::vector<Write> expected;
    for (const Bytes& prefix : {kFirst, SpecialCommandText()})
        for (const char* speed : kSpeeds)
            expected.push_back({prefix + "I", speed});
    EXPECT_EQ(Writes(), expected);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Error...");
    EXPECT_EQ(sink.boxes[0].icon, MsgIcon::Error);
    EXPECT_EQ(sink.boxes[0].text,
              "Korvanta Adapter is not found on Communication Port SIM0 (simulated)");
    ExpectControlsBack();
    EXPECT_FALSE(Model().Enabled(Control::btCopy));  // nothing was logged
    EXPECT_TRUE(view.focus.empty());
    EXPECT_EQ(Model().UpdateRunCaption, "Run");

    // The next search starts over with the first prefix at 115200.
    link->ClearWrites();
    sim->MutableConfig().line = {115200, 'N', 8};
    ASSERT_TRUE(Search());
    EXPECT_EQ(Writes(),
              (std::vector<Write>{{kFirst + "I", kSpeeds[0]}, {kFirst + "S", kSpeeds[0]}}));
    EXPECT_EQ(Model().Identity.SerialNumber, "000123");
}

TEST_F(OperationTest, FoundOnTheNinthProbeAndEveryLaterCommandUsesTheSecondPrefix) {
    config.prefix = SpecialCommandText();
    config.line = {9600, 'N', 8};
    Attach();
    ASSERT_TRUE(Search());
    const Bytes second = SpecialCommandText();
    std::vector<Write> expected;
    for (const char* speed : kSpeeds)
        expected.push_back({kFirst + "I", speed});
    for (int i = 0; i < 4; ++i)
        expected.push_back({second + "I", kSpeeds[i]});
    expected.push_back({second + "S", kSpeeds[3]});
    EXPECT_EQ(Writes(), expected);
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_EQ(Model().Identity.SerialNumber, "000123");
    EXPECT_EQ(Model().Identity.Signature, "ADPT");
    EXPECT_EQ(Model().Identity.Bootware, "1.02");
    EXPECT_EQ(Model().Identity.SupplyVoltage, "12.9");
    ASSERT_EQ(Model().Modes.size(), 3u);
    EXPECT_EQ(Model().Modes[RowOf("01")].StateIcon, 0);
    EXPECT_EQ(settings.values["Mode"], "01");
    EXPECT_EQ(view.focus, std::vector<Control>{Control::lvModes});
    EXPECT_TRUE(Model().Enabled(Control::btCopy));  // the log holds both replies
    EXPECT_EQ(view.updatePageStates, 1);

    // Power on: the check mark already holds the wanted state when the click arrives.
    link->ClearWrites();
    Model().Identity.ExtPowerOn = true;
    ASSERT_TRUE(Run([&] { control->cbPowerClick(); }));
    EXPECT_EQ(WrittenData(), (std::vector<Bytes>{second + "P", "1"}));
    EXPECT_TRUE(sim->PowerOn());

    link->ClearWrites();
    control->Modes().lvModesSelectItem(RowOf("0A"));
    EXPECT_TRUE(Model().Enabled(Control::btModeSelect));
    ASSERT_TRUE(Run([&] { control->btModeSelectClick(); }));
    EXPECT_EQ(WrittenData(), (std::vector<Bytes>{second + "M", "0A"}));
    EXPECT_EQ(sim->SelectedMode(), "0A");
    EXPECT_EQ(Model().Modes[RowOf("0A")].StateIcon, 0);
    EXPECT_EQ(Model().Modes[RowOf("01")].StateIcon, -1);

    link->ClearWrites();
    ASSERT_TRUE(Run([&] { control->btRunTestClick(); }));
    EXPECT_EQ(WrittenData(), std::vector<Bytes>{second + "T"});

    link->ClearWrites();
    const Bytes modeFile = "02" + Bytes(78, '\0');
    ASSERT_TRUE(Run([&] { control->StartRepair(modeFile); }));
    EXPECT_EQ(WrittenData(), (std::vector<Bytes>{second + "E", modeFile}));
    EXPECT_EQ(sim->StoredModeFile(), modeFile);
    EXPECT_EQ(sim->SelectedMode(), "02");

    link->ClearWrites();
    NullProgress progress;
    ASSERT_TRUE(Run([&] { control->StartUpdate("/nonexistent.rfw", false, false, progress); }));
    ASSERT_FALSE(link->Writes().empty());
    EXPECT_EQ(link->Writes()[0].data, second + "U");
    EXPECT_TRUE(sink.boxes.empty() == false);  // the engine refused the missing file
    EXPECT_EQ(Model().UpdateRunCaption, "Run");
    EXPECT_EQ(sim->SelectedMode(), "02");
    EXPECT_TRUE(sim->Commands().find('U') != std::string::npos);
}

// A driver that forgets a closed port's settings: every later operation speaks at the speed
// the search found, not at the driver's fresh 9600.
TEST_F(OperationTest, LaterOperationsSetTheLineTheSearchFound) {
    config.line = {38400, 'N', 8};
    Attach();
    ASSERT_TRUE(Search());
    link->SetForgetsLine(true);
    link->ClearWrites();
    Model().Identity.ExtPowerOn = true;
    ASSERT_TRUE(Run([&] { control->cbPowerClick(); }));
    control->Modes().lvModesSelectItem(RowOf("0A"));
    ASSERT_TRUE(Run([&] { control->btModeSelectClick(); }));
    ASSERT_TRUE(Run([&] { control->btRunTestClick(); }));
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_TRUE(sim->PowerOn());
    EXPECT_EQ(sim->SelectedMode(), "0A");
    ASSERT_EQ(link->Writes().size(), 5u);
    for (const auto& w : link->Writes())
        EXPECT_EQ(w.line.Text(), "38400,N,8") << w.data;
}

TEST_F(OperationTest, ASearchClearsTheStripAndTheListEvenWhenItFindsNothing) {
    Attach();
    ASSERT_TRUE(Search());
    ASSERT_TRUE(Run([&] { control->btRunTestClick(); }));
    ASSERT_FALSE(Model().TestLog.empty());
    for (Control c : {Control::tsTest, Control::cbPower, Control::edPower, Control::lbPower})
        ASSERT_TRUE(Model().Visible(c)) << ControlName(c);
    EXPECT_EQ(Model().Identity.CopyrightSize, CopyrightWidth::Design);

    sim->MutableConfig().prefix = "!nobody";  // no probe is answered
    ASSERT_TRUE(Search());
    ASSERT_EQ(sink.boxes.size(), 1u);
    const AdapterIdentity& id = Model().Identity;
    for (const Bytes* text :
         {&id.SerialNumber, &id.Signature, &id.Firmware, &id.Bootware, &id.Hardware, &id.Copyright})
        EXPECT_TRUE(text->empty()) << *text;
    EXPECT_EQ(id.CopyrightSize, CopyrightWidth::Full);
    for (Control c : {Control::tsTest, Control::cbPower, Control::edPower, Control::lbPower})
        EXPECT_FALSE(Model().Visible(c)) << ControlName(c);
    EXPECT_TRUE(Model().Modes.empty());
    EXPECT_FALSE(Model().SelectedRow);
    EXPECT_TRUE(Model().TestLog.empty());
    EXPECT_TRUE(view.testPieces.empty());
}

TEST_F(OperationTest, UpdateWithoutSearchSendsNothingBeforeTheEngine) {
    Attach();
    NullProgress progress;
    ASSERT_TRUE(Run([&] { control->StartUpdate("/nonexistent.rfw", true, true, progress); }));
    EXPECT_TRUE(link->Writes().empty());
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_NE(sink.boxes[0].text.find("/nonexistent.rfw"), std::string::npos);
    ExpectControlsBack();
}

TEST_F(OperationTest, APauseOfTwentyTicksIsATimeout) {
    config.trickleMs = 200;
    Attach();
    control->btSearchClick();
    ASSERT_TRUE(clock.RunUntil([&] { return link->Writes().size() >= 2; }, 60000));
    EXPECT_EQ(Writes()[1], (Write{kFirst + "I", kSpeeds[1]}));
}

// Input that wakes the operation the moment it arrives changes nothing on the wire and no
// timeout's length: the operations only end sooner.
TEST_F(OperationTest, WakingOnArrivalKeepsTheWireAndTheTimeouts) {
    std::vector<Write> writes[2];
    std::int64_t took[2] = {0, 0};
    for (int arrivals = 0; arrivals < 2; ++arrivals) {
        clock.SetArrivals(arrivals == 1);
        Attach();
        const std::int64_t start = clock.Now();
        ASSERT_TRUE(Search());
        control->Modes().lvModesSelectItem(RowOf("02"));
        ASSERT_TRUE(Run([&] { control->btModeSelectClick(); }));
        took[arrivals] = clock.Now() - start;
        writes[arrivals] = Writes();
        EXPECT_EQ(sim->SelectedMode(), "02");
        EXPECT_TRUE(sink.boxes.empty());
    }
    EXPECT_EQ(writes[1], writes[0]);
    EXPECT_LT(took[1] * 2, took[0]) << took[1] << " ms against " << took[0] << " ms";
}

// Every wait ends by its bound, measured on the clock from the command, whether the operation
// wakes on its ticks alone or on every arrival too: another device that talks without pause
// ends an operation as surely as silence does, while pauses below twenty ticks are still
// waited for.
TEST_F(OperationTest, EveryWaitEndsByItsBoundWithAndWithoutTheArrivalWake) {
    using Talk = Chatter::Kind;
    const int tick = AdapterControl::kTickMs;
    const std::int64_t identity = ReplyLimitMs(kLongestIdentityReply, 115200);
    const std::int64_t modeList = ReplyLimitMs(kLongestModeListReply, 115200);
    struct Case {
        std::string name;
        char op;                   // S search, M mode, P power, E repair, T self-test
        Talk talk;                 // the far end once the operation starts
        int talkEveryMs;           //
        int testPauseMs;           // between the self-test's pieces
        bool stuck;                // the transmit queue never drains
        bool answered;             // the exchange ends answered, else with "not found"
        std::int64_t least, most;  // virtual milliseconds the operation takes
    };
    std::int64_t silent = 0;  // a search on a silent port, the yardstick of the talkers
    const std::vector<Case> cases = {
        {"silent port", 'S', Talk::Nothing, 0, 50, false, false, 2000, 2500},
        {"a byte every 5 ms", 'S', Talk::Bytes, 5, 50, false, false, 0, 0},
        {"a started reply", 'S', Talk::StartedReply, 5, 50, false, false, 0, 0},
        {"a sentence every 50 ms", 'S', Talk::Sentences, 50, 50, false, false, 0, 0},
        {"mode, started replies", 'M', Talk::StartedReply, 5, 50, false, false, identity + modeList,
         identity + modeList + 8 * tick},
        {"power, started replies", 'P', Talk::StartedReply, 5, 50, false, false,
         identity + modeList, identity + modeList + 8 * tick},
        {"repair, a byte every 5 ms", 'E', Talk::Bytes, 5, 50, false, false, 2 * kReplyStartMs,
         2 * kReplyStartMs + 8 * tick},
        {"self-test, a started reply", 'T', Talk::StartedReply, 5, 50, false, false, kMaxSelfTestMs,
         kMaxSelfTestMs + 8 * tick},
        {"mode, queue stuck, talker", 'M', Talk::Bytes, 5, 50, true, false, 2 * kMaxSendWaitMs,
         2 * kMaxSendWaitMs + 8 * tick},
        {"self-test, pauses of 190 ms", 'T', Talk::Nothing, 0, 190, false, true, 7 * 190,
         7 * 190 + 4 * tick},
        {"self-test, a pause of 250 ms", 'T', Talk::Nothing, 0, 250, false, false,
         2 * kReplyTimeout * tick, 2 * kReplyTimeout * tick + 4 * tick},
    };
    for (const bool arrivals : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (arrivals ? ", waking on arrival" : ", ticks alone"));
            clock.SetArrivals(arrivals);
            config.testPauseMs = c.testPauseMs;
            config.line = {c.name == "silent port" ? 57600u : 115200u, 'N', 8};
            Attach();
            if (c.op != 'S') {
                ASSERT_TRUE(Search());
            }
            sim->BecomeChatter(c.talk, c.talkEveryMs);
            link->SetTransmitStuck(c.stuck);
            sink.boxes.clear();
            const std::int64_t start = clock.Now();
            ASSERT_TRUE(Run(
                [&] {
                    if (c.op == 'S') control->btSearchClick();
                    if (c.op == 'T') control->btRunTestClick();
                    if (c.op == 'E') control->StartRepair(Bytes(80, 'x'));
                    if (c.op == 'P') control->cbPowerClick();
                    if (c.op == 'M') {
                        control->Modes().lvModesSelectItem(RowOf("02"));
                        control->btModeSelectClick();
                    }
                },
                200000));
            const std::int64_t took = clock.Now() - start;
            if (c.name == "silent port") silent = took;
            const std::int64_t most = c.most > 0 ? c.most : silent * 3 / 2;
            EXPECT_GE(took, c.least);
            EXPECT_LE(took, most);
            EXPECT_EQ(control->Succeeded(), c.answered);
            EXPECT_EQ(sink.boxes.size(), c.answered ? 0u : 1u);
            if (!sink.boxes.empty()) {
                EXPECT_NE(sink.boxes[0].text.find("Adapter is not found"), std::string::npos);
            }
            ExpectControlsBack();
        }
    }
}

// The line trace of a search, read back line by line against what the adapter received.
TEST_F(OperationTest, TheLineTraceHoldsEveryWriteWithItsLineSettings) {
    config.line = {19200, 'N', 8};  // found on the third probe: the speed changes twice
    Attach();
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    LineTrace trace(file);
    core->Device().SetTrace(&trace);
    ASSERT_TRUE(Search());
    std::rewind(file);
    std::vector<Write> traced;
    std::string settings;
    Bytes received;
    double last = 0;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, file) != nullptr) {
        std::istringstream line(buf);
        double ms = 0;
        std::string what;
        line >> ms >> what;
        EXPECT_GE(ms, what == "open" ? 0.0 : last) << buf;
        last = ms;
        if (what == "line") line >> settings;
        if (what != "TX" && what != "RX") continue;
        Bytes data;
        for (std::string hex; line >> hex && hex[0] != '|';)
            data += static_cast<char>(std::stoi(hex, nullptr, 16));
        if (what == "RX") received += data;
        // "19200,N,8,1": the trace's settings carry the stop bits too.
        if (what == "TX") traced.push_back({data, settings.substr(0, settings.rfind(','))});
    }
    std::fclose(file);
    EXPECT_EQ(traced, Writes());
    EXPECT_NE(received.find("SN:000123"), Bytes::npos);
}

// A line that never falls silent: a reply that keeps coming and never ends is given up as a
// missing one would be, by its length in time or in bytes.
TEST_F(OperationTest, AReplyThatNeverEndsIsGivenUpAsMissing) {
    for (const int trickleMs : {5, 0}) {
        config.testLines.assign(trickleMs > 0 ? 20000 : 5000, "still testing, still testing");
        config.testPauseMs = 1;
        Attach();
        ASSERT_TRUE(Search());
        sim->MutableConfig().trickleMs = trickleMs;
        const std::int64_t start = clock.Now();
        ASSERT_TRUE(Run([&] { control->btRunTestClick(); }, 200000)) << trickleMs;
        ASSERT_EQ(sink.boxes.size(), 1u) << trickleMs;
        EXPECT_NE(sink.boxes[0].text.find("is not found"), std::string::npos);
        if (trickleMs > 0) {
            EXPECT_LT(clock.Now() - start, kMaxSelfTestMs + 1000);
        }
        ExpectControlsBack();
        sink.boxes.clear();
    }
}

TEST_F(OperationTest, UnansweredModePowerAndRepairCommandsStillSendTheirPayload) {
    config.ackPayloadCommands = false;  // no answer to the command letters themselves
    Attach();
    ASSERT_TRUE(Search());

    link->ClearWrites();
    control->Modes().lvModesSelectItem(RowOf("02"));
    ASSERT_TRUE(Run([&] { control->btModeSelectClick(); }));
    EXPECT_EQ(WrittenData(), (std::vector<Bytes>{kFirst + "M", "02"}));
    // The ID waits for the command's reply timeout: twenty quiet ticks.
    EXPECT_GE(link->Writes()[1].atMs - link->Writes()[0].atMs, 200);
    EXPECT_EQ(sim->SelectedMode(), "02");

    link->ClearWrites();
    Model().Identity.ExtPowerOn = false;
    ASSERT_TRUE(Run([&] { control->cbPowerClick(); }));
    EXPECT_EQ(WrittenData(), (std::vector<Bytes>{kFirst + "P", "0"}));

    link->ClearWrites();
    const Bytes modeFile = "0A" + Bytes(78, 'x');
    ASSERT_TRUE(Run([&] { control->StartRepair(modeFile); }));
    EXPECT_EQ(WrittenData(), (std::vector<Bytes>{kFirst + "E", modeFile}));
    for (const auto& box : sink.boxes)
        ADD_FAILURE() << box.caption << ": " << box.text;
    EXPECT_EQ(sim->SelectedMode(), "0A");
}

TEST_F(OperationTest, OnlyTheMissingAnswerToTheModeIdReportsNotFound) {
    Attach();
    ASSERT_TRUE(Search());
    sim->MutableConfig().line = {9600, 'N', 8};  // the adapter no longer hears us
    link->ClearWrites();
    control->Modes().lvModesSelectItem(RowOf("02"));
    ASSERT_TRUE(Run([&] { control->btModeSelectClick(); }));
    EXPECT_EQ(WrittenData(), (std::vector<Bytes>{kFirst + "M", "02"}));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].text,
              "Korvanta Adapter is not found on Communication Port SIM0 (simulated)");
    EXPECT_EQ(Model().Identity.SerialNumber, "000123");  // the strip keeps its values
}

TEST_F(OperationTest, SelfTestOutputStreamsPieceByPieceAndEndsWhole) {
    config.testPauseMs = 60;
    Attach();
    ASSERT_TRUE(Search());
    Model().TestLog = "old output";
    control->btRunTestClick();
    EXPECT_TRUE(Model().TestLog.empty());
    ASSERT_TRUE(clock.RunUntil([&] { return Model().TestLog.find("RAM") != Bytes::npos; }, 10000));
    EXPECT_TRUE(control->Busy());
    EXPECT_EQ(Model().TestLog.find("Self-test passed"), Bytes::npos);
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 10000));

    const Bytes body = SelfTestBody();
    EXPECT_EQ(Model().TestLog, body);
    Bytes joined;
    for (const Bytes& piece : view.testPieces)
        joined += piece;
    EXPECT_EQ(joined, body);
    EXPECT_GT(view.testPieces.size(), 3u);
    EXPECT_EQ(body.rfind("CR:", 0), 0u);
    EXPECT_NE(body.find("Self-test started\r\nRAM"), Bytes::npos);
    EXPECT_EQ(body.substr(body.size() - 16), "Self-test passed");
    EXPECT_EQ(view.focus.back(), Control::btRunTest);
    EXPECT_TRUE(Model().SettingsLog.empty());  // the test reply is neither logged nor parsed
}

TEST_F(OperationTest, RunDuringASelfTestStartsItAnewOnAReopenedDevice) {
    config.testPauseMs = 60;
    Attach();
    ASSERT_TRUE(Search());
    control->btRunTestClick();
    ASSERT_TRUE(clock.RunUntil([&] { return Model().TestLog.find("RAM") != Bytes::npos; }, 10000));
    const int opens = link->OpenCount();

    control->btRunTestClick();
    EXPECT_TRUE(Model().TestLog.empty());
    EXPECT_EQ(link->OpenCount(), opens + 1);
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 10000));

    int testCommands = 0;
    for (const Bytes& data : WrittenData())
        if (data == kFirst + "T") ++testCommands;
    EXPECT_EQ(testCommands, 2);
    // The log holds the new run's output once, from its first line to its last.
    EXPECT_EQ(Model().TestLog, SelfTestBody());
    EXPECT_EQ(Model().TestLog.rfind("CR:", 0), 0u);
    EXPECT_EQ(Model().TestLog.find("Self-test started"),
              Model().TestLog.rfind("Self-test started"));
    EXPECT_EQ(Model().TestLog.substr(Model().TestLog.size() - 16), "Self-test passed");
}

TEST_F(OperationTest, ATrickledSelfTestShowsNeitherLeadingNoiseNorTheEndMarker) {
    config.noiseBytes = 7;
    Attach();
    ASSERT_TRUE(Search());
    sim->MutableConfig().trickleMs = 3;  // the noise and the marker arrive over several ticks
    ASSERT_TRUE(Run([&] { control->btRunTestClick(); }, 60000));
    EXPECT_TRUE(sink.boxes.empty());
    // The noise inside the reply is the reply's; before it and the end marker after it are not.
    const Bytes& log = Model().TestLog;
    EXPECT_EQ(log.rfind("CR:", 0), 0u);
    EXPECT_EQ(log.find("\r\n\r\n"), Bytes::npos);
    std::size_t at = 0;
    for (const std::string& line : config.testLines)
        EXPECT_NE(at = log.find(line, at), Bytes::npos) << line;
    Bytes joined;
    for (const Bytes& piece : view.testPieces)
        joined += piece;
    EXPECT_EQ(joined, log);
    EXPECT_GT(view.testPieces.size(), 3u);
}

TEST_F(OperationTest, RtsOffAndDtrOnAtTheStartBothOnTogetherBeforeTheClose) {
    Attach();
    ASSERT_TRUE(Search());
    const auto& log = link->Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "open " NATIVE_DEVICE("/dev/sim0", "COM9"));
    auto at = [&](const std::string& entry) {
        return std::find(log.begin(), log.end(), entry) - log.begin();
    };
    const auto rtsOff = at("rts 0");
    EXPECT_LT(rtsOff, at("dtr 1"));
    EXPECT_EQ(at("dtr 1"), rtsOff + 1);
    EXPECT_EQ(log.back(), "close");
    EXPECT_EQ(log[log.size() - 2], "dcb 115200,N,8 rts=1 dtr=1");
}

TEST_F(OperationTest, NoPortChosenEndsQuietlyAndGivesEverythingBack) {
    Attach();
    view.port.reset();
    control->btSearchClick();
    EXPECT_FALSE(control->Busy());
    EXPECT_EQ(link->OpenCount(), 0);
    EXPECT_TRUE(sink.boxes.empty());
    EXPECT_EQ(view.ended, 1);
    ExpectControlsBack();

    // The power box was disabled and its mark toggled by the click: both come back.
    Model().SetVisible(Control::cbPower, true);
    Model().SetEnabled(Control::cbPower, true);
    Model().Identity.ExtPowerOn = true;
    control->cbPowerClick();
    EXPECT_TRUE(Model().Enabled(Control::cbPower));
    EXPECT_FALSE(Model().Identity.ExtPowerOn);

    Model().SetEnabled(Control::pcOptions, true);
    control->btRunTestClick();
    EXPECT_TRUE(Model().Enabled(Control::pcOptions));
    EXPECT_EQ(link->OpenCount(), 0);
}

TEST_F(OperationTest, APortThatVanishesDuringTheOperationStillEndsIt) {
    config.line = {57600, 'N', 8};
    Attach();
    view.port->DeviceId = "USB\\VID_0403&PID_6001\\A1";
    control->btSearchClick();
    ASSERT_TRUE(clock.RunUntil([&] { return link->Writes().size() >= 3; }, 10000));
    view.port.reset();
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 60000));
    ExpectControlsBack();
    EXPECT_FALSE(Model().Enabled(Control::btPortProp));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].text, "Korvanta Adapter is not found on Communication Port ");

    view.port = PortChoice{NATIVE_PORT("/dev/sim0", "COM9"), "SIM0", "USB\\VID_0403&PID_6001\\A1"};
    ASSERT_TRUE(Search());
    EXPECT_TRUE(Model().Enabled(Control::btPortProp));
}

// An adapter unplugged in the middle of an exchange ends the operation at once with the one
// message that says so, not after the missing reply's timeouts nor with write errors.
TEST_F(OperationTest, ALostPortEndsEveryOperationWithinASecond) {
    config.replyDelayMs = 100;  // the line is lost while a reply is awaited
    struct Case {
        const char* name;
        bool searchFirst;
        std::function<void()> start;
    };
    const std::vector<Case> cases = {
        {"search", false, [&] { control->btSearchClick(); }},
        {"self-test", true, [&] { control->btRunTestClick(); }},
        {"mode", true,
         [&] {
             control->Modes().lvModesSelectItem(RowOf("0A"));
             control->btModeSelectClick();
         }},
        {"power", true,
         [&] {
             Model().Identity.ExtPowerOn = true;
             control->cbPowerClick();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // At a speed the search never tries, it stays in its probes.
        config.line = {c.searchFirst ? 115200u : 57600u, 'N', 8};
        Attach();
        if (c.searchFirst) {
            ASSERT_TRUE(Search());
        }
        sink.boxes.clear();
        c.start();
        const auto sent = link->Writes().size();
        ASSERT_TRUE(clock.RunUntil([&] { return link->Writes().size() > sent; }, 1000));
        clock.Advance(20);
        link->Disconnect();
        ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 1000));
        ExpectControlsBack();
        ASSERT_EQ(sink.boxes.size(), 1u);
        EXPECT_EQ(sink.boxes[0].text, TSerDev::LostText(view.port->Text));
    }
}

TEST_F(OperationTest, ATransmitQueueThatNeverDrainsCountsAsMissingReplies) {
    Attach();
    link->SetTransmitStuck(true);
    ASSERT_TRUE(Run([&] { control->btSearchClick(); }, 200000));
    EXPECT_EQ(link->Writes().size(), 10u);
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_NE(sink.boxes[0].text.find("Adapter is not found"), std::string::npos);
    ExpectControlsBack();
}

TEST_F(OperationTest, WhileItRunsTheSettingsControlsAreDisabledAndTheOthersAreNot) {
    Attach();
    Model().SetEnabled(Control::btModeSelect, true);
    Model().SetEnabled(Control::btCopy, true);
    Model().SetEnabled(Control::btPortProp, true);
    Model().SetEnabled(Control::btUpdateRun, true);
    control->btSearchClick();
    ASSERT_TRUE(clock.RunUntil([&] { return !link->Writes().empty(); }, 1000));
    for (Control c : {Control::gbOptions, Control::lvModes, Control::btModeSelect, Control::btCopy,
                      Control::btSearch, Control::cbCOM, Control::btRefresh, Control::btPortProp,
                      Control::btUpdateRun})
        EXPECT_FALSE(Model().Enabled(c)) << ControlName(c);
    for (Control c : {Control::pcOptions, Control::btRunTest})
        EXPECT_TRUE(Model().Enabled(c)) << ControlName(c);
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 10000));
    ExpectControlsBack();
}

TEST_F(OperationTest, ADeviceClosedBeforeTheFirstStepIsReportedWithThePortText) {
    Attach();
    control->btSearchClick();
    core->Device().Close();
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 1000));
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Error...");
    EXPECT_EQ(sink.boxes[0].icon, MsgIcon::Error);
    EXPECT_EQ(sink.boxes[0].text, "Cannot open Communication Port SIM0 (simulated)");
    EXPECT_TRUE(link->Writes().empty());
    ExpectControlsBack();
    EXPECT_EQ(view.focus, std::vector<Control>{Control::lvModes});
}

TEST_F(OperationTest, AFailedOpenEndsTheOperationWithTheDevicesMessage) {
    Attach();
    link->SetOpenFails(true);
    control->btSearchClick();
    EXPECT_FALSE(control->Busy());
    ASSERT_EQ(sink.boxes.size(), 1u);
    EXPECT_EQ(sink.boxes[0].caption, "Open Port(" NATIVE_PORT("/dev/sim0", "COM9") ") Error...");
    ExpectControlsBack();
    clock.Advance(1000);
    EXPECT_TRUE(link->Writes().empty());
}

TEST_F(OperationTest, StartersWaitForTheRunningOperation) {
    Attach();
    ASSERT_TRUE(Search());
    control->btSearchClick();
    ASSERT_TRUE(clock.RunUntil([&] { return !link->Writes().empty(); }, 1000));
    EXPECT_TRUE(control->Busy());

    control->btRunTestClick();
    EXPECT_EQ(link->OpenCount(), 2);  // not reopened
    // A click on the power box while the search has not cleared it yet takes its mark back.
    Model().SetEnabled(Control::cbPower, true);
    Model().Identity.ExtPowerOn = !Model().Identity.ExtPowerOn;
    const bool toggled = Model().Identity.ExtPowerOn;
    control->cbPowerClick();
    EXPECT_EQ(Model().Identity.ExtPowerOn, !toggled);
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 10000));
    // Only the search's own commands went out.
    for (const Bytes& data : WrittenData())
        EXPECT_TRUE(data == kFirst + "I" || data == kFirst + "S") << data;
    EXPECT_EQ(link->OpenCount(), 2);
}

TEST_F(OperationTest, LongReplyLinesAndZeroBytesInThemArriveWhole) {
    config.copyright = std::string(150, 'c') + '\0' + std::string(150, 'c');
    config.labels = LabelStyle::Long;
    Attach();
    ASSERT_TRUE(Search());
    EXPECT_EQ(Model().Identity.Copyright, "USB-" + config.copyright);
    EXPECT_EQ(Model().Identity.SerialNumber, "000123");
}

TEST_F(OperationTest, TheCurrentModeCannotBeSelectedAgain) {
    Attach();
    ASSERT_TRUE(Search());
    control->Modes().lvModesSelectItem(RowOf("01"));
    EXPECT_FALSE(Model().Enabled(Control::btModeSelect));
    control->btModeSelectClick();
    EXPECT_FALSE(control->Busy());
    EXPECT_EQ(link->OpenCount(), 1);
}

TEST_F(OperationTest, TheListIsSortedWhenTheOperationEndsAndTheMarkFollows) {
    Attach();
    Model().SortCol = 2;
    Model().SortDir = 1;
    ASSERT_TRUE(Search());
    std::vector<Bytes> descriptions;
    for (const ModeRow& row : Model().Modes)
        descriptions.push_back(row.Description);
    EXPECT_EQ(descriptions, (std::vector<Bytes>{"Standard", "Service", "Extended"}));
    ASSERT_TRUE(Model().Selected());
    EXPECT_EQ(Model().Selected()->Id, "01");
    EXPECT_EQ(Model().Selected()->StateIcon, 0);
    // The marked row is scrolled into view where it ends up, after the last sort.
    ASSERT_FALSE(view.scrolls.empty());
    EXPECT_EQ(view.scrolls.back(), RowOf("01"));
}

TEST_F(OperationTest, ARepairRefillsTheListInItsSortOrderThoughNoFocusFollows) {
    Attach();
    ASSERT_TRUE(Search());
    Model().SortDir = 1;  // "#" descending
    ASSERT_TRUE(Run([&] { control->StartRepair("0A" + Bytes(78, '\0')); }));
    std::vector<Bytes> ids;
    for (const ModeRow& row : Model().Modes)
        ids.push_back(row.Id);
    EXPECT_EQ(ids, (std::vector<Bytes>{"0A", "02", "01"}));
    ASSERT_TRUE(Model().Selected());
    EXPECT_EQ(Model().Selected()->Id, "0A");
    EXPECT_FALSE(Model().Selected()->Focused);
    EXPECT_EQ(view.scrolls.back(), 0u);
}

}  // namespace

namespace {

std::vector<Bytes> Ids(const AdapterModel& model) {
    std::vector<Bytes> ids;
    for (const ModeRow& row : model.Modes)
        ids.push_back(row.Id);
    return ids;
}

TEST_F(OperationTest, ColumnClicksSortAndReverseAndIgnoreAnEmptyList) {
    config.modes = {{"B2", "beta"}, {"A1", "gamma"}, {"C3", "alpha"}};
    config.selected = "A1";
    Attach();
    control->Modes().lvModesColumnClick(1);
    EXPECT_EQ(Model().SortCol, 0);  // nothing to sort yet
    EXPECT_EQ(Model().SortDir, 0);

    ASSERT_TRUE(Search());
    EXPECT_EQ(Ids(Model()), (std::vector<Bytes>{"B2", "A1", "C3"}));
    control->Modes().lvModesColumnClick(1);
    EXPECT_EQ(Ids(Model()), (std::vector<Bytes>{"A1", "B2", "C3"}));
    control->Modes().lvModesColumnClick(1);
    EXPECT_EQ(Model().SortDir, 1);
    EXPECT_EQ(Ids(Model()), (std::vector<Bytes>{"C3", "B2", "A1"}));
    view.scrolls.clear();
    control->Modes().lvModesColumnClick(2);
    EXPECT_EQ(Model().SortCol, 2);
    EXPECT_EQ(Model().SortDir, 0);
    EXPECT_EQ(Ids(Model()), (std::vector<Bytes>{"C3", "B2", "A1"}));
    ASSERT_TRUE(Model().Selected());
    EXPECT_EQ(Model().Selected()->Id, "A1");  // the remembered row moved with the sort
    EXPECT_EQ(view.scrolls, std::vector<std::size_t>{2});
}

TEST_F(OperationTest, AColumnClickWithNoRowSelectedSortsWithoutScrolling) {
    config.selected = "";  // the adapter names no current mode
    Attach();
    ASSERT_TRUE(Search());
    for (const ModeRow& row : Model().Modes)
        EXPECT_EQ(row.StateIcon, -1);
    EXPECT_TRUE(view.scrolls.empty());
    control->Modes().lvModesColumnClick(0);
    EXPECT_EQ(Model().SortDir, 1);
    EXPECT_EQ(Ids(Model()), (std::vector<Bytes>{"0A", "02", "01"}));
    EXPECT_TRUE(view.scrolls.empty());
}

TEST_F(OperationTest, EnterSpaceAndDoubleClickSelectTheRememberedMode) {
    Attach();
    ASSERT_TRUE(Search());
    control->Modes().lvModesSelectItem(RowOf("02"));
    control->Modes().lvModesKeyPress('x');
    EXPECT_FALSE(control->Busy());
    control->Modes().lvModesKeyPress('\r');
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 10000));
    EXPECT_EQ(sim->SelectedMode(), "02");

    control->Modes().lvModesSelectItem(RowOf("0A"));
    control->Modes().lvModesKeyPress(' ');
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 10000));
    EXPECT_EQ(sim->SelectedMode(), "0A");

    control->Modes().lvModesSelectItem(RowOf("01"));
    control->Modes().lvModesDblClick();
    ASSERT_TRUE(clock.RunUntil([&] { return !control->Busy(); }, 10000));
    EXPECT_EQ(sim->SelectedMode(), "01");
    // On the current mode's row all three do nothing.
    const int opens = link->OpenCount();
    control->Modes().lvModesDblClick();
    control->Modes().lvModesKeyPress('\r');
    EXPECT_EQ(link->OpenCount(), opens);
}

TEST_F(OperationTest, AClickOnEmptySpaceKeepsTheRememberedRowSelected) {
    Attach();
    ASSERT_TRUE(Search());
    const std::size_t row = RowOf("02");
    control->Modes().lvModesSelectItem(RowOf("01"), false);
    control->Modes().lvModesSelectItem(row, true);
    EXPECT_FALSE(Model().Modes[RowOf("01")].Selected);
    control->Modes().lvModesSelectItem(row, false);  // the click deselected it
    EXPECT_FALSE(Model().Modes[row].Selected);
    ASSERT_TRUE(Model().Selected());
    EXPECT_EQ(Model().Selected()->Id, "02");
    control->Modes().lvModesMouseUp();
    EXPECT_TRUE(Model().Modes[row].Selected);
    EXPECT_TRUE(Model().Enabled(Control::btModeSelect));
}

}  // namespace
