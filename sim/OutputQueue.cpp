#include "sim/OutputQueue.h"

#include <algorithm>

void OutputQueue::Push(const Bytes& data, std::int64_t atMs) {
    if (data.empty()) return;
    const std::int64_t due = pieces_.empty() ? atMs : std::max(atMs, pieces_.back().due);
    pieces_.push_back({due, data});
}

Bytes OutputQueue::TakeDue(std::int64_t nowMs) {
    Bytes out;
    while (!pieces_.empty() && pieces_.front().due <= nowMs) {
        out += pieces_.front().data;
        pieces_.pop_front();
    }
    return out;
}
