// The real-time loop's sleep: until a watched descriptor has input, another thread wakes it,
// or its next timer is due. Where descriptors cannot be waited on (Windows), only the last two.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

class ReadyWait {
public:
    ReadyWait();
    ~ReadyWait();
    ReadyWait(const ReadyWait&) = delete;
    ReadyWait& operator=(const ReadyWait&) = delete;

    // Whether Wait can watch descriptors at all.
    static bool WatchesDescriptors();
    // Thread-safe: ends the current or the next Wait at once.
    void Wake();
    // Sleeps up to `timeoutMs` (-1: no limit); `ready` gets the descriptors that have input
    // (or were hung up: reading them tells more).
    void Wait(const std::vector<std::intptr_t>& descriptors, int timeoutMs,
              std::vector<std::intptr_t>& ready);

private:
    std::intptr_t wakeRead_ = -1;
    std::intptr_t wakeWrite_ = -1;
    void* event_ = nullptr;
};

}  // namespace platform
