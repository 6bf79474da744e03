// The simulated adapter on an in-memory serial port: the link is a serial backend, and a
// TSerDev given its column opens any "/dev/..." name onto the simulator and runs unchanged in
// virtual-time tests. The link moves the simulator along with the clock. Any number of links
// serve devices at once; a device that outlives its link finds a port that is gone.
//
//     VirtualClock clock;
//     AdapterSim sim(config);
//     MemoryLink link(sim, clock);
//     TSerDev dev(clock, sink, link.Column());
//     dev.PortName = "/dev/sim0";      // dev.Open() ...
//     clock.Advance(500);
//     link.Writes();                   // every host write, with the line settings of the time
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/Timer.h"
#include "base/VirtualClock.h"
#include "platform/SerialApi.h"
#include "sim/AdapterSim.h"
#include "sim/LineSettings.h"
#include "sim/WirePacer.h"

class MemoryLink : public serial::Backend {
public:
    struct HostWrite {
        Bytes data;
        LineSettings line;
        std::int64_t atMs;
    };

    MemoryLink(AdapterSim& sim, VirtualClock& clock);
    // Any owner of timers with its own notion of now (a real-time loop for benchmarks).
    MemoryLink(AdapterSim& sim, TimerFactory& timers, std::function<std::int64_t()> nowMs);
    ~MemoryLink() override;
    // Column 0 for the device that is to talk to the simulator.
    serial::Column Column() { return AsColumn(); }

    // Both directions at the line's speed (10 bits a byte); off by default.
    void SetPaced(bool on);
    // Fault: written bytes stay in the transmit queue for ever and never reach the adapter.
    void SetTransmitStuck(bool on) { txStuck_ = on; }
    // Fault: CreateFile fails (errno-style code from GetLastError).
    void SetOpenFails(bool on) { openFails_ = on; }
    // Fault: the line is gone now, as an unplugged adapter's (the simulator's own disconnect
    // waits for a page).
    void Disconnect() { disconnected_ = true; }
    // Fault: a driver that gives a closed port its fresh settings back (9600,N,8).
    void SetForgetsLine(bool on) { forgetsLine_ = on; }
    // Undo a disconnect that the simulator asked for: the port can be opened again.
    void Reconnect() { disconnected_ = false; }

    // Moves bytes between host and adapter up to the clock's present; every call of the
    // column does this first, and a 1 ms timer of the clock does it in between.
    void Sync();

    bool IsOpen() const { return open_; }
    int OpenCount() const { return openCount_; }
    const std::string& LastOpenedName() const { return openedName_; }
    bool Disconnected() const { return disconnected_; }
    bool Rts() const { return rts_; }
    bool Dtr() const { return dtr_; }
    LineSettings Line() const;
    const serial::DCB& Dcb() const { return dcb_; }
    std::uint32_t InQueueSize() const { return inQueue_; }
    std::uint32_t OutQueueSize() const { return outQueue_; }
    std::size_t HostPending() const { return hostRx_.size(); }
    std::size_t OutPending() const { return txStuck_ ? stuck_.size() : tx_.Pending(); }
    const std::vector<HostWrite>& Writes() const { return writes_; }
    // All host writes joined, for byte-exact assertions.
    Bytes WrittenBytes() const;
    void ClearWrites() { writes_.clear(); }
    // "open /dev/sim0", "dcb 115200,N,8 rts=1 dtr=1", "rts 0", "dtr 1", "purge rx tx", "close".
    const std::vector<std::string>& Log() const { return log_; }

    serial::HANDLE Open(const char* name, serial::DWORD access, serial::DWORD share, void* security,
                        serial::DWORD creation, serial::DWORD flags,
                        serial::HANDLE templateFile) override;
    serial::BOOL Close(serial::HANDLE h) override;
    serial::BOOL Read(serial::HANDLE h, void* buffer, serial::DWORD toRead,
                      serial::DWORD* read) override;
    serial::BOOL Write(serial::HANDLE h, const void* buffer, serial::DWORD toWrite,
                       serial::DWORD* written) override;
    serial::DWORD LastError(serial::HANDLE) override { return lastError_; }
    serial::BOOL Status(serial::HANDLE h, serial::DWORD* errors, serial::COMSTAT* status) override;
    serial::BOOL Escape(serial::HANDLE h, serial::DWORD func) override;
    serial::BOOL Purge(serial::HANDLE h, serial::DWORD flags) override;
    serial::BOOL SetState(serial::HANDLE h, serial::DCB* dcb) override;
    serial::BOOL GetState(serial::HANDLE h, serial::DCB* dcb) override;
    serial::BOOL Setup(serial::HANDLE h, serial::DWORD in, serial::DWORD out) override;

private:
    bool Usable(serial::HANDLE h);
    void ResetLine();
    void Deliver(const LineSettings& line, const Bytes& data);
    std::int64_t NowMs() const { return nowMs_(); }
    std::int64_t NowUs() const { return nowMs_() * 1000; }

    AdapterSim& sim_;
    std::function<std::int64_t()> nowMs_;
    std::unique_ptr<Timer> timer_;
    // Tells the clock (when it is a virtual one) that the host has input.
    std::function<void()> signalReadable_;

    bool open_ = false;
    int openCount_ = 0;
    std::intptr_t handleSeq_ = 0x5100;
    serial::HANDLE handle_ = nullptr;
    std::string openedName_;
    serial::DWORD lastError_ = 0;
    bool openFails_ = false;
    bool forgetsLine_ = false;
    bool disconnected_ = false;
    bool txStuck_ = false;
    bool rts_ = false;
    bool dtr_ = false;
    serial::DCB dcb_{};
    std::uint32_t inQueue_ = 0;
    std::uint32_t outQueue_ = 0;
    WirePacer tx_;  // host to adapter
    WirePacer rx_;  // adapter to host
    Bytes stuck_;
    Bytes hostRx_;
    std::vector<HostWrite> writes_;
    std::vector<std::string> log_;
};
