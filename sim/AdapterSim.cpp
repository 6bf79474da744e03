#include "sim/AdapterSim.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {
const char kCrLf[] = "\r\n";
const unsigned char kGarbage[] = {0xF8, 0x80, 0xFE, 0x00, 0xE0, 0x1C, 0xC3};

bool IsModeIdChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}
}  // namespace

AdapterSim::AdapterSim(SimConfig config)
    : config_(std::move(config)),
      out_(config_),
      boot_(config_, out_, [this](const std::string& what) { Event(what); }),
      chatter_(config_.talk, config_.talkEveryMs) {
    if (config_.startInBootLoader) boot_.Start(0);
}

LineSettings AdapterSim::WireLine() const {
    LineSettings line = config_.line;
    if (boot_.Active()) line.baud = config_.bootBaud;
    return line;
}

bool AdapterSim::LineMatches() const {
    return hostLine_ == WireLine();
}

void AdapterSim::OnBytes(const Bytes& data, std::int64_t nowMs) {
    if (data.empty()) return;
    if (chatter_.Talks()) {
        chatter_.Heard();
        return;
    }
    if (!LineMatches()) {
        // A UART at the wrong speed sees framing errors, not commands.
        window_.clear();
        if (config_.garbageOnWrongSpeed) {
            Bytes garbage;
            for (std::size_t i = 0; i < data.size(); ++i)
                garbage += static_cast<char>(kGarbage[i % sizeof kGarbage]);
            out_.SendRaw(garbage, nowMs + config_.replyDelayMs);
        }
        return;
    }
    for (const char byte : data) {
        if (boot_.Active())
            boot_.OnByte(byte, nowMs);
        else
            OnCommandByte(byte, nowMs);
    }
}

Bytes AdapterSim::Poll(std::int64_t nowMs) {
    if (chatter_.Talks()) {
        const Bytes said = chatter_.Talk(nowMs);
        if (!said.empty()) out_.SendRaw(said, nowMs);
    }
    const bool waited = nowMs - payloadSinceMs_ >= config_.payloadTimeoutMs;
    if (state_ == State::AwaitModeId && !payload_.empty()) {
        bool exact = false;
        ModeIdMatches(payload_, exact);
        if (exact && nowMs - payloadSinceMs_ >= config_.modeIdWaitMs) SelectMode(payload_, nowMs);
    }
    if (state_ != State::Idle && waited) {
        Event(std::string("payload timeout ") + payloadCommand_);
        state_ = State::Idle;
    }
    if (boot_.Active()) boot_.Poll(nowMs);
    return out_.TakeDue(nowMs);
}

std::int64_t AdapterSim::NextDueMs() const {
    return std::min(out_.NextDueMs(), chatter_.NextDueMs());
}

void AdapterSim::OnCommandByte(char byte, std::int64_t nowMs) {
    switch (state_) {
        case State::Idle:
            window_ += byte;
            if (window_.size() > config_.prefix.size() + 1) window_.erase(0, 1);
            if (window_.size() == config_.prefix.size() + 1 &&
                window_.compare(0, config_.prefix.size(), config_.prefix) == 0) {
                window_.clear();
                Command(byte, nowMs);
            }
            break;
        case State::AwaitModeId:
        case State::AwaitPower:
            // A host that gave up on the payload starts a command: take it as one.
            if (payload_.empty() && !config_.prefix.empty() && byte == config_.prefix[0]) {
                Event(std::string("payload abandoned ") + payloadCommand_);
                state_ = State::Idle;
                OnCommandByte(byte, nowMs);
            } else if (state_ == State::AwaitModeId) {
                OnModeIdByte(byte, nowMs);
            } else {
                state_ = State::Idle;
                SetPower(byte, nowMs);
            }
            break;
        case State::AwaitModeFile:
            payload_ += byte;
            payloadSinceMs_ = nowMs;
            if (payload_.size() == SimConfig::kModeFileSize) StoreModeFile(nowMs);
            break;
    }
}

void AdapterSim::Command(char letter, std::int64_t nowMs) {
    commands_ += letter;
    Event(std::string("command ") + letter);
    switch (letter) {
        case 'I':
            Reply(letter, IdentityLines(), nowMs);
            break;
        case 'S': {
            auto lines = ModeLines();
            for (auto& l : PowerLines())
                lines.push_back(l);
            Reply(letter, lines, nowMs);
            break;
        }
        case 'M':
            Expect(State::AwaitModeId, nowMs);
            break;
        case 'P':
            Expect(State::AwaitPower, nowMs);
            break;
        case 'E':
            Expect(State::AwaitModeFile, nowMs);
            break;
        case 'T':
            StartSelfTest(nowMs);
            break;
        case 'U':
            Reply(letter, {"Boot loader started"}, nowMs);
            boot_.Start(nowMs);
            break;
        default:
            break;  // unknown letters are not answered
    }
}

void AdapterSim::Expect(State state, std::int64_t nowMs) {
    payloadCommand_ = state == State::AwaitModeId ? 'M' : state == State::AwaitPower ? 'P' : 'E';
    state_ = state;
    payload_.clear();
    payloadSinceMs_ = nowMs;
    if (config_.ackPayloadCommands) Reply(payloadCommand_, {"OK"}, nowMs);
}

// How many known IDs begin with text; exact tells whether one equals it.
int AdapterSim::ModeIdMatches(const std::string& text, bool& exact) const {
    int n = 0;
    exact = false;
    for (const auto& m : config_.modes) {
        if (m.id.compare(0, text.size(), text) == 0) ++n;
        if (m.id == text) exact = true;
    }
    return n;
}

