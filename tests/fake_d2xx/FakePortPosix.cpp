// The fake devices here: pseudo-terminal slaves, opened raw and non-blocking.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tests/fake_d2xx/FakePort.h"

namespace fakeport {

Port Open(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

void Close(Port port) {
    close(static_cast<int>(port));
}

long Read(Port port, void* buffer, std::size_t size) {
    const ssize_t n = read(static_cast<int>(port), buffer, size);
    return n < 0 ? (errno == EAGAIN ? 0 : -1) : n;
}

long Write(Port port, const void* data, std::size_t size) {
    const ssize_t n = write(static_cast<int>(port), data, size);
    return n < 0 ? (errno == EAGAIN ? 0 : -1) : n;
}

std::uint32_t InQueue(Port port) {
    int n = 0;
    ioctl(static_cast<int>(port), FIONREAD, &n);
    return static_cast<std::uint32_t>(n);
}

std::uint32_t OutQueue(Port port) {
    int n = 0;
    ioctl(static_cast<int>(port), TIOCOUTQ, &n);
    return static_cast<std::uint32_t>(n);
}

void Purge(Port port, bool input, bool output) {
    if (input) tcflush(static_cast<int>(port), TCIFLUSH);
    if (output) tcflush(static_cast<int>(port), TCOFLUSH);
}

void AppendLine(const std::string& file, const std::string& line) {
    const int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t n = write(fd, text.data(), text.size());
    close(fd);
}

}  // namespace fakeport
