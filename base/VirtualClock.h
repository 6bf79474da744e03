// Virtual time for tests and simulations: timers fire only when the clock is advanced, in
// due-time order, so tick-counting logic is tested deterministically without sleeping.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/Timer.h"

class VirtualClock : public TimerFactory {
public:
    VirtualClock();
    ~VirtualClock() override;

    std::unique_ptr<Timer> CreateTimer() override;
    std::int64_t NowMs() const override { return now_; }
    // Watches are offered only once arrivals are on, so hosts tick alone otherwise.
    std::unique_ptr<ReadyWatch> WatchReadable(std::intptr_t descriptor,
                                              std::function<void()> onReady) override;
    void SetArrivals(bool on) { arrivals_ = on; }
    // Input reached `descriptor`: its watch runs at the present time, after the timer that
    // moved the bytes (never inside it, as a real loop never calls back in a read).
    void SignalReadable(std::intptr_t descriptor);

    std::int64_t Now() const { return now_; }
    // Runs every timer that falls due up to now + ms, then sets the clock there.
    void Advance(std::int64_t ms);
    // Advances until pred() holds or limitMs have passed; true when pred() held.
    bool RunUntil(const std::function<bool()>& pred, std::int64_t limitMs);
    // Called after every fired timer; the in-memory simulator uses it to move time along.
    void SetAfterTick(std::function<void(std::int64_t now)> hook) { afterTick_ = std::move(hook); }

private:
    class VTimer;
    class VWatch;
    friend class VTimer;
    friend class VWatch;
    VTimer* NextDue(std::int64_t limit) const;
    void DispatchReady();

    std::int64_t now_ = 0;
    std::uint64_t seq_ = 0;
    std::vector<VTimer*> timers_;
    std::function<void(std::int64_t)> afterTick_;
    bool arrivals_ = false;
    std::vector<VWatch*> watches_;
    std::vector<std::intptr_t> ready_;
};
