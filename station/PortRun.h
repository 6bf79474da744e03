// One adapter's work on its own port, run without blocking on a loop that other ports share:
// the steps of a command (search, switch a mode or the power, self-test, repair, update), each
// an operation of the port's own core, the next one started once the last one has ended and
// been judged. The command line runs one per port; the station runs one per adapter plugged in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/MessageSink.h"
#include "base/Timer.h"
#include "control/AdapterCore.h"
#include "control/OperationView.h"
#include "update/PromptListener.h"
#include "update/UpdateView.h"
#include "update/UpdateWatch.h"

class LineTrace;

class PortRun : public OperationView, public MessageSink, public UpdateView {
public:
    struct Step {
        enum class Kind { Search, Mode, Power, Test, Repair, Update, Listen };
        Kind kind = Kind::Search;
        std::string text;         // Mode: the mode's ID; Update: the firmware file
        bool on = false;          // Power: the wanted state
        Bytes data;               // Repair: the change-mode file's 80 bytes
        bool noSearch = false;    // Update: hand over without the update command
        bool wait = false;        // Update: wait for the boot loader's prompt
        double idleSeconds = 30;  // Update: given up when it stops moving on (0: never)
        // Update: the bytes to write in the file's place (null: the file is read at the step)
        std::shared_ptr<const Bytes> image;
        int listenMs = 0;  // Listen: how long to listen for the boot loader's prompt

        static Step Search() { return Step{}; }
        static Step Mode(std::string id) {
            Step s;
            s.kind = Kind::Mode;
            s.text = std::move(id);
            return s;
        }
        static Step Power(bool on) {
            Step s;
            s.kind = Kind::Power;
            s.on = on;
            return s;
        }
        static Step Test() {
            Step s;
            s.kind = Kind::Test;
            return s;
        }
        static Step Repair(Bytes modeFile) {
            Step s;
            s.kind = Kind::Repair;
            s.data = std::move(modeFile);
            return s;
        }
        static Step Update(std::string file, bool noSearch, bool wait, double idleSeconds,
                           std::shared_ptr<const Bytes> image = nullptr) {
            Step s;
            s.kind = Kind::Update;
            s.text = std::move(file);
            s.noSearch = noSearch;
            s.wait = wait;
            s.idleSeconds = idleSeconds;
            s.image = std::move(image);
            return s;
        }
        // Listens, sending nothing, for a boot loader's prompt: see PromptHeard.
        static Step Listen(int ms) {
            Step s;
            s.kind = Kind::Listen;
            s.listenMs = ms;
            return s;
        }
    };
    enum class Result { Running, Ok, Failed, NotFound, Interrupted };

