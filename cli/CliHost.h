// The core objects of one command-line run, wired as the window wires them: a real-time
// loop, the serial device, the update engine, the model and the adapter control.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/EventLoop.h"
#include "cli/CliView.h"
#include "cli/ConsoleSink.h"
#include "control/AdapterControl.h"
#include "control/AdapterModel.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

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
    TSerDev& Device() { return *dev_; }
    TFWUpdate& Updater() { return *updater_; }
    AdapterModel& Model() { return model_; }
    AdapterControl& Control() { return *control_; }

private:
    void CheckInterrupt();

    EventLoop loop_;
    ConsoleSink& sink_;
    CliView view_;
    AdapterModel model_;
    std::unique_ptr<TFWUpdate> updater_;
    std::unique_ptr<TSerDev> dev_;
    std::unique_ptr<AdapterControl> control_;
    std::unique_ptr<Timer> interruptPoll_;
    bool interruptHandled_ = false;
    void (*previousInt_)(int) = nullptr;
    void (*previousTerm_)(int) = nullptr;
};
