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
#include "tests/support/FakePort.h"
#include "tests/support/QuietPortLists.h"
#include "tests/support/RecordingSink.h"
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

// The far side of the line, played by a target: the project's fake port, its column given
// to the run's own device.
using FuzzLine = FakePort;

// A run's own device on `line`; the port lists are the quiet ones every run shares.
inline std::unique_ptr<TSerDev> MakeDevice(VirtualClock& clock, MessageSink& sink, FuzzLine& line) {
    auto dev = std::make_unique<TSerDev>(clock, sink, line.Column(), QuietPortLists());
    dev->PortName = "/dev/ttyFuzz";
    return dev;
}

}  // namespace fuzz
