#include "base/EventLoop.h"

#include <algorithm>

class EventLoop::RTimer : public Timer {
public:
    explicit RTimer(EventLoop& loop) : loop_(&loop) { loop_->timers_.push_back(this); }
    ~RTimer() override {
        if (loop_ == nullptr) return;
        auto& v = loop_->timers_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    void Start(int ms) override {
        interval_ = std::chrono::milliseconds(std::max(ms, 1));
        due_ = Clock::now() + interval_;
        if (loop_ != nullptr) order_ = ++loop_->seq_;
        active_ = true;
    }
    void Stop() override { active_ = false; }
    bool IsActive() const override { return active_; }
    void Fire() {
        // A late tick is not made up for: the next period counts from now, as a window
        // timer does.
        due_ = Clock::now() + interval_;
        order_ = ++loop_->seq_;
        auto cb = callback_;
        if (cb) cb();
    }
    void Detach() { loop_ = nullptr; }

    Clock::time_point due_{};
    std::uint64_t order_ = 0;
    Clock::duration interval_{std::chrono::milliseconds(1)};
    bool active_ = false;

private:
    EventLoop* loop_;
};

EventLoop::EventLoop() = default;

EventLoop::~EventLoop() {
    for (RTimer* t : timers_) t->Detach();
}

std::unique_ptr<Timer> EventLoop::CreateTimer() { return std::make_unique<RTimer>(*this); }

void EventLoop::Quit(int code) {
    std::lock_guard lock(mutex_);
    quit_ = true;
    code_ = code;
    wake_.notify_all();
}

void EventLoop::Post(std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(fn));
    wake_.notify_all();
}

int EventLoop::Run() {
    for (;;) {
        std::deque<std::function<void()>> work;
        {
            std::unique_lock lock(mutex_);
            if (quit_) {
                quit_ = false;
                return code_;
            }
            RTimer* next = nullptr;
            for (RTimer* t : timers_)
                if (t->active_ && (next == nullptr || t->due_ < next->due_ ||
                                   (t->due_ == next->due_ && t->order_ < next->order_)))
                    next = t;
            auto ready = [this] { return quit_ || !posted_.empty(); };
            if (next == nullptr)
                wake_.wait(lock, ready);
            else
                wake_.wait_until(lock, next->due_, ready);
            work.swap(posted_);
        }
        for (auto& fn : work) fn();
        // Fire at most one due timer per turn so that posted work (a cancel, a quit) is
        // never starved by a stream of ticks.
        RTimer* due = nullptr;
        const auto now = Clock::now();
        for (RTimer* t : timers_)
            if (t->active_ && t->due_ <= now &&
                (due == nullptr || t->due_ < due->due_ ||
                 (t->due_ == due->due_ && t->order_ < due->order_)))
                due = t;
        if (due != nullptr) due->Fire();
    }
}
