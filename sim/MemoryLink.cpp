#include "sim/MemoryLink.h"

#include "platform/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
const char kParityLetters[] = "NOEMS";

std::string OnOff(bool on) {
    return on ? "1" : "0";
}
}  // namespace

MemoryLink::MemoryLink(AdapterSim& sim, VirtualClock& clock)
    : MemoryLink(sim, clock, [&clock] { return clock.Now(); }) {
    signalReadable_ = [this, &clock] {
        clock.SignalReadable(platform::ReadableDescriptor(handle_));
    };
}

MemoryLink::MemoryLink(AdapterSim& sim, TimerFactory& timers, std::function<std::int64_t()> nowMs)
    : sim_(sim), nowMs_(std::move(nowMs)) {
    ResetLine();
    timer_ = timers.CreateTimer();
    timer_->SetCallback([this] { Sync(); });
    timer_->Start(1);
}

MemoryLink::~MemoryLink() = default;

void MemoryLink::SetPaced(bool on) {
    Sync();
    tx_.SetEnabled(on);
    rx_.SetEnabled(on);
}

LineSettings MemoryLink::Line() const {
    const char parity = dcb_.Parity < 5 ? kParityLetters[dcb_.Parity] : '?';
    return LineSettings{dcb_.BaudRate, parity, dcb_.ByteSize};
}

Bytes MemoryLink::WrittenBytes() const {
    Bytes all;
    for (const auto& w : writes_)
        all += w.data;
    return all;
}

void MemoryLink::Deliver(const LineSettings& line, const Bytes& data) {
    sim_.SetLine(line);
    sim_.OnBytes(data, NowMs());
}

void MemoryLink::Sync() {
    const std::int64_t now = NowMs();
    for (const auto& chunk : tx_.Take(NowUs()))
        Deliver(chunk.line, chunk.data);
    const Bytes out = sim_.Poll(now);
    // The adapter sends at its own speed; at the host's wrong speed the bytes are garbage
    // already (the simulator decides what it sends then).
    if (!out.empty()) rx_.Push(out, sim_.WireLine(), NowUs());
    bool arrived = false;
    for (const auto& chunk : rx_.Take(NowUs())) {
        if (!open_) continue;
        hostRx_ += chunk.data;
        arrived = arrived || !chunk.data.empty();
    }
    if (arrived && signalReadable_) signalReadable_();
    if (sim_.TakeDisconnect()) {
        disconnected_ = true;
        log_.push_back("disconnect");
    }
}

bool MemoryLink::Usable(serial::HANDLE h) {
    Sync();
    if (!open_ || h != handle_) {
        lastError_ = EBADF;
        return false;
    }
    if (disconnected_) {
        lastError_ = EIO;
        return false;
    }
    return true;
}

serial::HANDLE MemoryLink::Open(const char* name, serial::DWORD, serial::DWORD, void*,
                                serial::DWORD, serial::DWORD, serial::HANDLE) {
    Sync();
    const std::string path = name ? name : "";
    // What TSerDev asks column 0 to open: a device path here, "\\.\COM<n>" on Windows.
    const bool device = path.rfind("/dev/", 0) == 0 || path.rfind("\\\\.\\COM", 0) == 0;
    if (!device || openFails_ || disconnected_) {
        lastError_ = disconnected_ ? EIO : ENOENT;
        return serial::InvalidHandle();
    }
    if (open_) {
        lastError_ = EBUSY;
        return serial::InvalidHandle();
    }
    open_ = true;
    ++openCount_;
    openedName_ = path;
    handle_ = reinterpret_cast<serial::HANDLE>(++handleSeq_);
    hostRx_.clear();
    log_.push_back("open " + path);
    return handle_;
}

// A fresh port as a driver leaves it: 9600,N,8, one stop bit, lines down.
void MemoryLink::ResetLine() {
    dcb_ = serial::DCB{};
    dcb_.DCBlength = sizeof(serial::DCB);
    dcb_.BaudRate = 9600;
    dcb_.fBinary = 1;
    dcb_.ByteSize = 8;
    dcb_.Parity = serial::NOPARITY;
    dcb_.StopBits = serial::ONESTOPBIT;
}

