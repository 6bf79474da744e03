// The one serial device of the program: a platform serial port or an FTDI USB device behind
// one set of operations, with its own polled receive buffer so that no caller blocks on a read.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Bytes.h"
#include "base/MessageSink.h"
#include "base/Timer.h"
#include "platform/ComPortSource.h"
#include "platform/PortEntries.h"
#include "platform/SerialApi.h"

class LineTrace;
class TListUSB;
class TListCOM;

class TSerDev {
public:
    static constexpr int kPollIntervalMs = 10;
    static constexpr int kRescanMs = 1500;
    static constexpr int kBusyWaitMs = 100;
    static constexpr serial::DWORD kInQueue = 4096;
    static constexpr serial::DWORD kOutQueue = 14;
    // Consecutive writes that move nothing before a write counts as failed.
    static constexpr int kMaxEmptyWrites = 100;
    // Shown for such a write when the device reports no error of its own.
    static constexpr const char* kStalledText = "Error: The device accepts no data.";

    // `owner` supplies the poll timer (the window's role); `sink` shows the message boxes.
    // Without a port source the platform's own is used.
    TSerDev(TimerFactory& owner, MessageSink& sink,
            std::unique_ptr<ComPortSource> comSource = nullptr);
    virtual ~TSerDev();
    TSerDev(const TSerDev&) = delete;
    TSerDev& operator=(const TSerDev&) = delete;

    std::string PortName;
    bool Opened = false;
    // Runs on the owner's thread as soon as input has arrived, where the owner can watch the
    // port (ticks alone take it elsewhere). Set by whoever reads the device: the operation,
    // then the update engine.
    std::function<void()> OnArrival;
    // What a D2XX device's latency timer is set to while the device is open.
    static constexpr unsigned char kUsbLatencyMs = 1;
    // The serial number's length an FTDI device was opened by before the whole one.
    static constexpr std::size_t kUsbSerialChars = 8;

    // Set when the device stops answering while open (unplugged, line hung up): whoever reads
    // it ends what it was doing and says so. Cleared by Open.
    bool Lost() const { return lost_; }
    static std::string LostText(const std::string& port);

    bool Open();
    bool Close();
    void Purge(bool receive, bool transmit);
    bool Write(Bytes data);
    std::uint32_t InCount();
    std::uint32_t OutCount();
    bool Read(Bytes& out, std::uint32_t count);
    void SetRTS(bool on);
    void SetDTR(bool on);
    void BeginUpdate() { updating_ = true; }
    void EndUpdate();
    serial::DWORD SetBaud(serial::DWORD baud);
    serial::BYTE SetParity(serial::BYTE parity);
    serial::BYTE SetDataBits(serial::BYTE bits);
    serial::DWORD GetBaud() const { return dcb_.BaudRate; }
    serial::BYTE GetParity() const { return dcb_.Parity; }
    serial::BYTE GetDataBits() const { return dcb_.ByteSize; }
    void SetParams(const std::string& settings);
    // Blocks for kRescanMs; a host with an event loop to keep running calls the two halves
    // itself, kRescanMs apart.
    void RescanUSB();
    void BeginRescanUSB();
    void EndRescanUSB();
    int GetCOMList(TextList& names, TextList& descs, TextList& ids);
    int GetUSBList(TextList& names, TextList& descs, TextList& ids);
    int GetPortList(TextList& names, TextList& descs, TextList& ids);
    // GetPortList for a thread that must not stall behind a worker's pass: false, with `out`
    // empty, while either worker holds its list (ask again later); else `out` is replaced.
    bool TryGetPortList(PortEntries& out);
    // `advice`, when given, follows the system's text as a sentence of its own.
    void ShowError(const std::string& caption, const std::string& message,
                   const std::string& advice = "");
    // Everything that crosses the line from now on is written to `trace` (not owned; null
    // ends the trace).
    void SetTrace(LineTrace* trace) { trace_ = trace; }

    // Read-only views for hosts and tests.
    int Kind() const { return kind_; }
    bool Updating() const { return updating_; }
    // Input wakes OnArrival (rather than waiting for the next tick).
    bool WatchingInput() const { return inputWatch_ != nullptr; }
    const serial::DCB& LineSettings() const { return dcb_; }
    std::size_t Buffered() const { return rxBuffer_.size(); }
    TListUSB& UsbWorker() { return *usb_; }
    TListCOM& ComWorker() { return *com_; }

private:
    const serial::Column& Api() const { return serial::TableColumn(kind_); }
    bool Fail(const std::string& caption, const std::string& text);
    // The device's last error: the thread's for a COM port, the device's own for USB.
    serial::DWORD LastError() const;
    void UpdateStatus();
    bool ReadRaw(Bytes& out, serial::DWORD count);
    void Poll();
    void GetState();
    void SetState();
    void StartPollTimer();
    void ShowPendingComListError();
    std::string OpenAdvice(const std::string& device) const;
    void TraceSettings();
    void WatchInput();
    void OnReadable();
    void RequestLowLatency();
    void RestoreLatency();

    TimerFactory& owner_;
    MessageSink& sink_;
    std::unique_ptr<TListUSB> usb_;
    std::unique_ptr<TListCOM> com_;
    bool updating_ = false;
    serial::DWORD lineErrors_ = 0;
    serial::COMSTAT status_{};
    serial::DWORD rxQueued_ = 0;
    int kind_ = 0;
    serial::DCB dcb_{};
    std::unique_ptr<Timer> pollTimer_;
    Bytes rxBuffer_;
    serial::HANDLE handle_ = serial::InvalidHandle();
    void* d2xxModule_ = nullptr;
    std::unique_ptr<ReadyWatch> inputWatch_;
    LineTrace* trace_ = nullptr;
    bool lost_ = false;
    bool lowLatency_ = false;  // a serial port's driver was asked for it
    int usbLatencyMs_ = -1;    // a D2XX device's own setting, to give back at close
    // Set by the COM worker's thread, shown on the owner's thread at the next list copy.
    std::atomic<bool> comListError_{false};
};
