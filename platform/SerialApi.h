// The serial function table: eleven Win32-style serial functions, one column per backend
// (0: the platform's own serial ports, 1: FTDI's D2XX library). Our own declarations, laid out
// as the Windows API and the D2XX Win32-style functions expect them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace serial {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using HANDLE = void*;

inline HANDLE InvalidHandle() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_NO_BUFFERING = 0x20000000u;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 0x01;

// EscapeCommFunction codes.
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;

// PurgeComm flags.
constexpr DWORD PURGE_TXCLEAR = 0x4;
constexpr DWORD PURGE_RXCLEAR = 0x8;

// DCB Parity codes.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;

// DCB StopBits codes.
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;

// The Windows device control block, 28 bytes.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB must keep the Windows layout");
static_assert(offsetof(DCB, ByteSize) == 18 && offsetof(DCB, StopBits) == 20);

// The status record of ClearCommError: flags, then the input and output queue counts.
struct COMSTAT {
    DWORD Flags;
    DWORD cbInQue;
    DWORD cbOutQue;
};
static_assert(sizeof(COMSTAT) == 12);

using CreateFileFn = HANDLE (*)(const char* name, DWORD access, DWORD share, void* security,
                                DWORD creation, DWORD flags, HANDLE templateFile);
using CloseHandleFn = BOOL (*)(HANDLE h);
using ReadFileFn = BOOL (*)(HANDLE h, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
using WriteFileFn = BOOL (*)(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written,
                             void* overlapped);
// Column 0 ignores the handle and gives the thread's last error; D2XX asks the device.
using GetLastErrorFn = DWORD (*)(HANDLE h);
using ClearCommErrorFn = BOOL (*)(HANDLE h, DWORD* errors, COMSTAT* status);
using EscapeCommFunctionFn = BOOL (*)(HANDLE h, DWORD func);
using PurgeCommFn = BOOL (*)(HANDLE h, DWORD flags);
using SetCommStateFn = BOOL (*)(HANDLE h, DCB* dcb);
using GetCommStateFn = BOOL (*)(HANDLE h, DCB* dcb);
using SetupCommFn = BOOL (*)(HANDLE h, DWORD inQueue, DWORD outQueue);

// One column of the table; members in row order.
struct Column {
    CreateFileFn CreateFile = nullptr;
    CloseHandleFn CloseHandle = nullptr;
    ReadFileFn ReadFile = nullptr;
    WriteFileFn WriteFile = nullptr;
    GetLastErrorFn GetLastError = nullptr;
    ClearCommErrorFn ClearCommError = nullptr;
    EscapeCommFunctionFn EscapeCommFunction = nullptr;
    PurgeCommFn PurgeComm = nullptr;
    SetCommStateFn SetCommState = nullptr;
    GetCommStateFn GetCommState = nullptr;
    SetupCommFn SetupComm = nullptr;
};

constexpr int kRowCount = 11;
extern const std::array<const char*, kRowCount> kRowNames;

// Fills a column row by row from `lookup(rowName)`; false (and the column cleared) when any
// row is missing.
bool BindColumn(Column& column, const std::function<void*(const char* rowName)>& lookup);

// The process-wide table. Column 0 is the platform's (tests may swap in their own, restoring
// it afterwards); column 1 is bound when the D2XX library is first loaded.
Column& TableColumn(int kind);

}  // namespace serial
