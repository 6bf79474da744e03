// The rig's platform part on Windows: each fake device's far end is the server end of a named
// pipe, the log a temporary file, and the library is looked up with the loader's own calls.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "tests/transport/usb/UsbRig.h"

namespace usbrig {

namespace {
// Handles fit in 32 bits (Windows keeps them so for 32-bit programs), so the header's int
// holds one.
HANDLE Pipe(int master) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(master));
}
}  // namespace

Pty::Pty() {
    static std::atomic<int> made{0};
    path_ = "\\\\.\\pipe\\fake_d2xx_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(made++);
    HANDLE h = CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX,
                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0,
                                nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("no named pipe");
    master_ = static_cast<int>(reinterpret_cast<std::intptr_t>(h));
}

Pty::~Pty() {
    Close();
}

void Pty::Close() {
    if (master_ != -1) CloseHandle(Pipe(master_));
    master_ = -1;
}

void Pty::Send(const Bytes& data) {
    DWORD put = 0;
    if (!WriteFile(Pipe(master_), data.data(), static_cast<DWORD>(data.size()), &put, nullptr) ||
        put != data.size())
        throw std::runtime_error("pipe write failed");
}

Bytes Pty::Receive(std::size_t count, int limitMs) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        DWORD waiting = 0;
        // Nothing waiting, or no device at the other end yet (or any more).
        if (!PeekNamedPipe(Pipe(master_), nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        char buf[256];
        DWORD n = 0;
        if (ReadFile(Pipe(master_), buf, std::min<DWORD>(sizeof buf, waiting), &n, nullptr))
            got.append(buf, n);
    }
    return got;
}

CallLog::CallLog() {
    char dir[MAX_PATH];
    char name[MAX_PATH];
    if (GetTempPathA(MAX_PATH, dir) == 0 || GetTempFileNameA(dir, "d2x", 0, name) == 0)
        throw std::runtime_error("no log file");
    path_ = name;
    SetEnv("FAKE_D2XX_LOG", path_.c_str());
}

CallLog::~CallLog() {
    SetEnv("FAKE_D2XX_LOG", "");
    DeleteFileA(path_.c_str());
}

void FakeSetting(const char* name, const char* value) {
    static HMODULE lib = LoadLibraryA("ftd2xx.dll");
    if (lib == nullptr) throw std::runtime_error("the fake D2XX library is not on the path");
    using OverrideFn = void (*)(const char*, const char*);
    auto set = reinterpret_cast<OverrideFn>(
        reinterpret_cast<void*>(GetProcAddress(lib, "FakeD2xx_Override")));
    if (set == nullptr) throw std::runtime_error("not the fake D2XX library");
    set(name, value);
}

bool IsResident(const char* fileName) {
    return GetModuleHandleA(fileName) != nullptr;
}

bool Loadable(const char* fileName) {
    HMODULE lib = LoadLibraryA(fileName);
    if (lib != nullptr) FreeLibrary(lib);
    return lib != nullptr;
}

// The C library's own environment, which the fake library reads with getenv; an empty value
// removes the variable.
void SetEnv(const char* name, const char* value) {
    _putenv_s(name, value);
}

}  // namespace usbrig
