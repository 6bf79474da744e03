// How a run moves through its steps and ends: greeting, the alternative header, retries,
// errors and cancel, driven tick by tick in virtual time.
#include "UpdateRig.h"

namespace {

class UpdateRun : public UpdateRig {
protected:
    // Start, acknowledge the connect request, and stand in stHeader.
    void ToHeader(const Bytes& content) {
        ASSERT_TRUE(StartWith(content));
        link_.Feed(Ack(0));
        FirstTick();
        ASSERT_EQ(engine_.CurrentStep(), TFWUpdate::stHeader);
    }
    void ToPages(const Bytes& content, int pageSize) {
        ToHeader(content);
        link_.Feed(Ack(pageSize));
        Ticks(1);
        ASSERT_EQ(engine_.CurrentStep(), TFWUpdate::stPages);
    }
    // A run that the boot loader's answer ended: through stIdle's empty text to its own.
    void ExpectFinished(const std::string& status) {
        ASSERT_GE(view_.statuses.size(), 2u);
        EXPECT_EQ(view_.statuses.end()[-2], "");
        EXPECT_EQ(engine_.CurrentStep(), TFWUpdate::stIdle);
        ExpectEnded(status);
    }
    void ExpectEnded(const std::string& status) {
        EXPECT_EQ(view_.Status(), status);
        EXPECT_FALSE(engine_.IsActive());
        EXPECT_FALSE(dev_->Opened);
        // Both lines raised in one settings write (never one by one), then the port closed.
        ASSERT_GE(link_.LineCalls().size(), 2u);
        EXPECT_EQ(link_.LineCalls().end()[-2], "SetCommState 115200,0,8 stop=2 rts=1 dtr=1");
        EXPECT_EQ(link_.LineCalls().back(), "Close");
        for (const std::string& call : link_.LineCalls())
            EXPECT_NE(call.rfind("Escape", 0), 0u) << call;
        // The run is over for good: later ticks send and show nothing.
        const auto writes = link_.writes.size();
        const auto statuses = view_.statuses.size();
        link_.Feed(Request(0) + Ack(1));
        Ticks(20);
        EXPECT_EQ(link_.writes.size(), writes);
        EXPECT_EQ(view_.statuses.size(), statuses);
    }
};

TEST_F(UpdateRun, FileOf80BytesEndsAfterTheHeaderWithoutPages) {
    ToHeader(Pattern(80));
    link_.Feed(Ack(128));
    Ticks(1);
    EXPECT_EQ(link_.writes.size(), 2u) << "connect request and header only";
    ExpectFinished("System Updating : Ok");
}

TEST_F(UpdateRun, WithoutWaitTheConnectRequestGoesOutAtOnceAndAPromptIsAnError) {
    ASSERT_TRUE(StartWith(Pattern(200), false));
    EXPECT_EQ(link_.Sent(), "<");
    link_.Feed(">");
    FirstTick();
    ExpectFinished("Connecting: Error");
}

TEST_F(UpdateRun, WithWaitNothingIsSentUntilAPromptAndOtherFramesAreIgnored) {
    ASSERT_TRUE(StartWith(Pattern(200), true));
    EXPECT_EQ(view_.Status(), "Waiting Connection...");
    link_.Feed(Ack(3) + "-" + Request(0));
    FirstTick();
    Ticks(10);
    EXPECT_TRUE(link_.writes.empty());
    EXPECT_EQ(engine_.CurrentStep(), TFWUpdate::stWaitPrompt);

    // Two prompts in one tick: the second was buffered before the greeting and goes with it.
    link_.Feed(">>");
    Ticks(1);
    EXPECT_EQ(link_.Sent(), "<");
    EXPECT_EQ(view_.Status(), "Connecting...");
    Ticks(5);
    EXPECT_EQ(engine_.CurrentStep(), TFWUpdate::stConnect);

    // A prompt after the greeting is an error.
    link_.Feed(">");
    Ticks(1);
    ExpectFinished("Connecting: Error");
}

TEST_F(UpdateRun, HeaderAnsweredByAnythingButAnAcknowledgementIsAnError) {
    ToHeader(Pattern(300));
    link_.Feed("-");
    Ticks(1);
    ExpectFinished("Send Header: Error");
}

TEST_F(UpdateRun, PageSizeZeroEndsTheRunInsteadOfDividing) {
    ToHeader(Pattern(300));
    link_.Feed(Ack(0));
    Ticks(1);
    ExpectFinished("Send Header: Error");
}

// The wire is as for any image, but nothing of the firmware was written: no success, and the
// log says how much was left out.
TEST_F(UpdateRun, PageLargerThanThePayloadLeavesOnlyTheEndMarkerAndFails) {
    ToPages(Pattern(100), 64);
    EXPECT_EQ(engine_.PageCount(), 0);
    link_.Feed(Request(0));
    Ticks(1);
    EXPECT_EQ(link_.writes.back(), Bytes("@\xFF\xFF", 3));
    link_.Feed(Ack(0xFFFF));
    Ticks(1);
    ExpectFinished("Error updating firmware...");
    ASSERT_EQ(view_.notes.size(), 1u);
    EXPECT_EQ(view_.notes[0].rfind("20 bytes at the end of the file were not written", 0), 0u);
}

TEST_F(UpdateRun, QuietHeaderGetsTheAlternativeHeaderAfterFiveTicksWithAnEmptyQueue) {
    const int pageSize = 32;
    const Bytes content = Pattern(264 + 3 * pageSize + 7);
    ToHeader(content);
    // While the header is still leaving the port the countdown stands still.
    link_.outQueue = 40;
    Ticks(30);
    EXPECT_EQ(link_.writes.size(), 2u);
    link_.outQueue = 0;
    Ticks(4);
    EXPECT_EQ(link_.writes.size(), 2u);
    Ticks(1);
    ASSERT_EQ(link_.writes.size(), 3u);
    EXPECT_EQ(link_.writes[2], content.substr(80, 184)) << "raw: no lead, no checksum";
    EXPECT_EQ(engine_.CurrentStep(), TFWUpdate::stAltHeader);
    EXPECT_EQ(view_.Status(), "Send Header...");
    // Sent once only, however long the boot loader stays quiet.
    Ticks(50);
    EXPECT_EQ(link_.writes.size(), 3u);

    link_.Feed(Ack(pageSize) + Request(0) + Request(2));
    Ticks(1);
    EXPECT_EQ(engine_.PageCount(), 3);
    EXPECT_EQ(link_.writes[3], PageFrame(0, pageSize, 264));
    EXPECT_EQ(link_.writes[4], PageFrame(2, pageSize, 264));
}

TEST_F(UpdateRun, AlternativeHeaderOfAShortFileLeavesNoPayload) {
    ToHeader(Pattern(200));
    Ticks(5);
    ASSERT_EQ(link_.writes.size(), 3u);
    EXPECT_EQ(link_.writes[2], file_.substr(80));
    link_.Feed(Ack(16));
    Ticks(1);
    ExpectFinished("System Updating : Ok");
}

TEST_F(UpdateRun, ThreeNaksRetryAndTheFourthEnds) {
    ToPages(Pattern(80 + 4 * 16), 16);
    link_.Feed(Request(2));
    Ticks(1);
    const auto writes = link_.writes.size();
    for (int retry = 1; retry <= 3; ++retry) {
        link_.Feed("-");
        Ticks(1);
        EXPECT_EQ(view_.Status(), "Writing Page #2 : Retry " + std::to_string(retry));
    }
    EXPECT_EQ(link_.writes.size(), writes) << "the host never resends by itself";
    link_.Feed("-");
    Ticks(1);
    ExpectFinished("Writing Page #2 : Error");
}

// A confirmation that was already on its way when the last page's request was answered with
// the end marker cannot be the end marker's: only one read after it counts.
TEST_F(UpdateRun, AConfirmationReadWithTheLastRequestIsNotTheEndMarkers) {
    ToPages(Pattern(80 + 2 * 16), 16);
    link_.Feed(Request(0) + Ack(0) + Request(1) + Ack(1) + Request(2) + Ack(TFWUpdate::kEndPage));
    Ticks(1);
    EXPECT_EQ(link_.writes.back(), Bytes("@\xFF\xFF", 3));
    EXPECT_TRUE(engine_.IsActive());
    link_.Feed(Ack(TFWUpdate::kEndPage));
    Ticks(1);
    ExpectFinished("Updating firmware : Ok");
}

TEST_F(UpdateRun, AnEndConfirmationBeforeTheEndMarkerIsNoSuccess) {
    ToPages(Pattern(80 + 4 * 16), 16);
    link_.Feed(Request(0));
    Ticks(1);
    link_.Feed(Ack(TFWUpdate::kEndPage));
    Ticks(1);
    ExpectFinished("Error updating firmware...");
}

TEST_F(UpdateRun, AnAcknowledgementRestartsTheNakCount) {
    ToPages(Pattern(80 + 4 * 16), 16);
    link_.Feed(Request(1) + "---");
    Ticks(1);
    EXPECT_EQ(view_.Status(), "Writing Page #1 : Retry 3");
    link_.Feed(Request(1) + Ack(1) + Request(2) + "--");
    Ticks(1);
    EXPECT_EQ(view_.Status(), "Writing Page #2 : Retry 2");
    EXPECT_TRUE(engine_.IsActive());
    // Prompts mean nothing once pages flow.
    link_.Feed(">>-");
    Ticks(1);
    EXPECT_EQ(view_.Status(), "Writing Page #2 : Retry 3");
    EXPECT_TRUE(engine_.IsActive());
}

TEST_F(UpdateRun, NakAfterTheEndMarkerIsAnError) {
    ToPages(Pattern(80 + 2 * 16), 16);
    link_.Feed(Request(2));
    Ticks(1);
    link_.Feed("-");
    Ticks(1);
    ExpectFinished("Error updating firmware...");
}

TEST_F(UpdateRun, DeviceClosedUnderTheRunLeavesItWaitingUntilCancel) {
    ToPages(Pattern(80 + 2 * 16), 16);
    dev_->Close();
    link_.Feed(Request(0));
    Ticks(20);
    EXPECT_TRUE(engine_.IsActive());
    EXPECT_EQ(link_.writes.size(), 2u);
    engine_.Cancel();
    EXPECT_EQ(view_.Status(), "Firmware Update canceled...");
    EXPECT_FALSE(engine_.IsActive());
}

// An unplugged adapter ends the run at the next tick at every step, with a text that says so;
// input that came before it is still read, and an answer that cannot go out is no write error
// of its own.
TEST_F(UpdateRun, ALostPortEndsTheRunAtOnceAtEveryStep) {
    const Bytes file = Pattern(80 + 2 * 16);
    const std::vector<std::function<void()>> steps = {
        [&] {
            ASSERT_TRUE(StartWith(file, true));
            FirstTick();
        },
        [&] {
            ASSERT_TRUE(StartWith(file));
            FirstTick();
        },
        [&] { ToHeader(file); },
        [&] { ToPages(file, 16); },
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        steps[i]();
        const auto writes = link_.writes.size();
        if (i == 3) link_.Feed(Request(0));
        link_.lost = true;
        Ticks(1);
        ExpectFinished(TFWUpdate::OutcomeText(TFWUpdate::Outcome::PortLost));
        EXPECT_EQ(link_.writes.size(), writes);
        EXPECT_TRUE(sink_.boxes.empty());
        link_.lost = false;
        link_.ClearCalls();
        view_.statuses.clear();
    }
}

// A request past the image's last page has no page to answer it: the run ends with an error
// and nothing is sent for it, for the end marker's own number too.
TEST_F(UpdateRun, ARequestPastTheLastPageEndsTheRunUnanswered) {
    for (const int page : {3, 258, 0xFFFF}) {
        SCOPED_TRACE(page);
        ToPages(Pattern(80 + 2 * 16), 16);
        const auto writes = link_.writes.size();
        link_.Feed(Request(page));
        Ticks(1);
        ExpectFinished("Writing Page #" + std::to_string(page) + " : Error");
        EXPECT_EQ(link_.writes.size(), writes);
        link_.ClearCalls();
        view_.statuses.clear();
    }
}

TEST_F(UpdateRun, WriteErrorsAreTheDevicesAndDoNotChangeTheStep) {
    ToPages(Pattern(80 + 2 * 16), 16);
    link_.failWrite = true;
    link_.lastError = 5;
    link_.Feed(Request(0));
    Ticks(1);
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].caption,
              "Write Port(" NATIVE_PORT("/dev/ttyScripted", "COM8") ") Error...");
    EXPECT_EQ(engine_.CurrentStep(), TFWUpdate::stPages);
    EXPECT_TRUE(engine_.IsActive());
}

