// Cuts the adapter's replies out of the received byte stream: a reply starts at CR LF before
// "CR:" (preferred) or "USB-" and ends with an empty line.
#pragma once

#include <vector>

#include "base/Bytes.h"

// True when a complete reply body was just moved from `buffer` into `lastReply`. Bytes
// before the start marker are dropped (while none is found, all but the few that may begin
// one); bytes after the end marker stay in `buffer`.
bool TakeReply(Bytes& buffer, bool& started, Bytes& lastReply);

// How many bytes at the end of `buffer` (0..3) could be the start of an end marker still
// arriving.
std::size_t PendingEndMarker(const Bytes& buffer);

// The CR LF separated lines of a reply (a last line without CR LF included).
std::vector<Bytes> SplitReplyLines(const Bytes& text);
