// Listens on a port for the boot loader's prompt, sending nothing. A unit whose update was cut
// short sits in its boot loader and answers no search; one that calls for its host (">", again
// and again) is told from a port with nothing on it by that call alone, and nothing sent to it
// may be taken for a greeting or a frame of the protocol.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/Timer.h"

class TSerDev;

class PromptListener {
public:
    static constexpr int kTickMs = 10;

    PromptListener(TimerFactory& owner, TSerDev& dev);
    ~PromptListener();
    PromptListener(const PromptListener&) = delete;
    PromptListener& operator=(const PromptListener&) = delete;

    // Opens the device (its PortName set) at the boot loader's line settings and listens for
    // at most `limitMs` on the owner's clock, however the input arrives. `done(heard)` runs
    // once, on the owner's thread, after the device has been released. False when the device
    // would not open (it has said why); `done` never runs then.
    bool Start(std::int64_t limitMs, std::function<void(bool heard)> done);
    // Ends a listen at once, as not heard.
    void Stop();
    bool Active() const { return active_; }

private:
    void Check();
    void End(bool heard);

    TimerFactory& owner_;
    TSerDev& dev_;
    std::unique_ptr<Timer> timer_;
    std::function<void(bool)> done_;
    std::int64_t deadlineMs_ = 0;
    bool active_ = false;
};
