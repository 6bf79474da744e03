// A stand-in for FTDI's D2XX library, so that the tests reach it through the product's real
// run-time loading path. Its devices are pseudo-terminals (named pipes on Windows, see
// FakePort.h) named by the environment, and every call it takes is appended to a log file that
// the tests read back.
//
// Environment (each read at every call; FakeD2xx_Override takes precedence):
//   FAKE_D2XX_DEVICES        "SERIAL=Description=/dev/pts/N;..."; a path "!N" makes the open
//                            of that device fail with last error N
//   FAKE_D2XX_CREATE_STATUS  status returned by FT_CreateDeviceInfoList (default 0)
//   FAKE_D2XX_CREATE_COUNT   device count FT_CreateDeviceInfoList reports (default: the real one)
//   FAKE_D2XX_GET_STATUS     status returned by FT_GetDeviceInfoList (default 0)
//   FAKE_D2XX_GET_FILL       most records FT_GetDeviceInfoList fills (default: all)
//   FAKE_D2XX_LOG            file that receives one line per call, and "load <name>" and
//                            "unload <name>" as the library comes and goes
//   FAKE_D2XX_CREATE_DELAY_MS  FT_CreateDeviceInfoList takes this long (a slow bus)
//   FAKE_D2XX_CREATE_HOLD    FT_CreateDeviceInfoList returns only once this file is gone, so a
//                            test sees what the host shows while a scan runs
//
// Built in variants that leave out one of the functions (see CMakeLists.txt), to stand for
// an incomplete installation.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/SerialApi.h"
#include "tests/fake_d2xx/FakePort.h"
#include "transport/D2xx.h"

using d2xx::FT_DEVICE_LIST_INFO_NODE;
using d2xx::FT_STATUS;
using serial::BOOL;
using serial::COMSTAT;
using serial::DCB;
using serial::DWORD;
using serial::HANDLE;

namespace {

constexpr DWORD kIoError = 4;

struct Device {
    std::string serial;
    std::string description;
    std::string path;
};

struct FakeHandle {
    fakeport::Port port = fakeport::kNone;
    std::string serial;
    DWORD lastError = 0;
    DCB dcb{};
    unsigned char latencyMs = 16;  // FTDI's default
};

std::mutex& StateMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::string>& Overrides() {
    static std::map<std::string, std::string> o;
    return o;
}

// Devices as counted by the last FT_CreateDeviceInfoList, as the real library keeps them.
std::vector<Device>& Snapshot() {
    static std::vector<Device> s;
    return s;
}

// The last error of an open that failed: asked for with the invalid handle.
DWORD openError = 0;

std::string Setting(const char* name) {
    std::lock_guard lock(StateMutex());
    auto it = Overrides().find(name);
    if (it != Overrides().end()) return it->second;
    const char* value = std::getenv(name);
    return value ? value : "";
}

DWORD Number(const char* name, DWORD fallback) {
    const std::string text = Setting(name);
    return text.empty() ? fallback : static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
}

[[maybe_unused]] bool Exists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (f != nullptr) std::fclose(f);
    return f != nullptr;
}

void LogTo(const std::string& path, const std::string& line) {
    if (!path.empty()) fakeport::AppendLine(path, line);
}

void Log(const std::string& line) {
    LogTo(Setting("FAKE_D2XX_LOG"), line);
}

std::vector<Device> Devices() {
    std::vector<Device> devices;
    const std::string list = Setting("FAKE_D2XX_DEVICES");
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(start, end - start);
        const std::size_t a = item.find('=');
        const std::size_t b = a == std::string::npos ? a : item.find('=', a + 1);
        if (b != std::string::npos)
            devices.push_back(
                {item.substr(0, a), item.substr(a + 1, b - a - 1), item.substr(b + 1)});
        start = end + 1;
    }
    return devices;
}

// Copies text into a fixed field; text that fills the field gets no terminator, as the real
// library does with a 16-character serial number.
[[maybe_unused]] void FillField(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

// A device's initial line settings, with members the product must leave alone set to values
// that a test can recognise.
DCB DeviceDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.ByteSize = 7;
    dcb.Parity = serial::EVENPARITY;
    dcb.fParity = 1;
    dcb.StopBits = serial::TWOSTOPBITS;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

FakeHandle* Handle(HANDLE h) {
    if (h == nullptr || h == serial::InvalidHandle()) return nullptr;
    return static_cast<FakeHandle*>(h);
}

BOOL Fail(FakeHandle* h, DWORD code) {
    h->lastError = code;
    return 0;
}

HANDLE FailOpen(DWORD code) {
    std::lock_guard lock(StateMutex());
    openError = code;
    return serial::InvalidHandle();
}

// Only the environment here: at unload the overrides may already be gone.
std::string EnvLog() {
    const char* path = std::getenv("FAKE_D2XX_LOG");
    return path ? path : "";
}
__attribute__((constructor)) void Loaded() {
    LogTo(EnvLog(), "load " FAKE_D2XX_NAME);
}
__attribute__((destructor)) void Unloaded() {
    LogTo(EnvLog(), "unload " FAKE_D2XX_NAME);
}

}  // namespace

