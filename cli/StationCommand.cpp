// `station --update FILE | --repair FILE | --mode ID | --power on|off ...`: a bench where
// adapters are plugged in one after another. Each one that appears is searched, worked, read
// again and judged, and its record kept; until Ctrl-C, or until --units have been worked.
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "cli/CliApp.h"
#include "cli/Interrupts.h"
#include "cli/LiveLines.h"
#include "platform/CodePage.h"
#include "platform/NamePattern.h"
#include "platform/NaturalOrder.h"
#include "platform/Terminal.h"
#include "records/FileDigest.h"
#include "records/RecordStore.h"
#include "station/SlotNames.h"
#include "station/Station.h"
#include "update/FirmwareFile.h"
#include "update/ModeFile.h"

namespace {

constexpr int kInterruptPollMs = 50;
constexpr int kRedrawMs = 200;
constexpr int kForwardPollMs = 1000;  // the forwarder's state is read this often
// How long a station that ends waits for rows still on their way to a server it reaches.
constexpr auto kLastForwardWait = std::chrono::seconds(5);

struct StationOptions {
    std::string update, firmware, repair, mode, power, records, slots;
    std::vector<std::string> ports;
    bool again = false;
    bool keepTraces = false;
    int settleMs = 500;
    int units = 0;
    double idleTimeout = 30;
};

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "station";
    return name;
}

// "Slot 3 (/dev/ttyUSB2)", or the port alone when it is its own place.
std::string Label(const Station::Slot& slot) {
    return slot.name == slot.port ? slot.port : slot.name + " (" + slot.port + ")";
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
    if (c.unitsPerHour)
        out << ", units per hour " << std::fixed << std::setprecision(0) << *c.unitsPerHour;
    return out.str();
}

