#include "transport/PortLists.h"

#include "transport/TListCOM.h"
#include "transport/TListUSB.h"

PortLists::PortLists(std::unique_ptr<ComPortSource> comSource, int comPauseMs) {
    // The COM worker needs the USB worker's Hold flag, so the USB worker comes first.
    usb_ = std::make_unique<TListUSB>();
    com_ = std::make_unique<TListCOM>(
        usb_->Hold, comSource ? std::move(comSource) : MakePlatformComPortSource(),
        [this] { comListError_.store(true); }, comPauseMs > 0 ? comPauseMs : TListCOM::kPauseMs);
}

PortLists::~PortLists() {
    usb_->Terminate();
    com_->Terminate();
    com_.reset();
    usb_.reset();
}

std::shared_ptr<PortLists> PortLists::Shared() {
    static std::mutex mutex;
    static std::weak_ptr<PortLists> shared;
    std::lock_guard lock(mutex);
    std::shared_ptr<PortLists> lists = shared.lock();
    if (!lists) {
        lists = std::make_shared<PortLists>();
        shared = lists;
    }
    return lists;
}

void PortLists::PortOpened() {
    std::lock_guard lock(openMutex_);
    ++openPorts_;
    usb_->Hold.store(true);
}

void PortLists::PortClosed() {
    std::lock_guard lock(openMutex_);
    if (openPorts_ > 0) --openPorts_;
    if (openPorts_ == 0) usb_->Hold.store(false);
}

bool PortLists::UsbBusy() const {
    return usb_->Busy.load();
}

void PortLists::BeginRescanUSB() {
    usb_->RequestScan();
}

void PortLists::EndRescanUSB() {
    usb_->Hold.store(true);
}

int PortLists::GetCOMList(TextList& names, TextList& descs, TextList& ids) {
    return com_->Copy(names, descs, ids);
}

int PortLists::GetUSBList(TextList& names, TextList& descs, TextList& ids) {
    return usb_->Copy(names, descs, ids);
}

bool PortLists::TryGetPortList(PortEntries& out) {
    out.Clear();
    PortEntries fresh;
    int count = 0;
    if (!com_->TryCopy(fresh, count) || !usb_->TryCopy(fresh, count)) return false;
    out = std::move(fresh);
    return true;
}

std::string PortLists::PlaceOf(const std::string& name) {
    // A COM port and a USB device never share a name ("USB:" leads every USB one).
    const std::string place = com_->PlaceOf(name);
    return place.empty() ? usb_->PlaceOf(name) : place;
}
