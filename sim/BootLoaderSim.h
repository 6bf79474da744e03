// The adapter's boot loader as the host meets it on the wire: prompt, connect, header (or the
// raw alternative header), page requests, page frames checked by number, checksum and length,
// acknowledgements, and the end marker. Accepted pages make up the flashed image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Bytes.h"
#include "sim/FrameSender.h"
#include "sim/SimConfig.h"

class BootLoaderSim {
public:
    using EventFn = std::function<void(const std::string&)>;

    BootLoaderSim(const SimConfig& config, FrameSender& out, EventFn event);

    void Start(std::int64_t nowMs);
    void OnByte(char byte, std::int64_t nowMs);
    void Poll(std::int64_t nowMs);
    // Ends the configured hold: prompts flow, a held page request goes out now.
    void Release(std::int64_t nowMs);

    bool Active() const { return state_ != State::Off; }
    // The configured disconnect was reached: the attachment closes the line. Taking the
    // request clears it, so a line that was opened again stays up.
    bool TakeDisconnect() {
        const bool d = disconnect_;
        disconnect_ = false;
        return d;
    }
    int Disconnects() const { return disconnects_; }
    bool Finished() const { return finished_; }
    const Bytes& Image() const { return image_; }
    int PagesAccepted() const { return pagesAccepted_; }
    int NaksSent() const { return naksSent_; }

    static std::uint16_t Checksum(const Bytes& data, std::size_t from, std::size_t count);

private:
    enum class State { Off, WaitConnect, WaitHeader, WaitAltHeader, WaitPage };

    void OnLead(char byte, std::int64_t nowMs);
    void OnHeaderByte(std::int64_t nowMs);
    void OnPageByte(std::int64_t nowMs);
    void AcceptHeader(std::int64_t nowMs);
    void AcceptPage(std::int64_t nowMs);
    void EndMarker(std::int64_t nowMs);
    void Connect(std::int64_t nowMs);
    void Nak(std::int64_t nowMs);
    void Request(int page, std::int64_t atMs);
    void Ack(std::uint16_t value, int count, std::int64_t atMs);
    void WriteImage();
    bool Holds(SimConfig::HoldAt at, int n = 0) const;

    const SimConfig& config_;
    FrameSender& out_;
    EventFn event_;
    State state_ = State::Off;
    Bytes frame_;
    std::int64_t lastByteMs_ = 0;
    std::int64_t nextPromptMs_ = 0;
    int expected_ = 0;
    int naksForPage_ = 0;
    int pagesAccepted_ = 0;
    int naksSent_ = 0;
    bool disconnect_ = false;
    int disconnects_ = 0;
    bool finished_ = false;
    bool released_ = false;
    int heldRequest_ = -1;
    Bytes image_;
};
