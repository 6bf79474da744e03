#include "platform/SysError.h"

#include <windows.h>

namespace platform {

std::string SystemErrorText(std::uint32_t code) {
    char* buffer = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer ? buffer : "", n);
    LocalFree(buffer);
    return text;
}

}  // namespace platform
