#include "cli/CliHost.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <system_error>

#include "cli/CliApp.h"
#include "cli/ConsoleUpdateView.h"
#include "cli/Interrupts.h"
#include "cli/LiveLines.h"
#include "platform/CodePage.h"
#include "platform/NamePattern.h"
#include "platform/Terminal.h"
#include "transport/LineTrace.h"
#include "transport/PortLists.h"
#include "transport/TListCOM.h"
#include "transport/TListUSB.h"

namespace {

// How soon the loop notices an interrupt; the handler itself only sets a flag.
constexpr int kInterruptPollMs = 50;
// How often the live view of several ports is drawn again.
constexpr int kRedrawMs = 100;
// While the port lists take their first look, before `all` and `auto` pick from them.
constexpr int kListPollMs = 5;

// The serial layer opens a path under /dev/ or any path that names a character device. A
// link such as /dev/serial/by-id/... or one in a user's own directory is followed here, so
// that the messages and the trace name the device that was opened; anything that does not end
// at a character device under /dev/ is left as given, for the serial layer to judge.
std::string DevicePath(const std::string& port) {
    namespace fs = std::filesystem;
    if (port.find('/') == std::string::npos) return port;  // COM3, USB:<serial>
    std::error_code ec;
    const bool underDev = port.rfind("/dev/", 0) == 0;
    if (underDev && !fs::is_symlink(fs::symlink_status(port, ec))) return port;
    const fs::path target = fs::canonical(port, ec);
    if (ec || !fs::is_character_file(target, ec) || target.string().rfind("/dev/", 0) != 0)
        return port;
    return target.string();
}

// "auto" or "auto:PATTERN" (likewise "all"): the pattern, "*" when none is given.
bool Keyword(const std::string& value, const char* word, std::string& pattern) {
    const std::string w = word;
    if (value == w) {
        pattern = "*";
        return true;
    }
    if (value.rfind(w + ":", 0) != 0) return false;
    pattern = value.substr(w.size() + 1);
    return true;
}

const char* StepName(const PortRun::Step& step) {
    switch (step.kind) {
        case PortRun::Step::Kind::Search:
            return "searching";
        case PortRun::Step::Kind::Mode:
            return "switching the mode";
        case PortRun::Step::Kind::Power:
            return "switching the power";
        case PortRun::Step::Kind::Test:
            return "self-test";
        case PortRun::Step::Kind::Repair:
            return "repair";
        case PortRun::Step::Kind::Update:
            return "update";
        case PortRun::Step::Kind::Listen:
            return "listening for a boot loader";
    }
    return "";
}

constexpr const char* kInBootLoader = "in its boot loader";

std::string Utf8(const Bytes& text) {
    return platform::Cp1251ToUtf8(text);
}

}  // namespace

CliHost::CliHost(CliApp& cli) : cli_(cli) {
    interruptPoll_ = loop_.CreateTimer();
    interruptPoll_->SetCallback([this] { CheckInterrupt(); });
    redraw_ = loop_.CreateTimer();
    redraw_->SetCallback([this] { Redraw(); });
}

CliHost::~CliHost() {
    // The runs close their ports as they go, before the signals are handed back.
    runs_.clear();
}

bool CliHost::Interrupted() {
    return Interrupts::Raised();
}

void CliHost::OnChosen(CliApp& cli, CLI::App* sub, CommandPlan plan) {
    sub->callback([&cli, plan = std::move(plan)] {
        cli.action = [&cli, plan] {
            if (int usage = cli.RequirePort()) return usage;
            CliHost host(cli);
            return host.Run(plan);
        };
    });
}

