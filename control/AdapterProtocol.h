// The adapter's command protocol in one place: line settings tried by a search, the two
// command prefixes, the command letters and the reply timeout.
#pragma once

#include <array>
#include <string>

#include "base/Bytes.h"

// Tried in this order by a search; the last one really is 125000 baud.
inline constexpr std::array<const char*, 5> LineSettingsTable = {
    "115200,N,8", "38400,N,8", "19200,N,8", "9600,N,8", "125000,N,8",
};

// The first prefix every adapter knows; the second is built from the company name.
inline constexpr char kFirstCommandPrefix[] = "!rimPAX_SC_";
// Our own fixed tail of the second prefix: 16 printable ASCII characters.
inline constexpr char SpecialCommandSuffix[] = "*kv7Tq_CFG_09xZ+";
static_assert(sizeof(SpecialCommandSuffix) - 1 == 16);

namespace cmd {
inline constexpr char Identify = 'I';  ///< identity probe of a search
inline constexpr char Query = 'S';     ///< identity, modes and selected mode
inline constexpr char Mode = 'M';      ///< followed by the raw mode ID
inline constexpr char Power = 'P';     ///< followed by raw "1" or "0"
inline constexpr char Test = 'T';      ///< self-test; the reply streams
inline constexpr char Update = 'U';    ///< hands over to the boot loader
inline constexpr char Repair = 'E';    ///< followed by the raw 80-byte mode file
}  // namespace cmd

// Every caller of SetReplyTimeout passes this; the countdown is twice as many ticks.
inline constexpr int kReplyTimeout = 10;
// Ticks osAwaitSent waits for the transmit queue to drain before it gives the reply up as
// missing: far above what 80 bytes need at 9600 baud, short enough not to hang a session.
inline constexpr int kMaxSendWaitTicks = 500;
// A reply is given up as missing when it has not ended after this many ticks (60 s) however
// steadily bytes arrive, or once it holds this many bytes: a line that never falls silent
// must not hold an operation, or fill memory, for ever. Far above the longest self-test.
inline constexpr int kMaxReplyTicks = 6000;
inline constexpr std::size_t kMaxReplyBytes = 64 * 1024;

// "!" + company name in upper case (ASCII letters only) + SpecialCommandSuffix.
Bytes BuildSpecialCommandText(const std::string& companyName);
using CommandPrefixes = std::array<Bytes, 2>;
CommandPrefixes MakeCommandPrefixes(const Bytes& specialCommandText);
