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

class EventLoop::RWatch : public ReadyWatch {
public:
    RWatch(EventLoop& loop, std::intptr_t descriptor, std::function<void()> onReady)
        : descriptor_(descriptor), loop_(&loop), onReady_(std::move(onReady)) {
        loop_->watches_.push_back(this);
    }
    ~RWatch() override {
        if (loop_ == nullptr) return;
        auto& v = loop_->watches_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    void Fire() {
        auto cb = onReady_;
        if (cb) cb();
    }
    void Detach() { loop_ = nullptr; }
    std::intptr_t descriptor_;

private:
    EventLoop* loop_;
    std::function<void()> onReady_;
};

EventLoop::EventLoop() = default;

EventLoop::~EventLoop() {
    for (RTimer* t : timers_)
        t->Detach();
    for (RWatch* w : watches_)
        w->Detach();
}

std::unique_ptr<Timer> EventLoop::CreateTimer() {
    return std::make_unique<RTimer>(*this);
}

std::unique_ptr<ReadyWatch> EventLoop::WatchReadable(std::intptr_t descriptor,
                                                     std::function<void()> onReady) {
    if (!platform::ReadyWait::WatchesDescriptors() || descriptor < 0) return nullptr;
    return std::make_unique<RWatch>(*this, descriptor, std::move(onReady));
}

void EventLoop::Quit(int code) {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        code_ = code;
    }
    waiter_.Wake();
}

void EventLoop::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(fn));
    }
    waiter_.Wake();
}

EventLoop::RTimer* EventLoop::NextDue() const {
    RTimer* next = nullptr;
    for (RTimer* t : timers_)
        if (t->active_ && (next == nullptr || t->due_ < next->due_ ||
                           (t->due_ == next->due_ && t->order_ < next->order_)))
            next = t;
    return next;
}

// A watch may end another (or itself) from its callback: each one is looked up afresh.
void EventLoop::DispatchReady(const std::vector<std::intptr_t>& ready) {
    for (std::intptr_t d : ready) {
        auto it = std::find_if(watches_.begin(), watches_.end(),
                               [d](const RWatch* w) { return w->descriptor_ == d; });
        if (it != watches_.end()) (*it)->Fire();
    }
}

int EventLoop::Run() {
    std::vector<std::intptr_t> descriptors;
    std::vector<std::intptr_t> ready;
    for (;;) {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(mutex_);
            if (quit_) {
                quit_ = false;
                return code_;
            }
            work.swap(posted_);
        }
        ready.clear();
        if (work.empty()) {
            int timeoutMs = -1;
            if (RTimer* next = NextDue()) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(next->due_ - Clock::now());
                timeoutMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
            descriptors.clear();
            for (const RWatch* w : watches_)
                descriptors.push_back(w->descriptor_);
            if (timeoutMs != 0) waiter_.Wait(descriptors, timeoutMs, ready);
        }
        for (auto& fn : work)
            fn();
        DispatchReady(ready);
        // Fire at most one due timer per turn so that posted work (a cancel, a quit) is
        // never starved by a stream of ticks.
        RTimer* due = NextDue();
        if (due != nullptr && due->due_ <= Clock::now()) due->Fire();
    }
}
