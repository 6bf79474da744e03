// flock: held per open file description, so it also tells two stores in one process apart,
// and the kernel drops it with the last descriptor when the process ends.
#include "platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SysError.h"

namespace platform {

namespace {
int Lock(int fd, int operation) {
    int rc = 0;
    while ((rc = flock(fd, operation)) != 0 && errno == EINTR) {
    }
    return rc;
}
}  // namespace

std::unique_ptr<RunLock> RunLock::Take(const std::string& path, bool& alone, std::string& error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "Cannot make " + path + ": " + SystemErrorText(static_cast<std::uint32_t>(errno));
        return nullptr;
    }
    alone = Lock(fd, LOCK_EX | LOCK_NB) == 0;
    // Waits only while a process that was alone clears up: it shares its lock right after.
    if (!alone && (errno != EWOULDBLOCK || Lock(fd, LOCK_SH) != 0)) {
        error = "Cannot lock " + path + ": " + SystemErrorText(static_cast<std::uint32_t>(errno));
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<RunLock>(new RunLock(fd));
}

RunLock::~RunLock() { close(static_cast<int>(handle_)); }

void RunLock::Share() {
    // Not atomic: another process may take the lock alone in between, and finds nothing of
    // ours to clear up, since we have not started yet.
    Lock(static_cast<int>(handle_), LOCK_SH);
}

}  // namespace platform
