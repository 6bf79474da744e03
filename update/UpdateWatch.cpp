#include "update/UpdateWatch.h"

#include "update/TFWUpdate.h"

UpdateWatch::UpdateWatch(TimerFactory& owner, const TFWUpdate& engine, std::int64_t idleMs,
                         std::function<void()> giveUp)
    : owner_(owner), engine_(engine), idleMs_(idleMs), giveUp_(std::move(giveUp)) {
    timer_ = owner_.CreateTimer();
    timer_->SetCallback([this] { Check(); });
    timer_->Start(kCheckMs);
}

UpdateWatch::~UpdateWatch() = default;

void UpdateWatch::Check() {
    if (gaveUp_ || idleMs_ <= 0 || !engine_.IsActive()) return;
    if (owner_.NowMs() - engine_.LastProgressMs() < idleMs_) return;
    gaveUp_ = true;
    timer_->Stop();
    if (giveUp_) giveUp_();
}
