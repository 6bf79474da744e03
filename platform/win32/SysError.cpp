// Windows: the system message table, in the user's default language.
#include "platform/SysError.h"

#include <windows.h>

namespace platform {

std::string SystemErrorText(std::uint32_t code) {
    char* buffer = nullptr;
    // Some system texts carry %1-style inserts; without arguments to fill them they must be
    // left as they stand, or the call reads arguments that were never passed.
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer),
        0, nullptr);
    std::string text(buffer ? buffer : "", buffer ? n : 0);
    LocalFree(buffer);
    // The table's texts end with a line break; callers place the text themselves.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace platform
