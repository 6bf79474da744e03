// A stand-in for the adapter and its boot loader on the far end of the serial line, written
// from the wire protocols alone so that it checks the configurator instead of mirroring it.
//
// The adapter is a pure state machine: bytes in and time in, bytes out.
//     AdapterSim sim(config);            // SimConfig: identity, modes, line, boot loader, faults
//     sim.SetLine(hostSettings);         // what the host's side of the line is set to
//     sim.OnBytes(bytes, nowMs);         // bytes that reached the adapter
//     Bytes out = sim.Poll(nowMs);       // runs timed work, returns bytes due on the wire
// Two attachments put it on a line:
//   * MemoryLink (sim/MemoryLink.h): an in-memory serial port for virtual-time tests. While it
//     lives it is column 0 of the serial function table, so TSerDev runs unchanged on any port
//     name starting with "/dev/" (e.g. "/dev/sim0"). It moves with a VirtualClock, records every
//     host write with the line settings of the moment, shows RTS/DTR/queue counts, can pace
//     bytes at the line's speed, and has a "transmit queue never drains" fault.
//     Declare the link before the TSerDev (and after the clock) so that it outlives the
//     device: a device closed after the link is gone would hand its handle to the real column.
//   * PtyLink (sim/PtyLink.h): a pseudo-terminal; the host opens the slave path. A pty carries
//     no parity and always 8 data bits, so there only the speed decides (termios2, 125000 ok).
//
// The program `adapter-sim` (build/.../sim/adapter-sim) serves a PtyLink until SIGINT/SIGTERM,
// across any number of host opens and closes. Its first stdout line is the slave's path;
// --link PATH adds a symbolic link, --state-file PATH keeps a JSON of selected mode, power,
// stored mode files, boot-loader progress and the commands seen; events go to stderr unless
// --quiet. Every SimConfig field has an option (--speed, --prefix, --company/--suffix,
// --labels long|short, --modes 01=One,02=Two, --selected, --power on|off, --voltage 5C,
// --no-ack, --silent MS, --test-pause, --noise, --trickle, --garbage-on-wrong-speed,
// --start-in-bootloader, --image FILE, --mode-file FILE, --page-size, --wait-prompt,
// --alt-header, --nak-page K --nak-count N, --nak-end, --ack-count, --header-ack-count,
// --disconnect-at-page K, --page-delay MS, --boot-idle MS, --pace, --hold, --talk); see --help.
// --talk bytes|started-reply|sentences puts another device on the line in the adapter's place.
// --hold prompt|test-line:N|page:N holds that back until the program gets SIGUSR1, so a test
// can look at the state the host waits in for as long as it needs.
//
// Behaviour worth knowing when writing tests against it:
//   * Commands: prefix + letter, no terminator; recognised only with the configured prefix
//     (default "!rimPAX_SC_"; SimConfig::CompanyPrefix builds the company one) and only while
//     the host's line equals SimConfig::line (default 115200,N,8). At a wrong speed: silence,
//     or garbage bytes with garbageOnWrongSpeed.
//   * Replies: CR LF, the banner line ("CR:<copyright>", or "USB-<copyright>" with long labels),
//     further lines joined by CR LF, then CR LF CR LF.
//       I: SN/ID/HW/FW/BW (or "Serial Number: ", "Signature: ", "Hardware: ", "Version ", BW:)
//       S: mode lines "01 - Standard", "Selected Mode: 01", "PW:On|Off", "UP:<hex>"
//       M + ID (1-3 chars; the adapter knows its IDs, so an ID that cannot grow is taken at
//         once, one that could grow after modeIdWaitMs): mode lines and the new selection
//       P + "1"/"0": PW and UP lines          E + 80 bytes: mode lines and selection
//       T: the self-test lines, one piece every testPauseMs
//       U: a reply, then the boot loader takes the line until the end marker is confirmed
//     "M", "P", "E" first get a short "OK" reply unless ackPayloadCommands is false; letters
//     in `silent` get no reply at all (the command still acts). While "M" or "P" waits for
//     its payload, a byte equal to the prefix's first one starts a command instead; a payload
//     that stops for payloadTimeoutMs is dropped. An unknown mode ID gets a
//     reply with "Unknown Mode: <id>" and the selection unchanged. A change-mode file whose
//     first bytes are a known mode ID selects that mode; every stored file is counted and
//     written to modeFilePath.
//   * Boot loader: optional ">" every promptIntervalMs until "<"; "<" is acknowledged with
//     "+" 0x00; the header frame is checked and acknowledged with the page size ("+" 02 lo hi),
//     or in altHeader mode ignored until 184 raw bytes arrived; then "." page requests from
//     0 on; page frames are checked (number, checksum, length by frameTimeoutMs); a bad frame
//     gets "-" and the same request again; the end marker "@" FF FF gets "+" 02 FF FF and the
//     image (accepted pages in order) is written to imagePath. Faults: nakPage/nakCount,
//     nakEnd, ackCount/headerAckCount (count byte 0, 1, or 0x80+ sent with the value alone),
//     pageSize 0, disconnectAtPage, pageDelayMs. With bootIdleMs the boot loader hands the
//     line back to the application after that much silence (else it stays until the end).
//   * Faults on everything sent: noiseBytes before each reply or frame, trickleMs byte by byte.
//   * Events ("mode 02", "power on", "modefile 80", "boot page 3", ...) go to SetEventSink.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Bytes.h"
#include "sim/BootLoaderSim.h"
#include "sim/FrameSender.h"
#include "sim/LineSettings.h"
#include "sim/SimConfig.h"

