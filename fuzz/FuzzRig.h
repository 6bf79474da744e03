// What the fuzz targets share: a failed check that libFuzzer keeps as a crash, message boxes
// recorded, and a serial line whose far side the target plays, in virtual time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/MessageSink.h"
#include "base/VirtualClock.h"
#include "platform/SerialPort.h"
#include "platform/ComPortSource.h"
#include "platform/SerialApi.h"
#include "transport/TSerDev.h"

namespace fuzz {

// A broken invariant is a finding: abort so that libFuzzer saves the input that led here.
[[noreturn]] inline void Fail(const char* expr, const char* file, int line,
                              const std::string& detail) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, expr, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(cond, detail)                                        \
    do {                                                                \
        if (!(cond)) ::fuzz::Fail(#cond, __FILE__, __LINE__, (detail)); \
    } while (0)

// Bytes as C-style escapes, so a failed check shows exactly what crossed the line.
inline std::string Escaped(const Bytes& b, std::size_t limit = 120) {
    std::string out;
    for (std::size_t i = 0; i < b.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(b[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (b.size() > limit) out += "...";
    return out;
}

// VirtualClock::RunUntil looks at pred() after every millisecond. The product's timers all
// tick at 10 ms or slower, so most of those looks see nothing new: this one looks every
// `stepMs` instead. Timers still fire one by one at their own due times within each step, so
// the run is the same, only noticed up to `stepMs` later.
inline bool RunUntil(VirtualClock& clock, const std::function<bool()>& pred, std::int64_t limitMs,
                     std::int64_t stepMs) {
    const std::int64_t end = clock.Now() + limitMs;
    while (!pred()) {
        if (clock.Now() >= end) return false;
        clock.Advance(std::min(stepMs, end - clock.Now()));
    }
    return true;
}

struct Box {
    std::string caption;
    std::string text;
};

class RecordingSink : public MessageSink {
public:
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon) override {
        boxes.push_back({caption, text});
    }
    std::vector<Box> boxes;
};

// The port list's worker gets nothing to scan: the targets choose their port themselves.
class QuietComSource : public ComPortSource {
public:
    Outcome Pass(PortEntries&) override { return Outcome::Unchanged; }
};

// Where the targets keep the files they hand the product: in memory where the system offers
// it, since many runs write one.
inline std::string ScratchDir() {
    static const std::string dir = [] {
        std::error_code ec;
        return std::filesystem::is_directory("/dev/shm", ec)
                   ? std::string("/dev/shm")
                   : std::filesystem::temp_directory_path().string();
    }();
    return dir;
}

// The device's timers and message boxes, passed on to the run of the moment.
class DeviceHost : public TimerFactory, public MessageSink {
public:
    std::unique_ptr<Timer> CreateTimer() override { return clock->CreateTimer(); }
    std::int64_t NowMs() const override { return clock->NowMs(); }
    std::unique_ptr<ReadyWatch> WatchReadable(std::intptr_t descriptor,
                                              std::function<void()> onReady) override {
        return clock->WatchReadable(descriptor, std::move(onReady));
    }
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) override {
        sink->ShowMessage(caption, text, icon);
    }
    VirtualClock* clock = nullptr;
    MessageSink* sink = nullptr;
};

// The one device every run in the process uses, as the program uses one for all it does. A
// device starts two port-list threads, and the USB one looks for the FTDI library: building
// one per run took longer than most runs. A closed device keeps nothing a run can see (Open
// reads the line's settings afresh), and every run leaves it closed: the caller's clock and
// sink serve it until the next call. Its timers die with the run's clock, which detaches them.
inline TSerDev& SharedDevice(VirtualClock& clock, MessageSink& sink) {
    static DeviceHost host;
    static TSerDev dev(host, host, std::make_unique<QuietComSource>());
    FUZZ_CHECK(!dev.Opened, "the last run left the device open");
    host.clock = &clock;
    host.sink = &sink;
    return dev;
}

// The fuzz input read from the front: a byte past the end reads as zero, so every input,
// however short, plays out to the end of its run.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size)
        : data_(reinterpret_cast<const char*>(data), size) {}
    explicit ByteReader(Bytes data) : data_(std::move(data)) {}
    bool Empty() const { return at_ >= data_.size(); }
    std::uint8_t Byte() { return Empty() ? 0 : static_cast<std::uint8_t>(data_[at_++]); }
    int Le16() {
        const int lo = Byte();
        return lo | (Byte() << 8);
    }
    Bytes Take(std::size_t n) {
        const Bytes out = at_ < data_.size() ? data_.substr(at_, n) : Bytes();
        at_ += out.size();
        return out;
    }
    Bytes Rest() { return Take(data_.size()); }

private:
    Bytes data_;
    std::size_t at_ = 0;
};

inline Bytes Le16(int v) {
    return Bytes{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

// Column 0 of the serial table while it lives. Every write is recorded and handed to
// `onWrite`; the far side answers through Schedule, and its bytes reach the host's queue when
// the clock passes their due time. `onCall` runs before every call of the column, so a rig can
// move a simulator along with the clock.
class FuzzLine {
public:
    explicit FuzzLine(VirtualClock& clock) : clock_(clock), saved_(serial::TableColumn(0)) {
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        current_ = this;
        serial::TableColumn(0) = Column();
    }
    ~FuzzLine() {
        serial::TableColumn(0) = saved_;
        current_ = nullptr;
    }
    FuzzLine(const FuzzLine&) = delete;
    FuzzLine& operator=(const FuzzLine&) = delete;

    std::vector<Bytes> writes;
    std::function<void(const Bytes&)> onWrite;
    std::function<void()> onCall;
    std::function<void(const serial::DCB&)> onSetState;
    serial::DCB dcb{};
    int opens = 0;
    int closes = 0;
    bool open = false;
    // Virtual time at which bytes last reached the host's queue; -1 before any did.
    std::int64_t lastArrivalMs = -1;
    // Every byte that reached the host's queue, in order, and how many had when each write
    // was made.
    Bytes received;
    std::vector<std::size_t> receivedAtWrite;

    void Schedule(std::int64_t delayMs, const Bytes& bytes) {
        if (bytes.empty()) return;
        pending_.emplace(clock_.Now() + std::max<std::int64_t>(delayMs, 0), bytes);
        ArmArrival();
    }
    // Bytes reach the host's queue at their due time and wake whoever watches the port, as a
    // real port's input does; otherwise they wait for the host's next call of the column.
    void SetArrivals(bool on) {
        clock_.SetArrivals(on);
        arrivalTimer_.reset();
        if (!on) return;
        arrivalTimer_ = clock_.CreateTimer();
        arrivalTimer_->SetCallback([this] {
            arrivalTimer_->Stop();
            const std::size_t before = received.size();
            Release();
            if (received.size() != before)
                clock_.SignalReadable(platform::ReadableDescriptor(Handle()));
            ArmArrival();
        });
        ArmArrival();
    }
    bool Quiet() const { return pending_.empty() && input_.empty(); }
    std::int64_t Now() const { return clock_.Now(); }

private:
    static FuzzLine& Cur() { return *current_; }
    void ArmArrival() {
        if (!arrivalTimer_ || pending_.empty()) return;
        const std::int64_t in = std::max<std::int64_t>(pending_.begin()->first - clock_.Now(), 1);
        arrivalTimer_->Start(static_cast<int>(in));
    }
    static serial::HANDLE Handle() { return reinterpret_cast<serial::HANDLE>(0x100); }

    void Release() {
        if (onCall) onCall();
        while (!pending_.empty() && pending_.begin()->first <= clock_.Now()) {
            input_ += pending_.begin()->second;
            received += pending_.begin()->second;
            pending_.erase(pending_.begin());
            lastArrivalMs = clock_.Now();
        }
    }

    static serial::Column Column() {
        serial::Column c;
        c.CreateFile = [](const char*, serial::DWORD, serial::DWORD, void*, serial::DWORD,
                          serial::DWORD, serial::HANDLE) {
            ++Cur().opens;
            Cur().open = true;
            return Handle();
        };
        c.CloseHandle = [](serial::HANDLE) {
            ++Cur().closes;
            Cur().open = false;
            Cur().input_.clear();
            Cur().pending_.clear();
            return 1;
        };
        c.ReadFile = [](serial::HANDLE, void* buf, serial::DWORD n, serial::DWORD* read, void*) {
            Cur().Release();
            Bytes& in = Cur().input_;
            const std::size_t k = std::min<std::size_t>(n, in.size());
            in.copy(static_cast<char*>(buf), k);
            in.erase(0, k);
            *read = static_cast<serial::DWORD>(k);
            return 1;
        };
        c.WriteFile = [](serial::HANDLE, const void* buf, serial::DWORD n, serial::DWORD* written,
                         void*) {
            Cur().Release();
            *written = n;
            const Bytes frame(static_cast<const char*>(buf), n);
            Cur().writes.push_back(frame);
            Cur().receivedAtWrite.push_back(Cur().received.size());
            if (Cur().onWrite) Cur().onWrite(frame);
            return 1;
        };
        c.GetLastError = [](serial::HANDLE) -> serial::DWORD { return 0; };
        c.ClearCommError = [](serial::HANDLE, serial::DWORD* errors, serial::COMSTAT* st) {
            Cur().Release();
            if (errors) *errors = 0;
            if (st) {
                st->Flags = 0;
                st->cbInQue = static_cast<serial::DWORD>(Cur().input_.size());
                st->cbOutQue = 0;
            }
            return 1;
        };
        c.EscapeCommFunction = [](serial::HANDLE, serial::DWORD) { return 1; };
        c.PurgeComm = [](serial::HANDLE, serial::DWORD flags) {
            if (flags & serial::PURGE_RXCLEAR) Cur().input_.clear();
            return 1;
        };
        c.SetCommState = [](serial::HANDLE, serial::DCB* d) {
            Cur().dcb = *d;
            if (Cur().onSetState) Cur().onSetState(*d);
            return 1;
        };
        c.GetCommState = [](serial::HANDLE, serial::DCB* d) {
            *d = Cur().dcb;
            return 1;
        };
        c.SetupComm = [](serial::HANDLE, serial::DWORD, serial::DWORD) { return 1; };
        return c;
    }

    VirtualClock& clock_;
    serial::Column saved_;
    Bytes input_;
    std::multimap<std::int64_t, Bytes> pending_;
    std::unique_ptr<Timer> arrivalTimer_;
    static inline FuzzLine* current_ = nullptr;
};

}  // namespace fuzz
