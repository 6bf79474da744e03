// POSIX has no share modes: an exclusive, non-blocking flock stands in for "no sharing", so a
// file that another program holds locked is refused like a missing one.
#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace platform {

namespace {
bool ReadAll(int fd, Bytes& data) {
    // Only a regular file has a size to seek to: a directory reports a meaningless offset and
    // a FIFO or a terminal none at all.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const off_t size = lseek(fd, 0, SEEK_END);
    if (size < 0 || lseek(fd, 0, SEEK_SET) != 0) return false;
    Bytes content;
    try {
        content.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        // A file that shrinks under us is as unreadable as one that fails.
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    data = std::move(content);
    return true;
}
}  // namespace

bool ReadWholeFile(const std::string& fileName, Bytes& data) {
    // O_NONBLOCK keeps a FIFO from holding us at open().
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    bool ok = flock(fd, LOCK_EX | LOCK_NB) == 0 && ReadAll(fd, data);
    close(fd);
    return ok;
}

}  // namespace platform
