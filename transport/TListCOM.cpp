#include "transport/TListCOM.h"

#include <chrono>

TListCOM::TListCOM(std::atomic<bool>& usbHold, std::unique_ptr<ComPortSource> source,
                   std::function<void()> onError, int pauseMs, int settleMs)
    : usbHold_(usbHold),
      source_(std::move(source)),
      onError_(std::move(onError)),
      pauseMs_(pauseMs),
      settleMs_(settleMs),
      thread_([this] { Execute(); }) {}

TListCOM::~TListCOM() {
    Terminate();
    if (thread_.joinable()) thread_.join();
}

void TListCOM::Terminate() {
    std::lock_guard lock(sleepMutex_);
    terminated_ = true;
    sleepCv_.notify_all();
}

bool TListCOM::SleepFor(int ms) {
    std::unique_lock lock(sleepMutex_);
    return !sleepCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return terminated_; });
}

void TListCOM::Execute() {
    do {
        const bool failed = RunPass();
        // Reported outside the exclusion: the host may hold its thread in a copy meanwhile.
        if (failed && onError_) onError_();
        // Counted once reported: a host that copies the list when it sees a pass done gets
        // that pass's error with it, not at some later copy.
        passes_.fetch_add(1);
    } while (SleepFor(pauseMs_));
}

// The whole pass, settling included, is one rebuild for a copy that comes meanwhile.
bool TListCOM::RunPass() {
    std::lock_guard lock(listMutex_);
    Ready.store(false);
    const auto outcome = source_ ? source_->Pass(entries_) : ComPortSource::Outcome::Unchanged;
    bool failed = false;
    switch (outcome) {
        case ComPortSource::Outcome::Unchanged:
            break;
        case ComPortSource::Outcome::RebuiltThenPause:
            SleepFor(settleMs_);
            usbHold_.store(false);
            break;
        case ComPortSource::Outcome::Rebuilt:
            usbHold_.store(false);
            break;
        case ComPortSource::Outcome::Failed:
            failed = true;
            break;
    }
    Ready.store(true);
    return failed;
}

int TListCOM::Copy(TextList& names, TextList& descs, TextList& ids) {
    std::lock_guard lock(listMutex_);
    return CopyLocked(names, descs, ids);
}

bool TListCOM::TryCopy(PortEntries& out, int& count) {
    std::unique_lock lock(listMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    Reading.store(true);
    count = entries_.AppendTo(out);
    Reading.store(false);
    return true;
}

std::string TListCOM::PlaceOf(const std::string& name) {
    std::lock_guard lock(listMutex_);
    return entries_.PlaceOf(name);
}

int TListCOM::CopyLocked(TextList& names, TextList& descs, TextList& ids) {
    Reading.store(true);
    const int n = entries_.AppendTo(names, descs, ids);
    Reading.store(false);
    return n;
}
