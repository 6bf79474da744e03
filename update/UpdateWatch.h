// Stands in for the user at the Stop button where nobody sits at it (the command line, the
// benchmarks): a run that the boot loader has not moved on for a while is given up. Only
// progress counts, never bytes as such, so a line that chatters cannot keep a run alive.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/Timer.h"

class TFWUpdate;

class UpdateWatch {
public:
    static constexpr int kCheckMs = 50;

    // `giveUp` runs once, on the owner's thread, when a run of `engine` has not progressed for
    // `idleMs` (0: never).
    UpdateWatch(TimerFactory& owner, const TFWUpdate& engine, std::int64_t idleMs,
                std::function<void()> giveUp);
    ~UpdateWatch();
    UpdateWatch(const UpdateWatch&) = delete;
    UpdateWatch& operator=(const UpdateWatch&) = delete;

    bool GaveUp() const { return gaveUp_; }

private:
    void Check();

    TimerFactory& owner_;
    const TFWUpdate& engine_;
    std::int64_t idleMs_;
    std::function<void()> giveUp_;
    std::unique_ptr<Timer> timer_;
    bool gaveUp_ = false;
};
