#include "transport/TSerDev.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/DeviceProperties.h"
#include "platform/SerialPort.h"
#include "platform/SysError.h"
#include "transport/D2xx.h"
#include "transport/LineTrace.h"

namespace {
const char kOpenCaption[] = "Open Port(";
const char kWriteCaption[] = "Write Port(";
const char kCaptionEnd[] = ") Error...";
}  // namespace

TSerDev::TSerDev(TimerFactory& owner, MessageSink& sink, serial::Column comColumn,
                 std::shared_ptr<PortLists> lists)
    : owner_(owner),
      sink_(sink),
      columns_{std::move(comColumn), serial::Column{}},
      lists_(lists ? std::move(lists) : PortLists::Shared()) {
    dcb_.DCBlength = sizeof(serial::DCB);
}

TSerDev::~TSerDev() {
    Close();
    lists_.reset();
    if (d2xxModule_ != nullptr) d2xx::CloseLibrary(d2xxModule_);
}

bool TSerDev::Fail(const std::string& caption, const std::string& text) {
    Opened = false;
    ShowError(caption, text);
    return false;
}

std::string TSerDev::LostText(const std::string& port) {
    return "Communication Port " + port +
           " was lost: the adapter was unplugged or its line was closed.";
}

bool TSerDev::Open() {
    if (Opened) Close();
    lost_ = false;
    const std::string caption = kOpenCaption + PortName + kCaptionEnd;
    std::string device;
    serial::DWORD flags = 0;
    if (platform::IsNativePortName(PortName)) {
        kind_ = 0;
        device = platform::NativeDevicePath(PortName);
        flags = serial::FILE_ATTRIBUTE_NORMAL | serial::FILE_FLAG_NO_BUFFERING;
    } else if (PortName.compare(0, 3, "USB") == 0) {
        if (d2xxModule_ == nullptr) {
            if (void* lib = d2xx::OpenLibrary()) {
                if (d2xx::BindW32Column(lib, columns_[1]))
                    d2xxModule_ = lib;
                else
                    d2xx::CloseLibrary(lib);
            }
        }
        if (d2xxModule_ == nullptr) return Fail(caption, "Reinstall drivers, please.");
        kind_ = 1;
        // The whole serial number: the channels of dual and quad chips carry a letter after
        // the eight characters ("FT123456A").
        device = PortName.size() > 4 ? PortName.substr(4) : std::string();
        flags = serial::FILE_ATTRIBUTE_NORMAL | serial::FT_OPEN_BY_SERIAL_NUMBER;
    } else {
        kind_ = 2;
        return Fail(caption, "Error: Can not to open unknown device.");
    }

    if (lists_->UsbBusy()) std::this_thread::sleep_for(std::chrono::milliseconds(kBusyWaitMs));

    handle_ = Api().CreateFile(device.c_str(), serial::GENERIC_READ | serial::GENERIC_WRITE, 0,
                               nullptr, serial::OPEN_EXISTING, flags, nullptr);
    // The eight characters alone, as ports have always been opened, when the whole number
    // names no device.
    if (handle_ == serial::InvalidHandle() && kind_ == 1 && device.size() > kUsbSerialChars) {
        device.resize(kUsbSerialChars);
        handle_ = Api().CreateFile(device.c_str(), serial::GENERIC_READ | serial::GENERIC_WRITE, 0,
                                   nullptr, serial::OPEN_EXISTING, flags, nullptr);
    }
    Opened = handle_ != serial::InvalidHandle();
    if (!Opened) {
        ShowError(caption, "", OpenAdvice(device));
        return false;
    }

    lists_->PortOpened();
    if (trace_) trace_->Opened(PortName);
    GetState();
    TraceSettings();
    Api().SetupComm(handle_, kInQueue, kOutQueue);
    Purge(true, true);
    pollTimer_ = owner_.CreateTimer();
    pollTimer_->SetCallback([this] { OnPollTimer(); });
    StartPollTimer();
    RequestLowLatency();
    WatchInput();
    return true;
}

// The 10 ms poll stays as the bound on how late input is taken; the watch takes it at once.
void TSerDev::WatchInput() {
    if (kind_ != 0) return;  // D2XX offers no descriptor: its ticks take the input
    inputWatch_ =
        owner_.WatchReadable(platform::ReadableDescriptor(handle_), [this] { OnReadable(); });
}

