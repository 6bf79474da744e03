// A firmware update whose boot loader's side is the simulator's, cut, torn, delayed, repeated
// or hit by noise as the input says. The engine must only ever send well-formed frames, end
// unless the line falls silent, and claim success only for an end marker that was confirmed.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "UpdateRig.h"

namespace {

// Long enough for the largest image at the slowest pace the mutations allow, and for an input
// that spends all its bytes on keeping the prompt from getting through: only such runs go on
// for long, since the images are small.
constexpr std::int64_t kLimitMs = 10 * 60 * 1000;
// A line quiet for this long may leave the engine waiting: only the user's Stop ends that.
// Above the longest the exchange can rest while it is alive, checked at the first run: the
// host's wait before the alternative header, the boot loader's frame timeout or pause between
// prompts from there, its answer's delay, and the tick until the rig passes that answer on.
// Mutations that delay a stretch keep it on the line, which is not quiet meanwhile.
constexpr std::int64_t kSilentMs = 500;

void CheckSilenceBound(const SimConfig& config) {
    const std::int64_t longestRest = (TFWUpdate::kAltCountdown + 1) * TFWUpdate::kTickMs +
                                     std::max(config.frameTimeoutMs, config.promptIntervalMs) +
                                     config.pageDelayMs + TFWUpdate::kTickMs;
    FUZZ_CHECK(kSilentMs > longestRest, "the silence bound is below the boot loader's pauses (" +
                                            std::to_string(longestRest) + " ms)");
}

int Value16(const Bytes& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

// Parses what the engine wrote; returns the index of the first end marker's write, if any.
std::optional<std::size_t> CheckFrames(const std::vector<Bytes>& writes, const Bytes& file) {
    const Bytes header = file.substr(0, TFWUpdate::kHeaderSize);
    Bytes payload = file.substr(TFWUpdate::kHeaderSize);
    std::optional<std::size_t> end;
    std::size_t pageSize = 0;
    bool headerSent = false;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const Bytes& w = writes[i];
        FUZZ_CHECK(!w.empty(), "empty write");
        if (w == "<") continue;
        if (w[0] == TFWUpdate::kHeader && w.size() == 3 + header.size() &&
            w.compare(3, header.size(), header) == 0) {
            FUZZ_CHECK(Value16(w, 1) == TFWUpdate::Checksum16(header), "header checksum");
            headerSent = true;
            continue;
        }
        if (w == Bytes("@\xFF\xFF", 3)) {
            if (!end) end = i;  // the first one: its confirmation may come before a repeat
            continue;
        }
        if (w[0] == TFWUpdate::kPageLead && w.size() > 5) {
            const Bytes data = w.substr(5);
            const auto page = static_cast<std::size_t>(Value16(w, 1));
            FUZZ_CHECK(Value16(w, 3) == TFWUpdate::Checksum16(data), "page checksum");
            FUZZ_CHECK(pageSize == 0 || data.size() == pageSize, "pages of two sizes");
            pageSize = data.size();
            FUZZ_CHECK((page + 1) * pageSize <= payload.size() &&
                           payload.compare(page * pageSize, pageSize, data) == 0,
                       "page " + std::to_string(page) + " is not the file's");
            continue;
        }
        // The alternative header: the raw bytes after the header, once the header went
        // unanswered; the pages then start behind it.
        const Bytes alt =
            file.substr(TFWUpdate::kHeaderSize, TFWUpdate::kAltHeaderEnd - TFWUpdate::kHeaderSize);
        FUZZ_CHECK(headerSent && pageSize == 0 && w == alt,
                   "ill-formed frame #" + std::to_string(i) + ": " + fuzz::Escaped(w));
        payload = file.size() > TFWUpdate::kAltHeaderEnd ? file.substr(TFWUpdate::kAltHeaderEnd)
                                                         : Bytes();
    }
    return end;
}

// An acknowledgement of page 0xFFFF anywhere in `bytes`.
bool HoldsEndAck(const Bytes& bytes) {
    for (std::size_t i = 0; i + 3 < bytes.size(); ++i)
        if (bytes[i] == TFWUpdate::kAck && bytes[i + 2] == '\xFF' && bytes[i + 3] == '\xFF')
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader in(data, size);
    fuzz::UpdateRig rig(in);
    static const bool checked = (CheckSilenceBound(rig.Config()), true);
    (void)checked;
    FUZZ_CHECK(rig.Start(), "the engine refused a good file");
    fuzz::FuzzLine& line = rig.Line();
    const auto silent = [&] {
        return line.Quiet() &&
               rig.Clock().Now() - std::max<std::int64_t>(line.lastArrivalMs, 0) > kSilentMs;
    };
    fuzz::RunUntil(
        rig.Clock(), [&] { return !rig.Engine().IsActive() || silent(); }, kLimitMs,
        fuzz::UpdateRig::kStepMs);
    if (rig.Engine().IsActive()) {
        FUZZ_CHECK(silent(), "still running although the boot loader talks; step " +
                                 std::to_string(rig.Engine().CurrentStep()));
        rig.Engine().Cancel();
        FUZZ_CHECK(!rig.Engine().IsActive(), "cancel did not end the run");
        FUZZ_CHECK(rig.Engine().LastOutcome() == TFWUpdate::Outcome::Canceled, "cancel outcome");
    }
    FUZZ_CHECK(!line.open && line.opens == line.closes, "port left open");

    // FUZZ_TRACE=1 shows the exchange of a reproduced input: each write, then what came back.
    if (std::getenv("FUZZ_TRACE") != nullptr) {
        for (std::size_t i = 0; i < line.writes.size(); ++i) {
            const std::size_t from = line.receivedAtWrite[i];
            const std::size_t to =
                i + 1 < line.writes.size() ? line.receivedAtWrite[i + 1] : line.received.size();
            std::fprintf(stderr, "> %s\n< %s\n", fuzz::Escaped(line.writes[i], 24).c_str(),
                         fuzz::Escaped(line.received.substr(from, to - from), 400).c_str());
        }
        for (const std::string& s : rig.View().statuses)
            std::fprintf(stderr, "status: %s\n", s.c_str());
    }
    const std::optional<std::size_t> end = CheckFrames(line.writes, rig.File());
    const TFWUpdate::Outcome outcome = rig.Engine().LastOutcome();
    FUZZ_CHECK(rig.View().statuses.back() == TFWUpdate::OutcomeText(outcome, rig.Engine().Page()),
               "the status is not the outcome's text");
    if (outcome == TFWUpdate::Outcome::Written) {
        FUZZ_CHECK(end.has_value(), "success claimed without an end marker");
        FUZZ_CHECK(HoldsEndAck(line.received.substr(line.receivedAtWrite[*end])),
                   "success claimed before the end marker was confirmed");
    }
    if (outcome == TFWUpdate::Outcome::HeaderOnly)
        FUZZ_CHECK(rig.File().size() <= TFWUpdate::kAltHeaderEnd,
                   "an image with pages claimed written without any");
    return 0;
}