serial::BOOL MemoryLink::Close(serial::HANDLE h) {
    Sync();
    if (!open_ || h != handle_) {
        lastError_ = EBADF;
        return false;
    }
    open_ = false;
    handle_ = nullptr;
    hostRx_.clear();
    if (forgetsLine_) ResetLine();
    log_.push_back("close");
    return true;
}

serial::BOOL MemoryLink::Read(serial::HANDLE h, void* buffer, serial::DWORD toRead,
                              serial::DWORD* read) {
    if (read) *read = 0;
    if (!Usable(h)) return false;
    const std::size_t n = std::min<std::size_t>(toRead, hostRx_.size());
    std::memcpy(buffer, hostRx_.data(), n);
    hostRx_.erase(0, n);
    if (read) *read = static_cast<serial::DWORD>(n);
    return true;
}

serial::BOOL MemoryLink::Write(serial::HANDLE h, const void* buffer, serial::DWORD toWrite,
                               serial::DWORD* written) {
    if (written) *written = 0;
    if (!Usable(h)) return false;
    const Bytes data(static_cast<const char*>(buffer), toWrite);
    writes_.push_back({data, Line(), NowMs()});
    if (txStuck_)
        stuck_ += data;
    else if (tx_.Enabled())
        tx_.Push(data, Line(), NowUs());
    else
        Deliver(Line(), data);
    if (written) *written = toWrite;
    return true;
}

serial::BOOL MemoryLink::Status(serial::HANDLE h, serial::DWORD* errors, serial::COMSTAT* status) {
    if (errors) *errors = 0;
    if (!Usable(h)) return false;
    if (status) {
        status->Flags = 0;
        status->cbInQue = static_cast<serial::DWORD>(hostRx_.size());
        status->cbOutQue = static_cast<serial::DWORD>(OutPending());
    }
    return true;
}

serial::BOOL MemoryLink::Escape(serial::HANDLE h, serial::DWORD func) {
    if (!Usable(h)) return false;
    switch (func) {
        case serial::SETRTS:
        case serial::CLRRTS:
            rts_ = func == serial::SETRTS;
            log_.push_back("rts " + OnOff(rts_));
            return true;
        case serial::SETDTR:
        case serial::CLRDTR:
            dtr_ = func == serial::SETDTR;
            log_.push_back("dtr " + OnOff(dtr_));
            return true;
        default:
            lastError_ = EINVAL;
            return false;
    }
}

serial::BOOL MemoryLink::Purge(serial::HANDLE h, serial::DWORD flags) {
    if (!Usable(h)) return false;
    std::string what = "purge";
    if (flags & serial::PURGE_RXCLEAR) {
        hostRx_.clear();
        what += " rx";
    }
    if (flags & serial::PURGE_TXCLEAR) {
        tx_.Clear();
        stuck_.clear();
        what += " tx";
    }
    log_.push_back(what);
    return true;
}

serial::BOOL MemoryLink::SetState(serial::HANDLE h, serial::DCB* dcb) {
    if (!Usable(h) || dcb == nullptr) return false;
    dcb_ = *dcb;
    rts_ = dcb_.fRtsControl != serial::RTS_CONTROL_DISABLE;
    dtr_ = dcb_.fDtrControl != serial::DTR_CONTROL_DISABLE;
    log_.push_back("dcb " + Line().Text() + " rts=" + OnOff(rts_) + " dtr=" + OnOff(dtr_));
    return true;
}

serial::BOOL MemoryLink::GetState(serial::HANDLE h, serial::DCB* dcb) {
    if (!Usable(h) || dcb == nullptr) return false;
    *dcb = dcb_;
    return true;
}

serial::BOOL MemoryLink::Setup(serial::HANDLE h, serial::DWORD in, serial::DWORD out) {
    if (!Usable(h)) return false;
    inQueue_ = in;
    outQueue_ = out;
    return true;
}