void TSerDev::OnReadable() {
    if (!Opened) return;
    const std::size_t before = rxBuffer_.size();
    Poll();
    if (rxBuffer_.size() == before) {
        // Readable with nothing to read: a line that was hung up. Watching it would only
        // spin; the poll timer goes on as without a watch.
        inputWatch_.reset();
        return;
    }
    if (auto arrived = OnArrival) arrived();
}

// The 10 ms poll may take input before the watch sees it (both wait in the same loop turn):
// whoever reads the device then hears of it as from the watch, so no wake is lost to the race.
void TSerDev::OnPollTimer() {
    const std::size_t before = rxBuffer_.size();
    Poll();
    if (inputWatch_ && rxBuffer_.size() > before)
        if (auto arrived = OnArrival) arrived();
}

void TSerDev::RequestLowLatency() {
    if (kind_ == 0) {
        lowLatency_ = platform::RequestLowLatency(handle_);
        return;
    }
    // Bound by name: a library without the calls leaves the device as it is.
    auto get = reinterpret_cast<d2xx::FT_GetLatencyTimerFn>(
        d2xx::Symbol(d2xxModule_, "FT_GetLatencyTimer"));
    auto set = reinterpret_cast<d2xx::FT_SetLatencyTimerFn>(
        d2xx::Symbol(d2xxModule_, "FT_SetLatencyTimer"));
    unsigned char old = 0;
    if (get == nullptr || set == nullptr || get(handle_, &old) != d2xx::FT_OK ||
        old == kUsbLatencyMs)
        return;
    if (set(handle_, kUsbLatencyMs) == d2xx::FT_OK) usbLatencyMs_ = old;
}

void TSerDev::RestoreLatency() {
    if (lowLatency_) platform::RestoreLatency(handle_);
    lowLatency_ = false;
    if (usbLatencyMs_ >= 0) {
        auto set = reinterpret_cast<d2xx::FT_SetLatencyTimerFn>(
            d2xx::Symbol(d2xxModule_, "FT_SetLatencyTimer"));
        if (set != nullptr) set(handle_, static_cast<unsigned char>(usbLatencyMs_));
    }
    usbLatencyMs_ = -1;
}

bool TSerDev::Close() {
    if (Opened) {
        if (trace_) trace_->Closed();
        inputWatch_.reset();
        pollTimer_.reset();
        RestoreLatency();
        rxBuffer_.clear();
        Api().CloseHandle(handle_);
        handle_ = serial::InvalidHandle();
        lists_->PortClosed();
        Opened = false;
    }
    updating_ = false;
    return true;
}

void TSerDev::Release() {
    OnArrival = nullptr;
    BeginUpdate();
    SetRTS(true);
    SetDTR(true);
    EndUpdate();
    Close();
}

void TSerDev::Purge(bool receive, bool transmit) {
    serial::DWORD flags = 0;
    if (receive) {
        status_.cbInQue = 0;
        flags |= serial::PURGE_RXCLEAR;
    }
    if (transmit) {
        status_.cbOutQue = 0;
        flags |= serial::PURGE_TXCLEAR;
    }
    if (Opened) Api().PurgeComm(handle_, flags);
}

bool TSerDev::Write(Bytes data) {
    if (trace_ && Opened) trace_->Sent(data);
    bool failed = false;
    bool stalled = false;
    int emptyWrites = 0;
    while (Opened && !data.empty()) {
        serial::DWORD written = 0;
        if (!Api().WriteFile(handle_, data.data(), static_cast<serial::DWORD>(data.size()),
                             &written, nullptr)) {
            failed = true;
            break;
        }
        if (written == 0) {
            // A driver that keeps accepting nothing would hold us here for ever.
            if (++emptyWrites >= kMaxEmptyWrites) {
                stalled = true;
                break;
            }
            continue;
        }
        emptyWrites = 0;
        data.erase(0, std::min<std::size_t>(written, data.size()));
    }
    const std::string caption = kWriteCaption + PortName + kCaptionEnd;
    // A write that failed because the device is gone is not a write error of its own: the
    // reader ends its operation with the one message that says the port was lost.
    if (failed || stalled) UpdateStatus();
    if (lost_) return false;
    if (failed) ShowError(caption, "");
    // Every call succeeded, so the device may have no error to name: the user still has to
    // learn that the bytes were dropped.
    if (stalled) ShowError(caption, LastError() != 0 ? "" : kStalledText);
    return data.empty();
}

