// The ports of the system, listed once for the whole process: one COM worker and one USB
// worker, however many serial devices read their lists, so that N devices do not scan sysfs
// and D2XX 2N times a pass. A device that opens holds the USB scans off; the last one to close
// lets the worker rescan once, as a single device always has.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/ComPortSource.h"
#include "platform/PortEntries.h"

class TListCOM;
class TListUSB;

class PortLists {
public:
    // Without a source the platform's own is used. Both workers start at once; the COM
    // worker looks every `comPauseMs` (a station that waits for adapters looks more often).
    explicit PortLists(std::unique_ptr<ComPortSource> comSource = nullptr, int comPauseMs = 0);
    ~PortLists();  // stops and joins both workers
    PortLists(const PortLists&) = delete;
    PortLists& operator=(const PortLists&) = delete;

    // The process's own lists over the platform's source: made at the first call, kept while
    // any device holds them.
    static std::shared_ptr<PortLists> Shared();

    // A device opened or closed a port.
    void PortOpened();
    void PortClosed();
    // The USB worker is inside its D2XX enumeration calls.
    bool UsbBusy() const;
    void BeginRescanUSB();
    void EndRescanUSB();

    int GetCOMList(TextList& names, TextList& descs, TextList& ids);
    int GetUSBList(TextList& names, TextList& descs, TextList& ids);
    // Both lists, places included, or false (and `out` empty) while either worker holds its
    // list.
    bool TryGetPortList(PortEntries& out);
    // Where the listed port `name` is plugged in (platform/PortPlace.h): the same text after
    // a replug, whatever name the port gets then. "" when the port is not listed or its place
    // is unknown. Waits while a worker holds its list, as GetCOMList does.
    std::string PlaceOf(const std::string& name);
    // The COM worker failed a pass since the last call: whoever asks first tells the user.
    bool TakeComListError() { return comListError_.exchange(false); }

    TListUSB& UsbWorker() { return *usb_; }
    TListCOM& ComWorker() { return *com_; }

private:
    std::unique_ptr<TListUSB> usb_;
    std::unique_ptr<TListCOM> com_;
    std::mutex openMutex_;
    int openPorts_ = 0;
    // Set by the COM worker's thread, shown on an owner's thread at the next list copy.
    std::atomic<bool> comListError_{false};
};
