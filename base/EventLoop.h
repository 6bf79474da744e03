// A real-time loop for programs without Qt (the command line, benchmarks): it owns the
// timers, sleeps until the next one is due, and takes work posted from other threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "base/Timer.h"

class EventLoop : public TimerFactory {
public:
    EventLoop();
    ~EventLoop() override;

    std::unique_ptr<Timer> CreateTimer() override;

    // Runs timers and posted work until Quit(); returns the code given to Quit.
    int Run();
    void Quit(int code = 0);
    // Thread-safe: runs fn on the loop's thread at its next turn.
    void Post(std::function<void()> fn);

private:
    class RTimer;
    friend class RTimer;
    using Clock = std::chrono::steady_clock;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
    bool quit_ = false;
    int code_ = 0;
    std::uint64_t seq_ = 0;
    std::vector<RTimer*> timers_;  // touched only on the loop's thread
};
