#include "control/AdapterControl.h"

#include "control/AppTexts.h"
#include "control/ReplyFraming.h"
#include "control/ReplyParser.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

AdapterControl::AdapterControl(TimerFactory& owner, MessageSink& sink, TSerDev& dev,
                               TFWUpdate& updater, AdapterModel& model, OperationView& view,
                               SettingsWriter* settings)
    : owner_(owner),
      sink_(sink),
      dev_(dev),
      updater_(updater),
      model_(model),
      view_(view),
      settings_(settings),
      tmrSearch_(owner.CreateTimer()),
      modes_(model, view, [this] { btModeSelectClick(); }),
      prefixes_(MakeCommandPrefixes(SpecialCommandText())) {
    tmrSearch_->SetCallback([this] { tmrSearchTimer(); });
}

AdapterControl::~AdapterControl() = default;

// ---- starters ----------------------------------------------------------------------------

void AdapterControl::btSearchClick() {
    if (busy_) return;
    ctx_.FocusAfterOp = Control::lvModes;
    model_.SelectedRow.reset();
    ctx_.NextOnReply = osClearIdentity;
    ctx_.SettingsIndex = -1;
    ctx_.PrefixIndex = 0;
    foundSettings_ = nullptr;
    StartOperation();
}

void AdapterControl::btModeSelectClick() {
    const ModeRow* row = model_.Selected();
    if (busy_ || row == nullptr || row->StateIcon == 0) return;
    ctx_.FocusAfterOp = Control::lvModes;
    ctx_.NextOnReply = osModeCommand;
    StartOperation();
}

void AdapterControl::cbPowerClick() {
    if (!model_.Enabled(Control::cbPower)) return;
    if (busy_) {
        // The click already toggled the mark; nothing will be sent, so take it back.
        model_.Identity.ExtPowerOn = !model_.Identity.ExtPowerOn;
        view_.IdentityChanged();
        return;
    }
    ctx_.FocusAfterOp = Control::cbPower;
    Enable(Control::cbPower, false);
    ctx_.NextOnReply = osPowerCommand;
    powerStarted_ = true;
    StartOperation();
}

void AdapterControl::btRunTestClick() {
    // Run during a self-test starts it anew on a reopened device; during any other
    // operation it would cut into that exchange (or a firmware write), so it waits.
    if (busy_ && ctx_.FocusAfterOp != Control::btRunTest) return;
    Enable(Control::pcOptions, false);
    ctx_.FocusAfterOp = Control::btRunTest;
    ClearLog(LogId::Test);
    ctx_.NextOnReply = osTestCommand;
    StartOperation();
    Enable(Control::pcOptions, true);
}

void AdapterControl::StartUpdate(const std::string& fileName, bool doNotSearch, bool wait,
                                 UpdateView& progress, std::shared_ptr<const Bytes> image) {
    if (busy_) return;
    progress.SetProgressPos(0);
    ctx_.UpdateFileName = fileName;
    ctx_.UpdateImage = std::move(image);
    ctx_.UpdateWait = wait;
    ctx_.UpdateTarget = &progress;
    ctx_.NextOnReply = doNotSearch ? osStartUpdateDirect : osUpdateCommand;
    ctx_.FocusAfterOp = Control::btUpdateRun;
    SetUpdateRunCaption("Stop");
    StartOperation();
}

void AdapterControl::StopUpdate() {
    updater_.Cancel();
    SetUpdateRunCaption("Run");
}

void AdapterControl::Abort() {
    if (updater_.IsActive())
        StopUpdate();
    else if (busy_)
        EndOperation();
}

void AdapterControl::StartRepair(const Bytes& modeFileData) {
    if (busy_) return;
    ctx_.ModeFileData = modeFileData;
    ctx_.NextOnReply = osRepairCommand;
    SetUpdateRunCaption("Stop");
    StartOperation();
}

// ---- the machine -------------------------------------------------------------------------

