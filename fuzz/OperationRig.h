// An adapter-control operation on a scripted line in virtual time. The adapter's side answers
// each host write with one piece, which the fuzz target reads from its input and the seed
// generator records from the simulator:
//
//     piece = <length> <timing> <split> <bytes>
//
// length is one byte, or 255 followed by two more (little-endian) that are added to it.
// timing: the piece starts arriving (timing & 15) * 15 ms after the write. split: the first
// length * (split & 31) / 32 bytes come then, the rest (split >> 5) * 40 ms later.
#pragma once

#include <memory>
#include <optional>

#include "FuzzRig.h"
#include "control/AdapterCore.h"
#include "control/OperationView.h"
#include "tests/support/PortOnlyView.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

namespace fuzz {

inline Bytes EncodePiece(const Bytes& bytes) {
    Bytes out;
    if (bytes.size() < 255) {
        out += static_cast<char>(bytes.size());
    } else {
        out += static_cast<char>(255);
        out += Le16(static_cast<int>(bytes.size() - 255));
    }
    return out + Bytes(2, '\0') + bytes;
}

// Schedules the next piece of `in` on `line` as the answer to one write.
inline void PlayPiece(ByteReader& in, FuzzLine& line) {
    if (in.Empty()) return;
    std::size_t length = in.Byte();
    if (length == 255) length += static_cast<std::size_t>(in.Le16());
    const int timing = in.Byte();
    const int split = in.Byte();
    const Bytes bytes = in.Take(length);
    const std::size_t first = bytes.size() * static_cast<std::size_t>(split & 31) / 32;
    const std::int64_t at = (timing & 15) * 15;
    line.Schedule(at, bytes.substr(0, first));
    line.Schedule(at + (split >> 5) * 40, bytes.substr(first));
}

class ModeSetting : public SettingsWriter {
public:
    void WriteRegStr(const std::string&, const Bytes& value) override { mode = value; }
    std::optional<Bytes> mode;
};

struct OperationRig {
    VirtualClock clock;
    FuzzLine line{&clock};
    RecordingSink sink;
    PortOnlyView view{PortChoice{"/dev/ttyFuzz", "ttyFuzz", ""}};
    ModeSetting settings;
    AdapterCore core{clock, sink, view, {&settings, line.Column(), QuietPortLists()}};
    AdapterModel& model = core.Model();
    AdapterControl& control = core.Control();

    OperationRig() = default;
    OperationRig(const OperationRig&) = delete;
    OperationRig& operator=(const OperationRig&) = delete;

    // Runs the starter's operation; false when it is still running after `limitMs`.
    bool Run(const std::function<void()>& starter, std::int64_t limitMs) {
        starter();
        return RunUntil(
            clock, [&] { return !control.Busy(); }, limitMs, 5 * AdapterControl::kTickMs);
    }
};

}  // namespace fuzz
