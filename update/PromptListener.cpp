#include "update/PromptListener.h"

#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

PromptListener::PromptListener(TimerFactory& owner, TSerDev& dev) : owner_(owner), dev_(dev) {
    timer_ = owner_.CreateTimer();
    timer_->SetCallback([this] { Check(); });
}

PromptListener::~PromptListener() {
    if (!active_) return;
    active_ = false;
    dev_.Release();
}

bool PromptListener::Start(std::int64_t limitMs, std::function<void(bool heard)> done) {
    if (active_) return false;
    dev_.Open();
    dev_.SetParams(TFWUpdate::kLineSettings);
    if (!dev_.Opened) return false;
    done_ = std::move(done);
    active_ = true;
    deadlineMs_ = owner_.NowMs() + limitMs;
    dev_.OnArrival = [this] { Check(); };
    timer_->Start(kTickMs);
    return true;
}

void PromptListener::Stop() {
    if (active_) End(false);
}

void PromptListener::Check() {
    if (!active_) return;
    Bytes input;
    if (const std::uint32_t count = dev_.InCount(); count > 0) dev_.Read(input, count);
    if (input.find(TFWUpdate::kPrompt) != Bytes::npos) return End(true);
    if (dev_.Lost() || owner_.NowMs() >= deadlineMs_) End(false);
}

void PromptListener::End(bool heard) {
    active_ = false;
    timer_->Stop();
    dev_.Release();
    // Last: the caller may start the update on this device, or destroy us, from here.
    if (auto done = std::move(done_)) done(heard);
}
