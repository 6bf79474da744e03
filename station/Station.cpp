#include "station/Station.h"

#include <system_error>

namespace {

// The update's outcome as the records name it; "" when no update ran.
std::string OutcomeToken(TFWUpdate::Outcome outcome) {
    switch (outcome) {
        case TFWUpdate::Outcome::None:
            return "";
        case TFWUpdate::Outcome::Written:
            return "ok";
        case TFWUpdate::Outcome::HeaderOnly:
            return "header-only";
        case TFWUpdate::Outcome::Canceled:
            return "canceled";
        case TFWUpdate::Outcome::PortLost:
            return "port-lost";
        case TFWUpdate::Outcome::ConnectError:
            return "connect-error";
        case TFWUpdate::Outcome::HeaderError:
            return "header-error";
        case TFWUpdate::Outcome::PageError:
            return "page-error";
        case TFWUpdate::Outcome::EndError:
            return "end-error";
    }
    return "";
}

std::string CurrentMode(const AdapterModel& model) {
    for (const ModeRow& row : model.Modes)
        if (row.StateIcon == 0) return row.Id;
    return "";
}

constexpr const char* kFromBootLoader = "from boot loader";

}  // namespace

std::string StationJob::Name() const {
    std::string name;
    auto add = [&name](const std::string& part) { name += (name.empty() ? "" : "+") + part; };
    if (!updateFile.empty()) add("update");
    if (!repairFile.empty()) add("repair");
    if (!mode.empty()) add("mode " + mode);
    if (power) add(*power ? "power on" : "power off");
    return name;
}

std::vector<PortRun::Step> StationJob::Steps(bool fromBootLoader, bool wait) const {
    std::vector<PortRun::Step> steps;
    if (!updateFile.empty())
        steps.push_back(
            PortRun::Step::Update(updateFile, fromBootLoader, wait, idleSeconds, image));
    // An updated adapter starts its new firmware: what follows needs it found again.
    if (!updateFile.empty() && (!repairFile.empty() || !mode.empty() || power))
        steps.push_back(PortRun::Step::Search());
    if (!repairFile.empty()) steps.push_back(PortRun::Step::Repair(repairData));
    if (!mode.empty()) steps.push_back(PortRun::Step::Mode(mode));
    if (power) steps.push_back(PortRun::Step::Power(*power));
    steps.push_back(PortRun::Step::Search());
    return steps;
}

Station::Station(TimerFactory& loop, StationJob job, RecordStore& store, Options options)
    : loop_(loop),
      job_(std::move(job)),
      store_(store),
      options_(std::move(options)),
      lists_(std::make_shared<PortLists>(nullptr, kComPauseMs)) {
    watch_ = loop_.CreateTimer();
    watch_->SetCallback([this] { Watch(); });
}

Station::~Station() {
    watch_.reset();
    slots_.clear();
}

void Station::Start(EventHandler onEvent, std::function<void(const std::string&)> onNotice,
                    std::function<void()> onEnded) {
    onEvent_ = std::move(onEvent);
    onNotice_ = std::move(onNotice);
    onEnded_ = std::move(onEnded);
    startMs_ = fileCheckedMs_ = loop_.NowMs();
    std::error_code ec;
    if (!job_.updateFile.empty()) {
        fileTime_ = std::filesystem::last_write_time(job_.updateFile, ec);
        fileSize_ = std::filesystem::file_size(job_.updateFile, ec);
        if (ec) fileTime_.reset();
    }
    watch_->Start(kWatchMs);
}

void Station::Stop() {
    if (stopping_) return;
    stopping_ = true;
    watch_->Stop();
    for (auto& [key, slot] : slots_)
        if (slot.run && slot.run->Running()) slot.run->Abort();
    CheckEnd();
}

void Station::CheckEnd() {
    if (!stopping_ || ended_) return;
    for (const auto& [key, slot] : slots_)
        if (slot.run && slot.run->Running()) return;
    ended_ = true;
    if (onEnded_) onEnded_();
}

