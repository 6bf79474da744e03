#include "station/Station.h"

#include <set>

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

std::vector<PortRun::Step> StationJob::Steps() const {
    std::vector<PortRun::Step> steps;
    if (!updateFile.empty())
        steps.push_back(PortRun::Step::Update(updateFile, false, false, idleSeconds));
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

void Station::Start(std::function<void(const std::string&, const std::string&)> onEvent,
                    std::function<void()> onEnded) {
    onEvent_ = std::move(onEvent);
    onEnded_ = std::move(onEnded);
    watch_->Start(kWatchMs);
}

void Station::Stop() {
    if (stopping_) return;
    stopping_ = true;
    watch_->Stop();
    for (auto& [port, slot] : slots_)
        if (slot.run && slot.run->Running()) slot.run->Abort();
    CheckEnd();
}

void Station::CheckEnd() {
    if (!stopping_ || ended_) return;
    for (const auto& [port, slot] : slots_)
        if (slot.run && slot.run->Running()) return;
    ended_ = true;
    if (onEnded_) onEnded_();
}

Station::Counts Station::GetCounts() const {
    Counts c = counts_;
    const int worked = c.passed + c.failed;
    if (worked > 0 && lastUnitMs_ > firstUnitMs_)
        c.unitsPerHour = worked * 3600000.0 / static_cast<double>(lastUnitMs_ - firstUnitMs_);
    return c;
}

void Station::Event(Slot& slot, const std::string& text) {
    slot.text = text;
    if (onEvent_) onEvent_(slot.port, text);
}

// The bench's ports as listed now: new ones settle, gone ones free their place, so that a
// port is taken again only after its unit was unplugged.
void Station::Watch() {
    PortEntries listed;
    if (stopping_ || !lists_->TryGetPortList(listed)) return;
    std::set<std::string> present;
    for (const std::string& name : listed.names)
        if (!options_.watched || options_.watched(name)) present.insert(name);
    for (auto it = slots_.begin(); it != slots_.end();) {
        Slot& slot = it->second;
        if (!present.count(slot.port) && !slot.gone) {
            slot.gone = true;
            if (onEvent_) onEvent_(slot.port, "unplugged");
        }
        if (slot.gone && !(slot.run && slot.run->Running()))
            it = slots_.erase(it);
        else
            ++it;
    }
    const std::int64_t now = loop_.NowMs();
    for (const std::string& port : present) {
        auto [it, added] = slots_.try_emplace(port);
        Slot& slot = it->second;
        if (added) {
            slot.port = port;
            slot.seenMs = now;
            Event(slot, "plugged in");
        }
        if (slot.state == SlotState::Settling && now - slot.seenMs >= options_.settleMs)
            Probe(slot);
    }
}

void Station::Probe(Slot& slot) {
    slot.state = SlotState::Probing;
    CoreOptions core;
    core.lists = lists_;
    slot.run = std::make_unique<PortRun>(loop_, slot.port, slot.port, *this, core);
    Event(slot, "searching");
    slot.run->Start({PortRun::Step::Search()});
}

Station::Slot* Station::SlotOf(const PortRun& run) {
    for (auto& [port, slot] : slots_)
        if (slot.run.get() == &run) return &slot;
    return nullptr;
}

void Station::Finished(PortRun& run) {
    Slot* slot = SlotOf(run);
    if (slot == nullptr) return;
    if (slot->state == SlotState::Probing) {
        if (run.Found() && !stopping_) {
            Found(*slot);
        } else {
            slot->state = SlotState::NoAdapter;
            Event(*slot, run.OpenFailed() ? run.Failure() : std::string("no adapter"));
        }
    } else if (slot->state == SlotState::Working) {
        Judge(*slot);
    }
    CheckEnd();
    if (!stopping_ && options_.units > 0 &&
        counts_.passed + counts_.failed + counts_.alreadyDone >= options_.units)
        Stop();
}

void Station::Found(Slot& slot) {
    const AdapterModel& model = slot.run->Model();
    const AdapterIdentity& id = model.Identity;
    bool passed = false;
    std::string error;
    if (!store_.AlreadyPassed(id.SerialNumber, job_.Name(), job_.fileSha256, passed, error))
        recordsError_ = error;
    if (passed && !options_.again) {
        slot.state = SlotState::AlreadyDone;
        ++counts_.alreadyDone;
        Event(slot, "already done: serial number " + id.SerialNumber);
        return;
    }
    UnitRecord& row = slot.row;
    row = UnitRecord{};
    row.station = options_.stationName;
    row.port = slot.port;
    row.serial = id.SerialNumber;
    row.signature = id.Signature;
    row.hardware = id.Hardware;
    row.firmwareBefore = id.Firmware;
    row.bootwareBefore = id.Bootware;
    row.modeBefore = CurrentMode(model);
    row.job = job_.Name();
    row.fileName = job_.FileName();
    row.fileSha256 = job_.fileSha256;
    // The row is written before the unit is touched: whatever stops the station leaves it.
    if (!store_.Begin(row, error)) {
        recordsError_ = error;
        slot.state = SlotState::Failed;
        ++counts_.failed;
        Event(slot, "not worked: its record cannot be written: " + error);
        return;
    }
    slot.recorded = true;
    slot.state = SlotState::Working;
    if (firstUnitMs_ < 0) firstUnitMs_ = loop_.NowMs();
    Event(slot, "working on serial number " + id.SerialNumber);
    slot.run->Start(job_.Steps());
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
    }
    const bool pass = run.GetResult() == PortRun::Result::Ok && reason.empty();
    Record(slot, pass ? Verdict::Passed : Verdict::Failed, reason);
}

void Station::Record(Slot& slot, Verdict verdict, const std::string& reason) {
    const PortRun& run = *slot.run;
    UnitRecord& row = slot.row;
    row.verdict = verdict;
    if (run.GetResult() == PortRun::Result::Ok) {
        const AdapterIdentity& id = run.Model().Identity;
        row.firmwareAfter = id.Firmware;
        row.bootwareAfter = id.Bootware;
        row.modeAfter = CurrentMode(run.Model());
    }
    if (!job_.updateFile.empty()) row.result = OutcomeToken(run.Outcome());
    row.resultText = !run.UpdateText().empty() ? run.UpdateText() : run.Failure();
    if (!reason.empty()) row.resultText += (row.resultText.empty() ? "" : "; ") + reason;
    if (row.resultText.empty()) row.resultText = verdict == Verdict::Passed ? "ok" : slot.text;
    std::string error;
    if (slot.recorded && !store_.Complete(row, error)) recordsError_ = error;
    lastUnitMs_ = loop_.NowMs();
    switch (verdict) {
        case Verdict::Passed:
            ++counts_.passed;
            slot.state = SlotState::Passed;
            Event(slot, "passed");
            break;
        case Verdict::Interrupted:
            ++counts_.interrupted;
            slot.state = SlotState::Failed;
            Event(slot, "interrupted");
            break;
        default:
            ++counts_.failed;
            slot.state = SlotState::Failed;
            Event(slot, "failed: " + row.resultText);
            break;
    }
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