int CliHost::Run(const CommandPlan& plan) {
    plan_ = &plan;
    const std::vector<std::string>& ports = cli_.options.ports;
    std::string pattern;
    const bool automatic = ports.size() == 1 && Keyword(ports[0], "auto", pattern);
    const bool all = ports.size() == 1 && !automatic && Keyword(ports[0], "all", pattern);
    for (const std::string& port : ports) {
        std::string ignored;
        if (ports.size() > 1 && (Keyword(port, "auto", ignored) || Keyword(port, "all", ignored))) {
            cli_.sink.Error("--port " + port + " stands alone: it names the ports itself");
            return kExitUsage;
        }
    }
    std::vector<PortRun::Step> steps;
    if (const int status = plan.prepare(steps)) return status;
    // An adapter found in its boot loader gets the plan's update, handed over at once and
    // waiting for the prompt it was heard calling with.
    for (const PortRun::Step& step : steps)
        if (step.kind == PortRun::Step::Kind::Update) {
            bootUpdate_ = step;
            bootUpdate_->noSearch = true;
            bootUpdate_->wait = true;
        }
    if (automatic) return RunAuto(pattern, std::move(steps));
    if (all) {
        const std::vector<std::string> listed = ListedPorts(pattern);
        if (listed.empty()) {
            cli_.sink.Error("No listed port matches " + pattern + ".");
            return kExitFailed;
        }
        return RunSeveral(listed, steps, true);
    }
    if (ports.size() == 1) return RunOne(ports[0], std::move(steps));
    return RunSeveral(ports, steps, false);
}

// ---- the runs -----------------------------------------------------------------------

PortRun& CliHost::AddRun(const std::string& port) {
    LineTrace* trace = nullptr;
    if (mode_ == Mode::One || mode_ == Mode::Auto) trace = cli_.trace.get();
    runs_.push_back(
        std::make_unique<PortRun>(loop_, DevicePath(port), port, *this, CoreOptions{}, trace));
    state_.emplace_back();
    return *runs_.back();
}

void CliHost::RunLoop() {
    auto running = [this] {
        return std::any_of(runs_.begin(), runs_.end(), [](const auto& r) { return r->Running(); });
    };
    if (!running()) return;
    interruptPoll_->Start(kInterruptPollMs);
    if (live_) redraw_->Start(kRedrawMs);
    loop_.Run();
    interruptPoll_->Stop();
    redraw_->Stop();
}

void CliHost::CheckInterrupt() {
    if (!Interrupts::Raised() || interruptHandled_) return;
    interruptHandled_ = true;
    // Every run stops as Stop stops it; its port closes.
    for (auto& run : runs_)
        run->Abort();
}

int CliHost::RunOne(const std::string& port, std::vector<PortRun::Step> steps) {
    mode_ = Mode::One;
    PortRun& run = AddRun(port);
    if (!Interrupted()) run.Start(std::move(steps));
    RunLoop();
    return FinishOne(run);
}

// One port's end, as the command has always told it.
int CliHost::FinishOne(PortRun& run) {
    if (updateView_) updateView_->Finish();
    const bool json = cli_.options.json;
    const bool ok = run.GetResult() == PortRun::Result::Ok && !Interrupted();
    if (plan_->finish) plan_->finish(run, ok);
    // What the adapter answered last is reported even when it was not what was asked (a
    // switch it did not make).
    const bool answered = ok || (run.GetResult() == PortRun::Result::Failed && run.LastAnswered());
    if (json && plan_->json && (plan_->alwaysReports || answered)) {
        nlohmann::json j = plan_->json(run);
        if (chosen_) j["port"] = run.Port();
        cli_.result = j;
    }
    if (!json && plan_->text && answered) plan_->text(run, std::cout);
    return ok ? kExitOk : kExitFailed;
}

int CliHost::RunSeveral(const std::vector<std::string>& ports,
                        const std::vector<PortRun::Step>& steps, bool all) {
    mode_ = all ? Mode::All : Mode::Several;
    live_ = !cli_.options.json && platform::IsTerminal(stdout);
    if (live_) liveLines_ = std::make_unique<LiveLines>(stdout);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortRun& run = AddRun(ports[i]);
        // Each port its own trace, named after the one asked for.
        if (!cli_.options.trace.empty()) {
            const std::string path = cli_.options.trace + "." + std::to_string(i + 1);
            std::string reason;
            auto trace = LineTrace::OpenFile(path, reason);
            if (!trace) {
                cli_.sink.Error("Cannot open the trace file " + path + ": " + reason);
                return kExitUsage;
            }
            run.SetTrace(trace.get());
            traces_.push_back(std::move(trace));
        }
    }
    if (!Interrupted())
        for (auto& run : runs_)
            run->Start(steps);
    if (live_) Redraw();
    RunLoop();
    if (live_) Redraw();

    int counted = 0, failed = 0;
    for (const auto& run : runs_) {
        if (!Counted(*run)) continue;
        ++counted;
        failed += Outcome(*run) == PortOutcome::Ok ? 0 : 1;
    }
    const bool ok = counted > 0 && failed == 0 && !Interrupted();
    if (cli_.options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& run : runs_)
            list.push_back(PortJson(*run));
        cli_.result = nlohmann::json{{"ports", list}};
    } else {
        PrintSummary(std::cout);
    }
    if (counted == 0)
        cli_.sink.Error("No adapter answered on any of the " + std::to_string(runs_.size()) +
                        " ports.");
    else if (failed > 0)
        cli_.sink.Error(std::to_string(failed) + " of " + std::to_string(counted) +
                        " ports failed.");
    return ok ? kExitOk : kExitFailed;
}

