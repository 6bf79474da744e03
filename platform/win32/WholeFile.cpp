// Windows: share mode 0 refuses the open while another program holds the file open.
#include "platform/WholeFile.h"

#include <windows.h>

#include <algorithm>

namespace platform {

bool ReadWholeFile(const std::string& fileName, Bytes& data) {
    HANDLE h = CreateFileA(fileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h, &size) != 0 && size.QuadPart >= 0;
    Bytes content;
    if (ok) content.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (ok && done < content.size()) {
        DWORD read = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 0x40000000u));
        ok = ReadFile(h, content.data() + done, chunk, &read, nullptr) != 0 && read != 0;
        done += read;
    }
    CloseHandle(h);
    if (ok) data = std::move(content);
    return ok;
}

}  // namespace platform