Station::Counts Station::GetCounts() const {
    Counts c = counts_;
    const std::int64_t now = loop_.NowMs();
    while (!passedMs_.empty() && now - passedMs_.front() > kRateWindowMs)
        passedMs_.pop_front();
    const std::int64_t window = std::min(kRateWindowMs, now - startMs_);
    if (c.passed >= 2 && window > 0)
        c.unitsPerHour =
            static_cast<double>(passedMs_.size()) * 3600000.0 / static_cast<double>(window);
    else
        c.unitsPerHour.reset();
    return c;
}

void Station::Event(Slot& slot, const std::string& text) {
    slot.text = text;
    if (onEvent_) onEvent_(slot, text);
}

// The bench's ports as listed now. A place that empties keeps showing how its unit ended
// until the next unit is plugged in there; one unit reached two ways (a serial port and
// D2XX, one place) is worked once.
void Station::Watch() {
    PortEntries listed;
    if (stopping_ || !lists_->TryGetPortList(listed)) return;
    std::map<std::string, std::string> present;  // port -> place
    for (int i = 0; i < listed.Count(); ++i)
        if (!options_.watched || options_.watched(listed.names[i]))
            present.emplace(listed.names[i], listed.PlaceAt(i));
    for (auto& [key, slot] : slots_) {
        if (slot.gone || present.count(slot.port)) continue;
        slot.gone = true;
        if (onEvent_) onEvent_(slot, "unplugged");
    }
    const std::int64_t now = loop_.NowMs();
    for (const auto& [port, place] : present) {
        const std::string key = place.empty() ? port : place;
        auto it = slots_.find(key);
        if (it != slots_.end()) {
            Slot& old = it->second;
            if (!old.gone) {
                if (old.port != port) continue;  // the same unit reached another way
            } else {
                if (old.run && old.run->Running()) continue;  // it ends as its port is lost
                slots_.erase(it);
                it = slots_.end();
            }
        }
        if (it == slots_.end()) {
            Slot& slot = slots_[key];
            slot.key = key;
            slot.port = port;
            slot.place = place;
            slot.name = options_.slotName ? options_.slotName(key) : std::string();
            if (slot.name.empty()) slot.name = key;
            slot.seenMs = now;
            Event(slot, "plugged in");
            it = slots_.find(key);
        }
        Slot& slot = it->second;
        if (slot.state == SlotState::Settling && now - slot.seenMs >= options_.settleMs)
            Probe(slot);
    }
    if (now - fileCheckedMs_ >= kFileCheckMs) CheckJobFile();
}

// The units get the bytes read at the start; a file replaced meanwhile is worth a word, since
// the user may expect the new one to be written.
void Station::CheckJobFile() {
    fileCheckedMs_ = loop_.NowMs();
    if (!fileTime_) return;
    std::error_code timeEc, sizeEc;
    const auto time = std::filesystem::last_write_time(job_.updateFile, timeEc);
    const auto size = std::filesystem::file_size(job_.updateFile, sizeEc);
    if (!timeEc && !sizeEc && time == *fileTime_ && size == fileSize_) return;
    fileTime_ = time;
    fileSize_ = size;
    if (timeEc) fileTime_.reset();  // gone: said once
    if (onNotice_)
        onNotice_("The firmware file " + job_.updateFile +
                  (timeEc ? " is no longer there" : " has changed on disk") +
                  "; every unit still gets what was read at the start (SHA-256 " +
                  job_.fileSha256.substr(0, 12) +
                  "...). Restart the station to write the new one.");
}

void Station::Probe(Slot& slot) {
    slot.state = SlotState::Probing;
    slot.row = UnitRecord{};
    // The row's id is made now: the unit's trace is written under it from the first byte on.
    slot.row.id = NewRowId();
    std::string reason;
    slot.trace = LineTrace::OpenFile(store_.TraceFile(slot.row.id), reason);
    CoreOptions core;
    core.lists = lists_;
    slot.run =
        std::make_unique<PortRun>(loop_, slot.port, slot.port, *this, core, slot.trace.get());
    Event(slot, "searching");
    slot.run->Start({PortRun::Step::Search()});
}

Station::Slot* Station::SlotOf(const PortRun& run) {
    for (auto& [key, slot] : slots_)
        if (slot.run.get() == &run) return &slot;
    return nullptr;
}