// A port counts when it was worked on: with `all`, a port without an adapter, or one that would
// not open, is only named.
bool CliHost::Counted(const PortRun& run) const {
    if (mode_ != Mode::All) return true;
    return Outcome(run) != PortOutcome::NoAdapter && !run.OpenFailed();
}

std::size_t CliHost::IndexOf(const PortRun& run) const {
    for (std::size_t i = 0; i < runs_.size(); ++i)
        if (runs_[i].get() == &run) return i;
    return runs_.size();
}

PortOutcome CliHost::Outcome(const PortRun& run) const {
    const std::size_t i = IndexOf(run);
    const RunState* state = i < state_.size() ? &state_[i] : nullptr;
    switch (run.GetResult()) {
        case PortRun::Result::Running:
            return PortOutcome::Running;
        case PortRun::Result::Interrupted:
            return PortOutcome::Interrupted;
        case PortRun::Result::NotFound:
            return PortOutcome::NoAdapter;
        case PortRun::Result::Failed:
            return PortOutcome::Failed;
        case PortRun::Result::Ok:
            break;
    }
    // A run that ended with its listen: the port has no adapter, or one in its boot loader.
    if (state && state->listened && !state->fromBootLoader)
        return state->heard ? PortOutcome::BootLoader : PortOutcome::NoAdapter;
    return PortOutcome::Ok;
}

std::string CliHost::ResultText(const PortRun& run) const {
    const std::size_t i = IndexOf(run);
    const std::string origin =
        i < state_.size() && state_[i].fromBootLoader ? " (from boot loader)" : "";
    switch (Outcome(run)) {
        case PortOutcome::Running:
            return "running";
        case PortOutcome::Ok:
            return "ok" + origin;
        case PortOutcome::NoAdapter:
            return "no adapter";
        case PortOutcome::BootLoader:
            return kInBootLoader;
        case PortOutcome::Interrupted:
            return "interrupted";
        case PortOutcome::Failed:
            break;
    }
    const std::vector<std::string>& said = run.Said();
    return (said.empty() ? "failed" : "failed: " + said.back()) + origin;
}

bool CliHost::Listen(PortRun& run) {
    const std::size_t i = IndexOf(run);
    if (i >= state_.size() || state_[i].listening || state_[i].listened || Interrupted() ||
        run.GetResult() != PortRun::Result::NotFound)
        return false;
    state_[i].listening = true;
    run.Start({PortRun::Step::Listen(kListenMs)});
    return true;
}

bool CliHost::ListenEnded(const PortRun& run) {
    const std::size_t i = IndexOf(run);
    if (i >= state_.size() || !state_[i].listening) return false;
    state_[i].listening = false;
    state_[i].listened = true;
    state_[i].heard = run.GetResult() == PortRun::Result::Ok && run.PromptHeard();
    return true;
}

bool CliHost::FinishFromBootLoader(PortRun& run) {
    if (!ListenEnded(run)) return false;
    const std::size_t i = IndexOf(run);
    if (!state_[i].heard || !bootUpdate_ || Interrupted() || mode_ == Mode::Auto) return false;
    state_[i].fromBootLoader = true;
    Event(run, "in its boot loader (heard calling): updating");
    run.Start({*bootUpdate_});
    return true;
}

