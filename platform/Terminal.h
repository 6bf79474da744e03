// Whether an output stream is a terminal, so a host can redraw a progress line in place
// there and print plain lines into pipes and files.
#pragma once

#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);

}  // namespace platform
