// LockFileEx on the file's first byte: shared or exclusive, and released by the system when the
// process ends.
#include "platform/RunLock.h"

#include <windows.h>

#include "platform/SysError.h"

namespace platform {

namespace {
bool Lock(HANDLE file, DWORD flags) {
    OVERLAPPED at{};
    return LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}
}  // namespace

std::unique_ptr<RunLock> RunLock::Take(const std::string& path, bool& alone, std::string& error) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "Cannot make " + path + ": " + SystemErrorText(GetLastError());
        return nullptr;
    }
    alone = Lock(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY);
    // Waits only while a process that was alone clears up: it shares its lock right after.
    if (!alone && !Lock(file, 0)) {
        error = "Cannot lock " + path + ": " + SystemErrorText(GetLastError());
        CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<RunLock>(new RunLock(reinterpret_cast<std::intptr_t>(file)));
}

RunLock::~RunLock() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

void RunLock::Share() {
    const HANDLE file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED at{};
    UnlockFileEx(file, 0, 1, 0, &at);
    Lock(file, 0);
}

}  // namespace platform
