// `ports [--watch]`: the port list as the window's drop-down shows it, COM entries first,
// then USB, each with the place it is plugged in; with --watch printed again on every change
// until interrupted.
#include <algorithm>
#include <atomic>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>

#include "base/EventLoop.h"
#include "cli/CliApp.h"
#include "cli/ConsoleSink.h"
#include "cli/Interrupts.h"
#include "transport/PortListModel.h"
#include "transport/TListCOM.h"
#include "transport/TListUSB.h"
#include "transport/TSerDev.h"

namespace {

constexpr int kStartPollMs = 10;  // while the workers finish their first look
constexpr int kRefreshMs = 500;   // as often as the window refreshes its list
constexpr int kStopPollMs = 50;   // how soon an interrupt is noticed

nlohmann::json Listing(const PortListModel& model, int comCount) {
    const PortEntries& ports = model.Entries();
    auto list = nlohmann::json::array();
    for (int i = 0; i < ports.Count(); ++i)
        list.push_back({{"name", ports.names[i]},
                        {"description", ports.descs[i]},
                        {"deviceId", ports.ids[i]},
                        {"kind", i < comCount ? "COM" : "USB"},
                        {"text", model.ItemText(i)},
                        {"place", ports.PlaceAt(i)}});
    return {{"ports", list}};
}

// A table of the item texts and the places; a port without a place ends after its text.
void Print(const PortListModel& model, bool watch) {
    const PortEntries& ports = model.Entries();
    std::size_t width = 4;  // "port"
    for (int i = 0; i < ports.Count(); ++i)
        width = std::max(width, model.ItemText(i).size());
    if (ports.Count() > 0)
        std::cout << std::left << std::setw(width + 2) << "port"
                  << "place\n";
    for (int i = 0; i < ports.Count(); ++i) {
        const std::string place = ports.PlaceAt(i);
        if (place.empty())
            std::cout << model.ItemText(i) << '\n';
        else
            std::cout << std::setw(width + 2) << model.ItemText(i) << place << '\n';
    }
    if (watch) std::cout << '\n';  // a blank line ends each listing
    std::cout << std::flush;
}

class PortsRun {
public:
    PortsRun(CliApp& cli, bool watch)
        : cli_(cli), sink_(cli.sink), dev_(loop_, sink_), json_(cli.options.json), watch_(watch) {
        // Nothing is opened here, so the trace stays silent; it is given for uniformity.
        dev_.SetTrace(cli.trace.get());
    }

    int Run() {
        const Interrupts interrupts;
        stopTimer_ = loop_.CreateTimer();
        stopTimer_->SetCallback([this] {
            if (Interrupts::Raised()) loop_.Quit(kExitOk);
        });
        stopTimer_->Start(kStopPollMs);
        refresh_ = loop_.CreateTimer();
        refresh_->SetCallback([this] { Refresh(); });
        refresh_->Start(kStartPollMs);
        return loop_.Run();
    }

private:
    // The workers start at once, but their first pass and scan take a moment.
    bool WorkersLooked() {
        return dev_.ComWorker().PassCount() > 0 && dev_.UsbWorker().ScanCount() > 0;
    }

    void Refresh() {
        refresh_->Stop();
        if (!shownOnce_ && !WorkersLooked()) {
            refresh_->Start(kStartPollMs);
            return;
        }
        PortEntries now;
        const int comCount = dev_.GetCOMList(now.names, now.descs, now.ids);
        dev_.GetUSBList(now.names, now.descs, now.ids);
        for (const std::string& name : now.names)
            now.places.push_back(dev_.Lists().PlaceOf(name));
        const bool changed = list_.Fill(now, !shownOnce_);
        shownOnce_ = true;
        if (!watch_) {
            if (json_)
                cli_.result = Listing(list_, comCount);
            else
                Print(list_, false);
            // A failed look at the ports was reported on stderr: the list may be short.
            loop_.Quit(sink_.Count() == countBefore_ ? kExitOk : kExitFailed);
            return;
        }
        if (changed && json_) {
            // One object per line, so a watcher's output is a stream of JSON lines.
            nlohmann::json listing = Listing(list_, comCount);
            listing["ok"] = true;
            std::cout << listing.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                      << std::endl;
        } else if (changed) {
            Print(list_, true);
        }
        refresh_->Start(kRefreshMs);
    }

    CliApp& cli_;
    EventLoop loop_;
    ConsoleSink& sink_;
    const int countBefore_ = sink_.Count();
    TSerDev dev_;
    bool json_;
    bool watch_;
    std::unique_ptr<Timer> refresh_;
    std::unique_ptr<Timer> stopTimer_;
    // The window's list rule decides what counts as a change; the command line remembers no
    // port, so the remembered one is always the offered default and is never stored.
    PortListModel list_{[](const std::string& defaultName) { return defaultName; },
                        [](const std::string&) {}};
    bool shownOnce_ = false;
};

}  // namespace

void RegisterPortsCommand(CliApp& cli) {
    static bool watch = false;
    CLI::App* sub = cli.app.add_subcommand(
        "ports", "List the present ports (name, description and place), COM ports first, then USB");
    sub->add_flag("--watch", watch, "Print the list again whenever it changes, until Ctrl-C");
    sub->callback([&cli] {
        cli.action = [&cli] {
            PortsRun run(cli, watch);
            return run.Run();
        };
    });
}
