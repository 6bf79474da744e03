#include "control/ReplyFraming.h"

namespace {
const Bytes kCrLf = "\r\n";
const Bytes kCrMarker = "\r\nCR:";
const Bytes kUsbMarker = "\r\nUSB-";
const Bytes kEndMarker = "\r\n\r\n";
}  // namespace

bool TakeReply(Bytes& buffer, bool& started, Bytes& lastReply) {
    if (!started) {
        // "CR:" wins even when a "USB-" marker comes earlier in the buffer.
        std::size_t p = buffer.find(kCrMarker);
        if (p == Bytes::npos) p = buffer.find(kUsbMarker);
        if (p != Bytes::npos) {
            buffer.erase(0, p);
            started = true;
        } else if (buffer.size() >= kUsbMarker.size()) {
            // Only the tail can still begin a marker; dropping the rest now changes nothing
            // but keeps a line that chatters without a marker from filling memory.
            buffer.erase(0, buffer.size() - (kUsbMarker.size() - 1));
        }
    }
    if (!started) return false;
    const std::size_t e = buffer.find(kEndMarker);
    if (e == Bytes::npos) return false;
    lastReply = buffer.substr(2, e - 2);
    buffer.erase(0, e + kEndMarker.size());
    started = false;
    return true;
}

std::size_t PendingEndMarker(const Bytes& buffer) {
    for (std::size_t n = kEndMarker.size() - 1; n > 0; --n)
        if (buffer.size() >= n && buffer.compare(buffer.size() - n, n, kEndMarker, 0, n) == 0)
            return n;
    return 0;
}

std::vector<Bytes> SplitReplyLines(const Bytes& text) {
    std::vector<Bytes> lines;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(kCrLf, from);
        if (at == Bytes::npos) break;
        lines.push_back(text.substr(from, at - from));
        from = at + kCrLf.size();
    }
    lines.push_back(text.substr(from));
    return lines;
}