void AdapterControl::StartOperation() {
    busy_ = true;
    succeeded_ = false;
    ctx_.Receiving = true;
    const auto port = view_.SelectedPort();
    if (!port) {
        // Nothing to open: end quietly, giving back what the starter took.
        if (powerStarted_) {
            model_.Identity.ExtPowerOn = !model_.Identity.ExtPowerOn;
            Enable(Control::cbPower, true);
            view_.IdentityChanged();
        }
        EndOperation();
        return;
    }
    dev_.PortName = port->Name;
    if (!dev_.Open()) {
        EndOperation();
        return;
    }
    // The driver need not keep a closed port's settings: the line is set again to what the
    // search found the adapter at.
    if (ctx_.NextOnReply != osClearIdentity && foundSettings_) dev_.SetParams(foundSettings_);
    dev_.SetRTS(false);
    dev_.SetDTR(true);
    dev_.OnArrival = [this] { OnArrival(); };
    ctx_.OpState = osPrepare;
    tmrSearch_->Start(kTickMs);
}

void AdapterControl::tmrSearchTimer() {
    Tick(false);
}

// Input is taken the moment it arrives, as by a tick that came early: it reads, steps and
// re-arms the 10 ms timer, so every count of quiet ticks still starts at the last input.
void AdapterControl::OnArrival() {
    if (!busy_ || !ctx_.Receiving || stepping_ || dev_.InCount() == 0) return;
    Tick(true);
}

void AdapterControl::Tick(bool onArrival) {
    // A step that shows a modal box runs the host's loop inside it, where input keeps
    // arriving: the stopped timer alone does not keep the step from running again.
    if (stepping_) return;
    const Stepping guard(stepping_);
    tmrSearch_->Stop();
    arrivalStep_ = onArrival;
    if (ctx_.Receiving && dev_.Opened) PollReceive(dev_.InCount());
    // What arrived before the line was lost is still taken; then the operation ends rather
    // than waiting out a reply that cannot come. A running update notices it itself.
    const bool more = RunSteps();
    arrivalStep_ = false;
    if (more && ctx_.Receiving && dev_.Opened && dev_.Lost()) {
        ShowError(TSerDev::LostText(PortText()));
        ctx_.FocusAfterOp.reset();
        End();
        return;
    }
    if (more) tmrSearch_->Start(kTickMs);
}

// Where input wakes the operation, a state that has nothing to wait for runs at once rather
// than a tick later: only sending (the bytes must leave), a reply and a running update are
// waited for. What follows a timeout keeps its tick, so a timeout lasts as long as it always
// has. Without the wake, every state takes its tick as it always did.
bool AdapterControl::RunSteps() {
    for (;;) {
        const TOperationState before = ctx_.OpState;
        timedOut_ = false;
        if (!OperationStep()) return false;
        if (!dev_.WatchingInput()) return true;
        if (ctx_.OpState == before || ctx_.OpState == osAwaitSent || timedOut_) return true;
    }
}

