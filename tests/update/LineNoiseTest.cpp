// Whatever the line says, the engine answers only with well-formed frames, never stalls on a
// byte sequence, and a run ends only with one of its own texts.
#include <algorithm>
#include <random>
#include <set>

#include "UpdateRig.h"

namespace {

class LineNoise : public UpdateRig {
protected:
    // Bytes drawn mostly from the boot loader's lead bytes, so frames form by chance.
    Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
        static const char leads[] = {'+',    '-',    '.',    '>',    '\0', '\x01',
                                     '\x02', '\x7F', '\x80', '\xFF', '@',  '#'};
        Bytes out;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned pick = rng() % 3;
            out += pick == 0 ? static_cast<char>(rng() & 0xFF) : leads[rng() % sizeof leads];
        }
        return out;
    }
    // One frame the engine may send, given the file and the page size announced.
    bool WellFormed(const Bytes& w, int pageSize, std::size_t from) const {
        if (w == "<") return true;
        if (w.size() == 83 && w[0] == '#') return true;
        if (w == file_.substr(80, 184)) return true;
        if (w.size() < 3 || w[0] != '@') return false;
        const int page = static_cast<unsigned char>(w[1]) | static_cast<unsigned char>(w[2]) << 8;
        if (w.size() == 3) return true;  // end marker or a page past the payload
        return pageSize > 0 && w == PageFrame(page, pageSize, from);
    }
};

TEST_F(LineNoise, RandomLinesGetWellFormedFramesAndKnownEndings) {
    const std::set<std::string> endings = {"Connecting: Error", "Send Header: Error",
                                           "System Updating : Ok", "Updating firmware : Ok",
                                           "Error updating firmware..."};
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        link_.writes.clear();
        view_.statuses.clear();
        const std::size_t size = 80 + rng() % 400;
        ASSERT_TRUE(StartWith(Pattern(size), seed % 2 == 0));
        // Half the runs reach the pages through a proper greeting first.
        if (seed % 4 < 2) link_.Feed((seed % 2 == 0 ? ">" : "") + Ack(0));
        FirstTick();
        if (seed % 4 < 2) link_.Feed(Ack(1 + static_cast<int>(rng() % 40)));
        Ticks(1);
        for (int tick = 0; tick < 300 && engine_.IsActive(); ++tick) {
            link_.Feed(RandomBytes(rng, rng() % 8));
            Ticks(1);
        }
        const bool altHeader = std::find(link_.writes.begin(), link_.writes.end(),
                                         file_.substr(80, 184)) != link_.writes.end();
        const std::size_t from = altHeader ? 264 : 80;
        for (const Bytes& w : link_.writes)
            EXPECT_TRUE(WellFormed(w, engine_.PageSize(), from)) << w.size();
        if (!engine_.IsActive()) {
            const std::string& last = view_.Status();
            const bool pageError = last.rfind("Writing Page #", 0) == 0 && last.size() > 8 &&
                                   last.substr(last.size() - 8) == " : Error";
            EXPECT_TRUE(endings.count(last) || pageError) << last;
        }
        engine_.Cancel();
        link_.input.clear();
    }
}

}  // namespace