void Station::Finished(PortRun& run) {
    Slot* slot = SlotOf(run);
    if (slot == nullptr) return;
    switch (slot->state) {
        case SlotState::Probing:
            if (run.Found() && !stopping_) {
                Found(*slot);
            } else if (run.OpenFailed() || stopping_ || slot->gone) {
                slot->state = SlotState::NoAdapter;
                DropTrace(*slot);
                Event(*slot, run.OpenFailed() ? run.Failure() : std::string("no adapter"));
            } else {
                // No adapter answers: perhaps one sits in its boot loader.
                slot->state = SlotState::Listening;
                Event(*slot, "no answer; listening for a boot loader");
                slot->run->Start({PortRun::Step::Listen(options_.listenMs)});
            }
            break;
        case SlotState::Listening:
            Listened(*slot);
            break;
        case SlotState::Working:
            Judge(*slot);
            break;
        default:
            break;
    }
    CheckEnd();
    if (!stopping_ && options_.units > 0 &&
        counts_.passed + counts_.failed + counts_.alreadyDone >= options_.units)
        Stop();
}

// After a listen: a unit heard in its boot loader is finished by the update, greeted when it
// calls; one that said nothing is greeted once, blind, for a boot loader that waits silently.
void Station::Listened(Slot& slot) {
    const PortRun& run = *slot.run;
    const bool heard = run.GetResult() == PortRun::Result::Ok && run.PromptHeard();
    const bool listened = run.GetResult() == PortRun::Result::Ok;
    if (stopping_ || slot.gone || !listened || (!heard && job_.updateFile.empty())) {
        slot.state = SlotState::NoAdapter;
        DropTrace(slot);
        Event(slot, run.OpenFailed() ? run.Failure() : std::string("no adapter"));
        return;
    }
    slot.fromBootLoader = true;
    slot.heard = heard;
    if (!BeginRow(slot)) return;
    if (job_.updateFile.empty()) {
        slot.state = SlotState::Working;
        Record(slot, Verdict::Failed, "in its boot loader; this job has no firmware to finish it");
        return;
    }
    slot.state = SlotState::Working;
    Event(slot, heard ? "in its boot loader (heard calling): updating"
                      : "no answer; greeting a boot loader that may wait silently");
    slot.run->Start(job_.Steps(true, heard));
}

void Station::Found(Slot& slot) {
    const AdapterModel& model = slot.run->Model();
    const AdapterIdentity& id = model.Identity;
    slot.serial = id.SerialNumber;
    bool passed = false;
    std::string error;
    if (!store_.AlreadyPassed(id.SerialNumber, job_.Name(), job_.fileSha256, passed, error))
        recordsError_ = error;
    if (passed && !options_.again) {
        slot.state = SlotState::AlreadyDone;
        ++counts_.alreadyDone;
        DropTrace(slot);
        Event(slot, "already done: serial number " + id.SerialNumber);
        return;
    }
    if (!BeginRow(slot)) return;
    slot.state = SlotState::Working;
    Event(slot, "working on serial number " + id.SerialNumber);
    slot.run->Start(job_.Steps());
}

// The row is written before the unit is touched: whatever stops the station leaves it.
bool Station::BeginRow(Slot& slot) {
    UnitRecord& row = slot.row;
    row.station = options_.stationName;
    row.port = slot.port;
    row.slot = slot.name;
    row.job = job_.Name();
    row.fileName = job_.FileName();
    row.fileSha256 = job_.fileSha256;
    if (slot.fromBootLoader) {
        // What the unit was before is unknown: its firmware does not run.
        row.note = kFromBootLoader;
    } else {
        const AdapterModel& model = slot.run->Model();
        const AdapterIdentity& id = model.Identity;
        row.serial = id.SerialNumber;
        row.signature = id.Signature;
        row.hardware = id.Hardware;
        row.firmwareBefore = id.Firmware;
        row.bootwareBefore = id.Bootware;
        row.modeBefore = CurrentMode(model);
    }
    std::string error;
    if (store_.Begin(row, error)) {
        slot.recorded = true;
        return true;
    }
    recordsError_ = error;
    slot.state = SlotState::Failed;
    ++counts_.failed;
    DropTrace(slot);
    Event(slot, "not worked: its record cannot be written: " + error);
    return false;
}

