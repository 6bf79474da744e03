// `update FILE [--no-search] [--wait] [--idle-timeout SECONDS]`: writes new firmware into the
// adapter through its boot loader, printing the engine's status texts and a progress line.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/ConsoleUpdateView.h"
#include "platform/Terminal.h"
#include "update/FirmwareFile.h"
#include "update/UpdateWatch.h"

namespace {

struct UpdateOptions {
    std::string file;
    bool noSearch = false;
    bool wait = false;
    double idleTimeout = 30;  // seconds; 0: wait for ever, as the window does
};

// Only the engine writes to the view it is handed, and it does so from its start on: what
// passes through here tells that the adapter was sent into its boot loader (or was found
// there), so a run that fails later leaves it there.
class EngineView : public UpdateView {
public:
    explicit EngineView(UpdateView& shown) : shown_(shown) {}
    void SetProgressMax(int max) override { shown_.SetProgressMax(max); }
    void SetProgressPos(int pos) override { shown_.SetProgressPos(pos); }
    void SetStatus(const std::string& text) override {
        started_ = true;
        shown_.SetStatus(text);
    }
    bool Started() const { return started_; }

private:
    UpdateView& shown_;
    bool started_ = false;
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

int Update(CliApp& cli, CliHost& host, const UpdateOptions& o) {
    const bool json = cli.options.json;
    // The file is checked before anything is sent: a bad file must not leave the adapter
    // waiting in its boot loader.
    Bytes checked;
    if (!LoadFirmwareFile(o.file, host.Sink(), checked)) return kExitFailed;

    ConsoleUpdateView view(json ? nullptr : stdout, !json && platform::IsTerminal(stdout));
    EngineView engineView(view);
    UpdateWatch watch(
        host.Loop(), host.Updater(), static_cast<std::int64_t>(o.idleTimeout * 1000), [&] {
            char text[160];
            std::snprintf(text, sizeof text,
                          "No answer from the boot loader for %g s: the update is given up.",
                          o.idleTimeout);
            view.Note(text, stderr);
            host.Sink().Record(text);
            host.Control().StopUpdate();
        });

    const bool ready = o.noSearch || host.Search();
    if (ready)
        host.RunOperation(
            [&] { host.Control().StartUpdate(o.file, o.noSearch, o.wait, engineView); });
    // Interrupted before the engine ran (in the search, or awaiting the update command's
    // reply): the engine's own cancel text was never shown.
    if (host.Interrupted() && !engineView.Started())
        view.SetStatus(TFWUpdate::OutcomeText(TFWUpdate::Outcome::Canceled));
    view.Finish();

    // An engine that has confirmed the end marker has written the firmware, whatever came
    // after.
    const bool ok = ready && !watch.GaveUp() && TFWUpdate::Succeeded(host.Updater().LastOutcome());
    const bool inBootLoader = !ok && engineView.Started();
    if (inBootLoader) ExplainBootLoader(cli.app.get_name(), cli.options.port, o.file);
    if (json) {
        // The status is what went wrong; in text it was printed on stdout already.
        if (!ok && !view.Status().empty()) host.Sink().Record(view.Status());
        cli.result = nlohmann::json{{"status", view.Status()},
                                    {"pagesWritten", view.Pos()},
                                    {"pageCount", view.Max()},
                                    {"inBootLoader", inBootLoader}};
    }
    return ok ? kExitOk : kExitFailed;
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
        ->check(FiniteNumber())
        ->check(CLI::NonNegativeNumber);
    sub->callback([&cli] {
        cli.action = [&cli] {
            if (int usage = cli.RequirePort()) return usage;
            CliHost host(cli);
            return Update(cli, host, o);
        };
    });
}
