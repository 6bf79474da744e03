// The fake D2XX library's devices, one implementation per platform: a pseudo-terminal's slave
// here, the client end of a named pipe on Windows. The test holds the other end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fakeport {

using Port = std::intptr_t;
constexpr Port kNone = -1;

// The device at `path`, carrying bytes as they are (a USB device has no line discipline).
Port Open(const std::string& path);
void Close(Port port);
// What is queued, up to `size`, without waiting: the count (0 when nothing is there), or -1
// when the far end is gone.
long Read(Port port, void* buffer, std::size_t size);
// The count taken (0 when the line takes nothing now), or -1 when the far end is gone.
long Write(Port port, const void* data, std::size_t size);
std::uint32_t InQueue(Port port);
std::uint32_t OutQueue(Port port);
void Purge(Port port, bool input, bool output);
// One line in one write, so the lines of different threads stay whole.
void AppendLine(const std::string& file, const std::string& line);

}  // namespace fakeport
