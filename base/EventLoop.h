// A real-time loop for programs without Qt (the command line, benchmarks): it owns the
// timers and the watches on ports, sleeps until the next timer is due or a watched port has
// input, and takes work posted from other threads.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "base/Timer.h"
#include "platform/ReadyWait.h"

class EventLoop : public TimerFactory {
public:
    EventLoop();
    ~EventLoop() override;

    std::unique_ptr<Timer> CreateTimer() override;
    std::int64_t NowMs() const override { return SteadyMs(); }
    std::unique_ptr<ReadyWatch> WatchReadable(std::intptr_t descriptor,
                                              std::function<void()> onReady) override;

    // Runs timers, watches and posted work until Quit(); returns the code given to Quit.
    int Run();
    void Quit(int code = 0);
    // Thread-safe: runs fn on the loop's thread at its next turn.
    void Post(std::function<void()> fn);

private:
    class RTimer;
    class RWatch;
    friend class RTimer;
    friend class RWatch;
    using Clock = std::chrono::steady_clock;

    RTimer* NextDue() const;
    void DispatchReady(const std::vector<std::intptr_t>& ready);

    std::mutex mutex_;
    platform::ReadyWait waiter_;
    std::deque<std::function<void()>> posted_;
    bool quit_ = false;
    int code_ = 0;
    std::uint64_t seq_ = 0;
    std::vector<RTimer*> timers_;   // touched only on the loop's thread
    std::vector<RWatch*> watches_;  // likewise
};
