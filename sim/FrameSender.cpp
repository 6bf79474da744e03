#include "sim/FrameSender.h"

#include <algorithm>

namespace {
const unsigned char kNoise[] = {0x00, 0x11, 0xA5, 0x7F, 'x', 'q', 0xF0, 0x5A, 0x99};
}

Bytes FrameSender::Noise(std::size_t count, std::size_t seed) {
    Bytes out;
    for (std::size_t i = 0; i < count; ++i)
        out += static_cast<char>(kNoise[(seed + i) % sizeof kNoise]);
    return out;
}

void FrameSender::Send(const Bytes& frame, std::int64_t atMs) {
    if (config_.noiseBytes > 0) {
        queue_.Push(Noise(static_cast<std::size_t>(config_.noiseBytes), noiseSeed_), atMs);
        noiseSeed_ += static_cast<std::size_t>(config_.noiseBytes);
    }
    if (config_.trickleMs <= 0) {
        queue_.Push(frame, atMs);
        return;
    }
    // Each byte waits its pause behind the previous one, wherever that one ended up.
    std::int64_t at = std::max(atMs, queue_.LastDueMs());
    for (const char c : frame) {
        queue_.Push(Bytes(1, c), at);
        at += config_.trickleMs;
    }
}
