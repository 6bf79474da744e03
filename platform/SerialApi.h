// The serial function table: eleven Win32-style serial functions, one column per backend
// (0: the platform's own serial ports, 1: FTDI's D2XX library). Our own declarations, laid out
// as the Windows API and the D2XX Win32-style functions expect them. Every serial device holds
// its own two columns, so devices on real ports and devices on fakes live side by side.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>

namespace serial {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = int;
using HANDLE = void*;

inline HANDLE InvalidHandle() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

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

// One column of the table; members in row order. A row is any callable of the row's
// signature: a system function, a library's, or one that reaches an object (see Backend).
struct Column {
    std::function<std::remove_pointer_t<CreateFileFn>> CreateFile;
    std::function<std::remove_pointer_t<CloseHandleFn>> CloseHandle;
    std::function<std::remove_pointer_t<ReadFileFn>> ReadFile;
    std::function<std::remove_pointer_t<WriteFileFn>> WriteFile;
    std::function<std::remove_pointer_t<GetLastErrorFn>> GetLastError;
    std::function<std::remove_pointer_t<ClearCommErrorFn>> ClearCommError;
    std::function<std::remove_pointer_t<EscapeCommFunctionFn>> EscapeCommFunction;
    std::function<std::remove_pointer_t<PurgeCommFn>> PurgeComm;
    std::function<std::remove_pointer_t<SetCommStateFn>> SetCommState;
    std::function<std::remove_pointer_t<GetCommStateFn>> GetCommState;
    std::function<std::remove_pointer_t<SetupCommFn>> SetupComm;
};

constexpr int kRowCount = 11;
extern const std::array<const char*, kRowCount> kRowNames;

// Fills a column row by row from `lookup(rowName)`; false (and the column cleared) when any
// row is missing.
bool BindColumn(Column& column, const std::function<void*(const char* rowName)>& lookup);

// A backend written as an object: the simulator's in-memory line, the tests' fake port. Its
// column calls the object while the object lives and fails every call once it has gone, so a
// device may outlive the line it was handed; each object is reached through its own column,
// never through a static, so any number of them serve devices at once.
class Backend {
public:
    Backend() : alive_(std::make_shared<Backend*>(this)) {}
    virtual ~Backend() = default;
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    // The eleven rows, with the meaning the Win32 serial API gives them.
    virtual HANDLE Open(const char* name, DWORD access, DWORD share, void* security, DWORD creation,
                        DWORD flags, HANDLE templateFile) = 0;
    virtual BOOL Close(HANDLE h) = 0;
    virtual BOOL Read(HANDLE h, void* buffer, DWORD toRead, DWORD* read) = 0;
    virtual BOOL Write(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written) = 0;
    virtual DWORD LastError(HANDLE h) = 0;
    virtual BOOL Status(HANDLE h, DWORD* errors, COMSTAT* status) = 0;
    virtual BOOL Escape(HANDLE h, DWORD func) = 0;
    virtual BOOL Purge(HANDLE h, DWORD flags) = 0;
    virtual BOOL SetState(HANDLE h, DCB* dcb) = 0;
    virtual BOOL GetState(HANDLE h, DCB* dcb) = 0;
    virtual BOOL Setup(HANDLE h, DWORD inQueue, DWORD outQueue) = 0;

    Column AsColumn();

private:
    std::shared_ptr<Backend*> alive_;
};

}  // namespace serial
