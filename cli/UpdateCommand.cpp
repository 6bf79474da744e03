// `update FILE [--no-search] [--wait] [--idle-timeout SECONDS]`: writes new firmware into the
// adapter through its boot loader, printing the engine's status texts and a progress line.
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "update/FirmwareFile.h"

namespace {

struct UpdateOptions {
    std::string file;
    bool noSearch = false;
    bool wait = false;
    double idleTimeout = 30;  // seconds; 0: wait for ever, as the window does
};

// A word of the command line as a POSIX shell reads it back.
std::string ShellWord(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                               "0123456789_-+=.,/:@%") == std::string::npos)
        return word;
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// An adapter in its boot loader runs no firmware and answers no search: say how to get out.
void ExplainBootLoader(const std::string& program, const std::string& port,
                       const std::string& file) {
    std::cerr << "The adapter may be left in its boot loader. This writes the firmware again "
                 "and brings it back:\n  "
              << program << " --port " << ShellWord(port) << " update --no-search "
              << ShellWord(file) << '\n';
}

// The status the user read last: the engine's, or the cancel of a run stopped before it ran.
std::string Status(const PortRun& run) {
    if (!run.UpdateText().empty() || run.GetResult() != PortRun::Result::Interrupted)
        return run.UpdateText();
    return TFWUpdate::OutcomeText(TFWUpdate::Outcome::Canceled);
}

}  // namespace

void RegisterUpdateCommand(CliApp& cli) {
    static UpdateOptions o;
    CLI::App* sub = cli.app.add_subcommand(
        "update",
        "Write a firmware file (.rfw) into the adapter through its boot loader; Ctrl-C cancels");
    sub->add_option("FILE", o.file, "Firmware file")->required();
    sub->add_flag("--no-search", o.noSearch,
                  "Hand over to the boot loader at once: no search, no update command");
    sub->add_flag("--wait", o.wait, "Wait for the boot loader's prompt before greeting it");
    sub->add_option("--idle-timeout", o.idleTimeout,
                    "Give up after this many seconds in which the boot loader has not moved the "
                    "update on (0: never)")
        ->capture_default_str()
        ->transform(NumberFrom(0.0));
    CommandPlan plan;
    plan.alwaysReports = true;
    plan.prepare = [&cli](std::vector<PortRun::Step>& steps) {
        // The file is checked before anything is sent: a bad file must not leave the adapter
        // waiting in its boot loader.
        Bytes checked;
        if (!LoadFirmwareFile(o.file, cli.sink, checked)) return kExitFailed;
        steps = {PortRun::Step::Update(o.file, o.noSearch, o.wait, o.idleTimeout)};
        if (!o.noSearch) steps.insert(steps.begin(), PortRun::Step::Search());
        return kExitOk;
    };
    plan.json = [](const PortRun& run) {
        const bool ok = run.GetResult() == PortRun::Result::Ok;
        return nlohmann::json{{"status", Status(run)},
                              {"pagesWritten", run.PagesWritten()},
                              {"pageCount", run.PageCount()},
                              {"inBootLoader", !ok && run.EngineStarted()}};
    };
    plan.finish = [&cli](const PortRun& run, bool ok) {
        // Stopped before the engine ran (in the search, or awaiting the update command's
        // reply): the engine's own cancel text was never shown.
        if (!ok && run.UpdateText().empty() && run.GetResult() == PortRun::Result::Interrupted &&
            !cli.options.json)
            std::cout << Status(run) << '\n';
        // An adapter in its boot loader answers no search: say how to bring it back.
        if (!ok && run.EngineStarted()) ExplainBootLoader(cli.app.get_name(), run.Port(), o.file);
        // In text the status was printed on stdout already; with --json it is what went wrong.
        if (!ok && cli.options.json && !Status(run).empty()) cli.sink.Record(Status(run));
    };
    CliHost::OnChosen(cli, sub, std::move(plan));
}
