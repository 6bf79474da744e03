// Column 0 of the serial table on Windows: the serial communications API itself. The table's
// types keep the Windows layouts (HANDLE, DCB, COMSTAT), so each row only forwards.
#include "platform/SerialPort.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX  // mingw's C++ library defines it already
#define NOMINMAX
#endif
#include <windows.h>
// The table's row is called CreateFile; the header's macro would rename it to CreateFileA.
#undef CreateFile

#include <cstddef>

namespace platform {

namespace {
using serial::BOOL;
using serial::DWORD;
using serial::HANDLE;

// The rows hand our records to the system as they are, so they must match it field for field.
static_assert(sizeof(serial::DCB) == sizeof(::DCB), "the table's DCB is the Windows DCB");
static_assert(offsetof(serial::DCB, BaudRate) == offsetof(::DCB, BaudRate));
static_assert(offsetof(serial::DCB, XonLim) == offsetof(::DCB, XonLim));
static_assert(offsetof(serial::DCB, ByteSize) == offsetof(::DCB, ByteSize));
static_assert(offsetof(serial::DCB, StopBits) == offsetof(::DCB, StopBits));
static_assert(offsetof(serial::DCB, wReserved1) == offsetof(::DCB, wReserved1));
static_assert(sizeof(serial::COMSTAT) == sizeof(::COMSTAT));
static_assert(offsetof(serial::COMSTAT, cbInQue) == offsetof(::COMSTAT, cbInQue));
static_assert(offsetof(serial::COMSTAT, cbOutQue) == offsetof(::COMSTAT, cbOutQue));

::DCB* Win(serial::DCB* dcb) {
    return reinterpret_cast<::DCB*>(dcb);
}

// A write may wait this long for a line that takes nothing (the caller counts such writes
// and gives up); a line that merely runs slowly gets a millisecond a byte on top.
constexpr ::DWORD kWriteTimeoutMs = 50;

// Another program may have left the port with hardware or software flow control and no write
// timeouts: a write to a silent line would then block for ever. Flow control goes off, as on
// every other platform, and writes are bounded; reads return at once with what has arrived.
void MakeWritesBounded(HANDLE h) {
    ::DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetCommState(h, &dcb)) {
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE)
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
        if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
        ::SetCommState(h, &dcb);
    }
    ::COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    ::SetCommTimeouts(h, &timeouts);
}

HANDLE CreateFileRow(const char* name, DWORD access, DWORD share, void* security, DWORD creation,
                     DWORD flags, HANDLE templateFile) {
    HANDLE h = ::CreateFileA(name, access, share, static_cast<LPSECURITY_ATTRIBUTES>(security),
                             creation, flags, templateFile);
    if (h != INVALID_HANDLE_VALUE) MakeWritesBounded(h);
    return h;
}

BOOL CloseHandleRow(HANDLE h) {
    return ::CloseHandle(h);
}

BOOL ReadFileRow(HANDLE h, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
    ::DWORD got = 0;
    const BOOL ok = ::ReadFile(h, buffer, toRead, &got, static_cast<LPOVERLAPPED>(overlapped));
    *read = got;
    return ok;
}

BOOL WriteFileRow(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
    ::DWORD put = 0;
    const BOOL ok = ::WriteFile(h, buffer, toWrite, &put, static_cast<LPOVERLAPPED>(overlapped));
    *written = put;
    return ok;
}

// The thread's last error; the handle matters only to the D2XX column.
DWORD GetLastErrorRow(HANDLE) {
    return ::GetLastError();
}

BOOL ClearCommErrorRow(HANDLE h, DWORD* errors, serial::COMSTAT* status) {
    ::DWORD mask = 0;
    const BOOL ok = ::ClearCommError(h, &mask, reinterpret_cast<::COMSTAT*>(status));
    if (errors) *errors = mask;
    return ok;
}

BOOL EscapeCommFunctionRow(HANDLE h, DWORD func) {
    return ::EscapeCommFunction(h, func);
}

BOOL PurgeCommRow(HANDLE h, DWORD flags) {
    return ::PurgeComm(h, flags);
}

BOOL SetCommStateRow(HANDLE h, serial::DCB* dcb) {
    return ::SetCommState(h, Win(dcb));
}

BOOL GetCommStateRow(HANDLE h, serial::DCB* dcb) {
    return ::GetCommState(h, Win(dcb));
}

BOOL SetupCommRow(HANDLE h, DWORD inQueue, DWORD outQueue) {
    return ::SetupComm(h, inQueue, outQueue);
}
}  // namespace

const serial::Column& NativeSerialColumn() {
    static const serial::Column column = [] {
        serial::Column c;
        c.CreateFile = CreateFileRow;
        c.CloseHandle = CloseHandleRow;
        c.ReadFile = ReadFileRow;
        c.WriteFile = WriteFileRow;
        c.GetLastError = GetLastErrorRow;
        c.ClearCommError = ClearCommErrorRow;
        c.EscapeCommFunction = EscapeCommFunctionRow;
        c.PurgeComm = PurgeCommRow;
        c.SetCommState = SetCommStateRow;
        c.GetCommState = GetCommStateRow;
        c.SetupComm = SetupCommRow;
        return c;
    }();
    return column;
}

bool IsNativePortName(const std::string& portName) {
    return portName.compare(0, 3, "COM") == 0;
}

std::string NativeDevicePath(const std::string& portName) {
    return "\\\\.\\" + portName;
}

// A COM port's handle is no descriptor to wait on here: the ticks take the input.
std::intptr_t ReadableDescriptor(serial::HANDLE) {
    return -1;
}

// The latency of a Windows serial driver is its own setting (a USB converter's advanced
// port properties); nothing is asked of it from here.
bool RequestLowLatency(serial::HANDLE) {
    return false;
}

void RestoreLatency(serial::HANDLE) {}

}  // namespace platform
