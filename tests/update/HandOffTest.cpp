// The operation machine hands the open device to the update engine (with or without the
// update command first) and waits for the run to end: proven against the simulated boot
// loader in virtual time, image compared byte for byte.
#include <gtest/gtest.h>

#include "UpdateRig.h"
#include "control/AdapterCore.h"
#include "sim/AdapterSim.h"
#include "sim/MemoryLink.h"
#include "tests/support/PortOnlyView.h"
#include "update/ModeFile.h"
#include "update/UpdateWatch.h"

namespace {

class HandOff : public ::testing::Test {
protected:
    static constexpr int kPageSize = 64;

    explicit HandOff(SimConfig config = {})
        : sim_(Configure(config)),
          link_(sim_, clock_),
          core_(clock_, sink_, opView_, {nullptr, link_.Column(), QuietPortLists()}) {
        dir_ = std::filesystem::temp_directory_path() /
               ("handoff_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    ~HandOff() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    static SimConfig Configure(SimConfig c) {
        c.pageSize = kPageSize;
        return c;
    }

    std::string Firmware(std::size_t size) {
        file_ = Pattern(size);
        const std::string path = (dir_ / "fw.rfw").string();
        std::ofstream(path, std::ios::binary) << file_;
        return path;
    }
    // Runs the operation to its end; false when it is still running after limitMs.
    bool RunToEnd(std::int64_t limitMs = 60000) {
        return clock_.RunUntil([&] { return !control_->Busy(); }, limitMs);
    }
    void Search() {
        control_->btSearchClick();
        ASSERT_TRUE(RunToEnd());
        ASSERT_FALSE(model_.SettingsLog.empty()) << "the adapter was not found";
    }
    Bytes WholePages(std::size_t from) const {
        const std::size_t pages = (file_.size() - from) / kPageSize;
        return file_.substr(from, pages * kPageSize);
    }

    std::filesystem::path dir_;
    VirtualClock clock_;
    AdapterSim sim_;
    MemoryLink link_;
    RecordingSink sink_;
    RecordingView view_;
    PortOnlyView opView_{
        PortChoice{NATIVE_PORT("/dev/sim0", "COM9"), NATIVE_PORT("/dev/sim0", "COM9"), ""}};
    AdapterCore core_;
    AdapterControl* control_ = &core_.Control();
    TSerDev* dev_ = &core_.Device();
    TFWUpdate& engine_ = core_.Updater();
    AdapterModel& model_ = core_.Model();
    Bytes file_;
};

class HandOffInBootLoader : public HandOff {
protected:
    static SimConfig Boot() {
        SimConfig c;
        c.startInBootLoader = true;
        return c;
    }
    HandOffInBootLoader() : HandOff(Boot()) {}
};

TEST_F(HandOffInBootLoader, DirectHandOffSendsNothingBeforeTheEngine) {
    control_->StartUpdate(Firmware(80 + 10 * kPageSize + 17), true, false, view_);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(link_.WrittenBytes().substr(0, 2), Bytes("<#", 2));
    EXPECT_EQ(sim_.Boot().Image(), WholePages(80));
    EXPECT_EQ(view_.max, 10);
    EXPECT_EQ(view_.pos, 10);
    EXPECT_FALSE(dev_->Opened);
    EXPECT_FALSE(engine_.IsActive());
    EXPECT_EQ(opView_.ended, 1);
    EXPECT_TRUE(sink_.boxes.empty());
}

TEST_F(HandOff, UpdateCommandAfterASearchThenTheEngine) {
    Search();
    link_.ClearWrites();
    control_->StartUpdate(Firmware(80 + 6 * kPageSize), false, false, view_);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(link_.WrittenBytes().substr(0, 12), Bytes(SimConfig::kFixedPrefix) + "U");
    EXPECT_EQ(sim_.Boot().Image(), WholePages(80));
    EXPECT_TRUE(sink_.boxes.empty());
}

TEST_F(HandOff, FileErrorEndsTheOperationAtOnce) {
    Search();
    control_->StartUpdate((dir_ / "missing.rfw").string(), false, true, view_);
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption, "Open Firware file...");
    EXPECT_FALSE(dev_->Opened);
    EXPECT_FALSE(engine_.IsActive());
}

TEST_F(HandOff, RepairSendsTheCheckedModeFileAsItIs) {
    Search();
    Bytes modeFile = Pattern(80);
    modeFile.replace(0, 2, "0A");  // a file that selects a mode the adapter knows
    const std::string path = (dir_ / "mode.rcm").string();
    std::ofstream(path, std::ios::binary) << modeFile;
    Bytes data;
    ASSERT_TRUE(LoadModeFile(path, sink_, data));
    control_->StartRepair(data);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(sim_.StoredModeFiles(), 1);
    EXPECT_EQ(sim_.StoredModeFile(), modeFile);
    EXPECT_EQ(sim_.SelectedMode(), "0A");
    EXPECT_TRUE(sink_.boxes.empty());
}

class HandOffFaults : public HandOff {
protected:
    static SimConfig Faulty() {
        SimConfig c;
        c.startInBootLoader = true;
        c.waitPrompt = true;
        c.nakPage = 3;
        c.nakCount = 3;
        c.noiseBytes = 2;
        c.trickleMs = 1;
        return c;
    }
    HandOffFaults() : HandOff(Faulty()) {}
};

TEST_F(HandOffFaults, WaitForThePromptRetriesAndNoiseStillGiveTheWholeImage) {
    control_->StartUpdate(Firmware(80 + 8 * kPageSize + 3), true, true, view_);
    ASSERT_TRUE(RunToEnd(120000));
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(sim_.Boot().Image(), WholePages(80));
    EXPECT_EQ(sim_.Boot().NaksSent(), 3);
    EXPECT_NE(std::find(view_.statuses.begin(), view_.statuses.end(), "Writing Page #3 : Retry 3"),
              view_.statuses.end());
}

// Answered the moment the boot loader speaks: the same image through the same faults, and a
// header that stays unanswered still falls back after five quiet ticks.
TEST_F(HandOffFaults, WakingOnArrivalGivesTheSameImage) {
    clock_.SetArrivals(true);
    control_->StartUpdate(Firmware(80 + 8 * kPageSize + 3), true, true, view_);
    ASSERT_TRUE(RunToEnd(120000));
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(sim_.Boot().Image(), WholePages(80));
    EXPECT_EQ(sim_.Boot().NaksSent(), 3);
}

class HandOffLongCounts : public HandOff {
protected:
    static SimConfig LongCounts() {
        SimConfig c;
        c.startInBootLoader = true;
        c.headerAckCount = 0x90;
        c.ackCount = 0x80;
        return c;
    }
    HandOffLongCounts() : HandOff(LongCounts()) {}
};

TEST_F(HandOffLongCounts, CountsOf0x80AndAboveStillCarryTheRunToItsEnd) {
    control_->StartUpdate(Firmware(80 + 7 * kPageSize), true, false, view_);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(sim_.Boot().Image(), WholePages(80));
}

class HandOffAltHeader : public HandOff {
protected:
    static SimConfig Alt() {
        SimConfig c;
        c.startInBootLoader = true;
        c.altHeader = true;
        return c;
    }
    HandOffAltHeader() : HandOff(Alt()) {}
};

TEST_F(HandOffAltHeader, SilentHeaderFallsBackToTheAlternativeHeader) {
    control_->StartUpdate(Firmware(264 + 5 * kPageSize + 9), true, false, view_);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(sim_.Boot().Image(), WholePages(264));
}

TEST_F(HandOffAltHeader, WakingOnArrivalStillFallsBackAfterFiveQuietTicks) {
    clock_.SetArrivals(true);
    control_->StartUpdate(Firmware(264 + 5 * kPageSize + 9), true, false, view_);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(view_.Status(), "Updating firmware : Ok");
    EXPECT_EQ(sim_.Boot().Image(), WholePages(264));
}

// Where nobody sits at Stop, the watch gives up a run that the boot loader no longer moves
// on, at its bound, however the line chatters and whichever wake steps the engine; a slow boot
// loader that goes on is never given up.
TEST_F(HandOff, TheWatchGivesUpOnlyARunThatStopsMovingOn) {
    using Talk = Chatter::Kind;
    constexpr std::int64_t kIdleMs = 1000;
    struct Case {
        std::string name;
        Talk talk;
        int talkEveryMs;
        bool wait;  // for the boot loader's prompt
        int pageDelayMs;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"a byte every 5 ms", Talk::Bytes, 5, false, 0, false},
        {"a byte every 5 ms, waiting for the prompt", Talk::Bytes, 5, true, 0, false},
        {"sentences, waiting for the prompt", Talk::Sentences, 50, true, 0, false},
        {"a slow boot loader", Talk::Nothing, 0, false, 400, true},
    };
    const std::string file = Firmware(80 + 6 * kPageSize);
    for (const bool arrivals : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (arrivals ? ", waking on arrival" : ", ticks alone"));
            clock_.SetArrivals(arrivals);
            SimConfig config = Configure({});
            config.startInBootLoader = true;
            config.talk = c.talk;
            config.talkEveryMs = c.talkEveryMs;
            config.pageDelayMs = c.pageDelayMs;
            AdapterSim sim(config);
            MemoryLink link(sim, clock_);
            AdapterCore core(clock_, sink_, opView_, {nullptr, link.Column(), QuietPortLists()});
            RecordingView view;
            UpdateWatch watch(clock_, core.Updater(), kIdleMs,
                              [&] { core.Control().StopUpdate(); });
            const std::int64_t start = clock_.Now();
            core.Control().StartUpdate(file, true, c.wait, view);
            ASSERT_TRUE(clock_.RunUntil([&] { return !core.Control().Busy(); }, 60000));
            const std::int64_t took = clock_.Now() - start;
            EXPECT_EQ(watch.GaveUp(), !c.ok);
            if (c.ok) {
                EXPECT_EQ(view.Status(), "Updating firmware : Ok");
                EXPECT_EQ(sim.Boot().Image(), WholePages(80));
                EXPECT_GT(took, kIdleMs);  // it outlasted the bound by going on
            } else {
                EXPECT_EQ(view.Status(), "Firmware Update canceled...");
                EXPECT_GE(took, kIdleMs);
                EXPECT_LE(took, kIdleMs + UpdateWatch::kCheckMs + 2 * TFWUpdate::kTickMs);
            }
        }
    }
}

TEST_F(HandOffInBootLoader, StopEndsTheOperationAndClosesTheDevice) {
    control_->StartUpdate(Firmware(80 + 40 * kPageSize), true, false, view_);
    ASSERT_TRUE(clock_.RunUntil([&] { return view_.pos >= 5; }, 60000));
    control_->StopUpdate();
    EXPECT_EQ(view_.Status(), "Firmware Update canceled...");
    ASSERT_TRUE(RunToEnd(100));
    EXPECT_FALSE(dev_->Opened);
    EXPECT_TRUE(link_.Rts());
    EXPECT_TRUE(link_.Dtr());
    EXPECT_EQ(opView_.ended, 1);
}

}  // namespace
