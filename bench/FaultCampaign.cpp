// What the configurator makes of a line that misbehaves: firmware updates, searches, mode and
// power switches and self-tests through the real serial layer and the real event loop, wired
// as configurator-cli wires them, against adapter-sim behind a proxy that damages, delays,
// drops and cuts the bytes. Every run has a seed of its own that draws its adapter, its image
// and its faults, and runs in a child process of its own, so a crash is counted and a hang is
// cut by a watchdog. One table at the end: what each operation ended with.
//
//     bench/fault-campaign [--seed N] [--updates N] [--ops N] [--jobs N] [--sim PATH]
//     bench/fault-campaign --quick                  (the test: 20 updates, 5 of each other)
//     bench/fault-campaign --op update --only-seed S [--trace FILE]   (one run again, with
//                                                   its plan and the line it saw)
//
// Exit status 1 when a run crashed, hung, or ended Ok with a wrong result that no damage on
// the line explains.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "bench/FaultProxy.h"
#include "control/AdapterCore.h"
#include "control/AdapterProtocol.h"
#include "tests/support/AdapterSimProcess.h"
#include "tests/support/PortOnlyView.h"
#include "tests/support/RecordingSink.h"
#include "transport/LineTrace.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"
#include "update/UpdateWatch.h"

namespace {

namespace fs = std::filesystem;

enum class Op { Update, Search, Mode, Power, Test };
constexpr std::array<Op, 5> kOps = {Op::Update, Op::Search, Op::Mode, Op::Power, Op::Test};

const char* OpName(Op op) {
    switch (op) {
        case Op::Update:
            return "update";
        case Op::Search:
            return "search";
        case Op::Mode:
            return "mode";
        case Op::Power:
            return "power";
        case Op::Test:
            return "self-test";
    }
    return "?";
}

struct Settings {
    std::string simPath;
    double idleSeconds = 3;  // the CLI's --idle-timeout, shortened so a campaign ends today
    int hangIdleMs = 20000;  // no end, and no byte on the line, for this long: a hang
    int hangTotalMs = 180000;
    bool verbose = false;
    std::string tracePath;  // a replay's line as the configurator saw it
};

// ---- what one run is -----------------------------------------------------------------

struct Setup {
    Op op = Op::Update;
    std::uint64_t seed = 0;
    std::vector<std::string> simArgs;
    std::vector<std::string> simFaults;  // adapter-sim's own fault options, also in simArgs
    // The adapter as configured.
    std::string serial, signature, hardware, firmware, bootware = "1.02";
    std::vector<std::pair<std::string, std::string>> modes;
    std::string selected;
    bool power = false;
    std::vector<std::string> testLines;
    // What the operation asks for.
    std::string targetMode;
    bool targetPower = false;
    int pageSize = 0;
    int pages = 0;
    Bytes file;  // header and payload
    FaultPlan plan;
};

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t RunSeed(std::uint64_t campaign, Op op, int index) {
    return SplitMix(SplitMix(campaign) ^ (static_cast<std::uint64_t>(op) << 40) ^
                    static_cast<std::uint64_t>(index)) &
           0xFFFFFFFFFFFFull;
}

class Draw {
public:
    explicit Draw(std::uint64_t seed) {
        std::seed_seq seq{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)};
        rng_.seed(seq);
    }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    std::uint64_t Below(std::uint64_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::uint64_t>(0, n - 1)(rng_);
    }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    std::string Digits(int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>('0' + Int(0, 9));
        return s;
    }
    std::string Letters(int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>('A' + Int(0, 25));
        return s;
    }
    Bytes Noise(int n) {
        Bytes b;
        for (int i = 0; i < n; ++i)
            b += static_cast<char>(Int(0, 255));
        return b;
    }
    template <class T>
    const T& Pick(const std::vector<T>& v) {
        return v[Below(v.size())];
    }

private:
    std::mt19937 rng_;
};

enum class Fault {
    FlipsToSim,
    PairFlipsInPage,
    FlipsToHost,
    NoiseToSim,
    NoiseToHost,
    NakBurst,
    Trickle,
    Slow,
    Silence,
    HangUp,
    Mute,
    SimNak,
    SimNoise,
    SimTrickle,
    SimPageDelay,
    SimDisconnect,
    SimNakEnd,
    SimAckCount,
    // Another device talks on the line in the adapter's place from a moment on.
    TalkBytes,
    TalkStartedReply,
    TalkSentences,
};

