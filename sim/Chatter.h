// Another device on the adapter's line: it shares nothing with the adapter but the wire and
// talks on its own schedule, whatever it is sent. The simulator plays it in the adapter's
// place, the fault campaign's proxy over the adapter's answers.
#pragma once

#include <cstdint>
#include <limits>

#include "base/Bytes.h"

class Chatter {
public:
    enum class Kind {
        Nothing,
        Bytes,         ///< a letter every period: never a reply's start marker
        StartedReply,  ///< the same, with a reply's start marker after all it hears
        Sentences,     ///< a position receiver's sentence every period
    };
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    Chatter(Kind kind = Kind::Nothing, int everyMs = 5) : kind_(kind), everyMs_(everyMs) {}

    bool Talks() const { return kind_ != Kind::Nothing; }
    // Bytes reached the device from the line.
    void Heard() { startDue_ = kind_ == Kind::StartedReply; }
    // What it says at `nowMs`, if its time has come. Late calls owe nothing: it does not talk
    // faster to catch up.
    Bytes Talk(std::int64_t nowMs);
    std::int64_t NextDueMs() const { return Talks() ? nextMs_ : kNever; }

private:
    Kind kind_;
    int everyMs_;
    std::int64_t nextMs_ = 0;
    std::size_t said_ = 0;
    bool startDue_ = false;
};
