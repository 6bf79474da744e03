// The adapter-control operations: the starters that a host's buttons (or commands) call, the
// operation state machine stepped by the tmrSearch timer, and the parsing of the replies into
// the model. One operation runs at a time; it opens the device at its start and closes it at
// its end. The machine is its own: hosts start operations, stop them and read the model.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Bytes.h"
#include "base/MessageSink.h"
#include "base/Timer.h"
#include "control/AdapterModel.h"
#include "control/AdapterProtocol.h"
#include "control/ModeList.h"
#include "control/OperationContext.h"
#include "control/OperationView.h"
#include "control/SettingsWriter.h"

class TSerDev;
class TFWUpdate;
class UpdateView;

class AdapterControl {
public:
    static constexpr int kTickMs = 10;

    // `settings` may be null (the command line keeps no settings).
    AdapterControl(TimerFactory& owner, MessageSink& sink, TSerDev& dev, TFWUpdate& updater,
                   AdapterModel& model, OperationView& view, SettingsWriter* settings);
    ~AdapterControl();
    AdapterControl(const AdapterControl&) = delete;
    AdapterControl& operator=(const AdapterControl&) = delete;

    // Starters. While an operation runs each of them does nothing (a power click takes its
    // check mark back), so a running exchange or update never has its device reopened; the
    // one exception is Run during a self-test, which restarts the test.
    void btSearchClick();
    void btModeSelectClick();
    // The user's click only: Identity.ExtPowerOn already holds the toggled mark. Rendering
    // the mark from the model must not call it.
    void cbPowerClick();
    void btRunTestClick();
    // Update page Run for "Upload New Firmware"; Stop cancels the engine. With `image`, its
    // bytes are written in place of the file's (read once by a host that writes many units).
    void StartUpdate(const std::string& fileName, bool doNotSearch, bool wait, UpdateView& progress,
                     std::shared_ptr<const Bytes> image = nullptr);
    void StopUpdate();
    // Update page Run for "Repair", with the 80 bytes of a checked mode file.
    void StartRepair(const Bytes& modeFileData);
    // Ends whatever runs now, as a host that is told to stop (an interrupt) must: an update as
    // Stop ends it, any other operation at once, its port closed.
    void Abort();
    // The mode list's own events and rules.
    ModeList& Modes() { return modes_; }

    bool Busy() const { return busy_; }
    // The last operation's exchange was answered to its end (a search found the adapter, a
    // command had its reply, a self-test ran to its end marker). An update's outcome is the
    // engine's status.
    bool Succeeded() const { return succeeded_; }

private:
    // The machine itself.
    void StartOperation();
    bool OperationStep();
    void EndOperation();
    void tmrSearchTimer();
    void SetReplyTimeout(int n) { ctx_.ReplyCountdown = 2 * n; }
    bool ReplyTimedOut() { return --ctx_.ReplyCountdown == 0; }
    bool PollReceive(std::uint32_t count);
    void ShowPartialReply(bool enabled);
    void ParseLog();

    void OnArrival();
    void Tick(bool onArrival);
    bool RunSteps();
    // Writes `data` and waits for a reply of at most `longestReply` bytes (0: a self-test's
    // stream).
    bool SendThenWait(const Bytes& data, std::size_t longestReply, TOperationState onReply,
                      TOperationState onTimeout);
    bool SendCommand(char letter, TOperationState onReply, TOperationState onTimeout);
    const Bytes& ActivePrefix() const;
    bool Prepare();
    bool ClearIdentity();
    bool Probe();
    bool AwaitSent();
    bool AwaitReply();
    bool ReplyOverdue() const;
    void TimeOut();
    bool FinishWithParse(bool refillModes);
    bool FinishTest();
    bool StartUpdateRun();
    bool NotFound();
    bool End();
    void LogReply();
    void ClearLog(LogId log);
    void Enable(Control c, bool on);
    void Show(Control c, bool on);
    void ShowError(const std::string& text);
    std::string PortText();
    void SetUpdateRunCaption(const char* caption);
    void FocusAfterOperation();

    TimerFactory& owner_;
    MessageSink& sink_;
    TSerDev& dev_;
    TFWUpdate& updater_;
    AdapterModel& model_;
    OperationView& view_;
    SettingsWriter* settings_;
    std::unique_ptr<Timer> tmrSearch_;
    ModeList modes_;
    CommandPrefixes prefixes_;
    OperationContext ctx_;
    bool busy_ = false;
    bool succeeded_ = false;
    // The line settings the adapter answered the last search at; null before one did.
    const char* foundSettings_ = nullptr;
    // The power starter disabled cbPower: an operation that never reaches the adapter
    // because no port is chosen gives it back.
    bool powerStarted_ = false;
    // The step runs because input arrived, not because the timer ticked.
    bool arrivalStep_ = false;
    // A step is running (a modal box inside it may let the host's loop run).
    bool stepping_ = false;
    struct Stepping {
        explicit Stepping(bool& flag) : flag_(flag) { flag_ = true; }
        ~Stepping() { flag_ = false; }
        bool& flag_;
    };
    // The last step moved on because something timed out.
    bool timedOut_ = false;
};
