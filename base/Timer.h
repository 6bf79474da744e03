// The one timer the core knows: hosts supply it (a Qt timer in the window, a real-time loop
// on the command line, a virtual clock in tests), so tick-driven logic never sleeps.
#pragma once

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

// The owner of timers (the window's role). A timer may be destroyed from inside its own
// callback: implementations dispatch a copy of the callback, never the stored one.
class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> CreateTimer() = 0;
};
