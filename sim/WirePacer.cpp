#include "sim/WirePacer.h"

#include <algorithm>

std::int64_t WirePacer::ByteTimeUs(std::uint32_t baud) {
    // Start bit, eight data bits, stop bit.
    return baud == 0 ? 0 : (10'000'000 + baud - 1) / baud;
}

void WirePacer::Push(const Bytes& data, const LineSettings& line, std::int64_t nowUs) {
    const std::int64_t step = enabled_ ? ByteTimeUs(line.baud) : 0;
    std::int64_t at = std::max(freeAtUs_, nowUs);
    for (const char c : data) {
        at += step;
        bytes_.push_back({c, enabled_ ? at : nowUs, line});
    }
    freeAtUs_ = at;
}

std::vector<WirePacer::Chunk> WirePacer::Take(std::int64_t nowUs) {
    std::vector<Chunk> out;
    while (!bytes_.empty() && (!enabled_ || bytes_.front().doneUs <= nowUs)) {
        const Byte& b = bytes_.front();
        if (out.empty() || !(out.back().line == b.line)) out.push_back({b.line, Bytes()});
        out.back().data += b.value;
        bytes_.pop_front();
    }
    return out;
}

void WirePacer::Clear() {
    bytes_.clear();
    freeAtUs_ = 0;
}
