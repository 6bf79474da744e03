// A production or service bench: adapters are plugged in one after another, and each one that
// appears is found, worked (updated, repaired, set to a mode, its power switched), read again
// and judged, and its record kept. A unit is shown and recorded by the place it is plugged in
// (a hub's port, by its slot name), not only by the device name the system handed out. A
// place is taken again only once its unit has gone (unplugged); a unit that already passed
// this job with this file is left alone; one left in its boot loader (an update cut short) is
// finished. Every unit runs on its own port and core, all of them on one loop.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Timer.h"
#include "records/RecordStore.h"
#include "station/PortRun.h"
#include "transport/LineTrace.h"
#include "transport/PortLists.h"

// What the station does to every unit, in this order: update, repair, mode, power.
struct StationJob {
    std::string updateFile;
    // The update file's bytes as read once at the station's start: every unit gets these,
    // whatever happens to the file on disk meanwhile.
    std::shared_ptr<const Bytes> image;
    std::string repairFile;
    Bytes repairData;
    std::string mode;
    std::optional<bool> power;
    std::string firmware;    // the firmware the unit must report after the update ("": any)
    std::string fileSha256;  // of what is written: the image, else the repair file's bytes
    double idleSeconds = 30;

    // "update+mode 02": what the records name the job by.
    std::string Name() const;
    // The file the job writes: the update's, else the repair's.
    std::string FileName() const { return updateFile.empty() ? repairFile : updateFile; }
    // The job's steps once the unit has been found; they end with a search that reads it again.
    // `fromBootLoader`: the unit waits in its boot loader, so the update hands over without the
    // update command, waiting for the prompt when one was heard (`wait`).
    std::vector<PortRun::Step> Steps(bool fromBootLoader = false, bool wait = false) const;
};

class Station : public PortRun::Observer {
public:
    static constexpr int kWatchMs = 100;       // how often the port list is looked at
    static constexpr int kComPauseMs = 250;    // the COM worker's pause while a station runs
    static constexpr int kFileCheckMs = 1000;  // how often the job's file on disk is looked at
    static constexpr std::int64_t kRateWindowMs = 3600 * 1000;  // units per hour: the last hour

    struct Options {
        std::string stationName;                          // the host's name, for the records
        std::function<bool(const std::string&)> watched;  // which listed ports are the bench's
        // The name given to a place ("" when none is); a place without one is named by itself
        // (a port without a place, by the port).
        std::function<std::string(const std::string&)> slotName;
        int settleMs = 500;       // a port that appears is left alone this long first
        int listenMs = 1000;      // a port where no adapter answers: listened to for a boot loader
        bool again = false;       // also work units that already passed this job
        int units = 0;            // stop once this many units were worked or left alone (0: never)
        bool keepTraces = false;  // keep every unit's line trace, not only those that failed
    };
    enum class SlotState {
        Settling,
        Probing,
        Listening,
        Working,
        Passed,
        Failed,
        Interrupted,
        AlreadyDone,
        NoAdapter
    };
    // One place of the bench and the unit in it.
    struct Slot {
        std::string key;    // the place, else the port
        std::string port;   // the device the unit was reached by
        std::string place;  // "" when the port has none
        std::string name;   // what the user calls it: its slot name, else the place, else the port
        SlotState state = SlotState::Settling;
        std::int64_t seenMs = 0;
        std::unique_ptr<PortRun> run;
        std::unique_ptr<LineTrace> trace;  // the unit's line, kept with its record if it fails
        UnitRecord row;
        std::string serial;           // the unit's, once it is known
        bool recorded = false;        // its row was begun
        bool fromBootLoader = false;  // found waiting in its boot loader
        bool heard = false;           // ... calling with its prompt
        bool gone = false;            // unplugged: it stays shown until the next unit comes
        std::string text;             // what the unit is doing, or how it ended
    };
    struct Counts {
        int passed = 0, failed = 0, alreadyDone = 0, interrupted = 0;
        // Passed units per hour over the last hour (or since the start, when shorter); only
        // known from the second passed unit on.
        std::optional<double> unitsPerHour;
    };
    using EventHandler = std::function<void(const Slot&, const std::string&)>;

    Station(TimerFactory& loop, StationJob job, RecordStore& store, Options options);
    ~Station() override;

    // Starts watching the port list. `onEvent(slot, text)` hears of everything that happens to
    // a unit, `onNotice(text)` of what concerns the whole station (the job's file changed on
    // disk); `onEnded` is called once the station has stopped (Stop, or `units` reached).
    void Start(EventHandler onEvent, std::function<void(const std::string&)> onNotice,
               std::function<void()> onEnded);
    // Ends every run as Stop ends it; their rows are kept as interrupted.
    void Stop();

    const std::map<std::string, Slot>& Slots() const { return slots_; }
    Counts GetCounts() const;
    // The last failure of the records store (empty when it works).
    const std::string& RecordsError() const { return recordsError_; }

private:
    void Watch();
    void CheckJobFile();
    void Probe(Slot& slot);
    void Found(Slot& slot);
    void Listened(Slot& slot);
    bool BeginRow(Slot& slot);
    void Judge(Slot& slot);
    void Record(Slot& slot, Verdict verdict, const std::string& reason);
    // The unit's trace is not kept: no row was begun for it.
    void DropTrace(Slot& slot);
    void Event(Slot& slot, const std::string& text);
    Slot* SlotOf(const PortRun& run);
    void CheckEnd();

    // PortRun::Observer
    void UpdateStatus(PortRun& run, const std::string& text) override;
    void Message(PortRun& run, const std::string& text) override;
    void Note(PortRun& run, const std::string& text) override;
    void Finished(PortRun& run) override;

    TimerFactory& loop_;
    StationJob job_;
    RecordStore& store_;
    Options options_;
    std::shared_ptr<PortLists> lists_;
    std::unique_ptr<Timer> watch_;
    std::map<std::string, Slot> slots_;
    EventHandler onEvent_;
    std::function<void(const std::string&)> onNotice_;
    std::function<void()> onEnded_;
    bool stopping_ = false;
    bool ended_ = false;
    Counts counts_;
    std::int64_t startMs_ = 0;
    mutable std::deque<std::int64_t> passedMs_;  // when each unit of the last hour passed
    std::int64_t fileCheckedMs_ = 0;
    std::optional<std::filesystem::file_time_type> fileTime_;
    std::uintmax_t fileSize_ = 0;
    std::string recordsError_;
};