void AdapterSim::OnModeIdByte(char byte, std::int64_t nowMs) {
    payload_ += byte;
    payloadSinceMs_ = nowMs;
    bool exact = false;
    const int candidates = ModeIdMatches(payload_, exact);
    // An ID no longer than any known one is complete when nothing longer can follow.
    if (candidates == 0 || (exact && candidates == 1) || payload_.size() >= 3 ||
        !IsModeIdChar(byte))
        SelectMode(payload_, nowMs);
}

void AdapterSim::SelectMode(const std::string& id, std::int64_t nowMs) {
    state_ = State::Idle;
    bool exact = false;
    ModeIdMatches(id, exact);
    auto lines = ModeLines();
    if (exact && config_.locked) {
        Event("locked mode " + id);
    } else if (exact) {
        config_.selected = id;
        Event("mode " + id);
        lines = ModeLines();
    } else {
        Event("unknown mode " + id);
        lines.insert(lines.begin(), "Unknown Mode: " + id);
    }
    Reply('M', lines, nowMs);
}

void AdapterSim::SetPower(char value, std::int64_t nowMs) {
    if (config_.locked) {
        Event("locked power");
    } else if (value == '1' || value == '0') {
        config_.power = value == '1';
        Event(config_.power ? "power on" : "power off");
    } else {
        Event("bad power value");
    }
    Reply('P', PowerLines(), nowMs);
}

void AdapterSim::StoreModeFile(std::int64_t nowMs) {
    state_ = State::Idle;
    modeFile_ = payload_;
    ++modeFiles_;
    Event("modefile " + std::to_string(modeFile_.size()));
    if (!config_.modeFilePath.empty()) {
        std::ofstream file(config_.modeFilePath, std::ios::binary | std::ios::trunc);
        file.write(modeFile_.data(), static_cast<std::streamsize>(modeFile_.size()));
    }
    // The file's leading ID characters name the mode it puts the adapter in.
    std::size_t n = 0;
    while (n < 3 && n < modeFile_.size() && IsModeIdChar(modeFile_[n]))
        ++n;
    for (std::size_t len = n; len > 0; --len) {
        bool exact = false;
        ModeIdMatches(modeFile_.substr(0, len), exact);
        if (exact) {
            config_.selected = modeFile_.substr(0, len);
            Event("mode " + config_.selected);
            break;
        }
    }
    Reply('E', ModeLines(), nowMs);
}

void AdapterSim::StartSelfTest(std::int64_t nowMs) {
    if (config_.silent.find('T') != std::string::npos) return;
    // One piece per line, each a pause after the one before: the host shows them as they come.
    std::int64_t at = nowMs + config_.replyDelayMs;
    std::vector<Bytes> pieces{kCrLf + Banner()};
    for (const auto& line : config_.testLines)
        pieces.push_back(kCrLf + line);
    pieces.push_back(Bytes(kCrLf) + kCrLf);
    // The first self-test only is held: one run later starts over and runs whole.
    const bool hold = !released_ && !testHeld_ && config_.holdAt == SimConfig::HoldAt::TestLine;
    testHeld_ = testHeld_ || hold;
    // The banner and the first holdN lines go out; the rest waits for Release.
    const std::size_t sent = hold ? static_cast<std::size_t>(std::max(config_.holdN, 0)) + 1 : 0;
    heldTest_.clear();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) at += config_.testPauseMs;
        if (hold && i >= sent)
            heldTest_.emplace_back(pieces[i], at - nowMs);
        else
            out_.Send(pieces[i], at);
    }
    if (!heldTest_.empty()) Event("hold self-test");
}

void AdapterSim::Release(std::int64_t nowMs) {
    released_ = true;
    boot_.Release(nowMs);
    if (heldTest_.empty()) return;
    const std::int64_t first = heldTest_.front().second;
    for (const auto& [piece, delay] : heldTest_)
        out_.Send(piece, nowMs + delay - first);
    heldTest_.clear();
}

void AdapterSim::Reply(char letter, const std::vector<std::string>& lines, std::int64_t nowMs) {
    if (config_.silent.find(letter) != std::string::npos) return;
    Bytes text = kCrLf + Banner();
    for (const auto& line : lines)
        text += kCrLf + line;
    text += Bytes(kCrLf) + kCrLf;
    out_.Send(text, nowMs + config_.replyDelayMs);
}

std::string AdapterSim::Banner() const {
    return (config_.labels == LabelStyle::Long ? "USB-" : "CR:") + config_.copyright;
}

std::vector<std::string> AdapterSim::IdentityLines() const {
    std::vector<std::string> lines;
    if (config_.labels == LabelStyle::Long) {
        lines = {"Serial Number: " + config_.serialNumber, "Signature: " + config_.signature,
                 "Hardware: " + config_.hardware, "Version " + config_.firmware};
    } else {
        lines = {"SN:" + config_.serialNumber, "ID:" + config_.signature, "HW:" + config_.hardware,
                 "FW:" + config_.firmware};
    }
    if (!config_.bootware.empty()) lines.push_back("BW:" + config_.bootware);
    return lines;
}

std::vector<std::string> AdapterSim::ModeLines() const {
    std::vector<std::string> lines;
    for (const auto& m : config_.modes)
        lines.push_back(m.id + " - " + m.description);
    lines.push_back("Selected Mode: " + config_.selected);
    return lines;
}

std::vector<std::string> AdapterSim::PowerLines() const {
    char up[16];
    std::snprintf(up, sizeof up, "UP:%X", config_.voltage);
    return {config_.power ? "PW:On" : "PW:Off", up};
}