void AddFault(Fault f, Setup& s, Draw& d, std::uint64_t toSim, std::uint64_t toHost) {
    FaultPlan& p = s.plan;
    auto flips = [&](Direction dir, std::uint64_t len) {
        for (int i = d.Int(1, 3); i > 0; --i)
            p.flips[dir].push_back({d.Below(len), static_cast<unsigned char>(1u << d.Int(0, 7))});
    };
    auto noise = [&](Direction dir, std::uint64_t len) {
        for (int i = d.Int(1, 2); i > 0; --i)
            p.noise[dir].push_back({d.Below(len), d.Noise(d.Int(1, 6))});
    };
    auto talk = [&](Chatter::Kind kind, int everyMs) {
        p.talk = kind;
        p.talkEveryMs = everyMs;
        p.talkAfterMs = d.Int(0, 1500);
    };
    auto sim = [&](std::vector<std::string> args) {
        // Drawn twice, the option keeps its first value: adapter-sim takes each once.
        if (std::find(s.simFaults.begin(), s.simFaults.end(), args[0]) != s.simFaults.end()) return;
        for (auto& a : args)
            s.simFaults.push_back(std::move(a));
    };
    switch (f) {
        case Fault::FlipsToSim:
            return flips(kToSim, toSim);
        case Fault::PairFlipsInPage: {
            // The same bit flipped in two bytes of one page: the 16-bit sum misses it whenever
            // the two bits differed.
            const std::uint64_t frame = 1 + 3 + TFWUpdate::kHeaderSize +
                                        d.Below(static_cast<std::uint64_t>(s.pages)) *
                                            static_cast<std::uint64_t>(5 + s.pageSize);
            const auto a = d.Below(static_cast<std::uint64_t>(s.pageSize));
            auto b = d.Below(static_cast<std::uint64_t>(s.pageSize));
            if (b == a) b = (a + 1) % static_cast<std::uint64_t>(s.pageSize);
            const auto mask = static_cast<unsigned char>(1u << d.Int(0, 7));
            p.flips[kToSim].push_back({frame + 5 + a, mask});
            p.flips[kToSim].push_back({frame + 5 + b, mask});
            return;
        }
        case Fault::FlipsToHost:
            return flips(kToHost, toHost);
        case Fault::NoiseToSim:
            return noise(kToSim, toSim);
        case Fault::NoiseToHost:
            return noise(kToHost, toHost);
        case Fault::NakBurst:
            p.naks.push_back(
                {d.Below(static_cast<std::uint64_t>(std::max(s.pages, 4) + 3)), d.Int(1, 5)});
            return;
        case Fault::Trickle: {
            const auto dir = d.Chance(0.5) ? kToSim : kToHost;
            p.trickle[dir] = {d.Below(dir == kToSim ? toSim : toHost),
                              static_cast<std::uint64_t>(d.Int(20, 300)), d.Int(1, 3)};
            return;
        }
        case Fault::Slow:
            p.slowMs = d.Int(20, 300);
            return;
        case Fault::Silence:
            p.silenceAfterMs = d.Int(0, 800);
            p.silenceMs = d.Int(100, 1500);
            return;
        case Fault::HangUp:
            p.disconnectAt = static_cast<std::int64_t>(d.Below(toSim + toHost));
            return;
        case Fault::Mute:
            p.muteAt = static_cast<std::int64_t>(d.Below(toHost));
            return;
        case Fault::SimNak:
            return sim({"--nak-page", std::to_string(d.Int(0, s.pages - 1)), "--nak-count",
                        std::to_string(d.Int(1, 5))});
        case Fault::SimNoise:
            return sim({"--noise", std::to_string(d.Int(1, 4))});
        case Fault::SimTrickle:
            return sim({"--trickle", std::to_string(d.Int(1, 2))});
        case Fault::SimPageDelay:
            return sim({"--page-delay", std::to_string(d.Int(20, 400))});
        case Fault::SimDisconnect:
            return sim({"--disconnect-at-page", std::to_string(d.Int(0, s.pages - 1))});
        case Fault::SimNakEnd:
            return sim({"--nak-end"});
        case Fault::SimAckCount:
            return sim({"--ack-count", d.Pick(std::vector<std::string>{"3", "128", "130"})});
        case Fault::TalkBytes:
            return talk(Chatter::Kind::Bytes, 5);
        case Fault::TalkStartedReply:
            return talk(Chatter::Kind::StartedReply, 5);
        case Fault::TalkSentences:
            return talk(Chatter::Kind::Sentences, 50);
    }
}