// An adapter in its boot loader runs no firmware and answers no command but an update.
void CliHost::PrintBootLoaderHint(const PortRun& run) const {
    std::cerr << run.Port() << ": an adapter calls there from its boot loader (an update was "
              << "cut short); finish it with\n  " << cli_.app.get_name() << " --port " << run.Port()
              << " update --no-search --wait FILE\n";
}

int CliHost::RunAuto(const std::string& pattern, std::vector<PortRun::Step> steps) {
    mode_ = Mode::Auto;
    if (steps.empty() || steps.front().kind != PortRun::Step::Kind::Search) {
        cli_.sink.Error(
            "--port auto finds the adapter by searching; an adapter in its boot "
            "loader answers no search: name its port.");
        return kExitUsage;
    }
    const std::vector<std::string> listed = ListedPorts(pattern);
    for (const std::string& port : listed)
        AddRun(port);
    if (!Interrupted())
        for (auto& run : runs_)
            run->Start({PortRun::Step::Search()});
    RunLoop();
    // Where nothing answered, a boot loader may be calling.
    for (auto& run : runs_)
        Listen(*run);
    RunLoop();
    std::vector<PortRun*> found, inBootLoader;
    for (auto& run : runs_) {
        if (run->Found()) found.push_back(run.get());
        if (Outcome(*run) == PortOutcome::BootLoader) inBootLoader.push_back(run.get());
        // Busy, forbidden or gone: named with the reason, and the others are probed anyway.
        if (run->OpenFailed()) std::cerr << run->Port() << ": " << run->Failure() << '\n';
    }
    if (Interrupted()) return kExitFailed;
    // An update finishes an adapter in its boot loader: it counts as the one adapter.
    if (bootUpdate_ && found.empty() && inBootLoader.size() == 1) {
        PortRun& run = *inBootLoader.front();
        std::cerr << "Adapter found in its boot loader on " << run.Port() << "." << std::endl;
        state_[IndexOf(run)].fromBootLoader = true;
        mode_ = Mode::One;
        chosen_ = true;
        run.Start({*bootUpdate_});
        RunLoop();
        return FinishOne(run);
    }
    if (!plan_->changesAdapter || bootUpdate_ || found.empty())
        for (PortRun* run : inBootLoader)
            PrintBootLoaderHint(*run);
    if (found.empty() && !inBootLoader.empty()) {
        if (plan_->changesAdapter && bootUpdate_) {
            cli_.sink.Error("Adapters wait in their boot loaders on " +
                            std::to_string(inBootLoader.size()) +
                            " ports; name the one to update with --port.");
        } else {
            cli_.sink.Error("No adapter answered; " + std::to_string(inBootLoader.size()) +
                            (inBootLoader.size() == 1 ? " waits" : " wait") +
                            " in its boot loader, which only an update can finish.");
        }
        if (cli_.options.json) {
            nlohmann::json list = nlohmann::json::array();
            for (PortRun* run : inBootLoader)
                list.push_back(PortJson(*run));
            cli_.result = nlohmann::json{{"ports", list}};
        }
        return kExitFailed;
    }
    if (found.empty()) {
        if (listed.empty())
            cli_.sink.Error("No listed port matches " + pattern + ".");
        else if (listed.size() == 1)
            cli_.sink.Error("No adapter answered on " + listed.front() +
                            ", the one listed port matching " + pattern + ".");
        else
            cli_.sink.Error("No adapter answered on any of the " + std::to_string(listed.size()) +
                            " listed ports matching " + pattern + ".");
        return kExitFailed;
    }
    if (!plan_->changesAdapter) {
        // Every adapter found, with its port (and those in their boot loaders, named above).
        if (cli_.options.json) {
            nlohmann::json list = nlohmann::json::array();
            for (PortRun* run : found)
                list.push_back(PortJson(*run));
            for (PortRun* run : inBootLoader)
                list.push_back(PortJson(*run));
            cli_.result = nlohmann::json{{"ports", list}};
        } else {
            for (PortRun* run : found) {
                std::cout << "Port: " << run->Port() << '\n';
                if (plan_->text) plan_->text(*run, std::cout);
                if (run != found.back()) std::cout << '\n';
            }
        }
        return kExitOk;
    }
    if (found.size() > 1 || (bootUpdate_ && !inBootLoader.empty())) {
        std::string names;
        for (PortRun* run : found)
            names += "\n  " + run->Port() + " (serial number " +
                     Utf8(run->Model().Identity.SerialNumber) + ")";
        for (PortRun* run : inBootLoader)
            names += "\n  " + run->Port() + " (" + kInBootLoader + ")";
        cli_.sink.Error("Adapters answered on " +
                        std::to_string(found.size() + (bootUpdate_ ? inBootLoader.size() : 0)) +
                        " ports; name the one to use with --port:" + names);
        return kExitFailed;
    }
    // The one adapter: the rest of the command on its core, shown as for one port. The other
    // runs have ended, their ports closed.
    PortRun& run = *found.front();
    steps.erase(steps.begin());
    mode_ = Mode::One;
    chosen_ = true;
    run.Start(std::move(steps));
    RunLoop();
    return FinishOne(run);
}

