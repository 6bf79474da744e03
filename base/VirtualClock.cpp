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
        // Re-arm before the callback so that a callback that stops or restarts wins.
        due_ += interval_;
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

VirtualClock::VirtualClock() = default;

VirtualClock::~VirtualClock() {
    for (VTimer* t : timers_) t->Detach();
}

std::unique_ptr<Timer> VirtualClock::CreateTimer() { return std::make_unique<VTimer>(*this); }

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
    while (VTimer* t = NextDue(end)) {
        now_ = std::max(now_, t->due_);
        t->Fire();
        if (afterTick_) afterTick_(now_);
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
