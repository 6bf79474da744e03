// The change-mode file of a repair run: read whole and accepted only at its one size, with the
// window's error box for anything else.
#pragma once

#include <string>

#include "base/Bytes.h"
#include "base/MessageSink.h"

constexpr std::size_t kModeFileSize = 80;

// True with the file's 80 bytes in `data`; otherwise an error box through `sink` and `data`
// left as it was. The name is shown as the caller passed it.
bool LoadModeFile(const std::string& fileName, MessageSink& sink, Bytes& data);
