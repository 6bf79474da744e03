// Whether an output stream is a terminal, so a host can redraw a progress line in place
// there and print plain lines into pipes and files; and how wide it is, so that a redrawn
// line never wraps (the terminal's own wrap would throw the redraw's line count off).
#pragma once

#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);
// The terminal's width in columns; 0 when it is not known.
int TerminalColumns(std::FILE* stream);

}  // namespace platform
