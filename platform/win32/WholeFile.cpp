// Windows: read sharing only, so other readers may hold the file open beside us while a program
// that has it open for writing (or without sharing) makes the open fail.
#include "platform/WholeFile.h"

#include <windows.h>

#include <algorithm>

#include "platform/SysError.h"

namespace platform {

bool ReadWholeFile(const std::string& fileName, std::string& data, std::size_t maxSize,
                   std::string& reason, bool& tooLarge) {
    reason.clear();
    tooLarge = false;
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = "it is a folder";
        return false;
    }
    HANDLE h = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION)
            reason = "another program is using it";
        else if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
            reason = SystemErrorText(code);
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h, &size) != 0 && size.QuadPart >= 0;
    if (!ok) reason = SystemErrorText(GetLastError());
    if (ok && GetFileType(h) != FILE_TYPE_DISK) {
        ok = false;
        reason = "it is not a regular file";
    }
    if (ok && static_cast<unsigned long long>(size.QuadPart) > maxSize) {
        ok = false;
        tooLarge = true;
        reason = "it holds more than " + std::to_string(maxSize) + " bytes";
    }
    std::string content;
    if (ok) content.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (ok && done < content.size()) {
        DWORD read = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 0x40000000u));
        ok = ReadFile(h, content.data() + done, chunk, &read, nullptr) != 0 && read != 0;
        if (!ok) reason = "it was shortened while being read";
        done += read;
    }
    CloseHandle(h);
    if (ok) data = std::move(content);
    return ok;
}

}  // namespace platform
