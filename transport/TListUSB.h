// Worker thread that lists FTDI USB devices through D2XX, only when asked (Hold cleared), so
// that an open device is never disturbed by enumeration.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/PortEntries.h"
#include "transport/D2xx.h"

class TListUSB {
public:
    static constexpr int kSleepMs = 1331;
    static constexpr serial::DWORD kMaxDevices = 1024;

    TListUSB();
    ~TListUSB();  // stops and joins the thread
    TListUSB(const TListUSB&) = delete;
    TListUSB& operator=(const TListUSB&) = delete;

    std::atomic<bool> Busy{false};     // inside the D2XX enumeration calls
    std::atomic<bool> Hold{false};     // false: scan once at the next wake-up
    std::atomic<bool> Ready{true};     // false while the lists are rebuilt
    std::atomic<bool> Reading{false};  // true while a copy runs

    // Appends the entries to the caller's lists; waits while a rebuild runs.
    int Copy(TextList& names, TextList& descs, TextList& ids);
    // Copy, places included, for a thread that must not stall: false, with nothing appended,
    // while a rebuild holds the lists. `count` is Copy's result.
    bool TryCopy(PortEntries& out, int& count);
    // The place of the listed device `name` ("USB:<serial>"); "" when it is not listed.
    std::string PlaceOf(const std::string& name);
    // Clears Hold and wakes the loop, so the scan runs now rather than up to 1331 ms later.
    void RequestScan();
    // Asks the loop to end and wakes it from its sleep.
    void Terminate();
    // Number of scans done so far, and of wake-ups (each looks at Hold once); tests wait on them.
    int ScanCount() const { return scans_.load(); }
    int WakeCount() const { return wakes_.load(); }

private:
    void Execute();
    void Scan();
    int CopyLocked(TextList& names, TextList& descs, TextList& ids);

    std::mutex listMutex_;  // a rebuild and a copy exclude each other
    PortEntries entries_;
    void* lib_ = nullptr;
    std::vector<d2xx::FT_DEVICE_LIST_INFO_NODE> records_;
    serial::DWORD deviceCount_ = 0;
    std::atomic<int> scans_{0};
    std::atomic<int> wakes_{0};

    std::mutex sleepMutex_;
    std::condition_variable sleepCv_;
    bool terminated_ = false;
    std::thread thread_;
};