// "10:42", local time, as a clock on the wall shows it.
std::string ClockTime(std::int64_t utcMs) {
    const std::time_t t = static_cast<std::time_t>(utcMs / 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

std::string Rows(int n) {
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

// "server: connected" or "server unreachable since 10:42, 37 rows waiting".
std::string ForwardLine(const ForwardState& f) {
    if (f.connected)
        return "server: connected" +
               (f.pending > 0 ? ", " + Rows(f.pending) + " on the way" : std::string());
    std::string line = "server unreachable since " + ClockTime(f.sinceMs);
    if (f.pending > 0) line += ", " + Rows(f.pending) + " waiting in " + f.localFile;
    return line;
}

class StationRun {
public:
    StationRun(CliApp& cli, EventLoop& loop, Station& station, RecordStore& store)
        : cli_(cli), station_(station), store_(store), loop_(loop), live_(stdout) {
        isLive_ = platform::IsTerminal(stdout);
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
        if (isLive_) redraw->Start(kRedrawMs);
        auto forward = loop_.CreateTimer();
        forward->SetCallback([this] { ReadForwarding(); });
        if (store_.Forwarding().enabled) {
            ReadForwarding();
            forward->Start(kForwardPollMs);
        }
        station_.Start(
            [this](const Station::Slot& slot, const std::string& text) {
                if (!isLive_ && !PageStep(text))
                    std::cout << Label(slot) << ": " << text << std::endl;
            },
            [this](const std::string& notice) {
                notices_.push_back(notice);
                if (!isLive_) std::cout << "station: " << notice << std::endl;
            },
            [this] { loop_.Quit(0); });
        loop_.Run();
        Redraw();
        const Station::Counts c = station_.GetCounts();
        // The live view's last line is the count already.
        if (!isLive_) std::cout << '\n' << CountsLine(c) << std::endl;
        if (Interrupts::Raised() && c.interrupted > 0)
            std::cerr << c.interrupted << " unit(s) were stopped and recorded as interrupted.\n";
        if (!station_.RecordsError().empty())
            cli_.sink.Error("The records: " + station_.RecordsError());
        const bool rowsKept = FinishForwarding();
        // A shift ends with Ctrl-C: that alone fails nothing. A unit that did not pass, or a
        // record not kept, does.
        return c.failed == 0 && c.interrupted == 0 && station_.RecordsError().empty() && rowsKept
                   ? kExitOk
                   : kExitFailed;
    }

private:
    void ReadForwarding() {
        const ForwardState f = store_.Forwarding();
        const std::string line = ForwardLine(f);
        // Pipes hear of each change of the connection, not of every row.
        if (!isLive_ && (f.connected != forward_.connected || forwardLine_.empty()))
            std::cout << "records: " << line << (f.connected ? "" : ": " + f.lastError)
                      << std::endl;
        forward_ = f;
        forwardLine_ = line;
    }

    // Rows not yet on the server are waited for a little while it answers; either way the
    // user hears where the rest are and when they go.
    bool FinishForwarding() {
        ForwardState f = store_.Forwarding();
        if (!f.enabled || f.pending <= 0) return true;
        std::cerr << "Forwarding " << Rows(f.pending) << " to the server...\n";
        store_.WaitForwarded(kLastForwardWait);
        f = store_.Forwarding();
        if (f.pending <= 0) return true;
        const bool one = f.pending == 1;
        std::cerr << Rows(f.pending) << (one ? " is" : " are") << " not yet on the server"
                  << (f.connected ? "" : " (unreachable since " + ClockTime(f.sinceMs) + ")")
                  << (one ? ": it is" : ": they are") << " kept in " << f.localFile
                  << " and forwarded at the next start of a station on that file.\n";
        // Kept, not lost: the shift's records are whole.
        return true;
    }

    // A line per place on the bench, the running count and the records below them.
    void Redraw() {
        if (!isLive_) return;
        std::vector<const Station::Slot*> slots;
        std::size_t nameWidth = 4, portWidth = 0;
        for (const auto& [key, slot] : station_.Slots()) {
            slots.push_back(&slot);
            nameWidth = std::max(nameWidth, slot.name.size());
            if (slot.name != slot.port) portWidth = std::max(portWidth, slot.port.size());
        }
        nameWidth = std::min<std::size_t>(nameWidth, 32);
        portWidth = std::min<std::size_t>(portWidth, 24);
        std::sort(slots.begin(), slots.end(), [](const auto* a, const auto* b) {
            return platform::NaturalLess(a->name, b->name);
        });
        std::vector<LiveLines::Line> lines;
        for (const Station::Slot* slot : slots) {
            std::string head = Field(slot->name, nameWidth) + ' ';
            if (portWidth > 0)
                head += TailField(slot->name == slot->port ? "" : slot->port, portWidth) + ' ';
            head += Field(platform::Cp1251ToUtf8(slot->serial), 10) + ' ';
            lines.push_back({head, SlotText(*slot)});
        }
        for (const std::string& notice : notices_)
            lines.push_back({"", notice});
        lines.push_back({"", CountsLine(station_.GetCounts())});
        if (!forwardLine_.empty()) lines.push_back({"", forwardLine_});
        live_.Draw(lines);
    }

    static std::string SlotText(const Station::Slot& slot) {
        std::string text = slot.state == Station::SlotState::AlreadyDone ? "already done"
                           : slot.state == Station::SlotState::Settling  ? "plugged in"
                                                                         : slot.text;
        const PortRun* run = slot.run.get();
        if (run && run->Running() && run->PageCount() > 0 && !slot.gone)
            text += ' ' + std::to_string(run->PagesWritten()) + '/' +
                    std::to_string(run->PageCount()) + ' ' +
                    std::to_string(run->PagesWritten() * 100 / run->PageCount()) + '%';
        if (slot.gone) text += "; unplugged";
        return text;
    }

    CliApp& cli_;
    Station& station_;
    RecordStore& store_;
    EventLoop& loop_;
    LiveLines live_;
    bool isLive_ = false;
    std::vector<std::string> notices_;
    ForwardState forward_;
    std::string forwardLine_;
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
    // The files are read once, before any unit is touched: every unit gets these bytes, and
    // the SHA-256 recorded is theirs.
    if (!o.update.empty()) {
        Bytes image;
        if (!LoadFirmwareFile(o.update, cli.sink, image)) return kExitFailed;
        job.fileSha256 = BytesSha256(image);
        job.image = std::make_shared<const Bytes>(std::move(image));
    }
    if (!o.repair.empty()) {
        if (!LoadModeFile(o.repair, cli.sink, job.repairData)) return kExitFailed;
        if (o.update.empty()) job.fileSha256 = BytesSha256(job.repairData);
    }
    std::string error;
    SlotNames slots;
    if (!o.slots.empty() && !slots.Load(o.slots, error)) {
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
    options.slotName = [&slots](const std::string& place) { return slots.NameOf(place); };
    options.settleMs = o.settleMs;
    options.again = o.again;
    options.units = o.units;
    options.keepTraces = o.keepTraces;
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
    StationRun shown(cli, loop, station, *store);
    return shown.Run();
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
    sub->add_option("--slots", o.slots,
                    "Name the places units are plugged in: a file of one place (as "
                    "configurator-cli ports shows it) and its name a line")
        ->type_name("FILE");
    sub->add_flag("--keep-traces", o.keepTraces,
                  "Keep every unit's line trace with its record (else only those that did not "
                  "pass); configurator-cli records --trace ID prints one");
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
