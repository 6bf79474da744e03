// A firmware update against the simulated boot loader in virtual time, with every stretch of
// bytes the boot loader sends passed through a mutation the fuzz input chooses. With the input
// used up the bytes pass untouched, so the run still reaches its end; the seed generator runs
// the same rig with no input to record the boot loader's side of whole updates.
#pragma once

#include <unistd.h>

#include <fstream>
#include <memory>

#include "FuzzRig.h"
#include "sim/AdapterSim.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

namespace fuzz {

class RecordingUpdateView : public UpdateView {
public:
    void SetProgressMax(int m) override { max = m; }
    void SetProgressPos(int p) override { pos = p; }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    int max = -1;
    int pos = -1;
    std::vector<std::string> statuses;
};

// Firmware content whose every byte tells where it came from.
inline Bytes Pattern(std::size_t size) {
    Bytes b(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return b;
}

// The run's settings, from the input's first five bytes.
struct UpdateSetup {
    bool wait = false;
    bool arrivals = false;  // the engine is woken by input, not only by its ticks
    SimConfig config;
    std::size_t payload = 0;

    explicit UpdateSetup(ByteReader& in) {
        const std::uint8_t flags = in.Byte();
        wait = (flags & 1) != 0;
        arrivals = (flags & 32) != 0;
        config.startInBootLoader = true;
        config.waitPrompt = wait;
        config.altHeader = (flags & 2) != 0;
        config.nakEnd = (flags & 4) != 0;
        config.ackCount = (flags & 8) != 0 ? 0x80 : 2;
        config.headerAckCount = (flags & 16) != 0 ? 3 : 2;
        const auto size = static_cast<std::size_t>(in.Le16());
        static const int kPageSizes[] = {128, 64, 256, 16, 1, 100, 512, 7};
        const std::uint8_t page = in.Byte();
        config.pageSize = kPageSizes[page % 8];
        config.nakPage = (page >> 3) % 8 - 1;
        config.nakCount = 1 + (page >> 6);
        config.noiseBytes = in.Byte() % 3;
        // Every page costs a round trip of ticks, and one-byte pages made thousands of them.
        // What the exchange can tell apart is covered by the alternative header's bytes and a
        // few pages behind them, past the last page a NAK may pick, with a tail that fills none.
        payload = size % (SimConfig::kAltHeaderSize +
                          (kWholePages + 1) * static_cast<std::size_t>(config.pageSize));
    }

    static constexpr std::size_t kWholePages = 7;  // pages 0 to 6: the last a NAK picks
};

class UpdateRig {
public:
    explicit UpdateRig(ByteReader& in)
        : in_(in),
          setup_(in),
          sim_(setup_.config),
          line_(&clock_),
          file_(Pattern(kFirmwareHeaderSize + setup_.payload)) {
        // Many runs in a row share their image size: the file on disk already holds theirs.
        static Bytes written;
        if (written != file_) {
            std::ofstream(Path(), std::ios::binary | std::ios::trunc) << file_;
            written = file_;
        }
        line_.SetArrivals(setup_.arrivals);
        line_.onWrite = [this](const Bytes& frame) { sim_.OnBytes(frame, clock_.Now()); };
        line_.onCall = [this] { Sync(); };
        line_.onSetState = [this](const serial::DCB& d) {
            static const char kParity[] = "NOEMS";
            sim_.SetLine({d.BaudRate, d.Parity < 5 ? kParity[d.Parity] : '?', d.ByteSize});
        };
    }

    UpdateRig(const UpdateRig&) = delete;
    UpdateRig& operator=(const UpdateRig&) = delete;

    static const std::string& Path() {
        static const std::string path =
            ScratchDir() + "/fuzz_update_" + std::to_string(::getpid()) + ".rfw";
        static const bool cleanup = [] {
            std::atexit([] { ::unlink(Path().c_str()); });
            return true;
        }();
        (void)cleanup;
        return path;
    }

    bool Start() { return engine_.Start(clock_, sink_, *dev_, Path(), view_, setup_.wait); }
    // Runs until the engine ends or `limitMs` pass; true when it ended.
    bool RunFor(std::int64_t limitMs) {
        return fuzz::RunUntil(
            clock_, [&] { return !engine_.IsActive(); }, limitMs, kStepMs);
    }
    // How often a run looks at its end condition: every other tick of the engine's.
    static constexpr std::int64_t kStepMs = 2 * TFWUpdate::kTickMs;

    VirtualClock& Clock() { return clock_; }
    FuzzLine& Line() { return line_; }
    TFWUpdate& Engine() { return engine_; }
    RecordingUpdateView& View() { return view_; }
    const Bytes& File() const { return file_; }
    const SimConfig& Config() const { return sim_.Config(); }
    // What the boot loader sent, before any mutation: the seed generator records it.
    const std::vector<Bytes>& SimChunks() const { return simChunks_; }

private:
    // The boot loader's bytes of the moment go on the line through the input's mutation.
    void Sync() {
        const Bytes out = sim_.Poll(clock_.Now());
        if (out.empty()) return;
        simChunks_.push_back(out);
        Mutate(out);
    }

    void Send(std::int64_t delayMs, const Bytes& bytes) { line_.Schedule(delayMs, bytes); }

    void Mutate(const Bytes& out) {
        if (in_.Empty()) return Send(0, out);
        const std::uint8_t op = in_.Byte();
        switch (op % 10) {
            case 3:  // lost
                break;
            case 4:  // replaced by noise
                Send(0, in_.Take(1 + in_.Byte() % 8));
                break;
            case 5: {  // one byte hit
                Bytes hit = out;
                hit[in_.Byte() % hit.size()] ^= static_cast<char>(in_.Byte() | 1);
                Send(0, hit);
                break;
            }
            case 6: {  // torn in two
                const std::size_t k = in_.Byte() % out.size();
                Send(0, out.substr(0, k));
                Send((in_.Byte() % 16) * 10, out.substr(k));
                break;
            }
            case 7:  // late
                Send((in_.Byte() % 32) * 10, out);
                break;
            case 8:  // noise ahead
                Send(0, in_.Take(1 + in_.Byte() % 8) + out);
                break;
            case 9:  // twice
                Send(0, out + out);
                break;
            default:
                Send(0, out);
                break;
        }
    }

    ByteReader& in_;
    UpdateSetup setup_;
    VirtualClock clock_;
    AdapterSim sim_;
    FuzzLine line_;
    RecordingSink sink_;
    RecordingUpdateView view_;
    std::unique_ptr<TSerDev> dev_ = MakeDevice(clock_, sink_, line_);
    TFWUpdate engine_;
    Bytes file_;
    std::vector<Bytes> simChunks_;
};

}  // namespace fuzz