void TSerDev::UpdateStatus() {
    if (!Opened) {
        status_.cbInQue = 0;
        status_.cbOutQue = 0;
        return;
    }
    const bool running = pollTimer_ && pollTimer_->IsActive();
    if (pollTimer_) pollTimer_->Stop();
    if (!Api().ClearCommError(handle_, &lineErrors_, &status_)) {
        // A vanished device answers nothing: the last counts (which already include RxBuffer)
        // would come back as phantom input, growing at every poll.
        status_.cbInQue = 0;
        status_.cbOutQue = 0;
        lost_ = true;
    }
    rxQueued_ = status_.cbInQue;
    status_.cbInQue = static_cast<serial::DWORD>(rxBuffer_.size()) + rxQueued_;
    if (running) StartPollTimer();
}

std::uint32_t TSerDev::InCount() {
    UpdateStatus();
    return Opened ? status_.cbInQue : 0;
}

std::uint32_t TSerDev::OutCount() {
    UpdateStatus();
    return Opened ? status_.cbOutQue : 0;
}

bool TSerDev::ReadRaw(Bytes& out, serial::DWORD count) {
    out.clear();
    if (!Opened) return false;
    out.resize(count);
    serial::DWORD read = 0;
    const bool ok = Api().ReadFile(handle_, out.data(), count, &read, nullptr) != 0;
    out.resize(std::min(read, count));
    if (trace_) trace_->Received(out);
    return ok;
}

void TSerDev::Poll() {
    if (pollTimer_) pollTimer_->Stop();
    UpdateStatus();
    if (rxQueued_ != 0) {
        Bytes chunk;
        ReadRaw(chunk, rxQueued_);
        rxBuffer_ += chunk;
    }
    if (Opened) StartPollTimer();
}

bool TSerDev::Read(Bytes& out, std::uint32_t count) {
    if (!Opened) return true;
    Poll();
    if (pollTimer_) pollTimer_->Stop();
    const std::size_t n = std::min<std::size_t>(count, rxBuffer_.size());
    out.assign(rxBuffer_, 0, n);
    rxBuffer_.erase(0, n);
    StartPollTimer();
    return true;
}

void TSerDev::StartPollTimer() {
    if (pollTimer_) pollTimer_->Start(kPollIntervalMs);
}

void TSerDev::SetRTS(bool on) {
    if (!Opened) return;
    if (!updating_) Api().EscapeCommFunction(handle_, on ? serial::SETRTS : serial::CLRRTS);
    dcb_.fRtsControl = on ? serial::RTS_CONTROL_ENABLE : serial::RTS_CONTROL_DISABLE;
    if (!updating_) TraceSettings();
}

void TSerDev::SetDTR(bool on) {
    if (!Opened) return;
    if (!updating_) Api().EscapeCommFunction(handle_, on ? serial::SETDTR : serial::CLRDTR);
    dcb_.fDtrControl = on ? serial::DTR_CONTROL_ENABLE : serial::DTR_CONTROL_DISABLE;
    if (!updating_) TraceSettings();
}

void TSerDev::TraceSettings() {
    if (!trace_ || !Opened) return;
    static const char kParity[] = "NOEMS";
    static const char* const kStop[] = {"1", "1.5", "2"};
    char text[96];
    std::snprintf(
        text, sizeof text, "%u,%c,%u,%s RTS=%d DTR=%d", static_cast<unsigned>(dcb_.BaudRate),
        dcb_.Parity < 5 ? kParity[dcb_.Parity] : '?', static_cast<unsigned>(dcb_.ByteSize),
        dcb_.StopBits < 3 ? kStop[dcb_.StopBits] : "?",
        dcb_.fRtsControl == serial::RTS_CONTROL_ENABLE ? 1 : 0,
        dcb_.fDtrControl == serial::DTR_CONTROL_ENABLE ? 1 : 0);
    trace_->Settings(text);
}

void TSerDev::EndUpdate() {
    if (updating_) SetState();
    updating_ = false;
}

