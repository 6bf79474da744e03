// One direction of a serial line at its real speed: a byte arrives on the far side ten bit
// times after the line got free for it, so hosts and benchmarks see realistic queues.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "base/Bytes.h"
#include "sim/LineSettings.h"

class WirePacer {
public:
    struct Chunk {
        LineSettings line;  // as the sender had it set when it sent the bytes
        Bytes data;
    };

    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_; }
    // Unpaced, everything pushed is delivered by the next Take.
    void Push(const Bytes& data, const LineSettings& line, std::int64_t nowUs);
    // The bytes whose last bit has arrived by nowUs, in runs of equal line settings.
    std::vector<Chunk> Take(std::int64_t nowUs);
    std::size_t Pending() const { return bytes_.size(); }
    void Clear();

    static std::int64_t ByteTimeUs(std::uint32_t baud);

private:
    struct Byte {
        char value;
        std::int64_t doneUs;
        LineSettings line;
    };
    bool enabled_ = false;
    std::int64_t freeAtUs_ = 0;
    std::deque<Byte> bytes_;
};
