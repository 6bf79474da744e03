#include "station/PortRun.h"

#include "transport/LineTrace.h"

PortRun::PortRun(TimerFactory& loop, std::string device, std::string shown, Observer& observer,
                 CoreOptions options, LineTrace* trace)
    : loop_(loop),
      device_(std::move(device)),
      shown_(std::move(shown)),
      observer_(observer),
      core_(loop, *this, static_cast<OperationView&>(*this), std::move(options)) {
    core_.Device().SetTrace(trace);
    next_ = loop_.CreateTimer();
    next_->SetCallback([this] {
        next_->Stop();
        StepEnded();
    });
    startMs_ = endMs_ = loop_.NowMs();
}

PortRun::~PortRun() {
    if (core_.Control().Busy()) core_.Control().Abort();
}

void PortRun::Start(std::vector<Step> steps) {
    steps_ = std::move(steps);
    index_ = 0;
    interrupted_ = false;
    // What was said against an earlier run (a search that found nothing before a listen) is
    // not this one's failure.
    said_.clear();
    result_ = Result::Running;
    startMs_ = loop_.NowMs();
    RunStep();
}

void PortRun::Abort() {
    if (result_ != Result::Running) return;
    interrupted_ = true;
    if (listener_ && listener_->Active())
        listener_->Stop();  // its end finishes the run
    else if (core_.Control().Busy())
        core_.Control().Abort();  // its end finishes the run
    else
        Finish(Result::Interrupted);
}

const PortRun::Step* PortRun::CurrentStep() const {
    return index_ < steps_.size() ? &steps_[index_] : nullptr;
}

std::string PortRun::Failure() const {
    std::string all;
    for (std::size_t i = 0; i < said_.size(); ++i)
        all += (i == 0 ? "" : "\n") + said_[i];
    return all;
}

double PortRun::Seconds() const {
    const std::int64_t end = result_ == Result::Running ? loop_.NowMs() : endMs_;
    return static_cast<double>(end - startMs_) / 1000.0;
}

void PortRun::RunStep() {
    while (result_ == Result::Running) {
        if (interrupted_) return Finish(Result::Interrupted);
        const Step* step = CurrentStep();
        if (step == nullptr) return Finish(Result::Ok);
        stepFailed_ = false;
        answered_ = false;
        observer_.StepStarted(*this, *step);
        if (!StartOperation(*step)) return;  // its end comes back through OperationEnded
        ++index_;
    }
}

bool PortRun::StartOperation(const Step& step) {
    AdapterControl& control = core_.Control();
    AdapterModel& model = core_.Model();
    switch (step.kind) {
        case Step::Kind::Search:
            control.btSearchClick();
            return false;
        case Step::Kind::Mode:
            for (std::size_t i = 0; i < model.Modes.size(); ++i) {
                if (model.Modes[i].Id != step.text) continue;
                if (model.Modes[i].StateIcon == 0) {
                    observer_.Note(*this, "Mode " + step.text + " is already the current mode.");
                    return true;
                }
                control.Modes().lvModesSelectItem(i);
                control.btModeSelectClick();
                return false;
            }
            Fail("The adapter offers no mode " + step.text + ".");
            return false;
        case Step::Kind::Power:
            if (!model.Visible(Control::cbPower) || !model.Enabled(Control::cbPower)) {
                Fail("The adapter reports no external power switch.");
                return false;
            }
            // As a click on the check box: the mark holds the wanted state when it is handled.
            model.Identity.ExtPowerOn = step.on;
            control.cbPowerClick();
            return false;
        case Step::Kind::Test:
            control.btRunTestClick();
            return false;
        case Step::Kind::Repair:
            control.StartRepair(step.data);
            return false;
        case Step::Kind::Update: {
            const double seconds = step.idleSeconds;
            watch_ = std::make_unique<UpdateWatch>(
                loop_, core_.Updater(), static_cast<std::int64_t>(seconds * 1000), [this, seconds] {
                    char text[160];
                    std::snprintf(
                        text, sizeof text,
                        "No answer from the boot loader for %g s: the update is given up.",
                        seconds);
                    said_.push_back(text);
                    observer_.Message(*this, text);
                    core_.Control().StopUpdate();
                });
            control.StartUpdate(step.text, step.noSearch, step.wait, *this, step.image);
            return false;
        }
        case Step::Kind::Listen: {
            heard_ = false;
            if (!listener_) listener_ = std::make_unique<PromptListener>(loop_, core_.Device());
            core_.Device().PortName = device_;
            const bool listening = listener_->Start(step.listenMs, [this](bool heard) {
                heard_ = heard;
                next_->Start(0);  // out of the listener's own tick
            });
            // The device has said why it would not open.
            if (!listening) {
                stepFailed_ = true;
                next_->Start(0);
            }
            return false;
        }
    }
    return true;
}