// Pass only when the unit, read again, shows what the job asked of it.
void Station::Judge(Slot& slot) {
    const PortRun& run = *slot.run;
    if (run.GetResult() == PortRun::Result::Interrupted)
        return Record(slot, Verdict::Interrupted, "");
    const AdapterModel& model = run.Model();
    std::string reason;
    if (run.GetResult() == PortRun::Result::Ok) {
        if (!job_.firmware.empty() && model.Identity.Firmware != job_.firmware)
            reason = "firmware " + model.Identity.Firmware + ", not " + job_.firmware;
        else if (!job_.mode.empty() && CurrentMode(model) != job_.mode)
            reason = "mode " + CurrentMode(model) + ", not " + job_.mode;
        else if (job_.power && model.Identity.ExtPowerOn != *job_.power)
            reason = std::string("power ") + (*job_.power ? "off" : "on");
    } else if (slot.fromBootLoader && !slot.heard && run.BootBytes() == 0) {
        reason = "no adapter answered the search, nor a boot loader the connect request";
    }
    const bool pass = run.GetResult() == PortRun::Result::Ok && reason.empty();
    Record(slot, pass ? Verdict::Passed : Verdict::Failed, reason);
}

void Station::Record(Slot& slot, Verdict verdict, const std::string& reason) {
    const PortRun& run = *slot.run;
    UnitRecord& row = slot.row;
    row.verdict = verdict;
    if (run.GetResult() == PortRun::Result::Ok && run.Found()) {
        const AdapterIdentity& id = run.Model().Identity;
        row.firmwareAfter = id.Firmware;
        row.bootwareAfter = id.Bootware;
        row.modeAfter = CurrentMode(run.Model());
        if (slot.fromBootLoader) {
            row.serial = slot.serial = id.SerialNumber;
            row.signature = id.Signature;
            row.hardware = id.Hardware;
        }
    }
    if (!job_.updateFile.empty()) row.result = OutcomeToken(run.Outcome());
    row.resultText = !run.UpdateText().empty() ? run.UpdateText() : run.Failure();
    if (!reason.empty()) row.resultText += (row.resultText.empty() ? "" : "; ") + reason;
    if (row.resultText.empty()) row.resultText = verdict == Verdict::Passed ? "ok" : slot.text;
    std::string error;
    if (slot.recorded && !store_.Complete(row, error)) recordsError_ = error;
    // The evidence of a unit that did not pass stays with its record.
    if (verdict != Verdict::Passed || options_.keepTraces) {
        slot.run->SetTrace(nullptr);
        slot.trace.reset();
        if (slot.recorded && !store_.KeepTrace(row.id, error)) recordsError_ = error;
    } else {
        DropTrace(slot);
    }
    const std::string origin = slot.fromBootLoader ? std::string(" (") + kFromBootLoader + ")" : "";
    switch (verdict) {
        case Verdict::Passed:
            ++counts_.passed;
            passedMs_.push_back(loop_.NowMs());
            slot.state = SlotState::Passed;
            Event(slot, "passed" + origin);
            break;
        case Verdict::Interrupted:
            ++counts_.interrupted;
            slot.state = SlotState::Interrupted;
            Event(slot, "interrupted");
            break;
        default:
            ++counts_.failed;
            slot.state = SlotState::Failed;
            Event(slot, "failed" + origin + ": " + row.resultText);
            break;
    }
}

void Station::DropTrace(Slot& slot) {
    if (!slot.trace) return;
    if (slot.run) slot.run->SetTrace(nullptr);
    slot.trace.reset();
    std::error_code ec;
    std::filesystem::remove(store_.TraceFile(slot.row.id), ec);
}

void Station::UpdateStatus(PortRun& run, const std::string& text) {
    if (Slot* slot = SlotOf(run)) Event(*slot, text);
}

void Station::Message(PortRun& run, const std::string& text) {
    if (Slot* slot = SlotOf(run)) Event(*slot, text);
}

void Station::Note(PortRun& run, const std::string& text) {
    if (Slot* slot = SlotOf(run)) Event(*slot, text);
}
