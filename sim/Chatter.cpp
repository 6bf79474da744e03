#include "sim/Chatter.h"

#include <algorithm>

namespace {
// Letters, digits and punctuation only: nothing but the marker it is told to send can look
// like the adapter's replies.
const char kSentence[] = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
const char kLetters[] = "abcdefghijklmnopqrstuvwxyz";
}  // namespace

Bytes Chatter::Talk(std::int64_t nowMs) {
    if (!Talks() || nowMs < nextMs_) return Bytes();
    nextMs_ = nowMs + std::max(everyMs_, 1);
    Bytes said;
    if (kind_ == Kind::Sentences) {
        said = kSentence;
    } else {
        if (startDue_) said = "\r\nCR:";
        said += kLetters[said_ % (sizeof kLetters - 1)];
    }
    startDue_ = false;
    ++said_;
    return said;
}
