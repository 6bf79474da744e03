// A serial port that the test plays: every call the code under test makes is recorded, the
// driver's input is what the test feeds or schedules, and its failures are the test's to
// choose. One fake for every suite and fuzz target; each is reached through the column it
// hands a device, so any number of them serve devices in one process.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/VirtualClock.h"
#include "platform/SerialApi.h"
#include "platform/SerialPort.h"

class FakePort : public serial::Backend {
public:
    struct Call {
        std::string row;
        serial::DWORD arg = 0;   // EscapeCommFunction code, PurgeComm flags, sizes asked
        serial::DWORD arg2 = 0;  // SetupComm's output queue
        serial::DCB dcb{};       // SetCommState's block
    };
    // The arguments of the last CreateFile.
    struct CreateArgs {
        std::string name;
        serial::DWORD access = 0;
        serial::DWORD share = 0;
        bool security = false;
        serial::DWORD creation = 0;
        serial::DWORD flags = 0;
        bool templateFile = false;
    };

    // With a clock, input can be scheduled for later and can wake whoever watches the port.
    explicit FakePort(VirtualClock* clock = nullptr) : clock_(clock) {
        device.DCBlength = sizeof(serial::DCB);
        device.BaudRate = 9600;
        device.ByteSize = 8;
        device.StopBits = serial::TWOSTOPBITS;
    }

    serial::Column Column() { return AsColumn(); }
    static serial::HANDLE Handle() { return reinterpret_cast<serial::HANDLE>(0x5eda); }

    // ---- the line as the test scripts it ----
    serial::DCB device{};  // what GetCommState reports; SetCommState overwrites it
    Bytes input;           // bytes queued in the driver for ReadFile
    bool failCreate = false;
    bool failWrite = false;
    bool failStatus = false;            // ClearCommError fails, as on a vanished device
    bool lost = false;                  // unplugged: writes fail, then status once input is read
    serial::DWORD writeChunk = 0xFFFF;  // most bytes one WriteFile accepts (0: none)
    serial::DWORD lastError = 0;        // what GetLastError reports
    serial::DWORD outQueue = 0;         // what the driver says is still to be sent
    // Called after each accepted write (a test plays the far end), before every call (a rig
    // moves a simulator along), and after every settings write.
    std::function<void(const Bytes&)> onWrite;
    std::function<void()> onCall;
    std::function<void(const serial::DCB&)> onSetState;

    // ---- what happened ----
    std::vector<Call> calls;
    CreateArgs created;
    std::vector<Bytes> writes;  // one entry per write call, what it accepted
    int opens = 0;
    int closes = 0;
    bool open = false;
    Bytes received;  // every byte that reached the driver's input, in order
    std::vector<std::size_t> receivedAtWrite;  // how many had when each write was made
    std::int64_t lastArrivalMs = -1;           // clock time bytes last reached the input

    void Feed(const Bytes& bytes) {
        input += bytes;
        received += bytes;
    }
    // Input that reaches the driver `delayMs` from now (needs the clock).
    void Schedule(std::int64_t delayMs, const Bytes& bytes) {
        if (bytes.empty() || clock_ == nullptr) return;
        pending_.emplace(clock_->Now() + std::max<std::int64_t>(delayMs, 0), bytes);
        ArmArrival();
    }
    bool Quiet() const { return pending_.empty() && input.empty(); }
    // Scheduled input arrives at its due time and wakes the port's watcher, as a real port's
    // does; otherwise it waits for the code's next call.
    void SetArrivals(bool on) {
        if (clock_ == nullptr) return;
        clock_->SetArrivals(on);
        arrivalTimer_.reset();
        if (!on) return;
        arrivalTimer_ = clock_->CreateTimer();
        arrivalTimer_->SetCallback([this] {
            arrivalTimer_->Stop();
            const std::size_t before = received.size();
            Release();
            if (received.size() != before)
                clock_->SignalReadable(platform::ReadableDescriptor(Handle()));
            ArmArrival();
        });
        ArmArrival();
    }