bool AdapterControl::OperationStep() {
    switch (ctx_.OpState) {
        case osPrepare:
            return Prepare();
        case osClearIdentity:
            return ClearIdentity();
        case osProbe:
            return Probe();
        case osAwaitSent:
            return AwaitSent();
        case osLogProbeReply:
            foundSettings_ = LineSettingsTable[static_cast<std::size_t>(ctx_.SettingsIndex)];
            LogReply();
            ctx_.OpState = osQuery;
            return OperationStep();
        case osQuery:
            return SendCommand(cmd::Query, osFinishSearch, osNotFound);
        case osFinishSearch:
            return FinishWithParse(false);
        case osModeCommand:
            return SendCommand(cmd::Mode, osSendModeId, osSendModeId);
        case osSendModeId: {
            const ModeRow* row = model_.Selected();
            if (row == nullptr) return End();
            return SendThenWait(row->Id, kLongestModeListReply, osFinishModeChange, osNotFound);
        }
        case osFinishModeChange:
            return FinishWithParse(true);
        case osPowerCommand:
            return SendCommand(cmd::Power, osSendPowerState, osSendPowerState);
        case osSendPowerState:
            return SendThenWait(model_.Identity.ExtPowerOn ? "1" : "0", kLongestModeListReply,
                                osFinishPower, osNotFound);
        case osFinishPower:
            return FinishWithParse(false);
        case osTestCommand: {
            const bool more = SendCommand(cmd::Test, osFinishTest, osNotFound);
            ctx_.LogTarget = LogId::Test;
            return more;
        }
        case osFinishTest:
            return FinishTest();
        case osUpdateCommand:
            return SendCommand(cmd::Update, osStartUpdate, osNotFound);
        case osStartUpdate:
        case osStartUpdateDirect:
            return StartUpdateRun();
        case osAwaitUpdate:
            return updater_.IsActive() ? true : End();
        case osRepairCommand:
            return SendCommand(cmd::Repair, osSendModeFile, osSendModeFile);
        case osSendModeFile:
            return SendThenWait(ctx_.ModeFileData, kLongestModeListReply, osFinishRepair,
                                osNotFound);
        case osFinishRepair:
            return FinishWithParse(true);
        case osNotFound:
            return NotFound();
        case osAwaitReply:
            return AwaitReply();
    }
    return true;
}

bool AdapterControl::Prepare() {
    Enable(Control::gbOptions, false);
    Enable(Control::lvModes, false);
    ClearLog(LogId::Settings);
    for (Control c : {Control::btModeSelect, Control::btCopy, Control::btSearch, Control::cbCOM,
                      Control::btRefresh, Control::btPortProp, Control::btUpdateRun})
        Enable(c, false);
    ctx_.ReplyStarted = false;
    ctx_.ReplyBuffer.clear();
    ctx_.ShownPos = 3;
    if (!dev_.Opened) {
        ShowError("Cannot open Communication Port " + PortText());
        return End();
    }
    ctx_.OpState = ctx_.NextOnReply;
    return true;
}

bool AdapterControl::ClearIdentity() {
    model_.ClearModes();
    view_.ModesChanged();
    AdapterIdentity& id = model_.Identity;
    id.SerialNumber.clear();
    ClearLog(LogId::Test);
    Show(Control::tsTest, false);
    id.Copyright.clear();
    id.CopyrightSize = CopyrightWidth::Full;
    for (Control c : {Control::cbPower, Control::edPower, Control::lbPower})
        Show(c, false);
    id.Signature.clear();
    id.Firmware.clear();
    id.Bootware.clear();
    id.Hardware.clear();
    view_.IdentityChanged();
    ctx_.OpState = osProbe;
    return true;
}

bool AdapterControl::Probe() {
    if (++ctx_.SettingsIndex >= static_cast<std::int32_t>(LineSettingsTable.size())) {
        ctx_.SettingsIndex = 0;
        if (++ctx_.PrefixIndex >= static_cast<std::int32_t>(prefixes_.size())) {
            ctx_.OpState = osNotFound;
            return true;
        }
    }
    dev_.SetParams(LineSettingsTable[static_cast<std::size_t>(ctx_.SettingsIndex)]);
    return SendCommand(cmd::Identify, osLogProbeReply, osProbe);
}

const Bytes& AdapterControl::ActivePrefix() const {
    // After a failed search the index names no prefix; the first one is the safe guess.
    const auto i = static_cast<std::size_t>(ctx_.PrefixIndex);
    return i < prefixes_.size() ? prefixes_[i] : prefixes_[0];
}

bool AdapterControl::SendCommand(char letter, TOperationState onReply, TOperationState onTimeout) {
    std::size_t longest = kLongestIdentityReply;
    if (letter == cmd::Query) longest = kLongestModeListReply;
    if (letter == cmd::Test) longest = 0;  // a stream, bounded as the self-test
    return SendThenWait(ActivePrefix() + letter, longest, onReply, onTimeout);
}

