// What the USB tests share: a pseudo-terminal that carries one fake device's bytes, the fake
// library's call log, a message recorder, a COM-port source the test steers, and a wait with a
// generous limit for the enumeration worker (which wakes only every 1331 ms).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/MessageSink.h"
#include "platform/ComPortSource.h"
#include "tests/support/RecordingSink.h"
#include "transport/PortLists.h"

namespace usbrig {

// Generous: a worker wake-up is 1331 ms and the machine is shared.
constexpr int kWaitLimitMs = 20000;

// Polls pred() until it holds or limitMs pass; true when it held.
bool WaitFor(const std::function<bool()>& pred, int limitMs = kWaitLimitMs);

// The far end of one fake device: the test holds the master, the fake library opens Path().
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Path() const { return path_; }
    void Send(const Bytes& data);
    // Collects bytes until `count` have arrived or the limit passes.
    Bytes Receive(std::size_t count, int limitMs = kWaitLimitMs);
    // Hangs up: the device's side then fails on writes.
    void Close();

private:
    int master_ = -1;
    std::string path_;
};

// The file the fake library appends one line per call to (FAKE_D2XX_LOG).
class CallLog {
public:
    // A fresh, empty file, named in the environment. Set it up before, and destroy it after,
    // the objects whose threads call the library: the environment is not for sharing.
    CallLog();
    ~CallLog();
    std::vector<std::string> Lines() const;
    // Lines that start with `prefix`.
    std::vector<std::string> Matching(const std::string& prefix) const;
    int Count(const std::string& prefix) const { return static_cast<int>(Matching(prefix).size()); }

private:
    std::string path_;
};

// A COM-port source with no ports that reports a rebuilt list when the test asks.
class SteeredComSource : public ComPortSource {
public:
    explicit SteeredComSource(std::atomic<int>& rebuilds) : rebuilds_(rebuilds) {}
    Outcome Pass(PortEntries&) override {
        if (rebuilds_.load() == 0) return Outcome::Unchanged;
        rebuilds_.fetch_sub(1);
        return Outcome::Rebuilt;
    }

private:
    std::atomic<int>& rebuilds_;
};

// Sets a fake library setting for this process through the loaded library's own control
// entry (safe while the workers run, unlike setenv). Loads the library by name if needed and
// keeps it loaded.
void FakeSetting(const char* name, const char* value);

// Whether a library of that file name is loaded in this process now.
bool IsResident(const char* fileName);
// Whether it can be loaded (it is given back at once).
bool Loadable(const char* fileName);

// Sets a variable of this process's environment, before any worker runs.
void SetEnv(const char* name, const char* value);

}  // namespace usbrig
