#include "base/VirtualClock.h"

#include <algorithm>

class VirtualClock::VTimer : public Timer {
public:
    explicit VTimer(VirtualClock& clock) : clock_(&clock) { clock_->timers_.push_back(this); }
    ~VTimer() override {
        if (clock_ == nullptr) return;
        auto& v = clock_->timers_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    void Start(int ms) override {
        if (clock_ == nullptr) return;
        interval_ = std::max(ms, 1);
        due_ = clock_->now_ + interval_;
        order_ = ++clock_->seq_;
        active_ = true;
    }
    void Stop() override { active_ = false; }
    bool IsActive() const override { return active_; }

    void Fire() {
        // Re-arm before the callback so that a callback that stops or restarts wins. A late
        // tick is not made up for, as on the real loop: the next period counts from now.
        due_ = clock_->now_ + interval_;
        order_ = ++clock_->seq_;
        auto cb = callback_;
        if (cb) cb();
    }
    void Detach() { clock_ = nullptr; }

    std::int64_t due_ = 0;
    std::uint64_t order_ = 0;
    int interval_ = 1;
    bool active_ = false;

private:
    VirtualClock* clock_;
};

class VirtualClock::VWatch : public ReadyWatch {
public:
    VWatch(VirtualClock& clock, std::intptr_t descriptor, std::function<void()> onReady)
        : descriptor_(descriptor), clock_(&clock), onReady_(std::move(onReady)) {
        clock_->watches_.push_back(this);
    }
    ~VWatch() override {
        if (clock_ == nullptr) return;
        auto& v = clock_->watches_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    void Fire() {
        auto cb = onReady_;
        if (cb) cb();
    }
    void Detach() { clock_ = nullptr; }
    std::intptr_t descriptor_;

private:
    VirtualClock* clock_;
    std::function<void()> onReady_;
};

VirtualClock::VirtualClock() = default;

VirtualClock::~VirtualClock() {
    for (VTimer* t : timers_)
        t->Detach();
    for (VWatch* w : watches_)
        w->Detach();
}

std::unique_ptr<ReadyWatch> VirtualClock::WatchReadable(std::intptr_t descriptor,
                                                        std::function<void()> onReady) {
    if (!arrivals_) return nullptr;
    return std::make_unique<VWatch>(*this, descriptor, std::move(onReady));
}

void VirtualClock::SignalReadable(std::intptr_t descriptor) {
    if (std::find(ready_.begin(), ready_.end(), descriptor) == ready_.end())
        ready_.push_back(descriptor);
}

// A watch may end watches (its own among them) from its callback: each is looked up afresh.
void VirtualClock::DispatchReady() {
    while (!ready_.empty()) {
        const std::intptr_t d = ready_.front();
        ready_.erase(ready_.begin());
        auto it = std::find_if(watches_.begin(), watches_.end(),
                               [d](const VWatch* w) { return w->descriptor_ == d; });
        if (it != watches_.end()) (*it)->Fire();
    }
}

std::unique_ptr<Timer> VirtualClock::CreateTimer() {
    return std::make_unique<VTimer>(*this);
}

VirtualClock::VTimer* VirtualClock::NextDue(std::int64_t limit) const {
    VTimer* best = nullptr;
    for (VTimer* t : timers_) {
        if (!t->active_ || t->due_ > limit) continue;
        if (best == nullptr || t->due_ < best->due_ ||
            (t->due_ == best->due_ && t->order_ < best->order_))
            best = t;
    }
    return best;
}

void VirtualClock::Advance(std::int64_t ms) {
    const std::int64_t end = now_ + ms;
    DispatchReady();
    while (VTimer* t = NextDue(end)) {
        now_ = std::max(now_, t->due_);
        t->Fire();
        if (afterTick_) afterTick_(now_);
        DispatchReady();
    }
    now_ = end;
}

bool VirtualClock::RunUntil(const std::function<bool()>& pred, std::int64_t limitMs) {
    const std::int64_t end = now_ + limitMs;
    while (!pred()) {
        if (now_ >= end) return false;
        Advance(1);
    }
    return true;
}
