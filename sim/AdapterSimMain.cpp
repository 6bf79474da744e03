// adapter-sim: the simulated adapter on a pseudo-terminal, for running the configurator and
// its end-to-end tests without hardware. Prints the slave's path on its first line.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "sim/AdapterSim.h"
#include "sim/PtyLink.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_release = 0;

extern "C" void OnSignal(int) {
    g_stop = 1;
}

extern "C" void OnRelease(int) {
    g_release = 1;
}

struct Options {
    SimConfig config;
    std::string company;
    std::string suffix = SimConfig::kDefaultSuffix;
    std::string labels = "short";
    std::string modes;
    std::string power = "off";
    std::string voltage = "5C";
    bool noAck = false;
    bool pace = false;
    bool quiet = false;
    std::string link;
    std::string stateFile;
    std::string hold;
    std::string talk;
    std::vector<std::string> testLines;
};

void AddOptions(CLI::App& app, Options& o) {
    SimConfig& c = o.config;
    app.add_option("--speed", c.line.baud, "Line speed the adapter answers at")
        ->capture_default_str();
    app.add_option("--boot-speed", c.bootBaud, "Line speed of the boot loader")
        ->capture_default_str();
    app.add_option("--prefix", c.prefix, "Command prefix the adapter recognises")
        ->capture_default_str();
    app.add_option("--company", o.company,
                   "Recognise \"!\" + NAME in upper case + --suffix instead of --prefix");
    app.add_option("--suffix", o.suffix, "16-character tail of the company prefix")
        ->capture_default_str();
    app.add_option("--labels", o.labels, "Identity labels: long or short")
        ->check(CLI::IsMember({"long", "short"}))
        ->capture_default_str();
    app.add_option("--copyright", c.copyright, "Banner text of every reply")->capture_default_str();
    app.add_option("--serial", c.serialNumber, "Serial number")->capture_default_str();
    app.add_option("--signature", c.signature, "Signature")->capture_default_str();
    app.add_option("--hardware", c.hardware, "Hardware version")->capture_default_str();
    app.add_option("--firmware", c.firmware, "Firmware version")->capture_default_str();
    app.add_option("--bootware", c.bootware, "Boot-loader version; empty: no BW line")
        ->capture_default_str();
    app.add_option("--modes", o.modes,
                   "Modes as ID=Description,ID=Description (IDs 1-3 of 0-9A-Z)");
    app.add_option("--selected", c.selected, "Selected mode ID")->capture_default_str();
    app.add_option("--power", o.power, "External power: on or off")
        ->check(CLI::IsMember({"on", "off"}))
        ->capture_default_str();
    app.add_option("--voltage", o.voltage, "Supply reading sent as UP:<hex> (hex digits)")
        ->capture_default_str();
    app.add_option("--test-line", o.testLines, "A self-test output line (repeat for more)");
    app.add_option("--test-pause", c.testPauseMs, "Pause between self-test pieces, ms")
        ->capture_default_str();
    app.add_flag("--no-ack", o.noAck, "Do not answer M, P, E before their payload");
    app.add_flag("--locked", c.locked,
                 "Answer mode and power commands but keep the mode and the power as they are");
    app.add_option("--silent", c.silent, "Command letters never answered, e.g. MS");
    app.add_option("--reply-delay", c.replyDelayMs, "Delay before a reply, ms")
        ->capture_default_str();
    app.add_option("--payload-timeout", c.payloadTimeoutMs, "A payload that stops is dropped, ms")
        ->capture_default_str();
    app.add_option("--mode-id-wait", c.modeIdWaitMs,
                   "An ID that may still grow waits this long, ms")
        ->capture_default_str();
    app.add_option("--noise", c.noiseBytes, "Noise bytes before every reply and frame");
    app.add_option("--trickle", c.trickleMs, "Send replies byte by byte with this pause, ms");
    app.add_flag("--garbage-on-wrong-speed", c.garbageOnWrongSpeed,
                 "Answer bytes at a wrong speed with garbage instead of silence");
    app.add_flag("--start-in-bootloader", c.startInBootLoader, "Start in the boot loader");
    app.add_option("--image", c.imagePath, "Write the flashed image (whole pages) to FILE");
    app.add_option("--mode-file", c.modeFilePath, "Write a stored change-mode file to FILE");
    app.add_option("--page-size", c.pageSize, "Page size the boot loader announces (0 allowed)")
        ->capture_default_str();
    app.add_flag("--wait-prompt", c.waitPrompt, "Boot loader sends \">\" until greeted");
    app.add_option("--prompt-interval", c.promptIntervalMs, "Prompt period, ms")
        ->capture_default_str();
    app.add_flag("--alt-header", c.altHeader,
                 "Stay silent after the header frame; take the 184-byte raw header");
    app.add_option("--nak-page", c.nakPage, "Refuse this page --nak-count times");
    app.add_option("--nak-count", c.nakCount, "How often --nak-page is refused");
    app.add_flag("--nak-end", c.nakEnd, "Refuse the end marker");
    app.add_option("--ack-count", c.ackCount, "Count byte of page and end acknowledgements")
        ->capture_default_str();
    app.add_option("--header-ack-count", c.headerAckCount,
                   "Count byte of the header acknowledgement")
        ->capture_default_str();
    app.add_option("--disconnect-at-page", c.disconnectAtPage,
                   "Close the line when page K arrives");
    app.add_option("--page-delay", c.pageDelayMs, "Slow boot loader: delay per page, ms");
    app.add_option("--frame-timeout", c.frameTimeoutMs, "Refuse a frame that stops short, ms")
        ->capture_default_str();
    app.add_option("--boot-idle", c.bootIdleMs,
                   "Boot loader returns to the application after this silence, ms (0: never)");
    app.add_option("--talk", o.talk,
                   "Be another device on the line instead of the adapter: a letter every "
                   "--talk-every ms (bytes), a reply's start and then letters that never end it "
                   "(started-reply), or a position receiver's sentence (sentences)")
        ->check(CLI::IsMember({"bytes", "started-reply", "sentences"}));
    app.add_option("--talk-every", c.talkEveryMs, "Period of --talk, ms")->capture_default_str();
    app.add_option("--hold", o.hold,
                   "Hold back the boot loader's prompts (prompt), the self-test after N lines "
                   "(test-line:N) or the request for page N (page:N) until SIGUSR1");
    app.add_flag("--pace", o.pace, "Move bytes at the line speed (10 bits a byte)");
    app.add_option("--link", o.link, "Also make a symbolic link to the slave at PATH");
    app.add_option("--state-file", o.stateFile, "Rewrite FILE (JSON) on every state change");
    app.add_flag("--quiet", o.quiet, "No event lines on stderr");
}