// The listed ports (serial ports, virtual ones, FTDI devices) whose names match `pattern`,
// once the lists have had their first look.
std::vector<std::string> CliHost::ListedPorts(const std::string& pattern) {
    const std::shared_ptr<PortLists> lists = PortLists::Shared();
    auto poll = loop_.CreateTimer();
    poll->SetCallback([&] {
        if (lists->ComWorker().PassCount() > 0 && lists->UsbWorker().ScanCount() > 0) loop_.Quit(0);
    });
    poll->Start(kListPollMs);
    loop_.Run();
    poll.reset();
    PortEntries all;
    lists->GetCOMList(all.names, all.descs, all.ids);
    lists->GetUSBList(all.names, all.descs, all.ids);
    std::vector<std::string> matching;
    for (const std::string& name : all.names)
        if (platform::MatchesPattern(pattern, name)) matching.push_back(name);
    return matching;
}

// ---- what the user sees -----------------------------------------------------------------

void CliHost::Event(PortRun& run, const std::string& text) {
    if (const std::size_t i = IndexOf(run); i < state_.size()) state_[i].text = text;
    if (live_ || cli_.options.json || mode_ == Mode::Auto) return;
    std::cout << run.Port() << ": " << text << '\n' << std::flush;
}

void CliHost::StepStarted(PortRun& run, const PortRun::Step& step) {
    if (mode_ == Mode::One && step.kind == PortRun::Step::Kind::Update)
        updateView_ =
            std::make_unique<ConsoleUpdateView>(cli_.options.json ? nullptr : stdout,
                                                !cli_.options.json && platform::IsTerminal(stdout));
    if (mode_ != Mode::One) Event(run, StepName(step));
}

void CliHost::IdentityRead(PortRun& run) {
    if (mode_ == Mode::One) return;
    // Told the moment it answers, while the other ports are still being probed.
    if (mode_ == Mode::Auto) {
        std::cerr << "Adapter found on " << run.Port() << " (serial number "
                  << Utf8(run.Model().Identity.SerialNumber) << ")." << std::endl;
        return;
    }
    const AdapterIdentity& id = run.Model().Identity;
    Event(run, "found: serial number " + Utf8(id.SerialNumber) + ", firmware " + Utf8(id.Firmware));
}

void CliHost::TestOutput(PortRun&, const Bytes& text) {
    if (mode_ != Mode::One || !plan_->streamsTest || cli_.options.json) return;
    const std::string shown = Utf8(text);
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fflush(stdout);
}

void CliHost::UpdateStatus(PortRun& run, const std::string& text) {
    if (mode_ == Mode::One) {
        if (updateView_) updateView_->SetStatus(text);
        return;
    }
    Event(run, text);
}

void CliHost::UpdateProgress(PortRun& run) {
    if (mode_ == Mode::One) {
        if (!updateView_) return;
        updateView_->SetProgressMax(run.PageCount());
        updateView_->SetProgressPos(run.PagesWritten());
        return;
    }
    // The live view draws the pages itself; plain lines say each page written once, from the
    // first one on.
    const std::size_t i = IndexOf(run);
    if (live_ || cli_.options.json || mode_ == Mode::Auto || i >= state_.size()) return;
    if (run.PageCount() <= 0 || run.PagesWritten() <= 0 ||
        run.PagesWritten() == state_[i].pagesShown)
        return;
    state_[i].pagesShown = run.PagesWritten();
    std::cout << run.Port() << ": Pages written: " << run.PagesWritten() << " / " << run.PageCount()
              << '\n'
              << std::flush;
}

