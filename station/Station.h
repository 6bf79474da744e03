// A production or service bench: adapters are plugged in one after another, and each one that
// appears is found, worked (updated, repaired, set to a mode, its power switched), read again
// and judged, and its record kept. A port is taken again only once it has gone (the unit was
// unplugged); a unit that already passed this job with this file is left alone. Every unit
// runs on its own port and core, all of them on one loop.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Timer.h"
#include "records/RecordStore.h"
#include "station/PortRun.h"
#include "transport/PortLists.h"

// What the station does to every unit, in this order: update, repair, mode, power.
struct StationJob {
    std::string updateFile;
    std::string repairFile;
    Bytes repairData;
    std::string mode;
    std::optional<bool> power;
    std::string firmware;    // the firmware the unit must report after the update ("": any)
    std::string fileSha256;  // of the update file, else of the repair file
    double idleSeconds = 30;

    // "update+mode 02": what the records name the job by.
    std::string Name() const;
    // The file the job writes: the update's, else the repair's.
    std::string FileName() const { return updateFile.empty() ? repairFile : updateFile; }
    // The job's steps once the unit has been found; they end with a search that reads it again.
    std::vector<PortRun::Step> Steps() const;
};

class Station : public PortRun::Observer {
public:
    static constexpr int kWatchMs = 100;     // how often the port list is looked at
    static constexpr int kComPauseMs = 250;  // the COM worker's pause while a station runs

    struct Options {
        std::string stationName;                          // the host's name, for the records
        std::function<bool(const std::string&)> watched;  // which listed ports are the bench's
        int settleMs = 500;  // a port that appears is left alone this long first
        bool again = false;  // also work units that already passed this job
        int units = 0;       // stop once this many units were worked or left alone (0: never)
    };
    enum class SlotState { Settling, Probing, Working, Passed, Failed, AlreadyDone, NoAdapter };
    // One port of the bench and the unit on it.
    struct Slot {
        std::string port;
        SlotState state = SlotState::Settling;
        std::int64_t seenMs = 0;
        std::unique_ptr<PortRun> run;
        UnitRecord row;
        bool recorded = false;  // its row was begun
        bool gone = false;      // unplugged: the slot goes once its run has ended
        std::string text;       // what the unit is doing, for a live view
    };
    struct Counts {
        int passed = 0, failed = 0, alreadyDone = 0, interrupted = 0;
        double unitsPerHour = 0;
    };

    Station(TimerFactory& loop, StationJob job, RecordStore& store, Options options);
    ~Station() override;

    // Starts watching the port list. `onEvent(port, text)` hears of everything that happens;
    // `onEnded` is called once the station has stopped (Stop, or `units` reached).
    void Start(std::function<void(const std::string&, const std::string&)> onEvent,
               std::function<void()> onEnded);
    // Ends every run as Stop ends it; their rows are kept as interrupted.
    void Stop();

    const std::map<std::string, Slot>& Slots() const { return slots_; }
    Counts GetCounts() const;
    // The last failure of the records store (empty when it works).
    const std::string& RecordsError() const { return recordsError_; }

private:
    void Watch();
    void Probe(Slot& slot);
    void Found(Slot& slot);
    void Judge(Slot& slot);
    void Record(Slot& slot, Verdict verdict, const std::string& reason);
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
    std::function<void(const std::string&, const std::string&)> onEvent_;
    std::function<void()> onEnded_;
    bool stopping_ = false;
    bool ended_ = false;
    Counts counts_;
    std::int64_t firstUnitMs_ = -1;
    std::int64_t lastUnitMs_ = -1;
    std::string recordsError_;
};
