// A serial device: a platform serial port or an FTDI USB device behind one set of operations,
// with its own polled receive buffer so that no caller blocks on a read. Each device holds its
// own serial function table and reads the process's port lists.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Bytes.h"
#include "base/MessageSink.h"
#include "base/Timer.h"
#include "platform/PortEntries.h"
#include "platform/SerialApi.h"
#include "platform/SerialPort.h"
#include "transport/PortLists.h"

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
    // `comColumn` is column 0 of the device's own table: the platform's serial functions, or
    // a stand-in's. `lists` are the port lists it reads: the process's own unless given.
    TSerDev(TimerFactory& owner, MessageSink& sink,
            serial::Column comColumn = platform::NativeSerialColumn(),
            std::shared_ptr<PortLists> lists = nullptr);
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
    // A caller's use of the port ends: no more arrival wakes, RTS and DTR on together in one
    // settings write, then the port closed.
    void Release();
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
    PortLists& Lists() { return *lists_; }
    TListUSB& UsbWorker() { return lists_->UsbWorker(); }
    TListCOM& ComWorker() { return lists_->ComWorker(); }

private:
    const serial::Column& Api() const { return columns_[kind_ == 1 ? 1 : 0]; }
    bool Fail(const std::string& caption, const std::string& text);
    // The device's last error: the thread's for a COM port, the device's own for USB.
    serial::DWORD LastError() const;
    void UpdateStatus();
    bool ReadRaw(Bytes& out, serial::DWORD count);
    void Poll();
    void OnPollTimer();
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
    // Column 0 given at construction, column 1 bound at the first open of a USB device.
    std::array<serial::Column, 2> columns_;
    std::shared_ptr<PortLists> lists_;
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
};
