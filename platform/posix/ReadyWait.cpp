#include "platform/ReadyWait.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

ReadyWait::ReadyWait() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = fds[0];
        wakeWrite_ = fds[1];
    }
}

ReadyWait::~ReadyWait() {
    if (wakeRead_ >= 0) close(static_cast<int>(wakeRead_));
    if (wakeWrite_ >= 0) close(static_cast<int>(wakeWrite_));
}

bool ReadyWait::WatchesDescriptors() {
    return true;
}

void ReadyWait::Wake() {
    if (wakeWrite_ < 0) return;
    const char byte = 1;
    // A full pipe already holds a wake-up: nothing is lost when this write fails.
    const ssize_t n = write(static_cast<int>(wakeWrite_), &byte, 1);
    (void)n;
}

void ReadyWait::Wait(const std::vector<std::intptr_t>& descriptors, int timeoutMs,
                     std::vector<std::intptr_t>& ready) {
    ready.clear();
    std::vector<pollfd> fds;
    fds.reserve(descriptors.size() + 1);
    fds.push_back({static_cast<int>(wakeRead_), POLLIN, 0});
    for (std::intptr_t d : descriptors)
        fds.push_back({static_cast<int>(d), POLLIN, 0});
    if (poll(fds.data(), fds.size(), timeoutMs) <= 0) return;
    if (fds[0].revents != 0) {
        char drain[64];
        while (read(static_cast<int>(wakeRead_), drain, sizeof drain) > 0) {
        }
    }
    for (std::size_t i = 1; i < fds.size(); ++i)
        if (fds[i].revents != 0) ready.push_back(descriptors[i - 1]);
}

}  // namespace platform