serial::DWORD TSerDev::SetBaud(serial::DWORD baud) {
    dcb_.BaudRate = baud;
    if (!updating_) SetState();
    return dcb_.BaudRate;
}

serial::BYTE TSerDev::SetParity(serial::BYTE parity) {
    dcb_.Parity = parity;
    if (!updating_) SetState();
    return dcb_.Parity;
}

serial::BYTE TSerDev::SetDataBits(serial::BYTE bits) {
    dcb_.ByteSize = bits;
    if (!updating_) SetState();
    return dcb_.ByteSize;
}

void TSerDev::SetParams(const std::string& settings) {
    BeginUpdate();
    // Fields the pattern cannot read keep their stored values.
    long baud = static_cast<long>(dcb_.BaudRate);
    char letter = 0;
    int bits = dcb_.ByteSize;
    const int fields = std::sscanf(settings.c_str(), "%ld,%c,%d", &baud, &letter, &bits);
    if (fields >= 1) SetBaud(static_cast<serial::DWORD>(baud));
    if (fields >= 2) {
        serial::BYTE parity = serial::NOPARITY;
        if (letter == 'E') parity = serial::EVENPARITY;
        if (letter == 'M') parity = serial::MARKPARITY;
        if (letter == 'O') parity = serial::ODDPARITY;
        SetParity(parity);
    }
    if (fields >= 3) SetDataBits(static_cast<serial::BYTE>(bits & 0xFF));
    EndUpdate();
}

void TSerDev::GetState() {
    if (Opened) Api().GetCommState(handle_, &dcb_);
}

void TSerDev::SetState() {
    if (!Opened) return;
    dcb_.fParity = dcb_.Parity != 0 ? 1 : 0;
    Api().SetCommState(handle_, &dcb_);
    TraceSettings();
}

void TSerDev::RescanUSB() {
    BeginRescanUSB();
    std::this_thread::sleep_for(std::chrono::milliseconds(kRescanMs));
    EndRescanUSB();
}

void TSerDev::BeginRescanUSB() {
    lists_->BeginRescanUSB();
}

void TSerDev::EndRescanUSB() {
    lists_->EndRescanUSB();
}

void TSerDev::ShowPendingComListError() {
    // The worker never waits on us: its failure is shown here, on the owner's thread.
    if (lists_->TakeComListError())
        sink_.ShowMessage("Error...", "Error reading COM-List", MsgIcon::Information);
}

int TSerDev::GetCOMList(TextList& names, TextList& descs, TextList& ids) {
    ShowPendingComListError();
    return lists_->GetCOMList(names, descs, ids);
}

int TSerDev::GetUSBList(TextList& names, TextList& descs, TextList& ids) {
    return lists_->GetUSBList(names, descs, ids);
}

int TSerDev::GetPortList(TextList& names, TextList& descs, TextList& ids) {
    GetCOMList(names, descs, ids);
    return GetUSBList(names, descs, ids);
}

bool TSerDev::TryGetPortList(PortEntries& out) {
    ShowPendingComListError();
    return lists_->TryGetPortList(out);
}

serial::DWORD TSerDev::LastError() const {
    return Api().GetLastError ? Api().GetLastError(handle_) : 0;
}

// What the user can do about a port that would not open, as one sentence: a serial port
// needs its group; an FTDI device that the kernel's serial driver holds is a serial port too.
std::string TSerDev::OpenAdvice(const std::string& device) const {
    if (kind_ == 0) return platform::OpenFailureAdvice(device, LastError());
    const std::string port = platform::SerialPortOfUsbDevice(device);
    if (port.empty()) return {};
    return "The device is also listed as the serial port " + port + " and can be used there.";
}

void TSerDev::ShowError(const std::string& caption, const std::string& message,
                        const std::string& advice) {
    if (!message.empty()) {
        sink_.ShowMessage(caption, message, MsgIcon::Information);
        return;
    }
    const serial::DWORD code = LastError();
    if (code == 0) return;
    std::string text;
    if (kind_ == 1) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "USB Device Error: %d (%s)", static_cast<int>(code),
                      d2xx::StatusText(code).c_str());
        text = buf;
    } else {
        text = platform::SystemErrorText(code);
    }
    if (!advice.empty()) text += "\n" + advice;
    sink_.ShowMessage(caption, text, MsgIcon::Information);
}
