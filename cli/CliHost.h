// One command-line run: a real-time loop, the ports the command works on with a PortRun on
// each (one core per port, all on the one loop), Ctrl-C and SIGTERM, and what the user sees.
// One port is shown as the command has always shown it; several as one live line each on a
// terminal (one line per event elsewhere) and a summary; --json as one object.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "cli/Interrupts.h"
#include "station/PortRun.h"

namespace CLI {
class App;
}
struct CliApp;
class ConsoleUpdateView;
class LineTrace;
class LiveLines;

// What a subcommand does on each port, and how a port's result is told.
struct CommandPlan {
    // Fills the steps (after the file checks that must come before any search); kExitOk to
    // go on, else the exit status.
    std::function<int(std::vector<PortRun::Step>& steps)> prepare;
    // A command that changes the adapter: `--port auto` then needs exactly one adapter.
    bool changesAdapter = true;
    // A self-test's output streams to stdout as it comes (one port, no --json).
    bool streamsTest = false;
    // The port's result as the one-port command prints it with --json (null: none).
    std::function<nlohmann::json(const PortRun&)> json;
    // The JSON result is given whatever the end (else only once the adapter answered).
    bool alwaysReports = false;
    // The port's report on stdout once its last operation was answered (null: none).
    std::function<void(const PortRun&, std::ostream&)> text;
    // Anything more a one-port run says at its end (`ok`: it did what was asked).
    std::function<void(const PortRun&, bool ok)> finish;
};

// How a port's run ended, as the command line tells it.
enum class PortOutcome { Running, Ok, Failed, NoAdapter, BootLoader, Interrupted };

class CliHost : public PortRun::Observer {
public:
    explicit CliHost(CliApp& cli);
    ~CliHost() override;

    // Makes `sub`, once chosen, the command line's action: the plan runs on every port named.
    static void OnChosen(CliApp& cli, CLI::App* sub, CommandPlan plan);

    int Run(const CommandPlan& plan);
    // SIGINT or SIGTERM came while this host lived.
    static bool Interrupted();
    // How long a port where no adapter answers is listened to for a boot loader's prompt.
    static constexpr int kListenMs = 1000;

private:
    enum class Mode { One, Several, Auto, All };

    int RunOne(const std::string& port, std::vector<PortRun::Step> steps);
    int FinishOne(PortRun& run);
    int RunSeveral(const std::vector<std::string>& ports, const std::vector<PortRun::Step>& steps,
                   bool all);
    int RunAuto(const std::string& pattern, std::vector<PortRun::Step> steps);
    std::vector<std::string> ListedPorts(const std::string& pattern);
    // Runs the loop until every run has finished.
    void RunLoop();
    PortRun& AddRun(const std::string& port);
    void CheckInterrupt();
    void Redraw();
    void PrintSummary(std::ostream& out) const;
    nlohmann::json PortJson(const PortRun& run) const;
    bool Counted(const PortRun& run) const;
    void Event(PortRun& run, const std::string& text);
    std::size_t IndexOf(const PortRun& run) const;
    PortOutcome Outcome(const PortRun& run) const;
    std::string ResultText(const PortRun& run) const;
    // A port where no adapter answered the search is listened to: a boot loader that calls is
    // an adapter left there by an update cut short (true: the run goes on).
    bool Listen(PortRun& run);
    // A listen has ended: what it heard is kept (false: the run was not listening).
    bool ListenEnded(const PortRun& run);
    // After the listen: an update finishes an adapter heard in its boot loader (true: it runs).
    bool FinishFromBootLoader(PortRun& run);
    void PrintBootLoaderHint(const PortRun& run) const;

    // PortRun::Observer
    void StepStarted(PortRun& run, const PortRun::Step& step) override;
    void IdentityRead(PortRun& run) override;
    void TestOutput(PortRun& run, const Bytes& text) override;
    void UpdateStatus(PortRun& run, const std::string& text) override;
    void UpdateProgress(PortRun& run) override;
    void Note(PortRun& run, const std::string& text) override;
    void Message(PortRun& run, const std::string& text) override;
    void Finished(PortRun& run) override;

    CliApp& cli_;
    const CommandPlan* plan_ = nullptr;
    Mode mode_ = Mode::One;
    bool chosen_ = false;  // `auto` found the one adapter the rest of the command is for
    bool live_ = false;    // several ports on a terminal: lines redrawn in place
    EventLoop loop_;
    std::vector<std::unique_ptr<PortRun>> runs_;
    // Per run, in the order of runs_.
    struct RunState {
        std::string text;             // what the live view says it does
        bool listening = false;       // listening for a boot loader's prompt
        bool listened = false;        // ... done: `heard` says what came of it
        bool heard = false;           // a boot loader called: the adapter sits in it
        bool fromBootLoader = false;  // the update was started on the boot loader
        int pagesShown = -1;          // the last page count a plain line told
    };
    std::vector<RunState> state_;
    std::optional<PortRun::Step> bootUpdate_;  // the plan's update, started on a boot loader
    std::unique_ptr<LiveLines> liveLines_;
    std::unique_ptr<ConsoleUpdateView> updateView_;   // one port's progress
    std::vector<std::unique_ptr<LineTrace>> traces_;  // several ports: a trace each
    std::unique_ptr<Timer> interruptPoll_;
    std::unique_ptr<Timer> redraw_;
    bool interruptHandled_ = false;
    Interrupts interrupts_;
};