    // What a run tells its host as it goes; every call comes on the loop's thread.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void StepStarted(PortRun&, const Step&) {}
        // A search read the adapter's identity into the model.
        virtual void IdentityRead(PortRun&) {}
        virtual void TestOutput(PortRun&, const Bytes& /*text*/) {}
        virtual void UpdateStatus(PortRun&, const std::string& /*text*/) {}
        virtual void UpdateProgress(PortRun&) {}
        // The run's own words (a warning, why it gave up): not an error of the adapter's.
        virtual void Note(PortRun&, const std::string& /*text*/) {}
        // A box the core would have shown, as one line of text.
        virtual void Message(PortRun&, const std::string& /*text*/) {}
        virtual void Finished(PortRun&) = 0;
    };

    // `device` is opened; `shown` names it in the messages. `trace` (optional) records the line.
    PortRun(TimerFactory& loop, std::string device, std::string shown, Observer& observer,
            CoreOptions options = {}, LineTrace* trace = nullptr);
    ~PortRun() override;
    PortRun(const PortRun&) = delete;
    PortRun& operator=(const PortRun&) = delete;

    // Runs the steps in order. Once finished, a run may be started again with more steps on
    // the same core: a search's line settings and prefix hold for them.
    void Start(std::vector<Step> steps);
    // Ends the run as Stop or a closed window would: the operation stops, the port closes,
    // the run finishes as interrupted.
    void Abort();

    const std::string& Port() const { return shown_; }
    const std::string& Device() const { return device_; }
    Result GetResult() const { return result_; }
    bool Running() const { return result_ == Result::Running; }
    const AdapterModel& Model() const { return core_.Model(); }
    // The identity the first search read, before anything was changed.
    const AdapterIdentity& IdentityBefore() const { return before_; }
    bool Found() const { return found_; }
    // The last step's operation was answered to its end (a switch judged not made included).
    bool LastAnswered() const { return answered_; }
    // Everything that crosses this run's line from now on is written to `trace` (not owned).
    void SetTrace(LineTrace* trace);
    // The port would not open (busy, no permission, gone): the reason is among Said().
    bool OpenFailed() const { return openFailed_; }
    const Step* CurrentStep() const;
    // Everything said against the run since its Start, one line each (the boxes and the
    // judgements).
    const std::vector<std::string>& Said() const { return said_; }
    std::string Failure() const;
    double Seconds() const;

    // The update step's own state.
    const std::string& UpdateText() const { return updateText_; }
    int PagesWritten() const { return pos_; }
    int PageCount() const { return max_; }
    TFWUpdate::Outcome Outcome() const { return core_.Updater().LastOutcome(); }
    // The engine ran, so a failed update leaves the adapter in its boot loader.
    bool EngineStarted() const { return engineStarted_; }
    bool GaveUp() const { return watch_ && watch_->GaveUp(); }
    // Bytes the boot loader sent in the last update (none: nothing answered its greeting).
    std::uint64_t BootBytes() const { return core_.Updater().BytesReceived(); }
    // The last Listen step heard the boot loader's prompt: the unit waits in its boot loader.
    bool PromptHeard() const { return heard_; }

private:
    // OperationView: the port the run was given; test output and the operation's end go on.
    std::optional<PortChoice> SelectedPort() override;
    void ControlChanged(Control) override {}
    void IdentityChanged() override {}
    void ModesChanged() override {}
    void LogCleared(LogId) override {}
    void LogAppended(LogId log, const Bytes& text) override;
    void FocusControl(Control) override {}
    void UpdatePageState() override {}
    void OperationEnded() override;
    // MessageSink: a box, said as the command line says it.
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon) override;
    // UpdateView: the engine's status and progress.
    void SetProgressMax(int max) override;
    void SetProgressPos(int pos) override;
    void SetStatus(const std::string& text) override;
    void AddNote(const std::string& text) override;

    void RunStep();
    void StepEnded();
    // True when the step needs no operation (judged at once): then the next one follows.
    bool StartOperation(const Step& step);
    bool Judge(const Step& step);
    void Fail(const std::string& why);
    void Finish(Result result);

    TimerFactory& loop_;
    std::string device_;
    std::string shown_;
    Observer& observer_;
    AdapterCore core_;
    std::vector<Step> steps_;
    std::size_t index_ = 0;
    std::unique_ptr<Timer> next_;  // runs the next step outside the ended operation's tick
    std::unique_ptr<UpdateWatch> watch_;
    std::unique_ptr<PromptListener> listener_;  // ends before the core it listens through
    bool heard_ = false;
    Result result_ = Result::Ok;
    bool interrupted_ = false;
    bool stepFailed_ = false;  // judged failed without an operation
    bool answered_ = false;
    bool openFailed_ = false;  // the port would not open: not a port without an adapter
    bool found_ = false;
    AdapterIdentity before_;
    std::vector<std::string> said_;
    std::string updateText_;
    int pos_ = 0;
    int max_ = 0;
    bool engineStarted_ = false;
    std::int64_t startMs_ = 0;  // on the loop's clock
    std::int64_t endMs_ = 0;
};