class AdapterSim {
public:
    using EventFn = std::function<void(const std::string&)>;

    explicit AdapterSim(SimConfig config = {});
    AdapterSim(const AdapterSim&) = delete;
    AdapterSim& operator=(const AdapterSim&) = delete;

    void SetLine(const LineSettings& host) { hostLine_ = host; }
    void OnBytes(const Bytes& data, std::int64_t nowMs);
    Bytes Poll(std::int64_t nowMs);
    // When the next queued byte falls due (OutputQueue::kNever: none). Waiting states also
    // need Poll now and then: callers poll at least every few milliseconds.
    std::int64_t NextDueMs() const;

    // Ends the configured hold (SimConfig::holdAt): what it held back goes out from now on.
    void Release(std::int64_t nowMs);

    void SetEventSink(EventFn sink) { sink_ = std::move(sink); }
    const SimConfig& Config() const { return config_; }
    // Changes apply from the next byte; the boot loader reads its settings live.
    SimConfig& MutableConfig() { return config_; }
    // From now on another device talks on the line in the adapter's place.
    void BecomeChatter(Chatter::Kind kind, int everyMs) { chatter_ = Chatter(kind, everyMs); }

    bool LineMatches() const;
    // The adapter's own line settings at the moment: the boot loader has its own speed.
    LineSettings WireLine() const;
    const std::string& SelectedMode() const { return config_.selected; }
    bool PowerOn() const { return config_.power; }
    const Bytes& StoredModeFile() const { return modeFile_; }
    int StoredModeFiles() const { return modeFiles_; }
    bool InBootLoader() const { return boot_.Active(); }
    // One request per configured disconnect; the attachment takes it and closes the line.
    bool TakeDisconnect() { return boot_.TakeDisconnect(); }
    int Disconnects() const { return boot_.Disconnects(); }
    const BootLoaderSim& Boot() const { return boot_; }
    // Every command letter recognised so far, in order.
    const std::string& Commands() const { return commands_; }

private:
    enum class State { Idle, AwaitModeId, AwaitPower, AwaitModeFile };

    void OnCommandByte(char byte, std::int64_t nowMs);
    void Command(char letter, std::int64_t nowMs);
    void Expect(State state, std::int64_t nowMs);
    void OnModeIdByte(char byte, std::int64_t nowMs);
    void SelectMode(const std::string& id, std::int64_t nowMs);
    void SetPower(char value, std::int64_t nowMs);
    void StoreModeFile(std::int64_t nowMs);
    void StartSelfTest(std::int64_t nowMs);
    void Reply(char letter, const std::vector<std::string>& lines, std::int64_t nowMs);
    void Event(const std::string& what) {
        if (sink_) sink_(what);
    }
    int ModeIdMatches(const std::string& text, bool& exact) const;

    std::vector<std::string> IdentityLines() const;
    std::vector<std::string> ModeLines() const;
    std::vector<std::string> PowerLines() const;
    std::string Banner() const;

    SimConfig config_;
    FrameSender out_;
    BootLoaderSim boot_;
    EventFn sink_;
    LineSettings hostLine_;
    State state_ = State::Idle;
    char payloadCommand_ = 0;
    Bytes window_;   // the last prefix-length + 1 bytes while idle
    Bytes payload_;  // the payload of "M", "P" or "E" so far
    std::int64_t payloadSinceMs_ = 0;
    std::string commands_;
    // Self-test pieces held back, each with its delay after the hold began.
    std::vector<std::pair<Bytes, std::int64_t>> heldTest_;
    bool released_ = false;
    bool testHeld_ = false;
    Chatter chatter_;
    Bytes modeFile_;
    int modeFiles_ = 0;
};