bool ParseHold(const std::string& text, SimConfig& c) {
    if (text.empty()) return true;
    if (text == "prompt") {
        c.holdAt = SimConfig::HoldAt::Prompt;
        return true;
    }
    const auto colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    if (colon == std::string::npos || (kind != "test-line" && kind != "page")) return false;
    try {
        std::size_t used = 0;
        c.holdN = std::stoi(text.substr(colon + 1), &used);
        if (used != text.size() - colon - 1 || c.holdN < 0) return false;
    } catch (const std::exception&) {
        return false;
    }
    c.holdAt = kind == "page" ? SimConfig::HoldAt::Page : SimConfig::HoldAt::TestLine;
    return true;
}

bool ParseModes(const std::string& text, std::vector<SimMode>& modes) {
    modes.clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto eq = item.find('=');
        if (eq == std::string::npos || eq == 0 || eq > 3) return false;
        modes.push_back({item.substr(0, eq), item.substr(eq + 1)});
    }
    return !modes.empty();
}

void WriteState(const std::string& path, const AdapterSim& sim) {
    nlohmann::json j;
    j["selected"] = sim.SelectedMode();
    j["power"] = sim.PowerOn();
    j["modeFiles"] = sim.StoredModeFiles();
    j["bootLoader"] = sim.InBootLoader();
    j["pagesAccepted"] = sim.Boot().PagesAccepted();
    j["naksSent"] = sim.Boot().NaksSent();
    j["updateFinished"] = sim.Boot().Finished();
    j["disconnects"] = sim.Disconnects();
    j["commands"] = sim.Commands();
    const std::string tmp = path + ".tmp";
    std::ofstream(tmp) << j.dump() << "\n";
    std::filesystem::rename(tmp, path);
}

int Finish(Options& o) {
    SimConfig& c = o.config;
    if (!o.company.empty()) c.prefix = SimConfig::CompanyPrefix(o.company, o.suffix);
    c.labels = o.labels == "long" ? LabelStyle::Long : LabelStyle::Short;
    c.power = o.power == "on";
    c.ackPayloadCommands = !o.noAck;
    if (!o.testLines.empty()) c.testLines = o.testLines;
    if (!o.modes.empty() && !ParseModes(o.modes, c.modes)) {
        std::cerr << "adapter-sim: --modes wants ID=Description,...\n";
        return 2;
    }
    if (o.talk == "bytes") c.talk = Chatter::Kind::Bytes;
    if (o.talk == "started-reply") c.talk = Chatter::Kind::StartedReply;
    if (o.talk == "sentences") c.talk = Chatter::Kind::Sentences;
    if (!ParseHold(o.hold, c)) {
        std::cerr << "adapter-sim: --hold wants prompt, test-line:N or page:N\n";
        return 2;
    }
    try {
        c.voltage = static_cast<unsigned>(std::stoul(o.voltage, nullptr, 16));
    } catch (const std::exception&) {
        std::cerr << "adapter-sim: --voltage wants hex digits\n";
        return 2;
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Simulated adapter and boot loader on a pseudo-terminal. Prints the slave's "
        "path on the first line, then serves until SIGINT or SIGTERM."};
    Options o;
    AddOptions(app, o);
    CLI11_PARSE(app, argc, argv);
    if (const int rc = Finish(o)) return rc;

    AdapterSim sim(o.config);
    PtyLink link(sim);
    link.SetPaced(o.pace);
    if (!link.Open()) {
        std::cerr << "adapter-sim: " << link.Error() << "\n";
        return 1;
    }
    sim.SetEventSink([&](const std::string& what) {
        if (!o.quiet) std::cerr << "adapter-sim: " << what << std::endl;
        if (!o.stateFile.empty()) WriteState(o.stateFile, sim);
    });
    if (!o.stateFile.empty()) WriteState(o.stateFile, sim);
    if (!o.link.empty()) {
        std::error_code ec;
        // Only a stale link of ours is replaced, never a file someone keeps there.
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(o.link, ec)))
            std::filesystem::remove(o.link, ec);
        std::filesystem::create_symlink(link.SlavePath(), o.link, ec);
        if (ec) {
            std::cerr << "adapter-sim: --link " << o.link << ": " << ec.message() << "\n";
            return 1;
        }
    }
    // Handlers first: whoever reads the path may stop us at once.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGUSR1, OnRelease);
    std::cout << link.SlavePath() << std::endl;
    link.Serve([&] {
        if (g_release != 0) {
            g_release = 0;
            sim.Release(link.NowMs());
        }
        return g_stop != 0;
    });
    // After a disconnect the line is gone; stay until told to stop, like an unplugged device.
    while (g_stop == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!o.link.empty()) {
        std::error_code ec;
        std::filesystem::remove(o.link, ec);
    }
    return 0;
}
