// The adapter's command protocol in one place: line settings tried by a search, the two
// command prefixes, the command letters and the reply timeout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

// Bounds on the waits for the adapter, measured on the owner's clock, whatever wakes the
// operation: a port with another device on it talks without pause, and counting quiet ticks
// alone would wait for it for ever. Twenty quiet ticks still end a wait on a line that falls
// quiet; these end it on a line that never does.
//
// The transmit queue must drain within this: far above what 80 bytes need at 9600 baud.
inline constexpr int kMaxSendWaitMs = 5000;
// A reply must begin (its start marker arrive) this long after its command has left the
// port: the twenty ticks a quiet line is given. The adapter starts answering within a few
// milliseconds, so the margin is wide; and as a quiet line gives up at this time anyway, no
// adapter that a quiet line finds is lost on a chattering one.
inline constexpr int kReplyStartMs = 200;
// What each command's reply is at its longest, in bytes: the identity reply (banner and five
// tagged lines, about 120 bytes, with room for longer texts), the short answers to "M", "P",
// "E" and "U" alike; every reply that carries the mode list.
inline constexpr std::size_t kLongestIdentityReply = 192;
inline constexpr std::size_t kLongestModeListReply = 4096;
// A started reply must have ended when the start allowance and its longest length's time
// on the wire (10 bits a byte at the line's speed) have passed since the command left.
int ReplyLimitMs(std::size_t longestReply, std::uint32_t baud);
// The self-test streams for as long as it runs: its quiet ticks end it, and at the latest
// this bound, which no real self-test comes near (the adapter's takes a few seconds).
inline constexpr int kMaxSelfTestMs = 60000;
// However the reply arrives, the buffer never holds more than this: a chattering line must
// not fill memory before a bound ends the wait.
inline constexpr std::size_t kMaxReplyBytes = 64 * 1024;

// "!" + company name in upper case (ASCII letters only) + SpecialCommandSuffix.
Bytes BuildSpecialCommandText(const std::string& companyName);
using CommandPrefixes = std::array<Bytes, 2>;
CommandPrefixes MakeCommandPrefixes(const Bytes& specialCommandText);
