// POSIX has no share modes: a shared, non-blocking flock stands in for "read sharing". Readers
// (two stations, a command line beside the window) never exclude each other; a program that
// holds the file locked for writing (an exclusive lock) makes it refused like a missing one.
#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/SysError.h"

namespace platform {

namespace {
bool ReadAll(int fd, std::string& data, std::size_t maxSize, std::string& reason, bool& tooLarge) {
    // Only a regular file has a size to seek to: a directory reports a meaningless offset and
    // a FIFO or a terminal none at all.
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        reason = SystemErrorText(static_cast<std::uint32_t>(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
        return false;
    }
    const off_t size = lseek(fd, 0, SEEK_END);
    if (size < 0 || lseek(fd, 0, SEEK_SET) != 0) {
        reason = SystemErrorText(static_cast<std::uint32_t>(errno));
        return false;
    }
    if (static_cast<std::uint64_t>(size) > maxSize) {
        tooLarge = true;
        reason = "it holds more than " + std::to_string(maxSize) + " bytes";
        return false;
    }
    std::string content;
    try {
        content.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        reason = "there is not enough memory";
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        // A file that shrinks under us is as unreadable as one that fails.
        if (n <= 0) {
            reason = n < 0 ? SystemErrorText(static_cast<std::uint32_t>(errno))
                           : "it was shortened while being read";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    data = std::move(content);
    return true;
}
}  // namespace

bool ReadWholeFile(const std::string& fileName, std::string& data, std::size_t maxSize,
                   std::string& reason, bool& tooLarge) {
    reason.clear();
    tooLarge = false;
    // O_NONBLOCK keeps a FIFO from holding us at open().
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            reason = SystemErrorText(static_cast<std::uint32_t>(errno));
        return false;
    }
    bool ok = false;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0)
        reason = "another program is using it";
    else
        ok = ReadAll(fd, data, maxSize, reason, tooLarge);
    close(fd);
    return ok;
}

}  // namespace platform