extern "C" {

// Test control: sets a setting for this process (a null value removes the override).
void FakeD2xx_Override(const char* name, const char* value) {
    std::lock_guard lock(StateMutex());
    if (value)
        Overrides()[name] = value;
    else
        Overrides().erase(name);
}

#ifndef FAKE_D2XX_WITHOUT_CREATELIST
FT_STATUS FT_CreateDeviceInfoList(DWORD* count) {
    std::vector<Device> devices = Devices();
    Log("CreateDeviceInfoList " + std::to_string(devices.size()));
    const FT_STATUS status = Number("FAKE_D2XX_CREATE_STATUS", d2xx::FT_OK);
    const DWORD reported = Number("FAKE_D2XX_CREATE_COUNT", static_cast<DWORD>(devices.size()));
    // A slow bus: the scan takes this long, so a test can ask for another meanwhile.
    if (const DWORD ms = Number("FAKE_D2XX_CREATE_DELAY_MS", 0); ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const std::string hold = Setting("FAKE_D2XX_CREATE_HOLD");
    while (!hold.empty() && Exists(hold))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard lock(StateMutex());
    Snapshot() = std::move(devices);
    *count = reported;
    return status;
}
#endif

#ifndef FAKE_D2XX_WITHOUT_GETLIST
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, DWORD* count) {
    const FT_STATUS status = Number("FAKE_D2XX_GET_STATUS", d2xx::FT_OK);
    const DWORD most = Number("FAKE_D2XX_GET_FILL", 0xFFFFFFFFu);
    std::lock_guard lock(StateMutex());
    const std::vector<Device>& devices = Snapshot();
    const DWORD n = std::min({*count, most, static_cast<DWORD>(devices.size())});
    for (DWORD i = 0; i < n; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = list[i];
        node.Flags = 0;
        node.Type = 5;
        node.ID = 0x04036001;
        node.LocId = i + 1;
        FillField(node.SerialNumber, sizeof node.SerialNumber, devices[i].serial);
        FillField(node.Description, sizeof node.Description, devices[i].description);
        node.ftHandle = nullptr;
    }
    *count = n;
    return status;
}
#endif

HANDLE FT_W32_CreateFile(const char* name, DWORD access, DWORD share, void* security,
                         DWORD creation, DWORD flags, HANDLE templateFile) {
    char line[200];
    std::snprintf(line, sizeof line, "CreateFile %s access=0x%x share=%u creation=%u flags=0x%x",
                  name, access, share, creation, flags);
    Log(line);
    (void)security;
    (void)templateFile;
    if ((flags & serial::FT_OPEN_BY_SERIAL_NUMBER) == 0) return FailOpen(6);
    for (const Device& d : Devices()) {
        if (d.serial != name) continue;
        if (!d.path.empty() && d.path[0] == '!')
            return FailOpen(static_cast<DWORD>(std::strtoul(d.path.c_str() + 1, nullptr, 10)));
        const fakeport::Port port = fakeport::Open(d.path);
        if (port == fakeport::kNone) return FailOpen(kIoError);
        auto* h = new FakeHandle{port, d.serial, 0, DeviceDcb()};
        return h;
    }
    return FailOpen(d2xx::FT_DEVICE_NOT_FOUND);
}

// The latency timer, which an incomplete installation may lack like any other call.
#ifndef FAKE_D2XX_WITHOUT_LATENCY
FT_STATUS FT_GetLatencyTimer(HANDLE handle, unsigned char* ms) {
    FakeHandle* h = Handle(handle);
    if (!h) return d2xx::FT_DEVICE_NOT_FOUND;
    Log("GetLatencyTimer " + h->serial + " " + std::to_string(h->latencyMs));
    *ms = h->latencyMs;
    return d2xx::FT_OK;
}

FT_STATUS FT_SetLatencyTimer(HANDLE handle, unsigned char ms) {
    FakeHandle* h = Handle(handle);
    if (!h) return d2xx::FT_DEVICE_NOT_FOUND;
    Log("SetLatencyTimer " + h->serial + " " + std::to_string(ms));
    h->latencyMs = ms;
    return d2xx::FT_OK;
}
#endif

BOOL FT_W32_CloseHandle(HANDLE handle) {
    FakeHandle* h = Handle(handle);
    if (!h) return 0;
    Log("CloseHandle " + h->serial);
    fakeport::Close(h->port);
    delete h;
    return 1;
}

BOOL FT_W32_ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
    (void)overlapped;
    FakeHandle* h = Handle(handle);
    *read = 0;
    if (!h) return 0;
    // The real call waits until it has every byte asked for (no time-outs are set), so a
    // caller must never ask for more than is queued: log both for the tests to compare.
    const std::uint32_t queued = fakeport::InQueue(h->port);
    Log("ReadFile " + std::to_string(toRead) + " of " + std::to_string(queued));
    const long n = fakeport::Read(h->port, buffer, toRead);
    if (n < 0) return Fail(h, kIoError);
    *read = static_cast<DWORD>(n);
    return 1;
}

