// Who else works on a file right now. Every process that works on it holds a lock on a
// companion file while it runs, and the system lets the lock go when the process ends, however
// it ends (kill -9, a crash, a pulled power cord): a lock that nobody else holds means that
// nobody else works on the file, and what they left half done was left by the dead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class RunLock {
public:
    // Locks `path` (made when missing) for this process. When no other process holds it,
    // `alone` is set and the lock is held alone until Share(), so that the caller may clear up
    // after the dead before anybody else starts; otherwise the lock is shared at once. Null with
    // `error` when the file cannot be made or locked.
    static std::unique_ptr<RunLock> Take(const std::string& path, bool& alone, std::string& error);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Lets others that start from now on share the lock.
    void Share();

private:
    explicit RunLock(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

}  // namespace platform
