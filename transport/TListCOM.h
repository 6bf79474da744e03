// Worker thread that keeps the list of present serial ports current: one pass every 1131 ms
// through the platform's port source; a change of the list also asks for a USB rescan.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "transport/ComPortSource.h"
#include "transport/PortEntries.h"

class TListCOM {
public:
    static constexpr int kPauseMs = 1131;
    static constexpr int kSettleMs = 673;

    // `usbHold` is the USB worker's Hold flag; `onError` must not block (it runs on this
    // worker's thread).
    TListCOM(std::atomic<bool>& usbHold, std::unique_ptr<ComPortSource> source,
             std::function<void()> onError);
    ~TListCOM();  // stops and joins the thread
    TListCOM(const TListCOM&) = delete;
    TListCOM& operator=(const TListCOM&) = delete;

    std::atomic<bool> Ready{true};
    std::atomic<bool> Reading{false};

    // Appends the entries to the caller's lists; waits while a pass runs.
    int Copy(TextList& names, TextList& descs, TextList& ids);
    void Terminate();
    int PassCount() const { return passes_.load(); }

private:
    void Execute();
    bool SleepFor(int ms);  // false when terminated meanwhile

    std::atomic<bool>& usbHold_;
    std::unique_ptr<ComPortSource> source_;
    std::function<void()> onError_;

    std::mutex listMutex_;  // the whole pass excludes a copy
    PortEntries entries_;
    std::atomic<int> passes_{0};

    std::mutex sleepMutex_;
    std::condition_variable sleepCv_;
    bool terminated_ = false;
    std::thread thread_;
};
