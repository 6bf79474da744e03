// The fake devices on Windows: the client ends of named pipes that the test serves, read only
// as far as the pipe says bytes are waiting.
#include <windows.h>

#include <algorithm>

#include "tests/fake_d2xx/FakePort.h"

namespace fakeport {

namespace {
HANDLE Win(Port port) {
    return reinterpret_cast<HANDLE>(port);
}
}  // namespace

Port Open(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    return h == INVALID_HANDLE_VALUE ? kNone : reinterpret_cast<Port>(h);
}

void Close(Port port) {
    CloseHandle(Win(port));
}

std::uint32_t InQueue(Port port) {
    DWORD waiting = 0;
    return PeekNamedPipe(Win(port), nullptr, 0, nullptr, &waiting, nullptr) ? waiting : 0;
}

std::uint32_t OutQueue(Port) {
    return 0;  // a pipe's writes are taken at once
}

long Read(Port port, void* buffer, std::size_t size) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(Win(port), nullptr, 0, nullptr, &waiting, nullptr)) return -1;
    DWORD got = 0;
    if (waiting == 0) return 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, waiting));
    return ReadFile(Win(port), buffer, want, &got, nullptr) ? static_cast<long>(got) : -1;
}

long Write(Port port, const void* data, std::size_t size) {
    DWORD put = 0;
    return WriteFile(Win(port), data, static_cast<DWORD>(size), &put, nullptr)
               ? static_cast<long>(put)
               : -1;
}

void Purge(Port port, bool input, bool) {
    char scrap[256];
    while (input && Read(port, scrap, sizeof scrap) > 0) {
    }
}

void AppendLine(const std::string& file, const std::string& line) {
    HANDLE h = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD put = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    CloseHandle(h);
}

}  // namespace fakeport