    Bytes Sent() const {
        Bytes all;
        for (const Bytes& w : writes)
            all += w;
        return all;
    }
    std::vector<Call> CallsOf(const std::string& row) const {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.row == row) out.push_back(c);
        return out;
    }
    void ClearCalls() { calls.clear(); }
    // The line's own calls in order: "SetCommState 115200,0,8 stop=2 rts=1 dtr=1",
    // "Escape 3", "Close".
    std::vector<std::string> LineCalls() const {
        std::vector<std::string> out;
        for (const Call& c : calls) {
            if (c.row == "SetCommState")
                out.push_back("SetCommState " + std::to_string(c.dcb.BaudRate) + "," +
                              std::to_string(c.dcb.Parity) + "," + std::to_string(c.dcb.ByteSize) +
                              " stop=" + std::to_string(c.dcb.StopBits) +
                              " rts=" + std::to_string(c.dcb.fRtsControl) +
                              " dtr=" + std::to_string(c.dcb.fDtrControl));
            if (c.row == "EscapeCommFunction") out.push_back("Escape " + std::to_string(c.arg));
            if (c.row == "CloseHandle") out.push_back("Close");
        }
        return out;
    }

    // ---- the rows ----
    serial::HANDLE Open(const char* name, serial::DWORD access, serial::DWORD share, void* security,
                        serial::DWORD creation, serial::DWORD flags,
                        serial::HANDLE templateFile) override {
        Release();
        Record("CreateFile");
        created = {
            name, access, share, security != nullptr, creation, flags, templateFile != nullptr};
        if (failCreate) return serial::InvalidHandle();
        ++opens;
        open = true;
        return Handle();
    }
    serial::BOOL Close(serial::HANDLE) override {
        Record("CloseHandle");
        ++closes;
        open = false;
        input.clear();
        pending_.clear();
        return 1;
    }
    serial::BOOL Read(serial::HANDLE, void* buffer, serial::DWORD n, serial::DWORD* got) override {
        Release();
        Record("ReadFile", n);
        *got = static_cast<serial::DWORD>(std::min<std::size_t>(n, input.size()));
        std::copy_n(input.data(), *got, static_cast<char*>(buffer));
        input.erase(0, *got);
        return 1;
    }
    serial::BOOL Write(serial::HANDLE, const void* buffer, serial::DWORD n,
                       serial::DWORD* put) override {
        Release();
        Record("WriteFile", n);
        *put = 0;
        if (failWrite || lost) return 0;
        *put = std::min(n, writeChunk);
        const Bytes accepted(static_cast<const char*>(buffer), *put);
        writes.push_back(accepted);
        receivedAtWrite.push_back(received.size());
        if (onWrite) onWrite(accepted);
        return 1;
    }
    serial::DWORD LastError(serial::HANDLE) override { return lastError; }
    serial::BOOL Status(serial::HANDLE, serial::DWORD* errors, serial::COMSTAT* st) override {
        Release();
        Record("ClearCommError");
        if (failStatus || (lost && input.empty())) return 0;
        if (errors) *errors = 0;
        if (st) *st = serial::COMSTAT{0, static_cast<serial::DWORD>(input.size()), outQueue};
        return 1;
    }
    serial::BOOL Escape(serial::HANDLE, serial::DWORD func) override {
        Record("EscapeCommFunction", func);
        return 1;
    }
    serial::BOOL Purge(serial::HANDLE, serial::DWORD flags) override {
        Record("PurgeComm", flags);
        if (flags & serial::PURGE_RXCLEAR) input.clear();
        return 1;
    }
    serial::BOOL SetState(serial::HANDLE, serial::DCB* dcb) override {
        Record("SetCommState", 0, 0, dcb);
        device = *dcb;
        if (onSetState) onSetState(*dcb);
        return 1;
    }
    serial::BOOL GetState(serial::HANDLE, serial::DCB* dcb) override {
        Record("GetCommState");
        *dcb = device;
        return 1;
    }
    serial::BOOL Setup(serial::HANDLE, serial::DWORD in, serial::DWORD out) override {
        Record("SetupComm", in, out);
        return 1;
    }

private:
    void Record(const char* row, serial::DWORD arg = 0, serial::DWORD arg2 = 0,
                const serial::DCB* dcb = nullptr) {
        Call c{row, arg, arg2, {}};
        if (dcb) c.dcb = *dcb;
        calls.push_back(c);
    }
    // Scheduled input whose time has come reaches the driver.
    void Release() {
        if (onCall) onCall();
        if (clock_ == nullptr) return;
        while (!pending_.empty() && pending_.begin()->first <= clock_->Now()) {
            Feed(pending_.begin()->second);
            pending_.erase(pending_.begin());
            lastArrivalMs = clock_->Now();
        }
    }
    void ArmArrival() {
        if (!arrivalTimer_ || pending_.empty()) return;
        const std::int64_t in = std::max<std::int64_t>(pending_.begin()->first - clock_->Now(), 1);
        arrivalTimer_->Start(static_cast<int>(in));
    }

    VirtualClock* clock_;
    std::multimap<std::int64_t, Bytes> pending_;
    std::unique_ptr<Timer> arrivalTimer_;
};