void CliHost::Note(PortRun& run, const std::string& text) {
    if (mode_ != Mode::One) return Event(run, text);
    if (updateView_)
        updateView_->Note(text, stderr);
    else
        std::cerr << text << std::endl;
}

void CliHost::Message(PortRun& run, const std::string& text) {
    if (mode_ == Mode::Auto) return;  // said once the probes are done
    if (mode_ != Mode::One) return Event(run, text);
    // Kept for the JSON result; shown at once, below a progress line left standing.
    cli_.sink.Record(text);
    if (updateView_)
        updateView_->Note(text, stderr);
    else
        std::cerr << text << std::endl;
}

void CliHost::Finished(PortRun& run) {
    if (mode_ == Mode::Several || mode_ == Mode::All) {
        if (Listen(run)) return Event(run, "no answer; listening for a boot loader");
        if (FinishFromBootLoader(run)) return;
        if (Outcome(run) == PortOutcome::BootLoader && !cli_.options.json && !live_)
            PrintBootLoaderHint(run);
        Event(run, ResultText(run));
    } else if (mode_ == Mode::Auto) {
        ListenEnded(run);
    }
    if (std::none_of(runs_.begin(), runs_.end(), [](const auto& r) { return r->Running(); }))
        loop_.Quit(0);
}

// Each port's line, drawn again in place: port, serial number, what it does (whole), pages.
void CliHost::Redraw() {
    if (!live_ || !liveLines_) return;
    std::cout << std::flush;
    std::vector<LiveLines::Line> lines;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const PortRun& run = *runs_[i];
        std::string text = state_[i].text;
        if (run.PageCount() > 0)
            text += ' ' + std::to_string(run.PagesWritten()) + '/' +
                    std::to_string(run.PageCount()) + ' ' +
                    std::to_string(run.PagesWritten() * 100 / run.PageCount()) + '%';
        lines.push_back(
            {Field(run.Port(), 22) + ' ' + Field(Utf8(run.Model().Identity.SerialNumber), 10) + ' ',
             text});
    }
    liveLines_->Draw(lines);
}

void CliHost::PrintSummary(std::ostream& out) const {
    out << '\n'
        << std::left << std::setw(22) << "port" << ' ' << std::setw(10) << "serial" << ' '
        << std::setw(10) << "firmware" << ' ' << std::setw(9) << "seconds"
        << "result\n";
    for (const auto& run : runs_) {
        std::ostringstream seconds;
        seconds << std::fixed << std::setprecision(1) << run->Seconds();
        // An adapter finished from its boot loader was not known before: what it is now.
        const AdapterIdentity& id = run->Found() ? run->IdentityBefore() : run->Model().Identity;
        out << std::setw(22) << run->Port() << ' ' << std::setw(10) << Utf8(id.SerialNumber) << ' '
            << std::setw(10) << Utf8(id.Firmware) << ' ' << std::setw(9) << seconds.str()
            << ResultText(*run) << '\n';
    }
    out << std::flush;
}

nlohmann::json CliHost::PortJson(const PortRun& run) const {
    nlohmann::json j = plan_->json ? plan_->json(run) : nlohmann::json::object();
    if (!j.is_object()) j = nlohmann::json::object();
    j["port"] = run.Port();
    j["ok"] = Outcome(run) == PortOutcome::Ok;
    j["result"] = ResultText(run);
    // As the summary's table: the unit each port found.
    const AdapterIdentity& id = run.Found() ? run.IdentityBefore() : run.Model().Identity;
    j["serial"] = Utf8(id.SerialNumber);
    // Where it is plugged in, for a listed port (a bench's script names its slots by it).
    if (const std::string place = PortLists::Shared()->PlaceOf(run.Port()); !place.empty())
        j["place"] = place;
    if (const std::size_t i = IndexOf(run); i < state_.size() && state_[i].fromBootLoader)
        j["fromBootLoader"] = true;
    if (!run.Said().empty()) j["error"] = run.Failure();
    j["seconds"] = run.Seconds();
    return j;
}
