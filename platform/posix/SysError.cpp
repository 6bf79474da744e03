#include "platform/SysError.h"

#include <cstring>

namespace platform {

std::string SystemErrorText(std::uint32_t code) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(static_cast<int>(code), buf, sizeof buf);
    return text ? text : "";
}

}  // namespace platform
