// The firmware file as the update engine takes it: read whole, refused with its own boxes when
// it cannot be read or is shorter than its header. Hosts may run the same checks up front.
#pragma once

#include <string>

#include "base/Bytes.h"
#include "base/MessageSink.h"

constexpr std::size_t kFirmwareHeaderSize = 80;
// No adapter holds near this much; a larger file is refused unread rather than taken into
// memory whole (a wrong pick in the file dialog, a disk image).
constexpr std::size_t kMaxFirmwareFileSize = 16u << 20;

// True with the file's content in `data`; otherwise a box through `sink` ("Open Firware
// file...") and `data` left as it was. The name is shown as the caller passed it.
bool LoadFirmwareFile(const std::string& fileName, MessageSink& sink, Bytes& data);