// Cancel from every step, and after the end marker: the text stays, the device is closed
// with its lines raised, and the timer is gone.
TEST_F(UpdateRun, CancelAtEveryStep) {
    struct Case {
        const char* name;
        std::function<void()> reach;
    };
    const Bytes content = Pattern(264 + 4 * 16);
    const std::vector<Case> cases = {
        {"wait prompt", [&] { ASSERT_TRUE(StartWith(content, true)); }},
        {"before first tick", [&] { ASSERT_TRUE(StartWith(content)); }},
        {"connect", [&] { ASSERT_TRUE(StartWith(content)), FirstTick(); }},
        {"header", [&] { ToHeader(content); }},
        {"alt header", [&] { ToHeader(content), Ticks(5); }},
        {"pages", [&] { ToPages(content, 16); }},
        {"end marker", [&] { ToPages(content, 16), link_.Feed(Request(4)), Ticks(1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.reach();
        ASSERT_TRUE(engine_.IsActive());
        const int closes = link_.closes;
        engine_.Cancel();
        EXPECT_EQ(view_.Status(), "Firmware Update canceled...");
        EXPECT_FALSE(engine_.IsActive());
        EXPECT_FALSE(dev_->Opened);
        EXPECT_EQ(link_.closes, closes + 1);
        ExpectEnded("Firmware Update canceled...");
        EXPECT_NE(engine_.CurrentStep(), TFWUpdate::stIdle) << "cancel leaves the step";
        // A second Cancel does nothing.
        engine_.Cancel();
        EXPECT_EQ(link_.closes, closes + 1);
        link_.writes.clear();
        view_.statuses.clear();
    }
}

TEST_F(UpdateRun, ANewRunForgetsWhatTheLastOneLeftInItsBuffer) {
    ToPages(Pattern(80 + 2 * 16), 16);
    link_.Feed(Bytes(".", 1));  // half a request, then the run is cancelled
    Ticks(1);
    engine_.Cancel();
    ASSERT_TRUE(StartWith(Pattern(80 + 2 * 16), true));
    link_.Feed(">");
    FirstTick();
    EXPECT_EQ(view_.Status(), "Connecting...") << "the prompt is not taken as a page number";
}

TEST(UpdateEngine, CancelWithoutARunDoesNothing) {
    TFWUpdate engine;
    engine.Cancel();
    EXPECT_FALSE(engine.IsActive());
}

}  // namespace

namespace {

// Timers of the virtual clock, counted while they live: shows that the engine gives its timer
// back when a run ends, also from inside that timer's own tick.
class CountingFactory : public TimerFactory {
public:
    explicit CountingFactory(VirtualClock& clock) : clock_(clock) {}
    std::unique_ptr<Timer> CreateTimer() override {
        return std::make_unique<CountingTimer>(clock_.CreateTimer(), live);
    }
    std::int64_t NowMs() const override { return clock_.NowMs(); }
    int live = 0;

private:
    class CountingTimer : public Timer {
    public:
        CountingTimer(std::unique_ptr<Timer> inner, int& live)
            : inner_(std::move(inner)), live_(live) {
            ++live_;
            inner_->SetCallback([this] {
                auto cb = callback_;
                if (cb) cb();
            });
        }
        ~CountingTimer() override { --live_; }
        void Start(int ms) override { inner_->Start(ms); }
        void Stop() override { inner_->Stop(); }
        bool IsActive() const override { return inner_->IsActive(); }

    private:
        std::unique_ptr<Timer> inner_;
        int& live_;
    };
    VirtualClock& clock_;
};

class TimerRelease : public UpdateRig {
protected:
    CountingFactory owner_{clock_};
};

TEST_F(TimerRelease, RunEndingInsideItsTickReleasesTheTimer) {
    file_ = Pattern(80);
    ASSERT_TRUE(engine_.Start(owner_, sink_, *dev_, WriteFile(file_), view_, false));
    EXPECT_EQ(owner_.live, 1);
    // The header's acknowledgement ends the run from inside the tick that reads it.
    link_.Feed(Ack(0) + Ack(64));
    FirstTick();
    EXPECT_EQ(view_.Status(), "System Updating : Ok");
    EXPECT_EQ(owner_.live, 0);
    Ticks(10);
    EXPECT_EQ(link_.writes.size(), 2u);
}

TEST_F(TimerRelease, CancelReleasesTheTimerAndANewRunGetsAFreshOne) {
    ASSERT_TRUE(engine_.Start(owner_, sink_, *dev_, WriteFile(Pattern(300)), view_, true));
    engine_.Cancel();
    EXPECT_EQ(owner_.live, 0);
    ASSERT_TRUE(engine_.Start(owner_, sink_, *dev_, WriteFile(Pattern(300)), view_, false));
    EXPECT_EQ(owner_.live, 1);
    engine_.Cancel();
    EXPECT_EQ(owner_.live, 0);
}

}  // namespace
