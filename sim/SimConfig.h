// Everything the simulated adapter can be told: its identity, its modes, its line, its boot
// loader and the faults it injects. Plain data, filled by tests or the program's options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/Chatter.h"
#include "sim/LineSettings.h"

struct SimMode {
    std::string id;  // 1 to 3 characters 0-9 / A-Z
    std::string description;
};

enum class LabelStyle { Long, Short };

struct SimConfig {
    static constexpr char kFixedPrefix[] = "!rimPAX_SC_";
    // The configurator's own fixed tail of the company prefix (16 printable characters).
    static constexpr char kDefaultSuffix[] = "*kv7Tq_CFG_09xZ+";
    static constexpr std::size_t kModeFileSize = 80;
    static constexpr std::size_t kHeaderSize = 80;  // of a firmware file, in the header frame
    static constexpr std::size_t kAltHeaderSize = 184;

    // "!" + the company name in upper case + the 16-character suffix.
    static std::string CompanyPrefix(const std::string& company,
                                     const std::string& suffix = kDefaultSuffix);

    // --- the line ---
    std::string prefix = kFixedPrefix;
    LineSettings line{115200, 'N', 8};
    std::uint32_t bootBaud = 115200;   // the boot loader's own speed
    bool garbageOnWrongSpeed = false;  // answer bytes at a wrong speed with garbage

    // --- identity ---
    LabelStyle labels = LabelStyle::Short;
    std::string copyright = "Adapter (C) 2026 Adapter Works";
    std::string serialNumber = "000123";
    std::string signature = "ADPT";
    std::string hardware = "2.1";
    std::string firmware = "1.07";
    std::string bootware = "1.02";  // empty: no "BW:" line
    std::vector<SimMode> modes = {{"01", "Standard"}, {"02", "Extended"}, {"0A", "Service"}};
    std::string selected = "01";
    bool power = false;
    unsigned voltage = 0x5C;  // raw reading sent as "UP:<hex>"
    std::vector<std::string> testLines = {"Self-test started", "RAM ........ OK",
                                          "Flash ...... OK",   "Line driver  OK",
                                          "Supply ..... OK",   "Self-test passed"};

    // --- command replies ---
    bool ackPayloadCommands = true;  // "M", "P", "E" answered before their payload
    bool locked = false;             // mode and power commands answered, nothing changed
    std::string silent;              // command letters never answered at all
    int replyDelayMs = 1;
    int testPauseMs = 50;         // between the self-test's pieces
    int payloadTimeoutMs = 2000;  // a payload that stops arriving is given up
    int modeIdWaitMs = 50;        // an ID that may still grow waits this long

    // --- faults on everything sent ---
    int noiseBytes = 0;  // noise bytes before every reply and boot-loader frame
    int trickleMs = 0;   // > 0: replies and frames trickle byte by byte with this pause

    // --- boot loader ---
    bool startInBootLoader = false;
    int pageSize = 128;
    bool waitPrompt = false;  // send ">" until greeted
    int promptIntervalMs = 100;
    bool altHeader = false;  // stay silent after the header, take the 184 raw bytes
    int nakPage = -1;        // NAK this page nakCount times before taking it
    int nakCount = 1;
    bool nakEnd = false;        // NAK the end marker
    int ackCount = 2;           // count byte of page and end acknowledgements
    int headerAckCount = 2;     // count byte of the header acknowledgement
    int disconnectAtPage = -1;  // close the line when this page arrives
    int pageDelayMs = 0;        // a slow boot loader: delay before each answer to a page
    int frameTimeoutMs = 300;   // an incomplete frame is refused after this silence
    int bootIdleMs = 0;         // > 0: the boot loader gives the line back after this silence
    std::string imagePath;      // the flashed image is written here
    std::string modeFilePath;   // a stored change-mode file is written here

    // --- another device on the line in the adapter's place (see Chatter) ---
    Chatter::Kind talk = Chatter::Kind::Nothing;
    int talkEveryMs = 5;

    // --- a hold, for tests that must see a passing state of the host ---
    // One thing is held back until AdapterSim::Release: the boot loader's prompts, the first
    // self-test after its first holdN lines (a later one runs whole), or the request for page
    // holdN. The host then stays in the state before it for as long as it waits.
    enum class HoldAt { Nothing, Prompt, TestLine, Page };
    HoldAt holdAt = HoldAt::Nothing;
    int holdN = 0;
};
