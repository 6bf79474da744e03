// `station --update FILE | --repair FILE | --mode ID | --power on|off ...`: a bench where
// adapters are plugged in one after another. Each one that appears is searched, worked, read
// again and judged, and its record kept; until Ctrl-C, or until --units have been worked.
#include <unistd.h>

#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "cli/CliApp.h"
#include "cli/Interrupts.h"
#include "platform/CodePage.h"
#include "platform/NamePattern.h"
#include "platform/Terminal.h"
#include "records/FileDigest.h"
#include "records/RecordStore.h"
#include "station/Station.h"
#include "update/FirmwareFile.h"
#include "update/ModeFile.h"

namespace {

constexpr int kInterruptPollMs = 50;
constexpr int kRedrawMs = 200;

struct StationOptions {
    std::string update, firmware, repair, mode, power, records;
    std::vector<std::string> ports;
    bool again = false;
    int settleMs = 500;
    int units = 0;
    double idleTimeout = 30;
};

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "station";
    return name;
}

const char* StateText(Station::SlotState state) {
    switch (state) {
        case Station::SlotState::Settling:
        case Station::SlotState::Probing:
        case Station::SlotState::Working:
            return "";
        case Station::SlotState::Passed:
            return "passed";
        case Station::SlotState::Failed:
            return "failed";
        case Station::SlotState::AlreadyDone:
            return "already done";
        case Station::SlotState::NoAdapter:
            return "no adapter";
    }
    return "";
}

// "Writing Page #12" and "Writing Page #12 : Ok": a station's log keeps the rest (a retry, an
// error) and leaves out the pages that simply went in.
bool PageStep(const std::string& text) {
    if (text.rfind("Writing Page #", 0) != 0) return false;
    const auto colon = text.find(" : ");
    return colon == std::string::npos || text.substr(colon) == " : Ok";
}

std::string CountsLine(const Station::Counts& c) {
    std::ostringstream out;
    out << "passed " << c.passed << ", failed " << c.failed << ", already done " << c.alreadyDone;
    if (c.interrupted > 0) out << ", interrupted " << c.interrupted;
    out << ", units per hour " << std::fixed << std::setprecision(0) << c.unitsPerHour;
    return out.str();
}

class StationRun {
public:
    StationRun(CliApp& cli, EventLoop& loop, Station& station)
        : cli_(cli), station_(station), loop_(loop) {
        live_ = platform::IsTerminal(stdout);
    }

    int Run() {
        const Interrupts interrupts;
        auto poll = loop_.CreateTimer();
        poll->SetCallback([this] {
            if (Interrupts::Raised()) station_.Stop();
        });
        poll->Start(kInterruptPollMs);
        auto redraw = loop_.CreateTimer();
        redraw->SetCallback([this] { Redraw(); });
        if (live_) redraw->Start(kRedrawMs);
        station_.Start(
            [this](const std::string& port, const std::string& text) {
                if (!live_ && !PageStep(text)) std::cout << port << ": " << text << std::endl;
            },
            [this] { loop_.Quit(0); });
        loop_.Run();
        Redraw();
        const Station::Counts c = station_.GetCounts();
        // The live view's last line is the count already.
        if (!live_) std::cout << '\n' << CountsLine(c) << std::endl;
        if (!station_.RecordsError().empty())
            cli_.sink.Error("The records: " + station_.RecordsError());
        return c.failed == 0 && c.interrupted == 0 && station_.RecordsError().empty() ? kExitOk
                                                                                      : kExitFailed;
    }

private:
    // A line per port on the bench, and the running count below them.
    void Redraw() {
        if (!live_) return;
        std::ostringstream out;
        if (drawn_ > 0) out << "\033[" << drawn_ << 'A';
        int lines = 0;
        for (const auto& [port, slot] : station_.Slots()) {
            std::string what = StateText(slot.state);
            if (what.empty() || slot.state == Station::SlotState::Failed) what = slot.text;
            out << "\r\033[K" << std::left << std::setw(28) << port.substr(0, 28) << ' '
                << std::setw(10) << platform::Cp1251ToUtf8(slot.row.serial) << ' '
                << what.substr(0, 40);
            if (slot.run && slot.run->PageCount() > 0 && slot.state == Station::SlotState::Working)
                out << ' ' << slot.run->PagesWritten() * 100 / slot.run->PageCount() << '%';
            out << '\n';
            ++lines;
        }
        out << "\r\033[K" << CountsLine(station_.GetCounts()) << '\n';
        ++lines;
        // Lines left over from ports that went are cleared.
        for (int i = lines; i < drawn_; ++i)
            out << "\r\033[K\n";
        drawn_ = std::max(lines, drawn_);
        std::cout << out.str() << std::flush;
    }