BOOL FT_W32_WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written,
                      void* overlapped) {
    (void)overlapped;
    FakeHandle* h = Handle(handle);
    *written = 0;
    if (!h) return 0;
    Log("WriteFile " + std::to_string(toWrite));
    const long n = fakeport::Write(h->port, buffer, toWrite);
    if (n < 0) return Fail(h, kIoError);
    *written = static_cast<DWORD>(n);
    return 1;
}

DWORD FT_W32_GetLastError(HANDLE handle) {
    if (FakeHandle* h = Handle(handle)) return h->lastError;
    std::lock_guard lock(StateMutex());
    return openError;
}

BOOL FT_W32_ClearCommError(HANDLE handle, DWORD* errors, COMSTAT* status) {
    FakeHandle* h = Handle(handle);
    if (!h) return 0;
    *errors = 0;
    *status = COMSTAT{0, fakeport::InQueue(h->port), fakeport::OutQueue(h->port)};
    return 1;
}

BOOL FT_W32_EscapeCommFunction(HANDLE handle, DWORD func) {
    if (!Handle(handle)) return 0;
    Log("EscapeCommFunction " + std::to_string(func));
    return 1;
}

BOOL FT_W32_PurgeComm(HANDLE handle, DWORD flags) {
    FakeHandle* h = Handle(handle);
    if (!h) return 0;
    Log("PurgeComm " + std::to_string(flags));
    fakeport::Purge(h->port, flags & serial::PURGE_RXCLEAR, flags & serial::PURGE_TXCLEAR);
    return 1;
}

BOOL FT_W32_SetCommState(HANDLE handle, DCB* dcb) {
    FakeHandle* h = Handle(handle);
    if (!h) return 0;
    char line[200];
    std::snprintf(line, sizeof line,
                  "SetCommState baud=%u bits=%u parity=%u fParity=%u stop=%u rts=%u dtr=%u "
                  "cts=%u xon=%d length=%u",
                  dcb->BaudRate, dcb->ByteSize, dcb->Parity, dcb->fParity, dcb->StopBits,
                  dcb->fRtsControl, dcb->fDtrControl, dcb->fOutxCtsFlow, dcb->XonChar,
                  dcb->DCBlength);
    Log(line);
    h->dcb = *dcb;
    return 1;
}

BOOL FT_W32_GetCommState(HANDLE handle, DCB* dcb) {
    FakeHandle* h = Handle(handle);
    if (!h) return 0;
    Log("GetCommState");
    *dcb = h->dcb;
    return 1;
}

#ifndef FAKE_D2XX_WITHOUT_SETUPCOMM
BOOL FT_W32_SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) {
    if (!Handle(handle)) return 0;
    Log("SetupComm " + std::to_string(inQueue) + " " + std::to_string(outQueue));
    return 1;
}
#endif

}  // extern "C"

// The product calls through its own declarations: keep ours identical to them.
static_assert(std::is_same_v<decltype(&FT_W32_CreateFile), serial::CreateFileFn>);
static_assert(std::is_same_v<decltype(&FT_W32_CloseHandle), serial::CloseHandleFn>);
static_assert(std::is_same_v<decltype(&FT_W32_ReadFile), serial::ReadFileFn>);
static_assert(std::is_same_v<decltype(&FT_W32_WriteFile), serial::WriteFileFn>);
static_assert(std::is_same_v<decltype(&FT_W32_GetLastError), serial::GetLastErrorFn>);
static_assert(std::is_same_v<decltype(&FT_W32_ClearCommError), serial::ClearCommErrorFn>);
static_assert(std::is_same_v<decltype(&FT_W32_EscapeCommFunction), serial::EscapeCommFunctionFn>);
static_assert(std::is_same_v<decltype(&FT_W32_PurgeComm), serial::PurgeCommFn>);
static_assert(std::is_same_v<decltype(&FT_W32_SetCommState), serial::SetCommStateFn>);
static_assert(std::is_same_v<decltype(&FT_W32_GetCommState), serial::GetCommStateFn>);
#ifndef FAKE_D2XX_WITHOUT_SETUPCOMM
static_assert(std::is_same_v<decltype(&FT_W32_SetupComm), serial::SetupCommFn>);
#endif
#ifndef FAKE_D2XX_WITHOUT_CREATELIST
static_assert(std::is_same_v<decltype(&FT_CreateDeviceInfoList), d2xx::FT_CreateDeviceInfoListFn>);
#endif
#ifndef FAKE_D2XX_WITHOUT_GETLIST
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoList), d2xx::FT_GetDeviceInfoListFn>);
#endif
