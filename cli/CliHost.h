// One command-line run: a real-time loop and the adapter's core on the run's port.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/EventLoop.h"
#include "cli/CliView.h"
#include "cli/ConsoleSink.h"
#include "control/AdapterCore.h"

namespace CLI {
class App;
}
struct CliApp;

class CliHost {
public:
    // On the run's port, trace and sink (see CliApp).
    explicit CliHost(CliApp& cli);
    ~CliHost();

    // Makes `sub`, once chosen, the command line's action for a subcommand that talks to the
    // adapter: without --port a usage error; with it, `work` runs on a host of its own and
    // returns the exit status.
    static void OnChosen(CliApp& cli, CLI::App* sub, std::function<int(CliHost&)> work);

    // Calls `starter` (one of the control's starters) and runs the loop until the operation
    // has ended. True when its exchange was answered to the end (see AdapterControl::
    // Succeeded) and no interrupt came; false at once after an interrupt.
    bool RunOperation(const std::function<void()>& starter);
    // A search; true when the adapter answered both its commands.
    bool Search();
    // SIGINT or SIGTERM came while this host lived. The operation it interrupted has ended:
    // a running update as Stop ends it, any other operation at once, its port closed.
    bool Interrupted() const;

    EventLoop& Loop() { return loop_; }
    ConsoleSink& Sink() { return sink_; }
    CliView& View() { return view_; }
    TSerDev& Device() { return core_->Device(); }
    TFWUpdate& Updater() { return core_->Updater(); }
    AdapterModel& Model() { return core_->Model(); }
    AdapterControl& Control() { return core_->Control(); }

private:
    void CheckInterrupt();

    EventLoop loop_;
    ConsoleSink& sink_;
    CliView view_;
    std::unique_ptr<AdapterCore> core_;
    std::unique_ptr<Timer> interruptPoll_;
    bool interruptHandled_ = false;
    void (*previousInt_)(int) = nullptr;
    void (*previousTerm_)(int) = nullptr;
};
