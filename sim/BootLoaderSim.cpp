#include "sim/BootLoaderSim.h"

#include <algorithm>
#include <fstream>

namespace {
constexpr char kPrompt = '>';
constexpr char kConnect = '<';
constexpr char kHeaderLead = '#';
constexpr char kPageLead = '@';
constexpr char kAck = '+';
constexpr char kNak = '-';
constexpr char kRequest = '.';
constexpr std::size_t kHeaderFrame = 3 + SimConfig::kHeaderSize;  // lead, checksum, header
constexpr std::uint16_t kEndPage = 0xFFFF;

Bytes Le16(unsigned value) {
    return Bytes{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

unsigned ReadLe16(const Bytes& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
}  // namespace

BootLoaderSim::BootLoaderSim(const SimConfig& config, FrameSender& out, EventFn event)
    : config_(config), out_(out), event_(std::move(event)) {}

std::uint16_t BootLoaderSim::Checksum(const Bytes& data, std::size_t from, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = from; i < from + count && i < data.size(); ++i)
        sum += static_cast<unsigned char>(data[i]);
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

void BootLoaderSim::Start(std::int64_t nowMs) {
    state_ = State::WaitConnect;
    frame_.clear();
    finished_ = false;
    nextPromptMs_ = nowMs;
    lastByteMs_ = nowMs;
    event_("boot start");
}

void BootLoaderSim::Poll(std::int64_t nowMs) {
    if (state_ != State::Off && config_.bootIdleMs > 0 &&
        nowMs - lastByteMs_ >= config_.bootIdleMs) {
        // A boot loader left alone starts the application again, as after a failed update.
        state_ = State::Off;
        frame_.clear();
        event_("boot idle");
        return;
    }
    if (state_ == State::WaitConnect && config_.waitPrompt && nowMs >= nextPromptMs_ &&
        !Holds(SimConfig::HoldAt::Prompt)) {
        out_.Send(Bytes(1, kPrompt), nowMs);
        nextPromptMs_ = nowMs + std::max(config_.promptIntervalMs, 1);
    }
    // A frame that stopped short is refused, so the host is asked again.
    if (!frame_.empty() && nowMs - lastByteMs_ >= config_.frameTimeoutMs) {
        event_("boot short frame " + std::to_string(frame_.size()));
        frame_.clear();
        if (state_ == State::WaitAltHeader) state_ = State::WaitHeader;
        Nak(nowMs);
    }
}

void BootLoaderSim::OnByte(char byte, std::int64_t nowMs) {
    lastByteMs_ = nowMs;
    if (state_ == State::WaitAltHeader) {
        frame_ += byte;
        if (frame_.size() == SimConfig::kAltHeaderSize) AcceptHeader(nowMs);
        return;
    }
    if (frame_.empty()) {
        OnLead(byte, nowMs);
        return;
    }
    frame_ += byte;
    if (state_ == State::WaitHeader) OnHeaderByte(nowMs);
    if (state_ == State::WaitPage) OnPageByte(nowMs);
}

void BootLoaderSim::OnLead(char byte, std::int64_t nowMs) {
    if (state_ == State::Off) return;
    if (byte == kConnect) {
        Connect(nowMs);
        return;
    }
    // Anything else outside a frame is line noise to the boot loader.
    if ((state_ == State::WaitHeader && byte == kHeaderLead) ||
        (state_ == State::WaitPage && byte == kPageLead))
        frame_ = Bytes(1, byte);
}

void BootLoaderSim::Connect(std::int64_t nowMs) {
    frame_.clear();
    state_ = State::WaitHeader;
    event_("boot connect");
    out_.Send(Bytes{kAck, 0}, nowMs);
}

void BootLoaderSim::OnHeaderByte(std::int64_t nowMs) {
    if (frame_.size() < kHeaderFrame) return;
    if (ReadLe16(frame_, 1) != Checksum(frame_, 3, SimConfig::kHeaderSize)) {
        event_("boot bad header");
        frame_.clear();
        Nak(nowMs);
        return;
    }
    frame_.clear();
    if (config_.altHeader) {
        // Silence: the host is expected to give up on the frame and send the raw header.
        state_ = State::WaitAltHeader;
        event_("boot header ignored");
        return;
    }
    AcceptHeader(nowMs);
}

void BootLoaderSim::AcceptHeader(std::int64_t nowMs) {
    event_(state_ == State::WaitAltHeader ? "boot alt header" : "boot header");
    frame_.clear();
    image_.clear();
    pagesAccepted_ = 0;
    naksForPage_ = 0;
    const unsigned pageSize = static_cast<unsigned>(std::max(config_.pageSize, 0)) & 0xFFFF;
    Ack(static_cast<std::uint16_t>(pageSize), config_.headerAckCount, nowMs);
    Request(0, nowMs);
}

void BootLoaderSim::OnPageByte(std::int64_t nowMs) {
    if (frame_.size() < 3) return;
    if (ReadLe16(frame_, 1) == kEndPage) {
        EndMarker(nowMs);
        return;
    }
    const std::size_t pageSize = static_cast<std::size_t>(std::max(config_.pageSize, 0));
    const std::size_t full = pageSize == 0 ? 3 : 5 + pageSize;
    if (frame_.size() < full) return;
    const bool rightPage = static_cast<int>(ReadLe16(frame_, 1)) == expected_;
    const bool rightSum = pageSize == 0 || ReadLe16(frame_, 3) == Checksum(frame_, 5, pageSize);
    if (!rightPage || !rightSum) {
        event_(std::string("boot bad ") + (rightPage ? "checksum" : "page number") + " page " +
               std::to_string(expected_));
        frame_.clear();
        Nak(nowMs);
        return;
    }
    AcceptPage(nowMs);
}

void BootLoaderSim::AcceptPage(std::int64_t nowMs) {
    const std::size_t pageSize = static_cast<std::size_t>(std::max(config_.pageSize, 0));
    const int page = expected_;
    if (page == config_.disconnectAtPage) {
        frame_.clear();
        state_ = State::Off;
        disconnect_ = true;
        ++disconnects_;
        event_("boot disconnect page " + std::to_string(page));
        return;
    }
    if (page == config_.nakPage && naksForPage_ < config_.nakCount) {
        ++naksForPage_;
        frame_.clear();
        Nak(nowMs);
        return;
    }
    const std::size_t at = static_cast<std::size_t>(page) * pageSize;
    if (image_.size() < at + pageSize) image_.resize(at + pageSize);
    image_.replace(at, pageSize, frame_, 5, pageSize);
    frame_.clear();
    ++pagesAccepted_;
    event_("boot page " + std::to_string(page));
    const std::int64_t at_ms = nowMs + config_.pageDelayMs;
    Ack(static_cast<std::uint16_t>(page), config_.ackCount, at_ms);
    Request(page + 1, at_ms);
}

void BootLoaderSim::EndMarker(std::int64_t nowMs) {
    frame_.clear();
    if (config_.nakEnd) {
        event_("boot nak end");
        ++naksSent_;
        out_.Send(Bytes(1, kNak), nowMs);
        return;
    }
    WriteImage();
    state_ = State::Off;
    finished_ = true;
    event_("boot end " + std::to_string(image_.size()));
    Ack(kEndPage, config_.ackCount, nowMs + config_.pageDelayMs);
}

void BootLoaderSim::Nak(std::int64_t nowMs) {
    ++naksSent_;
    out_.Send(Bytes(1, kNak), nowMs);
    if (state_ == State::WaitPage) {
        event_("boot nak page " + std::to_string(expected_));
        Request(expected_, nowMs);
    }
}

bool BootLoaderSim::Holds(SimConfig::HoldAt at, int n) const {
    return !released_ && config_.holdAt == at &&
           (at == SimConfig::HoldAt::Prompt || config_.holdN == n);
}

void BootLoaderSim::Release(std::int64_t nowMs) {
    released_ = true;
    nextPromptMs_ = std::min(nextPromptMs_, nowMs);
    if (heldRequest_ < 0) return;
    const int page = heldRequest_;
    heldRequest_ = -1;
    Request(page, nowMs);
}

void BootLoaderSim::Request(int page, std::int64_t atMs) {
    expected_ = page;
    state_ = State::WaitPage;
    if (Holds(SimConfig::HoldAt::Page, page)) {
        heldRequest_ = page;
        event_("boot hold page " + std::to_string(page));
        return;
    }
    out_.Send(Bytes(1, kRequest) + Le16(static_cast<unsigned>(page)), atMs);
}

void BootLoaderSim::Ack(std::uint16_t value, int count, std::int64_t atMs) {
    Bytes frame{kAck, static_cast<char>(count & 0xFF)};
    const Bytes v = Le16(value);
    if (count == 1) frame += v.substr(0, 1);
    if (count >= 2) frame += v;
    // Small counts carry padding; a count of 0x80 and above is sent with the value alone.
    if (count > 2 && count < 0x80) frame += Bytes(static_cast<std::size_t>(count - 2), '\0');
    out_.Send(frame, atMs);
}

void BootLoaderSim::WriteImage() {
    if (config_.imagePath.empty()) return;
    std::ofstream file(config_.imagePath, std::ios::binary | std::ios::trunc);
    file.write(image_.data(), static_cast<std::streamsize>(image_.size()));
    if (!file) event_("boot cannot write " + config_.imagePath);
}
