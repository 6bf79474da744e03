#include "control/AdapterProtocol.h"

Bytes BuildSpecialCommandText(const std::string& companyName) {
    Bytes text = "!";
    for (char c : companyName)
        text += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return text + SpecialCommandSuffix;
}

CommandPrefixes MakeCommandPrefixes(const Bytes& specialCommandText) {
    return {Bytes(kFirstCommandPrefix), specialCommandText};
}

int ReplyLimitMs(std::size_t longestReply, std::uint32_t baud) {
    // A line whose speed is not known counts as the slowest one a search tries.
    const std::uint64_t rate = baud == 0 ? 9600 : baud;
    const std::uint64_t wireMs = (longestReply * 10 * 1000 + rate - 1) / rate;
    return kReplyStartMs + static_cast<int>(wireMs);
}