Setup MakeSetup(Op op, std::uint64_t seed) {
    Setup s;
    s.op = op;
    s.seed = seed;
    Draw d(seed);
    static const std::vector<std::string> kWords = {"Standard", "Extended", "Service", "Legacy",
                                                    "Fast",     "Quiet",    "Bridge",  "Monitor"};
    s.serial = d.Digits(6);
    s.signature = d.Letters(4);
    s.hardware = std::to_string(d.Int(1, 9)) + "." + d.Digits(1);
    s.firmware = std::to_string(d.Int(1, 9)) + "." + d.Digits(2);
    const int modeCount = d.Int(2, 5);
    std::vector<std::string> ids;
    while (static_cast<int>(ids.size()) < modeCount) {
        std::string id = d.Digits(1) + (d.Chance(0.3) ? d.Letters(1) : d.Digits(1));
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    std::string modeArg;
    for (const auto& id : ids) {
        s.modes.push_back({id, d.Pick(kWords) + " " + d.Letters(2)});
        modeArg += (modeArg.empty() ? "" : ",") + id + "=" + s.modes.back().second;
    }
    s.selected = d.Pick(ids);
    do {
        s.targetMode = d.Pick(ids);
    } while (s.targetMode == s.selected);
    s.power = d.Chance(0.5);
    s.targetPower = !s.power;
    s.testLines = {"Self-test started", "RAM ........ OK", "Flash ...... OK",
                   "Line " + d.Letters(3) + " OK", "Self-test passed"};
    // A search also meets the slower speeds now and then; the update always starts at the
    // first, so its faults fall on the boot loader rather than on probes nobody answers.
    static const std::vector<std::string> kSpeeds = {"38400", "19200", "9600", "125000"};
    const std::string speed = op != Op::Update && d.Chance(0.25) ? d.Pick(kSpeeds) : "115200";

    s.pageSize = d.Pick(std::vector<int>{32, 64, 128});
    s.pages = d.Int(4, 16);
    const auto payload = static_cast<std::size_t>(s.pageSize * s.pages);
    const std::size_t tail = d.Chance(0.2) ? static_cast<std::size_t>(d.Int(1, s.pageSize - 1)) : 0;
    s.file = d.Noise(static_cast<int>(TFWUpdate::kHeaderSize + payload + tail));

    // The bytes each direction carries once armed, roughly: where faults can land.
    std::uint64_t toSim = 0, toHost = 0;
    switch (op) {
        case Op::Update:
            toSim = 1 + 3 + TFWUpdate::kHeaderSize + payload +
                    static_cast<std::uint64_t>(s.pages) * 5 + 3;
            toHost = 60 + 2 + 4 + static_cast<std::uint64_t>(s.pages) * 7 + 4;
            break;
        case Op::Search:
            toSim = 24, toHost = 330;
            break;
        case Op::Mode:
        case Op::Power:
            toSim = 40, toHost = 550;
            break;
        case Op::Test:
            toSim = 36, toHost = 480;
            break;
    }
    s.plan.armOnUpdate = op == Op::Update && d.Chance(0.85);
    if (!d.Chance(0.2)) {
        std::vector<std::pair<Fault, int>> kinds;
        if (op == Op::Update)
            kinds = {{Fault::FlipsToSim, 3},   {Fault::PairFlipsInPage, 3},
                     {Fault::FlipsToHost, 2},  {Fault::NoiseToSim, 1},
                     {Fault::NoiseToHost, 2},  {Fault::NakBurst, 2},
                     {Fault::Trickle, 1},      {Fault::Slow, 1},
                     {Fault::Silence, 1},      {Fault::HangUp, 1},
                     {Fault::Mute, 1},         {Fault::SimNak, 1},
                     {Fault::SimNoise, 1},     {Fault::SimTrickle, 1},
                     {Fault::SimPageDelay, 1}, {Fault::SimDisconnect, 1},
                     {Fault::SimNakEnd, 1},    {Fault::SimAckCount, 1},
                     {Fault::TalkBytes, 1},    {Fault::TalkStartedReply, 1},
                     {Fault::TalkSentences, 1}};
        else
            kinds = {{Fault::FlipsToHost, 4},      {Fault::NoiseToHost, 2},  {Fault::FlipsToSim, 1},
                     {Fault::NoiseToSim, 1},       {Fault::Trickle, 1},      {Fault::Slow, 1},
                     {Fault::Silence, 1},          {Fault::HangUp, 1},       {Fault::Mute, 1},
                     {Fault::SimNoise, 1},         {Fault::SimTrickle, 1},   {Fault::TalkBytes, 1},
                     {Fault::TalkStartedReply, 1}, {Fault::TalkSentences, 1}};
        int weight = 0;
        for (const auto& k : kinds)
            weight += k.second;
        const int count = d.Chance(0.35) ? d.Int(2, 3) : 1;
        for (int i = 0; i < count; ++i) {
            int r = d.Int(0, weight - 1);
            for (const auto& k : kinds) {
                if ((r -= k.second) >= 0) continue;
                AddFault(k.first, s, d, toSim, toHost);
                break;
            }
        }
    }

    s.simArgs = {"--speed",      speed,
                 "--serial",     s.serial,
                 "--signature",  s.signature,
                 "--hardware",   s.hardware,
                 "--firmware",   s.firmware,
                 "--bootware",   s.bootware,
                 "--modes",      modeArg,
                 "--selected",   s.selected,
                 "--power",      s.power ? "on" : "off",
                 "--page-size",  std::to_string(s.pageSize),
                 "--test-pause", "5"};
    for (const auto& line : s.testLines) {
        s.simArgs.push_back("--test-line");
        s.simArgs.push_back(line);
    }
    for (const auto& a : s.simFaults)
        s.simArgs.push_back(a);
    return s;
}

std::string DescribeSetup(const Setup& s) {
    std::string text = std::string(OpName(s.op)) + " run " + std::to_string(s.seed) + ": ";
    if (s.op == Op::Update)
        text += std::to_string(s.pages) + " pages of " + std::to_string(s.pageSize) + ", file " +
                std::to_string(s.file.size()) + " bytes; ";
    text += "adapter-sim";
    for (const auto& a : s.simFaults)
        text += " " + a;
    text += "; proxy: " + (s.plan.Empty() ? std::string("no fault") : s.plan.Describe());
    return text;
}

// ---- one run, in its child process ----------------------------------------------------

struct Outcome {
    std::string kind;  // ok, error, wrong; the parent adds hang and crash
    std::string label;
    bool attributed = false;  // a wrong result that damage on the line explains
    int pagesCorrupted = 0;   // page frames damaged in flight, in runs that wrote an image
    int pagesAccepted = 0;    // of those, pages the image holds damaged
    int pairsCorrupted = 0;   // the frames and pages above whose damage was a same-bit pair
    int pairsAccepted = 0;
    int imageWritten = 0;
    std::string detail;
};

std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = c == '\t' ? ' ' : '.';
    return text;
}

// Digits grouped: "Writing Page #3 : Error" and "#7" are one kind of end.
std::string Normalize(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i]))) {
            out += 'N';
            while (i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1])))
                ++i;
        } else if (text[i] == '\t' || text[i] == '\n') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

class StatusView : public UpdateView {
public:
    void SetProgressMax(int) override {}
    void SetProgressPos(int) override {}
    void SetStatus(const std::string& text) override { status = text; }
    std::string status;
};

// One command-line run: its loop and its adapter's core, as configurator-cli makes them.
struct Host {
    Host(const std::string& port)
        : view(PortChoice{port, port, ""}, [this] { loop.Quit(0); }),
          core(loop, sink, view),
          model(core.Model()),
          updater(core.Updater()),
          dev(core.Device()),
          control(core.Control()) {}
    // As configurator-cli takes an operation's outcome: its exchange answered to the end.
    bool RunOperation(const std::function<void()>& starter) {
        starter();
        if (control.Busy()) loop.Run();
        return control.Succeeded();
    }
    bool Search() {
        return RunOperation([this] { control.btSearchClick(); });
    }
    std::string CurrentMode() const {
        for (const ModeRow& r : model.Modes)
            if (r.StateIcon == 0) return r.Id;
        return "";
    }

