// Column 0 of the serial table on a POSIX system: the eleven functions keep the meaning the
// Win32 serial API gives them, over a terminal device opened by its path under /dev/.
//
// Handles: a descriptor fd travels as the handle fd + 1, so that the invalid handle (-1) can
// never name a descriptor and a null handle names none (fd -1) rather than standard input.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/SerialPort.h"
#include "platform/posix/DcbTermios.h"

namespace platform {

namespace {
using serial::BOOL;
using serial::DWORD;
using serial::HANDLE;

// How long a write waits for a line that takes nothing before it gives up; a serial line
// that is merely slow keeps taking bytes and never reaches it.
constexpr int kWriteStallMs = 2000;

// The Win32 API keeps the last error per thread; so do we.
thread_local DWORD lastError = 0;

BOOL Failed() {
    lastError = static_cast<DWORD>(errno);
    return 0;
}

BOOL Failed(int code) {
    errno = code;
    return Failed();
}

int Fd(HANDLE h) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(h) - 1);
}

HANDLE Handle(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1);
}

// A line without modem control (a pseudo-terminal) refuses these requests; it has no lines to
// drive, which is not a failure of the call.
BOOL ModemLines(int fd, unsigned long request, int lines) {
    if (ioctl(fd, request, &lines) == 0 || errno == ENOTTY || errno == EINVAL) return 1;
    return Failed();
}

// Drives the lines the DCB puts under our control; handshake modes belong to the driver.
BOOL ApplyModemControl(int fd, const serial::DCB& dcb) {
    BOOL ok = 1;
    if (dcb.fRtsControl == serial::RTS_CONTROL_ENABLE) ok &= ModemLines(fd, TIOCMBIS, TIOCM_RTS);
    if (dcb.fRtsControl == serial::RTS_CONTROL_DISABLE) ok &= ModemLines(fd, TIOCMBIC, TIOCM_RTS);
    if (dcb.fDtrControl == serial::DTR_CONTROL_ENABLE) ok &= ModemLines(fd, TIOCMBIS, TIOCM_DTR);
    if (dcb.fDtrControl == serial::DTR_CONTROL_DISABLE) ok &= ModemLines(fd, TIOCMBIC, TIOCM_DTR);
    return ok;
}

bool SetRaw(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    MakeRaw(t);
    return ioctl(fd, TCSETS2, &t) == 0;
}

// A COM port is opened by one program at a time. TIOCEXCL refuses further opens of the
// terminal, except by root; the lock on the open file refuses them to root too. The lock is
// taken first: TIOCEXCL is the terminal's, and a refused opener must not touch it.
HANDLE OpenExclusiveRaw(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        Failed(errno == EWOULDBLOCK ? EBUSY : errno);
        close(fd);
        return serial::InvalidHandle();
    }
    if (ioctl(fd, TIOCEXCL) != 0 || !SetRaw(fd)) {
        Failed();
        ioctl(fd, TIOCNXCL);
        close(fd);
        return serial::InvalidHandle();
    }
    return Handle(fd);
}

HANDLE CreateFile(const char* name, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
    const int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Failed();
        return serial::InvalidHandle();
    }
    return OpenExclusiveRaw(fd);
}

BOOL CloseHandle(HANDLE h) {
    const int fd = Fd(h);
    // A pseudo-terminal outlives our descriptor while its master is held: left exclusive, it
    // would refuse the next open of the port.
    ioctl(fd, TIOCNXCL);
    return close(fd) == 0 ? 1 : Failed();
}

BOOL ReadFile(HANDLE h, void* buffer, DWORD toRead, DWORD* read, void*) {
    *read = 0;
    if (toRead == 0) return 1;
    const ssize_t n = ::read(Fd(h), buffer, toRead);
    if (n >= 0) {
        *read = static_cast<DWORD>(n);
        return 1;
    }
    return errno == EAGAIN || errno == EINTR ? 1 : Failed();
}

// Returns when the driver has taken every byte, as the Win32 call without time-outs does, or
// reports a line that took nothing for kWriteStallMs: what it took so far if anything, else
// a failure with EAGAIN.
BOOL WriteFile(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written, void*) {
    using Clock = std::chrono::steady_clock;
    const int fd = Fd(h);
    const auto* bytes = static_cast<const char*>(buffer);
    *written = 0;
    const auto stallLimit = std::chrono::milliseconds(kWriteStallMs);
    auto lastProgress = Clock::now();
    while (*written < toWrite) {
        const ssize_t n = ::write(fd, bytes + *written, toWrite - *written);
        if (n > 0) {
            *written += static_cast<DWORD>(n);
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return Failed();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            lastProgress + stallLimit - Clock::now());
        if (left.count() <= 0) return *written > 0 ? 1 : Failed(EAGAIN);
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return Failed();
    }
    return 1;
}

DWORD GetLastError(HANDLE) {
    return lastError;
}

