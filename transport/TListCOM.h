// Worker thread that keeps the list of present serial ports current: one pass every 1131 ms
// through the platform's port source; a change of the list also asks for a USB rescan.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/ComPortSource.h"
#include "platform/PortEntries.h"

class TListCOM {
public:
    static constexpr int kPauseMs = 1131;
    static constexpr int kSettleMs = 673;

    // `usbHold` is the USB worker's Hold flag; `onError` must not block (it runs on this
    // worker's thread, outside the exclusion). Tests shorten the pauses.
    TListCOM(std::atomic<bool>& usbHold, std::unique_ptr<ComPortSource> source,
             std::function<void()> onError, int pauseMs = kPauseMs, int settleMs = kSettleMs);
    ~TListCOM();  // stops and joins the thread
    TListCOM(const TListCOM&) = delete;
    TListCOM& operator=(const TListCOM&) = delete;

    std::atomic<bool> Ready{true};
    std::atomic<bool> Reading{false};

    // Appends the entries to the caller's lists; waits while a pass runs (a pass and a copy
    // exclude each other through one mutex, so neither can see the other half done).
    int Copy(TextList& names, TextList& descs, TextList& ids);
    // Copy, places included, for a thread that must not stall on a pass (a pass may settle
    // for 673 ms): false, with nothing appended, while a pass holds the lists. `count` is
    // Copy's result.
    bool TryCopy(PortEntries& out, int& count);
    // The place of the listed port `name`; "" when it is not listed. Waits as Copy waits.
    std::string PlaceOf(const std::string& name);
    // Asks the loop to end and wakes it from its pause or its settling.
    void Terminate();
    // Number of passes done so far, each counted once its failure (if any) was reported (hosts
    // wait for the first one).
    int PassCount() const { return passes_.load(); }

private:
    void Execute();
    bool RunPass();         // true when the pass failed
    bool SleepFor(int ms);  // false when terminated meanwhile
    int CopyLocked(TextList& names, TextList& descs, TextList& ids);

    std::atomic<bool>& usbHold_;
    std::unique_ptr<ComPortSource> source_;
    std::function<void()> onError_;
    const int pauseMs_;
    const int settleMs_;

    std::mutex listMutex_;  // the whole pass excludes a copy
    PortEntries entries_;
    std::atomic<int> passes_{0};

    std::mutex sleepMutex_;
    std::condition_variable sleepCv_;
    bool terminated_ = false;
    std::thread thread_;
};
