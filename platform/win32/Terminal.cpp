// Windows: a console, not just any character device (the C library's _isatty also says yes
// for NUL and printers, where a redrawn line is only noise).
#include "platform/Terminal.h"

#include <io.h>
#include <windows.h>

namespace platform {

bool IsTerminal(std::FILE* stream) {
    const int fd = _fileno(stream);
    if (fd < 0 || !_isatty(fd)) return false;
    DWORD mode = 0;
    return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &mode) != 0;
}

int TerminalColumns(std::FILE* stream) {
    const int fd = _fileno(stream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (fd < 0 || !GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace platform
