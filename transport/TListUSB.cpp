#include "transport/TListUSB.h"

#include <chrono>

#include "platform/PortPlace.h"

TListUSB::TListUSB() : thread_([this] { Execute(); }) {}

TListUSB::~TListUSB() {
    Terminate();
    if (thread_.joinable()) thread_.join();
    d2xx::CloseLibrary(lib_);
}

void TListUSB::Terminate() {
    std::lock_guard lock(sleepMutex_);
    terminated_ = true;
    sleepCv_.notify_all();
}

void TListUSB::RequestScan() {
    Hold.store(false);
    // Under the sleep mutex: the loop is then either before its look at Hold or waiting.
    std::lock_guard lock(sleepMutex_);
    sleepCv_.notify_all();
}

void TListUSB::Execute() {
    std::unique_lock sleepLock(sleepMutex_);
    while (!terminated_) {
        wakes_.fetch_add(1);
        // Hold is taken before the scan, not after: a rescan asked for while this one runs
        // clears it again and is served by the next one.
        if (Hold.exchange(true) == false) {
            sleepLock.unlock();
            Scan();
            scans_.fetch_add(1);
            sleepLock.lock();
        }
        // Hold cleared by someone who does not wake us (the COM worker) waits for the timeout.
        sleepCv_.wait_for(sleepLock, std::chrono::milliseconds(kSleepMs),
                          [this] { return terminated_ || !Hold.load(); });
    }
}

void TListUSB::Scan() {
    if (lib_ == nullptr) lib_ = d2xx::OpenLibrary();
    if (lib_ == nullptr) return;  // no library: the lists stay as they are

    auto create = reinterpret_cast<d2xx::FT_CreateDeviceInfoListFn>(
        d2xx::Symbol(lib_, "FT_CreateDeviceInfoList"));
    auto get =
        reinterpret_cast<d2xx::FT_GetDeviceInfoListFn>(d2xx::Symbol(lib_, "FT_GetDeviceInfoList"));
    deviceCount_ = 0;
    if (create == nullptr || get == nullptr) {
        d2xx::CloseLibrary(lib_);
        lib_ = nullptr;
    } else {
        Busy.store(true);
        // A count no bus can hold is a faulty library: listing it would only exhaust memory.
        if (create(&deviceCount_) == d2xx::FT_OK && deviceCount_ > 0 &&
            deviceCount_ <= kMaxDevices) {
            records_.assign(deviceCount_, d2xx::FT_DEVICE_LIST_INFO_NODE{});
            serial::DWORD filled = deviceCount_;
            if (get(records_.data(), &filled) != d2xx::FT_OK)
                deviceCount_ = 0;
            else if (filled < deviceCount_)
                deviceCount_ = filled;  // never read records the library did not fill
        } else {
            deviceCount_ = 0;
        }
        Busy.store(false);
    }

    // The places are looked up before the lists are taken: a copy never waits on sysfs.
    PortEntries fresh;
    for (serial::DWORD i = 0; i < deviceCount_; ++i) {
        const auto& r = records_[i];
        const std::string serial = d2xx::FieldText(r.SerialNumber, sizeof r.SerialNumber);
        // The device-ID column stays empty: the window offers properties only for COM ports.
        fresh.Add("USB:" + serial, d2xx::FieldText(r.Description, sizeof r.Description), "",
                  platform::UsbLocationPlace(r.LocId, serial));
    }
    std::lock_guard lock(listMutex_);
    Ready.store(false);
    entries_ = std::move(fresh);
    Ready.store(true);
}

int TListUSB::Copy(TextList& names, TextList& descs, TextList& ids) {
    std::lock_guard lock(listMutex_);
    return CopyLocked(names, descs, ids);
}

bool TListUSB::TryCopy(PortEntries& out, int& count) {
    std::unique_lock lock(listMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    Reading.store(true);
    count = entries_.AppendTo(out);
    Reading.store(false);
    return true;
}

int TListUSB::CopyLocked(TextList& names, TextList& descs, TextList& ids) {
    Reading.store(true);
    const int n = entries_.AppendTo(names, descs, ids);
    Reading.store(false);
    return n;
}

std::string TListUSB::PlaceOf(const std::string& name) {
    std::lock_guard lock(listMutex_);
    return entries_.PlaceOf(name);
}
