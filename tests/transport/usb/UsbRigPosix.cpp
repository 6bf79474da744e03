// The rig's platform part here: pseudo-terminals, a temporary log file and dlopen.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "tests/transport/usb/UsbRig.h"

namespace usbrig {

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    path_ = ptsname(master_);
}

Pty::~Pty() {
    Close();
}

void Pty::Close() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

void Pty::Send(const Bytes& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(master_, data.data() + done, data.size() - done);
        if (n < 0) throw std::runtime_error("pty write failed");
        done += static_cast<std::size_t>(n);
    }
}

Bytes Pty::Receive(std::size_t count, int limitMs) {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buf[256];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

CallLog::CallLog() {
    char name[] = "/tmp/fake_d2xx_log_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("no log file");
    close(fd);
    path_ = name;
    setenv("FAKE_D2XX_LOG", path_.c_str(), 1);
}

CallLog::~CallLog() {
    unsetenv("FAKE_D2XX_LOG");
    unlink(path_.c_str());
}

void FakeSetting(const char* name, const char* value) {
    static void* lib = dlopen("libftd2xx.so", RTLD_NOW);
    if (lib == nullptr) throw std::runtime_error("the fake D2XX library is not on the path");
    using OverrideFn = void (*)(const char*, const char*);
    auto set = reinterpret_cast<OverrideFn>(dlsym(lib, "FakeD2xx_Override"));
    if (set == nullptr) throw std::runtime_error("not the fake D2XX library");
    set(name, value);
}

bool IsResident(const char* fileName) {
    void* lib = dlopen(fileName, RTLD_NOW | RTLD_NOLOAD);
    if (lib != nullptr) dlclose(lib);
    return lib != nullptr;
}

void SetEnv(const char* name, const char* value) {
    setenv(name, value, 1);
}

bool Loadable(const char* fileName) {
    void* lib = dlopen(fileName, RTLD_NOW);
    if (lib != nullptr) dlclose(lib);
    return lib != nullptr;
}

}  // namespace usbrig