    CliApp& cli_;
    Station& station_;
    EventLoop& loop_;
    bool live_ = false;
    int drawn_ = 0;
};

int RunStation(CliApp& cli, const StationOptions& o) {
    if (o.update.empty() && o.repair.empty() && o.mode.empty() && o.power.empty()) {
        cli.sink.Error("Say what the station does: --update, --repair, --mode or --power.");
        return kExitUsage;
    }
    StationJob job;
    job.updateFile = o.update;
    job.firmware = o.firmware;
    job.repairFile = o.repair;
    job.mode = o.mode;
    job.idleSeconds = o.idleTimeout;
    if (!o.power.empty()) job.power = o.power == "on";
    // The files are checked before any unit is touched.
    Bytes checked;
    if (!o.update.empty() && !LoadFirmwareFile(o.update, cli.sink, checked)) return kExitFailed;
    if (!o.repair.empty() && !LoadModeFile(o.repair, cli.sink, job.repairData)) return kExitFailed;
    std::string error;
    if (!job.FileName().empty() && !FileSha256(job.FileName(), job.fileSha256, error)) {
        cli.sink.Error(error);
        return kExitFailed;
    }
    const std::unique_ptr<RecordStore> store = OpenRecordStore(o.records, error);
    if (!store) {
        cli.sink.Error(error);
        return kExitFailed;
    }
    Station::Options options;
    options.stationName = HostName();
    options.settleMs = o.settleMs;
    options.again = o.again;
    options.units = o.units;
    if (!o.ports.empty())
        options.watched = [patterns = o.ports](const std::string& name) {
            for (const std::string& p : patterns)
                if (p == name || platform::MatchesPattern(p, name)) return true;
            return false;
        };
    // A station that died left its units' rows started: they were interrupted.
    int interrupted = 0;
    if (!store->MarkInterrupted(options.stationName, interrupted, error))
        cli.sink.Error(error);
    else if (interrupted > 0)
        std::cerr << interrupted << " unit(s) left unfinished by an earlier run are recorded as "
                  << "interrupted.\n";
    std::cerr << "Station " << options.stationName << ": " << job.Name() << "; records in "
              << store->Describe() << ". Plug adapters in; Ctrl-C ends.\n";

    EventLoop loop;
    Station station(loop, job, *store, options);
    StationRun shown(cli, loop, station);
    const int status = shown.Run();
    store->WaitForwarded(std::chrono::seconds(5));
    return status;
}

}  // namespace

void RegisterStationCommand(CliApp& cli) {
    static StationOptions o;
    CLI::App* sub = cli.app.add_subcommand(
        "station",
        "Work every adapter plugged in while it runs: search, the job, search again, judge, "
        "and keep a record of each unit; Ctrl-C ends");
    sub->add_option("--update", o.update, "Write this firmware file (.rfw)")->type_name("FILE");
    sub->add_option("--firmware", o.firmware,
                    "The firmware version a unit must report after the update to pass");
    sub->add_option("--repair", o.repair, "Write this change-mode file (.rcm)")->type_name("FILE");
    sub->add_option("--mode", o.mode, "Switch to the mode with this ID");
    sub->add_option("--power", o.power, "Switch the external power")
        ->check(CLI::IsMember({"on", "off"}));
    sub->add_option("--ports", o.ports,
                    "Watch only these ports: names or patterns such as /dev/ttyUSB* (repeat)");
    sub->add_flag("--again", o.again, "Also work units that already passed this job");
    sub->add_option("--settle", o.settleMs, "Leave a port that appears alone this long, ms")
        ->capture_default_str()
        ->transform(NumberFrom(0));
    sub->add_option("--units", o.units, "End after this many units (0: at Ctrl-C)")
        ->capture_default_str()
        ->transform(NumberFrom(0));
    sub->add_option("--idle-timeout", o.idleTimeout,
                    "Give an update up after this many seconds without progress (0: never)")
        ->capture_default_str()
        ->transform(NumberFrom(0.0));
    sub->add_option("--records", o.records,
                    "Where the records go: an SQLite file, or a PostgreSQL server: "
                    "postgresql://... or 'host=... dbname=...' (default: the user's own file)")
        ->type_name("FILE|URI");
    sub->callback([&cli] { cli.action = [&cli] { return RunStation(cli, o); }; });
}
