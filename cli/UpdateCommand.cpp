// `update FILE [--no-search] [--wait] [--idle-timeout SECONDS]`: writes new firmware into the
// adapter through its boot loader, printing the engine's status texts and a progress line.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/ConsoleUpdateView.h"
#include "platform/Terminal.h"
#include "update/FirmwareFile.h"

namespace {

constexpr char kCanceled[] = "Firmware Update canceled...";

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

struct UpdateOptions {
    std::string file;
    bool noSearch = false;
    bool wait = false;
    double idleTimeout = 30;  // seconds; 0: wait for ever, as the window does
};

// Stands in for the user at the Stop button: Ctrl-C, or a boot loader that has sent nothing
// for too long (the engine itself waits for ever). Polled on the loop's own thread, so the
// signal handler only sets a flag.
class UpdateWatch {
public:
    static constexpr int kPollMs = 50;
    using Clock = std::chrono::steady_clock;

    UpdateWatch(CliHost& host, ConsoleUpdateView& view, double idleSeconds)
        : host_(host), view_(view), idle_(std::chrono::duration<double>(idleSeconds)) {
        timer_ = host_.Loop().CreateTimer();
        timer_->SetCallback([this] { Check(); });
        timer_->Start(kPollMs);
    }

    bool GaveUp() const { return canceled_ || timedOut_; }

private:
    void Check() {
        if (interrupted && !canceled_) {
            canceled_ = true;
            Cancel();
        }
        WatchSilence();
    }

    void Cancel() {
        if (host_.Updater().IsActive()) {
            host_.Control().StopUpdate();
        } else if (host_.Control().Busy()) {
            // Still searching or waiting for the update command's reply: nothing to stop in
            // the engine, so the operation itself ends.
            view_.SetStatus(kCanceled);
            host_.Control().EndOperation();
        }
    }

    void WatchSilence() {
        TFWUpdate& engine = host_.Updater();
        const auto now = Clock::now();
        if (!engine.IsActive()) {
            watching_ = false;
            return;
        }
        if (!watching_ || engine.BytesReceived() != lastCount_) {
            watching_ = true;
            lastCount_ = engine.BytesReceived();
            lastByte_ = now;
            return;
        }
        if (idle_.count() <= 0 || now - lastByte_ < idle_) return;
        timedOut_ = true;
        char text[160];
        std::snprintf(text, sizeof text,
                      "No answer from the boot loader for %g s: the update is given up.",
                      idle_.count());
        view_.Note(text, stderr);
        host_.Control().StopUpdate();
    }

    CliHost& host_;
    ConsoleUpdateView& view_;
    std::chrono::duration<double> idle_;
    std::unique_ptr<Timer> timer_;
    bool canceled_ = false;
    bool timedOut_ = false;
    bool watching_ = false;
    std::uint64_t lastCount_ = 0;
    Clock::time_point lastByte_{};
};

bool Succeeded(const std::string& status) {
    return status == "Updating firmware : Ok" || status == "System Updating : Ok";
}

int Update(CliHost& host, const UpdateOptions& o, bool json) {
    // The file is checked before anything is sent: a bad file must not leave the adapter
    // waiting in its boot loader.
    Bytes checked;
    if (!LoadFirmwareFile(o.file, host.Sink(), checked)) return kExitFailed;

    ConsoleUpdateView view(json ? nullptr : stdout, !json && platform::IsTerminal(stdout));
    UpdateWatch watch(host, view, o.idleTimeout);
    interrupted = 0;
    auto previousInt = std::signal(SIGINT, OnInterrupt);
    auto previousTerm = std::signal(SIGTERM, OnInterrupt);

    bool ready = o.noSearch || host.Search();
    if (interrupted && !watch.GaveUp()) view.SetStatus(kCanceled);
    if (ready && !interrupted)
        host.RunOperation([&] { host.Control().StartUpdate(o.file, o.noSearch, o.wait, view); });
    view.Finish();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);

    const bool ok = ready && !watch.GaveUp() && !interrupted && Succeeded(view.Status());
    if (json)
        std::cout << nlohmann::json{{"status", view.Status()},
                                    {"pagesWritten", view.Pos()},
                                    {"pageCount", view.Max()},
                                    {"ok", ok}}
                         .dump()
                  << '\n';
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
                    "Give up after this many seconds without a byte from the boot loader "
                    "(0: never)")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    sub->callback([&cli] {
        cli.action = [&cli] {
            if (int usage = cli.RequirePort()) return usage;
            CliHost host(cli.options.port);
            return Update(host, o, cli.options.json);
        };
    });
}