    EventLoop loop;
    RecordingSink sink;
    PortOnlyView view;
    AdapterCore core;
    AdapterModel& model;
    TFWUpdate& updater;
    TSerDev& dev;
    AdapterControl& control;
};

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Le16(unsigned v) {
    return Bytes{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

// Page frames that the proxy damaged, found by walking what the configurator sent after the
// update command: connect request, header frame, page frames and the end marker. A frame whose
// only damage is one bit flipped in two of its data bytes is a pair: the 16-bit sum misses
// half of those by design, while other damage it should catch.
struct PageDamage {
    int frames = 0;
    int pairFrames = 0;
    std::map<int, bool> lastIsPair;  // by page number: the kind of that page's last damage
};

PageDamage DamagedPageFrames(const FaultProxy& proxy, const FaultPlan& plan, int pageSize) {
    const Bytes& sent = proxy.OriginalToSim();
    const auto& damaged = proxy.Damaged(kToSim);
    auto isFlip = [&](std::uint64_t at) {
        for (const auto& f : plan.flips[kToSim])
            if (f.at == at) return true;
        return false;
    };
    auto isNoise = [&](std::uint64_t at, bool framing) {
        for (const auto& n : plan.noise[kToSim])
            if (n.at == at && (!framing || n.bytes.find_first_of("@<") != Bytes::npos)) return true;
        return false;
    };
    PageDamage report;
    std::size_t pos = 0;
    const std::size_t frame = 5 + static_cast<std::size_t>(pageSize);
    while (pos < sent.size()) {
        const char c = sent[pos];
        if (c == TFWUpdate::kHeader) {
            pos += 3 + TFWUpdate::kHeaderSize;
            continue;
        }
        if (c != TFWUpdate::kPageLead) {
            ++pos;
            continue;
        }
        if (pos + 2 < sent.size() && sent.compare(pos + 1, 2, Le16(0xFFFF)) == 0) {
            pos += 3;
            continue;
        }
        std::vector<std::uint64_t> hits;
        bool noise = false;
        for (std::uint64_t at : damaged) {
            // At the lead, a flip hides the frame; noise before it only when it starts a frame
            // or a connect of its own.
            const bool in =
                (at > pos && at < pos + frame) || (at == pos && (isFlip(at) || isNoise(at, true)));
            if (!in) continue;
            hits.push_back(at);
            noise = noise || isNoise(at, false);
        }
        if (!hits.empty()) {
            unsigned char mask[2] = {0, 0};
            bool pair = !noise && hits.size() == 2 && hits[0] != hits[1];
            for (std::size_t i = 0; pair && i < 2; ++i) {
                pair = hits[i] >= pos + 5;
                for (const auto& f : plan.flips[kToSim])
                    if (f.at == hits[i]) mask[i] = f.mask;
            }
            pair = pair && mask[0] == mask[1];
            const int page = pos + 2 < sent.size()
                                 ? static_cast<unsigned char>(sent[pos + 1]) |
                                       (static_cast<unsigned char>(sent[pos + 2]) << 8)
                                 : -1;
            ++report.frames;
            report.pairFrames += pair ? 1 : 0;
            report.lastIsPair[page] = pair;
        }
        pos += frame;
    }
    return report;
}

bool SimNoise(const Setup& s) {
    return std::find(s.simFaults.begin(), s.simFaults.end(), "--noise") != s.simFaults.end();
}

// Something reached the configurator other than what the simulator sent.
bool AnswersDamaged(const Setup& s, const FaultProxy& proxy) {
    return !proxy.Damaged(kToHost).empty() || !s.plan.naks.empty() || proxy.Dropped() > 0 ||
           SimNoise(s);
}

Outcome ClassifyUpdate(const Setup& s, Host& host, const StatusView& status, bool searched,
                       bool gaveUp, const FaultProxy& proxy, const fs::path& imagePath) {
    Outcome o;
    if (!searched) {
        o.kind = "error";
        o.label = "search before the update: " + Normalize(host.sink.FirstText());
        return o;
    }
    if (status.status.empty() && !host.sink.boxes.empty()) {
        o.kind = "error";
        o.label = "update command: " + Normalize(host.sink.FirstText());
        return o;
    }
    const std::size_t whole = static_cast<std::size_t>(s.pages * s.pageSize);
    const Bytes expected = s.file.substr(TFWUpdate::kHeaderSize, whole);
    const bool written = fs::exists(imagePath);
    const Bytes image = ReadFile(imagePath);
    std::vector<int> differing;
    if (written && image.size() == expected.size()) {
        o.imageWritten = 1;
        const PageDamage damage = DamagedPageFrames(proxy, s.plan, s.pageSize);
        o.pagesCorrupted = damage.frames;
        o.pairsCorrupted = damage.pairFrames;
        for (int p = 0; p < s.pages; ++p) {
            const auto at = static_cast<std::size_t>(p * s.pageSize);
            if (image.compare(at, static_cast<std::size_t>(s.pageSize), expected, at,
                              static_cast<std::size_t>(s.pageSize)) != 0)
                differing.push_back(p);
        }
        o.pagesAccepted = static_cast<int>(differing.size());
        for (int p : differing) {
            const auto it = damage.lastIsPair.find(p);
            if (it != damage.lastIsPair.end() && it->second) ++o.pairsAccepted;
        }
    }
    const bool ok = TFWUpdate::Succeeded(host.updater.LastOutcome());
    if (!ok || gaveUp) {
        o.kind = "error";
        o.label = gaveUp ? "boot loader silent, given up: " + Normalize(status.status)
                         : Normalize(status.status);
        if (o.label.empty()) o.label = "(no status)";
        if (!host.sink.boxes.empty()) o.label += " | box: " + Normalize(host.sink.FirstText());
        return o;
    }
    if (written && image == expected) {
        o.kind = "ok";
        return o;
    }
    o.kind = "wrong";
    const std::string sizes = "image of " + std::to_string(image.size()) + " bytes, " +
                              std::to_string(expected.size()) + " expected";
    // The engine's fallback for a boot loader that never answers the header: the file's next
    // bytes go out raw and the pages start behind them.
    const Bytes alt =
        s.file.substr(TFWUpdate::kHeaderSize, TFWUpdate::kAltHeaderEnd - TFWUpdate::kHeaderSize);
    if (proxy.OriginalToSim().find(alt) != Bytes::npos) {
        // An answer to the header that comes after the engine gave up on it reads as the
        // answer to the alternative header: the protocol cannot tell the two apart, and the
        // proxy's delays and damage are what made it late.
        o.attributed = true;
        o.label = std::string("alternative header sent after the header's answer was ") +
                  (AnswersDamaged(s, proxy) ? "damaged" : "late (nothing damaged)");
        o.detail = sizes;
        return o;
    }
    if (!written || image.size() != expected.size()) {
        // Pages missing: the page size or a page number was misread, or the end marker went
        // out early.
        o.attributed = AnswersDamaged(s, proxy);
        o.label = std::string("short image, boot loader's answers ") +
                  (o.attributed ? "damaged in flight" : "intact");
        o.detail = sizes;
        return o;
    }
    // Each damaged page must be what the proxy really sent, behind a checksum that the 16-bit
    // sum of the damaged bytes matches: then the boot loader's check let it through.
    o.attributed = true;
    for (int p : differing) {
        const Bytes got = image.substr(static_cast<std::size_t>(p * s.pageSize),
                                       static_cast<std::size_t>(s.pageSize));
        const Bytes frame = Bytes(1, TFWUpdate::kPageLead) + Le16(static_cast<unsigned>(p)) +
                            Le16(TFWUpdate::Checksum16(got)) + got;
        if (proxy.ForwardedToSim().find(frame) == Bytes::npos) o.attributed = false;
        o.detail += (o.detail.empty() ? "pages " : ",") + std::to_string(p);
    }
    o.label =
        o.attributed ? "damaged page(s) passed the 16-bit sum" : "damaged page(s), cause unknown";
    o.detail += " differ";
    return o;
}

nlohmann::json ReadState(const fs::path& path) {
    try {
        std::ifstream in(path);
        return nlohmann::json::parse(in);
    } catch (const std::exception&) {
        return nlohmann::json::object();
    }
}

std::string ErrorLabel(const char* step, const Host& host) {
    return std::string(step) + ": " +
           (host.sink.boxes.empty() ? std::string("(no message)")
                                    : Normalize(host.sink.FirstText()));
}

// Search, then the operation, as the command line's subcommand does; the result the user is
// told is compared with what the simulator was configured with or says it did.
Outcome RunControl(const Setup& s, Host& host, const fs::path& stateFile, std::string& detail) {
    Outcome o;
    auto wrong = [&](const std::string& what) {
        o.kind = "wrong";
        o.label = what;
        return o;
    };
    if (!host.Search()) {
        o.kind = "error";
        o.label = ErrorLabel("search", host);
        return o;
    }
    const AdapterIdentity& id = host.model.Identity;
    if (s.op == Op::Search) {
        std::vector<std::pair<std::string, std::string>> modes;
        for (const ModeRow& r : host.model.Modes)
            modes.emplace_back(r.Id, r.Description);
        std::sort(modes.begin(), modes.end());
        auto configured = s.modes;
        std::sort(configured.begin(), configured.end());
        const bool same = id.SerialNumber == s.serial && id.Signature == s.signature &&
                          id.Hardware == s.hardware && id.Firmware == s.firmware &&
                          id.Bootware == s.bootware && modes == configured &&
                          host.CurrentMode() == s.selected && id.ExtPowerOn == s.power;
        if (!same) {
            detail = "found SN " + id.SerialNumber + " ID " + id.Signature + " HW " + id.Hardware +
                     " FW " + id.Firmware + " BW " + id.Bootware + " current " + host.CurrentMode();
            return wrong("identity differs");
        }
        o.kind = "ok";
        return o;
    }
    if (s.op == Op::Mode) {
        auto& modes = host.model.Modes;
        std::size_t row = modes.size();
        for (std::size_t i = 0; i < modes.size(); ++i)
            if (modes[i].Id == s.targetMode) row = i;
        if (row == modes.size()) {
            o.kind = "error";
            o.label = "the adapter offers no such mode";
            return o;
        }
        if (modes[row].StateIcon != 0) {
            host.control.Modes().lvModesSelectItem(row);
            if (!host.RunOperation([&host] { host.control.btModeSelectClick(); })) {
                o.kind = "error";
                o.label = ErrorLabel("mode", host);
                return o;
            }
        }
        const std::string reported = host.CurrentMode();
        const std::string actual = ReadState(stateFile).value("selected", std::string("?"));
        detail = "asked " + s.targetMode + ", reported " + reported + ", adapter has " + actual;
        // configurator-cli fails a switch the answer does not show.
        if (reported != s.targetMode) {
            o.kind = "error";
            o.label = "the answer marks another mode current";
            return o;
        }
        if (actual != s.targetMode) return wrong("mode differs");
        o.kind = "ok";
        return o;
    }
    if (s.op == Op::Power) {
        if (!host.model.Visible(Control::cbPower) || !host.model.Enabled(Control::cbPower)) {
            o.kind = "error";
            o.label = "the adapter reports no power switch";
            return o;
        }
        host.model.Identity.ExtPowerOn = s.targetPower;
        if (!host.RunOperation([&host] { host.control.cbPowerClick(); })) {
            o.kind = "error";
            o.label = ErrorLabel("power", host);
            return o;
        }
        const bool actual = ReadState(stateFile).value("power", !s.targetPower);
        detail = std::string("asked ") + (s.targetPower ? "on" : "off") + ", reported " +
                 (id.ExtPowerOn ? "on" : "off") + ", adapter has " + (actual ? "on" : "off");
        if (id.ExtPowerOn != s.targetPower) {
            o.kind = "error";
            o.label = "the answer shows the other power state";
            return o;
        }
        if (actual != s.targetPower) return wrong("power differs");
        o.kind = "ok";
        return o;
    }
    // The self-test: its output is shown as it comes, so what the user read is the log.
    if (!host.RunOperation([&host] { host.control.btRunTestClick(); })) {
        o.kind = "error";
        o.label = ErrorLabel("self-test", host);
        return o;
    }
    // The reply as the adapter sends it: its banner, then the test's lines.
    Bytes expected = "CR:" + std::string("Adapter (C) 2026 Adapter Works");
    for (const auto& line : s.testLines)
        expected += "\r\n" + line;
    const Bytes& log = host.model.TestLog;
    if (log != expected) {
        detail = "log: " + log;
        return wrong("self-test output differs");
    }
    o.kind = "ok";
    return o;
}

Outcome Execute(const Setup& s, const Settings& cfg, std::atomic<std::int64_t>* activity) {
    const fs::path dir = fs::temp_directory_path() / ("fault-campaign-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct RemoveDir {
        fs::path path;
        ~RemoveDir() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } removeDir{dir};
    const fs::path fwFile = dir / "fw.rfw";
    const fs::path image = dir / "image.bin";
    const fs::path state = dir / "state.json";
    std::ofstream(fwFile, std::ios::binary) << s.file;
    std::vector<std::string> args = s.simArgs;
    for (const auto& a : {"--image", image.c_str(), "--state-file", state.c_str()})
        args.push_back(a);
    Outcome o;
    {
        const fs::path errFile = dir / "sim.err";
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        AdapterSimProcess sim(cfg.simPath, args, err >= 0 ? err : ChildProcess::kDiscard);
        if (err >= 0) close(err);
        if (sim.Pty().empty()) {
            o.kind = "setup";
            o.label = "adapter-sim did not start";
            o.detail = OneLine(ReadFile(errFile));
            for (const auto& a : args)
                o.detail += " '" + a + "'";
            return o;
        }
        FaultProxy proxy(s.plan, Bytes(kFirstCommandPrefix) + cmd::Update);
        proxy.SetActivity(activity);
        if (!proxy.Start(sim.Pty())) {
            o.kind = "error";
            o.label = "proxy: " + proxy.Error();
            return o;
        }
        Host host(proxy.HostPath());
        std::string traceError;
        const auto trace =
            cfg.tracePath.empty() ? nullptr : LineTrace::OpenFile(cfg.tracePath, traceError);
        host.dev.SetTrace(trace.get());
        std::string detail;
        if (s.op == Op::Update) {
            StatusView status;
            // The command line's watch over an update: a run the boot loader no longer moves
            // on is given up.
            UpdateWatch watch(host.loop, host.updater,
                              static_cast<std::int64_t>(cfg.idleSeconds * 1000),
                              [&host] { host.control.StopUpdate(); });
            const bool searched = host.Search();
            if (searched)
                host.RunOperation(
                    [&] { host.control.StartUpdate(fwFile.string(), false, false, status); });
            proxy.Stop();
            o = ClassifyUpdate(s, host, status, searched, watch.GaveUp(), proxy, image);
            detail = "status \"" + status.status + "\"";
        } else {
            o = RunControl(s, host, state, detail);
            proxy.Stop();
            if (o.kind == "wrong") {
                // Replies carry no check of their own: bytes damaged, dropped or cut on the way
                // can make a reply that parses, and that is the protocol's limit, not a fault.
                o.attributed = !proxy.Damaged(kToSim).empty() || AnswersDamaged(s, proxy) ||
                               proxy.Disconnected();
                o.label += o.attributed ? " (bytes damaged in flight)" : " (line clean)";
            }
        }
        // A hang-up must end the run with its own message, not by the idle bound.
        if (proxy.Disconnected() && o.kind == "error")
            o.label += proxy.SimHungUp() ? " [simulator hung up]" : " [line hung up]";
        if (!o.detail.empty()) detail += "; " + o.detail;
        o.detail = detail;
        sim.Stop(SIGTERM);
    }
    return o;
}

}  // namespace

// ---- the campaign ---------------------------------------------------------------------

namespace {

struct Task {
    Op op;
    std::uint64_t seed;
};

struct Tally {
    int runs = 0, ok = 0, errors = 0, wrongExplained = 0, wrongUnexplained = 0, hangs = 0,
        crashes = 0;
    std::map<std::string, int> errorTexts;
    std::map<std::string, int> wrongTexts;
};

struct Totals {
    std::map<Op, Tally> byOp;
    int imageRuns = 0;
    int pagesCorrupted = 0;
    int pagesAccepted = 0;
    int pairsCorrupted = 0;
    int pairsAccepted = 0;
    std::vector<std::string> problems;  // one line each, with the command that replays it
};

std::string Serialize(const Outcome& o) {
    std::ostringstream s;
    s << o.kind << '\t' << OneLine(o.label) << '\t' << o.attributed << '\t' << o.pagesCorrupted
      << '\t' << o.pagesAccepted << '\t' << o.imageWritten << '\t' << o.pairsCorrupted << '\t'
      << o.pairsAccepted << '\t' << OneLine(o.detail) << '\n';
    return s.str();
}

bool Parse(const std::string& line, Outcome& o) {
    std::vector<std::string> f;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        f.push_back(field);
    if (f.size() < 8) return false;
    o.kind = f[0];
    o.label = f[1];
    o.attributed = f[2] == "1";
    o.pagesCorrupted = std::stoi(f[3]);
    o.pagesAccepted = std::stoi(f[4]);
    o.imageWritten = std::stoi(f[5]);
    o.pairsCorrupted = std::stoi(f[6]);
    o.pairsAccepted = std::stoi(f[7]);
    o.detail = f.size() > 8 ? f[8] : "";
    return true;
}

struct Child {
    pid_t pid = -1;
    int fd = -1;
    Task task;
    std::int64_t startMs = 0;
    std::string out;
    int slot = 0;
};

std::string Replay(const Task& t) {
    return std::string("bench/fault-campaign --op ") + OpName(t.op) + " --only-seed " +
           std::to_string(t.seed);
}

void Record(Totals& totals, const Task& t, const Outcome& o) {
    Tally& tally = totals.byOp[t.op];
    ++tally.runs;
    totals.imageRuns += o.imageWritten;
    totals.pagesCorrupted += o.pagesCorrupted;
    totals.pagesAccepted += o.pagesAccepted;
    totals.pairsCorrupted += o.pairsCorrupted;
    totals.pairsAccepted += o.pairsAccepted;
    const std::string where = std::string(OpName(t.op)) + " run " + std::to_string(t.seed);
    if (o.kind == "ok") {
        ++tally.ok;
    } else if (o.kind == "error") {
        ++tally.errors;
        ++tally.errorTexts[o.label];
    } else if (o.kind == "wrong") {
        ++(o.attributed ? tally.wrongExplained : tally.wrongUnexplained);
        ++tally.wrongTexts[o.label];
        totals.problems.push_back((o.attributed ? "ok-wrong (explained) " : "OK-WRONG ") + where +
                                  ": " + o.label + "; " + o.detail + "\n    " + Replay(t));
    } else if (o.kind == "setup") {
        ++tally.errors;
        ++tally.errorTexts[o.label];
        totals.problems.push_back("SETUP " + where + ": " + o.detail + "\n    " + Replay(t));
    } else if (o.kind == "hang") {
        ++tally.hangs;
        totals.problems.push_back("HANG " + where + ": " + o.label + "\n    " + Replay(t));
    } else {
        ++tally.crashes;
        totals.problems.push_back("CRASH " + where + ": " + o.label + "\n    " + Replay(t));
    }
}

Child Spawn(const Task& t, const Settings& cfg, std::atomic<std::int64_t>* slots, int slot) {
    int fds[2];
    Child c;
    c.task = t;
    c.slot = slot;
    if (pipe2(fds, O_CLOEXEC) != 0) return c;
    slots[slot].store(WallMs());
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Its own group: a watchdog's kill takes the child's adapter-sim with it.
        setpgid(0, 0);
        close(fds[0]);
        const Setup s = MakeSetup(t.op, t.seed);
        if (cfg.verbose) std::fprintf(stderr, "%s\n", DescribeSetup(s).c_str());
        const std::string line = Serialize(Execute(s, cfg, &slots[slot]));
        const ssize_t n = write(fds[1], line.data(), line.size());
        _exit(n == static_cast<ssize_t>(line.size()) ? 0 : 3);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return c;
    }
    setpgid(pid, pid);
    c.pid = pid;
    c.fd = fds[0];
    c.startMs = WallMs();
    return c;
}

// Reaps a child that closed its pipe: its line, or a crash.
Outcome Reap(Child& c) {
    int status = 0;
    waitpid(c.pid, &status, 0);
    close(c.fd);
    // A child that died leaves its adapter-sim in its group.
    kill(-c.pid, SIGKILL);
    Outcome o;
    const auto nl = c.out.find('\n');
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && nl != std::string::npos &&
        Parse(c.out.substr(0, nl), o))
        return o;
    o = Outcome{};
    o.kind = "crash";
    o.label = WIFSIGNALED(status) ? std::string("killed by ") + strsignal(WTERMSIG(status))
                                  : "exit status " + std::to_string(WEXITSTATUS(status));
    return o;
}