bool AdapterControl::SendThenWait(const Bytes& data, std::size_t longestReply,
                                  TOperationState onReply, TOperationState onTimeout) {
    dev_.Write(data);
    ctx_.NextOnReply = onReply;
    ctx_.NextOnTimeout = onTimeout;
    ctx_.SentAtMs = owner_.NowMs();
    ctx_.LongestReply = longestReply;
    ctx_.OpState = osAwaitSent;
    return true;
}

bool AdapterControl::AwaitSent() {
    const std::int64_t now = owner_.NowMs();
    if (dev_.OutCount() > 0) {
        // A queue that never drains is treated as a reply that never came.
        if (now - ctx_.SentAtMs >= kMaxSendWaitMs) TimeOut();
        return true;
    }
    SetReplyTimeout(kReplyTimeout);
    ctx_.LeftAtMs = now;
    ctx_.ReplyLimitMs =
        ctx_.LongestReply == 0 ? kMaxSelfTestMs : ReplyLimitMs(ctx_.LongestReply, dev_.GetBaud());
    ctx_.OpState = osAwaitReply;
    return OperationStep();
}

bool AdapterControl::AwaitReply() {
    if (TakeReply(ctx_.ReplyBuffer, ctx_.ReplyStarted, ctx_.LastReply)) {
        ctx_.OpState = ctx_.NextOnReply;
        return true;
    }
    if (ctx_.LogTarget) ShowPartialReply(ctx_.ReplyStarted);
    // Input has just reset the count: quiet is counted by the ticks that follow it, so the
    // timeout still means twenty quiet ticks after the last byte.
    const bool quiet = !arrivalStep_ && ReplyTimedOut();
    if (quiet || ReplyOverdue()) TimeOut();
    return true;
}

// Measured from the moment the command left, whatever woke this step: a line that never
// falls quiet ends the wait as surely as one that does. A self-test's stream has only its
// quiet ticks and its total bound: it may begin behind the rest of an earlier run.
bool AdapterControl::ReplyOverdue() const {
    const std::int64_t waited = owner_.NowMs() - ctx_.LeftAtMs;
    const bool stream = ctx_.LongestReply == 0;
    if (!stream && !ctx_.ReplyStarted && waited >= kReplyStartMs) return true;
    return waited >= ctx_.ReplyLimitMs || ctx_.ReplyBuffer.size() > kMaxReplyBytes;
}

void AdapterControl::TimeOut() {
    ctx_.OpState = ctx_.NextOnTimeout;
    timedOut_ = true;
}

bool AdapterControl::FinishWithParse(bool refillModes) {
    if (refillModes) {
        model_.ClearModes();
        view_.ModesChanged();
        ClearLog(LogId::Settings);
    }
    LogReply();
    ParseLog();
    succeeded_ = true;
    return End();
}

bool AdapterControl::FinishTest() {
    const auto shown = static_cast<std::size_t>(ctx_.ShownPos - 3);
    if (shown < ctx_.LastReply.size()) {
        const Bytes rest = ctx_.LastReply.substr(shown);
        model_.TestLog += rest;
        view_.LogAppended(LogId::Test, rest);
    }
    succeeded_ = true;
    return End();
}

bool AdapterControl::StartUpdateRun() {
    ClearLog(LogId::Settings);
    if (!ctx_.LastReply.empty()) LogReply();
    // From here the update engine alone reads the device.
    ctx_.Receiving = false;
    const bool started =
        ctx_.UpdateTarget != nullptr &&
        updater_.Start(owner_, sink_, dev_, ctx_.UpdateFileName, *ctx_.UpdateTarget,
                       ctx_.UpdateWait, ctx_.UpdateImage.get());
    ctx_.OpState = osAwaitUpdate;
    if (!started) return OperationStep();
    Enable(Control::btUpdateRun, true);
    return true;
}

bool AdapterControl::NotFound() {
    ShowError(AppProductName() + " Adapter is not found on Communication Port " + PortText());
    ctx_.FocusAfterOp.reset();
    return End();
}

