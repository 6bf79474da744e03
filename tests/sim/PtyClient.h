// The host's end of a pseudo-terminal in tests: opens the slave raw, sets a speed through
// termios2 (125000 has no B-constant), writes, and reads until a condition holds.
#pragma once

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "base/Bytes.h"

class PtyClient {
public:
    explicit PtyClient(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~PtyClient() {
        if (fd_ >= 0) close(fd_);
    }
    bool IsOpen() const { return fd_ >= 0; }

    bool SetSpeed(unsigned baud) {
        termios2 t{};
        if (ioctl(fd_, TCGETS2, &t) != 0) return false;
        t.c_iflag = 0;
        t.c_oflag = 0;
        t.c_lflag = 0;
        t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB);
        t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CS8 | CREAD | CLOCAL;
        t.c_ispeed = t.c_ospeed = baud;
        return ioctl(fd_, TCSETS2, &t) == 0;
    }
    unsigned Speed() const {
        termios2 t{};
        return ioctl(fd_, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
    }
    bool Write(const Bytes& data) {
        return ::write(fd_, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    }
    // Reads until done(received) holds or limitMs pass; returns everything received.
    Bytes ReadUntil(const std::function<bool(const Bytes&)>& done, int limitMs) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done(got) && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            poll(&p, 1, 10);
            char buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    Bytes ReadFor(int ms) {
        return ReadUntil([](const Bytes&) { return false; }, ms);
    }

private:
    int fd_ = -1;
};
