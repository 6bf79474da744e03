// The system timer's resolution, raised to 1 ms for as long as a host runs, so that its 10 ms
// operation ticks keep their period (Windows' default period is about 15.6 ms).
#pragma once

namespace platform {

class TimerResolution {
public:
    // Raises the resolution where the system offers it; a system that does not is left alone.
    TimerResolution();
    // Gives the resolution back.
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

private:
    void* library_ = nullptr;
};

}  // namespace platform