bool AdapterControl::End() {
    EndOperation();
    return false;
}

void AdapterControl::EndOperation() {
    for (Control c : {Control::gbOptions, Control::lvModes, Control::btSearch, Control::cbCOM})
        Enable(c, true);
    const auto port = view_.SelectedPort();
    Enable(Control::btPortProp, port && !port->DeviceId.empty());
    Enable(Control::btRefresh, true);
    Enable(Control::btCopy, !model_.SettingsLog.empty());
    view_.UpdatePageState();
    dev_.Release();
    ctx_.ReplyBuffer.clear();
    SetUpdateRunCaption("Run");
    FocusAfterOperation();
    ctx_.FocusAfterOp.reset();
    ctx_.LogTarget.reset();
    ctx_.ShownPos = 3;
    tmrSearch_->Stop();
    busy_ = false;
    powerStarted_ = false;
    view_.OperationEnded();
}

void AdapterControl::FocusAfterOperation() {
    if (!ctx_.FocusAfterOp) return;
    view_.FocusControl(*ctx_.FocusAfterOp);
    if (*ctx_.FocusAfterOp != Control::lvModes || model_.Modes.empty()) return;
    modes_.SortAndScroll();
}

bool AdapterControl::PollReceive(std::uint32_t count) {
    if (count == 0) return false;
    Bytes chunk;
    dev_.Read(chunk, count);
    ctx_.ReplyBuffer += chunk;
    SetReplyTimeout(kReplyTimeout);
    return true;
}

void AdapterControl::ShowPartialReply(bool enabled) {
    if (!enabled) return;
    const auto length = static_cast<std::int64_t>(ctx_.ReplyBuffer.size());
    // Bytes that may turn out to begin the end marker wait for the next tick: shown, they
    // would put the marker's line breaks after the reply's last line.
    const auto held = static_cast<std::int64_t>(PendingEndMarker(ctx_.ReplyBuffer));
    const std::int64_t n = length - ctx_.ShownPos + 1 - held;
    if (n <= 0) return;
    const Bytes piece = ctx_.ReplyBuffer.substr(static_cast<std::size_t>(ctx_.ShownPos - 1),
                                                static_cast<std::size_t>(n));
    model_.TestLog += piece;
    view_.LogAppended(LogId::Test, piece);
    ctx_.ShownPos += static_cast<std::int32_t>(n);
}

void AdapterControl::ParseLog() {
    ReplyParser parser(model_, settings_);
    parser.ParseLog(ctx_.FocusAfterOp == Control::lvModes);
    view_.IdentityChanged();
    view_.ModesChanged();
    if (const auto row = parser.MarkedRow()) view_.ScrollModeIntoView(*row);
    for (Control c : {Control::cbPower, Control::edPower, Control::lbPower, Control::tsTest,
                      Control::btModeSelect})
        view_.ControlChanged(c);
}

void AdapterControl::LogReply() {
    for (Bytes& line : SplitReplyLines(ctx_.LastReply))
        model_.SettingsLog.push_back(line);
    view_.LogAppended(LogId::Settings, ctx_.LastReply);
}

void AdapterControl::ClearLog(LogId log) {
    if (log == LogId::Settings)
        model_.SettingsLog.clear();
    else
        model_.TestLog.clear();
    view_.LogCleared(log);
}

void AdapterControl::Enable(Control c, bool on) {
    model_.SetEnabled(c, on);
    view_.ControlChanged(c);
}

void AdapterControl::Show(Control c, bool on) {
    model_.SetVisible(c, on);
    view_.ControlChanged(c);
}

void AdapterControl::ShowError(const std::string& text) {
    sink_.ShowMessage("Error...", text, MsgIcon::Error);
}

std::string AdapterControl::PortText() {
    const auto port = view_.SelectedPort();
    return port ? port->Text : std::string();
}

void AdapterControl::SetUpdateRunCaption(const char* caption) {
    model_.UpdateRunCaption = caption;
    view_.ControlChanged(Control::btUpdateRun);
}