// The operation has ended, inside its own tick: the run goes on from a tick of its own.
void PortRun::OperationEnded() {
    if (result_ == Result::Running) next_->Start(0);
}

void PortRun::StepEnded() {
    if (result_ != Result::Running) return;
    const Step* step = CurrentStep();
    if (step == nullptr) return;
    if (interrupted_) return Finish(Result::Interrupted);
    if (stepFailed_ || !Judge(*step)) {
        // A search that found nothing on a port that opened: no adapter answers there.
        const bool notFound = step->kind == Step::Kind::Search && !found_ && !openFailed_;
        return Finish(notFound ? Result::NotFound : Result::Failed);
    }
    ++index_;
    RunStep();
}

void PortRun::SetTrace(LineTrace* trace) {
    core_.Device().SetTrace(trace);
}

bool PortRun::Judge(const Step& step) {
    const AdapterControl& control = core_.Control();
    const AdapterModel& model = core_.Model();
    if (result_ != Result::Running) return false;
    answered_ = step.kind == Step::Kind::Update
                    ? core_.Updater().LastOutcome() != TFWUpdate::Outcome::None
                    : step.kind != Step::Kind::Listen && control.Succeeded();
    switch (step.kind) {
        case Step::Kind::Search:
            if (!control.Succeeded()) return false;
            if (!found_) before_ = model.Identity;
            found_ = true;
            observer_.IdentityRead(*this);
            return true;
        case Step::Kind::Mode:
            if (!control.Succeeded()) return false;
            // The answer lists the modes anew: only its mark says the switch was made.
            for (const ModeRow& row : model.Modes)
                if (row.Id == step.text && row.StateIcon == 0) return true;
            Fail("The adapter did not switch to mode " + step.text +
                 ": its answer marks another mode current.");
            return false;
        case Step::Kind::Power:
            if (!control.Succeeded()) return false;
            if (model.Identity.ExtPowerOn == step.on) return true;
            Fail(std::string("The adapter's answer shows its external power ") +
                 (step.on ? "off" : "on") + ".");
            return false;
        case Step::Kind::Test:
        case Step::Kind::Repair:
            return control.Succeeded();
        case Step::Kind::Listen:
            return true;  // heard or not, the listen itself cannot fail
        case Step::Kind::Update:
            if (!GaveUp() && TFWUpdate::Succeeded(core_.Updater().LastOutcome())) return true;
            // The engine's last status is what went wrong.
            if (!updateText_.empty() && !GaveUp()) said_.push_back(updateText_);
            return false;
    }
    return false;
}

void PortRun::Fail(const std::string& why) {
    stepFailed_ = true;
    said_.push_back(why);
    observer_.Message(*this, why);
    // Judged without an operation: the run ends from a tick of its own, as after one.
    next_->Start(0);
}

void PortRun::Finish(Result result) {
    if (result_ != Result::Running) return;
    next_->Stop();
    result_ = result;
    endMs_ = loop_.NowMs();
    watch_.reset();
    observer_.Finished(*this);
}

std::optional<PortChoice> PortRun::SelectedPort() {
    if (device_.empty()) return std::nullopt;
    return PortChoice{device_, shown_, ""};
}

void PortRun::LogAppended(LogId log, const Bytes& text) {
    if (log == LogId::Test) observer_.TestOutput(*this, text);
}

void PortRun::ShowMessage(const std::string& caption, const std::string& text, MsgIcon) {
    // The window's own error box says everything in its text; the device's boxes name the
    // port in their caption, so that is kept.
    std::string line = caption == "Error..." ? text : text.empty() ? caption : caption + ' ' + text;
    if (caption.rfind("Open Port(", 0) == 0) openFailed_ = true;
    said_.push_back(line);
    observer_.Message(*this, line);
}

void PortRun::SetProgressMax(int max) {
    max_ = max;
    observer_.UpdateProgress(*this);
}

// The bar shows the number of the page confirmed last; a host counts the pages written.
void PortRun::SetProgressPos(int) {
    pos_ = core_.Updater().PagesWritten();
    observer_.UpdateProgress(*this);
}

void PortRun::SetStatus(const std::string& text) {
    engineStarted_ = true;
    if (text == updateText_) return;
    updateText_ = text;
    // The empty text between a step and the text that ends a run says nothing.
    if (!text.empty()) observer_.UpdateStatus(*this, text);
}

void PortRun::AddNote(const std::string& text) {
    observer_.Note(*this, "warning: " + text);
}
