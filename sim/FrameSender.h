// The adapter's way onto the wire: every reply and boot-loader frame goes through here, so
// noise before frames and byte-by-byte trickling apply to all of them alike.
#pragma once

#include <cstdint>

#include "base/Bytes.h"
#include "sim/OutputQueue.h"
#include "sim/SimConfig.h"

class FrameSender {
public:
    explicit FrameSender(const SimConfig& config) : config_(config) {}

    // One reply or frame, leaving no earlier than atMs, with the configured faults.
    void Send(const Bytes& frame, std::int64_t atMs);
    // Bytes exactly as given (garbage at a wrong speed), no noise, no trickle.
    void SendRaw(const Bytes& data, std::int64_t atMs) { queue_.Push(data, atMs); }
    Bytes TakeDue(std::int64_t nowMs) { return queue_.TakeDue(nowMs); }
    std::int64_t NextDueMs() const { return queue_.NextDueMs(); }
    bool Idle() const { return queue_.Empty(); }
    void Clear() { queue_.Clear(); }

    // Bytes that mean nothing to either protocol: no CR, LF or frame lead byte.
    static Bytes Noise(std::size_t count, std::size_t seed);

private:
    const SimConfig& config_;
    OutputQueue queue_;
    std::size_t noiseSeed_ = 0;
};
