// The operating system's own text for an error code (errno here, GetLastError on Windows).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

std::string SystemErrorText(std::uint32_t code);

}  // namespace platform