Totals RunCampaign(const std::vector<Task>& tasks, const Settings& cfg, int jobs) {
    Totals totals;
    // Shared with the children: the proxy stamps every byte it moves.
    auto* slots = static_cast<std::atomic<std::int64_t>*>(
        mmap(nullptr, sizeof(std::atomic<std::int64_t>) * static_cast<std::size_t>(jobs),
             PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (slots == MAP_FAILED) {
        std::perror("mmap");
        std::exit(2);
    }
    for (int i = 0; i < jobs; ++i)
        new (&slots[i]) std::atomic<std::int64_t>(0);
    std::vector<Child> running;
    std::vector<bool> busy(static_cast<std::size_t>(jobs), false);
    std::size_t next = 0;
    std::size_t done = 0;
    while (next < tasks.size() || !running.empty()) {
        while (next < tasks.size() && static_cast<int>(running.size()) < jobs) {
            int slot = 0;
            while (busy[static_cast<std::size_t>(slot)])
                ++slot;
            Child c = Spawn(tasks[next], cfg, slots, slot);
            if (c.pid < 0) {
                Outcome o;
                o.kind = "crash";
                o.label = "fork failed";
                Record(totals, tasks[next], o);
            } else {
                busy[static_cast<std::size_t>(slot)] = true;
                running.push_back(std::move(c));
            }
            ++next;
        }
        std::vector<pollfd> fds;
        for (const Child& c : running)
            fds.push_back({c.fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 100);
        const std::int64_t now = WallMs();
        for (std::size_t i = running.size(); i-- > 0;) {
            Child& c = running[i];
            bool ended = false;
            Outcome o;
            if (fds[i].revents != 0) {
                char buf[4096];
                const ssize_t n = read(c.fd, buf, sizeof buf);
                if (n > 0) c.out.append(buf, static_cast<std::size_t>(n));
                if (n <= 0) {
                    o = Reap(c);
                    ended = true;
                }
            }
            const std::int64_t idle = now - std::max(slots[c.slot].load(), c.startMs);
            if (!ended && (idle > cfg.hangIdleMs || now - c.startMs > cfg.hangTotalMs)) {
                kill(-c.pid, SIGKILL);
                kill(c.pid, SIGKILL);
                waitpid(c.pid, nullptr, 0);
                close(c.fd);
                o.kind = "hang";
                o.label = "not ended after " + std::to_string((now - c.startMs) / 1000) +
                          " s, line idle for " + std::to_string(idle / 1000) + " s";
                ended = true;
            }
            if (!ended) continue;
            Record(totals, c.task, o);
            busy[static_cast<std::size_t>(c.slot)] = false;
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            if (++done % 100 == 0) std::fprintf(stderr, "%zu of %zu runs\n", done, tasks.size());
        }
    }
    munmap(slots, sizeof(std::atomic<std::int64_t>) * static_cast<std::size_t>(jobs));
    return totals;
}

double Rate(int part, int whole) {
    return whole > 0 ? 100.0 * part / whole : 0.0;
}

bool PrintTable(const Totals& t, double seconds) {
    std::printf("\n%-10s %6s %9s %7s %14s %16s %6s %8s\n", "operation", "runs", "ok-exact",
                "errors", "ok-wrong(line)", "ok-wrong(other)", "hangs", "crashes");
    bool pass = true;
    for (Op op : kOps) {
        const auto it = t.byOp.find(op);
        if (it == t.byOp.end()) continue;
        const Tally& r = it->second;
        std::printf("%-10s %6d %9d %7d %14d %16d %6d %8d\n", OpName(op), r.runs, r.ok, r.errors,
                    r.wrongExplained, r.wrongUnexplained, r.hangs, r.crashes);
        pass = pass && r.wrongUnexplained == 0 && r.hangs == 0 && r.crashes == 0;
    }
    std::printf(
        "pages damaged in flight (updates that wrote an image, %d runs): %d; accepted by the "
        "16-bit sum: %d (%.1f%%)\n",
        t.imageRuns, t.pagesCorrupted, t.pagesAccepted, Rate(t.pagesAccepted, t.pagesCorrupted));
    const int otherCorrupted = t.pagesCorrupted - t.pairsCorrupted;
    const int otherAccepted = t.pagesAccepted - t.pairsAccepted;
    std::printf(
        "  one bit flipped in two bytes of a page: %d, accepted %d (%.1f%%); other damage: %d, "
        "accepted %d (%.1f%%)\n",
        t.pairsCorrupted, t.pairsAccepted, Rate(t.pairsAccepted, t.pairsCorrupted), otherCorrupted,
        otherAccepted, Rate(otherAccepted, otherCorrupted));
    std::printf(
        "ok-wrong(line): a wrong result that damage on the line explains (for updates: "
        "a damaged page whose 16-bit sum matched); ok-wrong(other): none does.\n");
    for (Op op : kOps) {
        const auto it = t.byOp.find(op);
        if (it == t.byOp.end()) continue;
        std::vector<std::pair<int, std::string>> rows;
        for (const auto& [text, n] : it->second.errorTexts)
            rows.emplace_back(n, "error: " + text);
        for (const auto& [text, n] : it->second.wrongTexts)
            rows.emplace_back(n, "ok-wrong: " + text);
        std::sort(rows.rbegin(), rows.rend());
        if (!rows.empty()) std::printf("\n%s, ends other than ok-exact:\n", OpName(op));
        for (const auto& [n, text] : rows)
            std::printf("  %5d  %s\n", n, text.c_str());
    }
    if (!t.problems.empty()) std::printf("\nRuns to look at:\n");
    for (const auto& p : t.problems)
        std::printf("  %s\n", p.c_str());
    std::printf("\nwall time %.1f s\n", seconds);
    return pass;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Firmware updates and adapter operations through a line that misbehaves"};
    Settings cfg;
#ifdef ADAPTER_SIM_PATH
    cfg.simPath = ADAPTER_SIM_PATH;
#else
    cfg.simPath = "adapter-sim";
#endif
    std::uint64_t seed = 1;
    int updates = 500;
    int ops = 200;
    int jobs = 2;
    bool quick = false;
    std::uint64_t onlySeed = 0;
    std::string onlyOp = "update";
    app.add_option("--seed", seed, "Campaign seed: every run's seed follows from it")
        ->capture_default_str();
    app.add_option("--updates", updates, "Firmware updates")->capture_default_str();
    app.add_option("--ops", ops, "Runs of each of search, mode, power and self-test")
        ->capture_default_str();
    app.add_option("--jobs", jobs, "Runs at the same time")
        ->capture_default_str()
        ->check(CLI::Range(1, 16));
    app.add_option("--sim", cfg.simPath, "adapter-sim's path")->capture_default_str();
    app.add_option("--idle-timeout", cfg.idleSeconds,
                   "Seconds without a byte from the boot loader before an update is given up, "
                   "as configurator-cli's option")
        ->capture_default_str();
    app.add_option("--hang-after", cfg.hangIdleMs,
                   "A run that has not ended with the line idle this long (ms) is a hang")
        ->capture_default_str();
    app.add_flag("--quick", quick, "20 updates and 5 of each other operation");
    app.add_option("--only-seed", onlySeed, "Run this one run again, with its plan");
    app.add_option("--op", onlyOp, "The operation of --only-seed")
        ->check(CLI::IsMember({"update", "search", "mode", "power", "self-test"}))
        ->capture_default_str();
    app.add_option("--trace", cfg.tracePath,
                   "With --only-seed: the configurator's side of the line to FILE, as "
                   "configurator-cli --trace writes it");
    CLI11_PARSE(app, argc, argv);
    if (quick) {
        updates = 20;
        ops = 5;
    }

    std::vector<Task> tasks;
    if (app.count("--only-seed") > 0) {
        cfg.verbose = true;
        for (Op op : kOps)
            if (onlyOp == OpName(op)) tasks.push_back({op, onlySeed});
        jobs = 1;
    } else {
        for (Op op : kOps)
            for (int i = 0; i < (op == Op::Update ? updates : ops); ++i)
                tasks.push_back({op, RunSeed(seed, op, i)});
        // Interleaved, so two jobs rarely run two long updates side by side.
        std::vector<Task> mixed;
        std::vector<std::size_t> at(kOps.size(), 0);
        std::size_t left = tasks.size();
        std::vector<std::vector<Task>> byOp(kOps.size());
        for (const Task& t : tasks)
            byOp[static_cast<std::size_t>(t.op)].push_back(t);
        while (left > 0)
            for (std::size_t k = 0; k < byOp.size(); ++k)
                if (at[k] < byOp[k].size()) {
                    mixed.push_back(byOp[k][at[k]++]);
                    --left;
                }
        tasks = std::move(mixed);
        std::printf(
            "seed %llu: %d updates, %d each of search, mode, power and self-test, "
            "%d at a time, idle timeout %g s, hang after %d ms idle\n",
            static_cast<unsigned long long>(seed), updates, ops, jobs, cfg.idleSeconds,
            cfg.hangIdleMs);
    }
    const auto t0 = std::chrono::steady_clock::now();
    const Totals totals = RunCampaign(tasks, cfg, jobs);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (app.count("--only-seed") > 0)
        for (const auto& [op, tally] : totals.byOp) {
            (void)op;
            for (const auto& [text, n] : tally.errorTexts)
                std::printf("ended with: %s\n", text.c_str());
        }
    return PrintTable(totals, seconds) ? 0 : 1;
}
