// Bytes the adapter has decided to send, each piece with the time it may leave: replies that
// trickle or stream keep their order whatever delay a later piece asks for.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>

#include "base/Bytes.h"

class OutputQueue {
public:
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    // Queues data behind everything already queued, due no earlier than atMs.
    void Push(const Bytes& data, std::int64_t atMs);
    Bytes TakeDue(std::int64_t nowMs);
    std::int64_t NextDueMs() const { return pieces_.empty() ? kNever : pieces_.front().due; }
    std::int64_t LastDueMs() const {
        return pieces_.empty() ? std::numeric_limits<std::int64_t>::min() : pieces_.back().due;
    }
    bool Empty() const { return pieces_.empty(); }
    void Clear() { pieces_.clear(); }

private:
    struct Piece {
        std::int64_t due;
        Bytes data;
    };
    std::deque<Piece> pieces_;
};
