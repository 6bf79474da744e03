// Windows ports give no descriptor to wait on: the loop sleeps on an event until it is woken
// or its next timer is due, and the ticks take the input.
#include "platform/ReadyWait.h"

#include <windows.h>

namespace platform {

ReadyWait::ReadyWait() : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

ReadyWait::~ReadyWait() {
    if (event_ != nullptr) CloseHandle(event_);
}

bool ReadyWait::WatchesDescriptors() {
    return false;
}

void ReadyWait::Wake() {
    if (event_ != nullptr) SetEvent(event_);
}

void ReadyWait::Wait(const std::vector<std::intptr_t>&, int timeoutMs,
                     std::vector<std::intptr_t>& ready) {
    ready.clear();
    WaitForSingleObject(event_, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

}  // namespace platform
