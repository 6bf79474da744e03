// The one timer the core knows: hosts supply it (a Qt timer in the window, a real-time loop
// on the command line, a virtual clock in tests), so tick-driven logic never sleeps.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// A periodic timer in the manner of a window timer: once started it fires every `ms` until
// stopped. Start on a running timer restarts its period. Callbacks run on the owner's thread.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
    void SetCallback(std::function<void()> callback) { callback_ = std::move(callback); }

protected:
    std::function<void()> callback_;
};

// Watching a device for input lasts as long as this object.
class ReadyWatch {
public:
    virtual ~ReadyWatch() = default;
};

// The owner of timers (the window's role). A timer may be destroyed from inside its own
// callback: implementations dispatch a copy of the callback, never the stored one.
class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> CreateTimer() = 0;
    // The owner's clock in milliseconds from an arbitrary start, the one its timers run on:
    // every bound on a wait is measured on it, so that no kind of wake-up can stretch one.
    virtual std::int64_t NowMs() const = 0;
    // Calls `onReady` on the owner's thread whenever `descriptor` has input to read, so
    // bytes are taken when they arrive rather than at the next tick. Null where the owner
    // cannot watch descriptors: ticks alone then take the input. The watch may be destroyed
    // from inside its own callback.
    virtual std::unique_ptr<ReadyWatch> WatchReadable(std::intptr_t /*descriptor*/,
                                                      std::function<void()> /*onReady*/) {
        return nullptr;
    }

protected:
    // Real time, for owners whose timers run on the system's monotonic clock.
    static std::int64_t SteadyMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};