BOOL ClearCommError(HANDLE h, DWORD* errors, serial::COMSTAT* status) {
    const int fd = Fd(h);
    int in = 0;
    int out = 0;
    if (ioctl(fd, FIONREAD, &in) != 0 || ioctl(fd, TIOCOUTQ, &out) != 0) return Failed();
    // A line hung up (a USB adapter unplugged, the far end of a pseudo-terminal closed) still
    // answers these requests; the status query fails once what it left has been read, as it
    // does on Windows for a vanished device.
    pollfd p{fd, POLLIN, 0};
    if (in == 0 && poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return Failed(EIO);
    if (errors) *errors = 0;
    if (status) *status = serial::COMSTAT{0, static_cast<DWORD>(in), static_cast<DWORD>(out)};
    return 1;
}

BOOL EscapeCommFunction(HANDLE h, DWORD func) {
    switch (func) {
        case serial::SETRTS:
            return ModemLines(Fd(h), TIOCMBIS, TIOCM_RTS);
        case serial::CLRRTS:
            return ModemLines(Fd(h), TIOCMBIC, TIOCM_RTS);
        case serial::SETDTR:
            return ModemLines(Fd(h), TIOCMBIS, TIOCM_DTR);
        case serial::CLRDTR:
            return ModemLines(Fd(h), TIOCMBIC, TIOCM_DTR);
        default:
            return Failed(EINVAL);
    }
}

BOOL PurgeComm(HANDLE h, DWORD flags) {
    const bool rx = (flags & serial::PURGE_RXCLEAR) != 0;
    const bool tx = (flags & serial::PURGE_TXCLEAR) != 0;
    if (!rx && !tx) return 1;
    const int queue = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
    return ioctl(Fd(h), TCFLSH, queue) == 0 ? 1 : Failed();
}

BOOL SetCommState(HANDLE h, serial::DCB* dcb) {
    const int fd = Fd(h);
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return Failed();
    if (!DcbToTermios(*dcb, t)) return Failed(EINVAL);
    if (ioctl(fd, TCSETS2, &t) != 0) return Failed();
    return ApplyModemControl(fd, *dcb);
}

BOOL GetCommState(HANDLE h, serial::DCB* dcb) {
    const int fd = Fd(h);
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return Failed();
    TermiosToDcb(t, *dcb);
    // A line without modem control reports both lines on, as a port that was never told
    // otherwise does.
    int lines = TIOCM_RTS | TIOCM_DTR;
    if (ioctl(fd, TIOCMGET, &lines) != 0) lines = TIOCM_RTS | TIOCM_DTR;
    dcb->fRtsControl = dcb->fOutxCtsFlow     ? kRtsControlHandshake
                       : (lines & TIOCM_RTS) ? serial::RTS_CONTROL_ENABLE
                                             : serial::RTS_CONTROL_DISABLE;
    dcb->fDtrControl =
        (lines & TIOCM_DTR) ? serial::DTR_CONTROL_ENABLE : serial::DTR_CONTROL_DISABLE;
    return 1;
}

// The kernel's queues have fixed sizes.
BOOL SetupComm(HANDLE, DWORD, DWORD) {
    return 1;
}
}  // namespace

const serial::Column& NativeSerialColumn() {
    static const serial::Column column = [] {
        serial::Column c;
        c.CreateFile = CreateFile;
        c.CloseHandle = CloseHandle;
        c.ReadFile = ReadFile;
        c.WriteFile = WriteFile;
        c.GetLastError = GetLastError;
        c.ClearCommError = ClearCommError;
        c.EscapeCommFunction = EscapeCommFunction;
        c.PurgeComm = PurgeComm;
        c.SetCommState = SetCommState;
        c.GetCommState = GetCommState;
        c.SetupComm = SetupComm;
        return c;
    }();
    return column;
}

// Any path that names a terminal device is a serial port: udev's /dev/serial/by-id/ links,
// and links or device nodes elsewhere alike.
bool IsNativePortName(const std::string& portName) {
    if (portName.rfind("/dev/", 0) == 0) return true;
    struct stat st {};
    return !portName.empty() && portName[0] == '/' && stat(portName.c_str(), &st) == 0 &&
           S_ISCHR(st.st_mode);
}

std::string NativeDevicePath(const std::string& portName) {
    return portName;
}

std::intptr_t ReadableDescriptor(serial::HANDLE h) {
    return Fd(h);
}

// Drivers of real UARTs and of USB converters (ftdi_sio sets its latency timer to 1 ms for
// it) know the flag; a pseudo-terminal refuses the request, which changes nothing.
bool RequestLowLatency(serial::HANDLE h) {
    serial_struct line{};
    if (ioctl(Fd(h), TIOCGSERIAL, &line) != 0 || (line.flags & ASYNC_LOW_LATENCY) != 0)
        return false;
    line.flags |= ASYNC_LOW_LATENCY;
    return ioctl(Fd(h), TIOCSSERIAL, &line) == 0;
}

void RestoreLatency(serial::HANDLE h) {
    serial_struct line{};
    if (ioctl(Fd(h), TIOCGSERIAL, &line) != 0) return;
    line.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(Fd(h), TIOCSSERIAL, &line);
}

}  // namespace platform
