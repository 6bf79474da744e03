// Writes the seed corpora (fuzz/corpus/<target>/) from real exchanges with the simulated
// adapter: the replies of whole operations, the settings of whole updates, real files, line
// settings and port records. Run from the repository root: fuzz_seed_gen fuzz/corpus
#include <asm/termbits.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "OperationRig.h"
#include "UpdateRig.h"
#include "control/AdapterProtocol.h"
#include "control/AppTexts.h"
#include "sim/AdapterSim.h"
#include "transport/D2xx.h"

namespace fs = std::filesystem;

namespace {

fs::path gRoot;

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = gRoot / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary | std::ios::trunc) << bytes;
}

// An operation against the simulator, recording its answer to each write as a piece.
// Returns the pieces, and the raw reply stream in `stream`.
Bytes RecordOperation(const SimConfig& config, std::uint8_t op, std::uint8_t pick,
                      const Bytes& modeFile, Bytes& stream) {
    AdapterSim sim(config);
    fuzz::OperationRig rig;
    std::int64_t simNow = 0;
    Bytes pieces;
    rig.line.onWrite = [&](const Bytes& w) {
        static const char kParity[] = "NOEMS";
        const serial::DCB& d = rig.line.device;
        sim.SetLine({d.BaudRate, d.Parity < 5 ? kParity[d.Parity] : '?', d.ByteSize});
        simNow = std::max(simNow, rig.clock.Now());
        sim.OnBytes(w, simNow);
        // Whatever the adapter says until it has been quiet for 300 ms.
        Bytes reply;
        for (std::int64_t quiet = 0; quiet < 300 && reply.size() < 60000; ++quiet) {
            const Bytes out = sim.Poll(++simNow);
            if (!out.empty()) quiet = 0;
            reply += out;
        }
        stream += reply;
        pieces += fuzz::EncodePiece(reply);
        rig.line.Schedule(0, reply);
    };
    rig.Run([&] { rig.control.btSearchClick(); }, 600000);
    switch (op % 4) {
        case 0:
            if (!rig.model.Modes.empty())
                rig.control.Modes().lvModesSelectItem(pick % rig.model.Modes.size());
            rig.Run([&] { rig.control.btModeSelectClick(); }, 600000);
            break;
        case 1:
            rig.model.Identity.ExtPowerOn = !rig.model.Identity.ExtPowerOn;
            rig.Run([&] { rig.control.cbPowerClick(); }, 600000);
            break;
        case 2:
            rig.Run([&] { rig.control.btRunTestClick(); }, 600000);
            break;
        default:
            rig.Run([&] { rig.control.StartRepair(modeFile); }, 600000);
            break;
    }
    return Bytes{static_cast<char>(op), static_cast<char>(pick)} +
           (op % 4 == 3 ? modeFile : Bytes()) + pieces;
}

void OperationSeeds() {
    const Bytes modeFile = "02" + Bytes(78, '\0');
    SimConfig plain;
    SimConfig longLabels;
    longLabels.labels = LabelStyle::Long;
    longLabels.bootware.clear();
    longLabels.power = true;
    SimConfig slow;
    slow.prefix = SpecialCommandText();
    slow.line = {9600, 'N', 8};
    slow.modes = {{"1", "One"}, {"ABC", "Three"}, {"7Z", "Two"}};
    slow.selected = "ABC";
    const struct {
        const char* name;
        const SimConfig* config;
    } configs[] = {{"short", &plain}, {"long", &longLabels}, {"second_prefix", &slow}};
    const char* ops[] = {"mode", "power", "test", "repair"};
    for (const auto& c : configs) {
        for (std::uint8_t op = 0; op < 4; ++op) {
            Bytes stream;
            const Bytes seed = RecordOperation(*c.config, op, 2, modeFile, stream);
            Seed("fuzz_operation", std::string(c.name) + "_" + ops[op], seed);
            // The same replies as one received stream, whole and in small reads.
            const Bytes head = Bytes(1, '\0') + '\x01' + Bytes("\0\0\0\x5C", 4);
            Seed("fuzz_reply_framing", std::string(c.name) + "_" + ops[op], head + stream);
            Seed("fuzz_reply_framing", std::string(c.name) + "_" + ops[op] + "_cut",
                 Bytes("\x03\x01\x07\x1F\x00", 5) + Bytes("\x12\x34\x00\x01", 4) + stream);
        }
    }
}

void UpdateSeeds() {
    // flags, payload size (2 bytes), page size and NAK choice, noise; no mutations follow.
    const struct {
        const char* name;
        Bytes setup;
    } runs[] = {
        {"plain_1k", Bytes("\x00\x00\x04\x00\x00", 5)},
        {"wait_prompt", Bytes("\x01\x80\x01\x01\x00", 5)},
        {"alt_header", Bytes("\x02\x58\x02\x00\x00", 5)},
        {"nak_end_retry", Bytes("\x04\x00\x02\x09\x01", 5)},
        {"long_acks", Bytes("\x18\x00\x03\x02\x02", 5)},
        {"header_only", Bytes("\x00\x00\x00\x00\x00", 5)},
        {"small_pages", Bytes("\x00\x40\x00\x03\x00", 5)},
    };
    for (const auto& r : runs) {
        Seed("fuzz_update", r.name, r.setup);
        // How long the boot loader's side of this run is: one mutation byte per stretch.
        fuzz::ByteReader in(r.setup);
        fuzz::UpdateRig rig(in);
        rig.Start();
        rig.RunFor(600000);
        const std::size_t stretches = rig.SimChunks().size();
        // Every third stretch torn in two, 30 ms apart; the rest untouched.
        Bytes ops;
        for (std::size_t i = 0; i < stretches; ++i)
            ops += i % 3 == 2 ? Bytes("\x06\x02\x03", 3) : Bytes(1, '\0');
        Seed("fuzz_update", std::string(r.name) + "_torn", r.setup + ops);
        std::printf("update %s: %zu stretches, %zu writes, status \"%s\"\n", r.name, stretches,
                    rig.Line().writes.size(),
                    rig.View().statuses.empty() ? "" : rig.View().statuses.back().c_str());
    }
}

void FileSeeds() {
    Seed("fuzz_files", "firmware_3k", fuzz::Pattern(80 + 3 * 1024));
    Seed("fuzz_files", "firmware_header_only", fuzz::Pattern(80));
    Seed("fuzz_files", "short_79", fuzz::Pattern(79));
    Seed("fuzz_files", "mode_file_80", "02" + Bytes(78, '\0'));
    Seed("fuzz_files", "empty", "");
}

void LineSettingSeeds() {
    termios2 cooked{};
    cooked.c_iflag = ICRNL | IXON;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_cflag = B38400 | CS8 | CREAD | HUPCL;
    cooked.c_lflag = ICANON | ECHO | ISIG;
    cooked.c_ispeed = cooked.c_ospeed = 38400;
    const Bytes t(reinterpret_cast<const char*>(&cooked), sizeof cooked);
    int n = 0;
    for (const char* s : LineSettingsTable)
        Seed("fuzz_line_settings", "table_" + std::to_string(n++), Bytes(1, '\0') + t + s);
    for (const char* s : {"115200,N,8,1", "9600,E,7,2", "19200,O,8", "250000,M,5", "57600"})
        Seed("fuzz_line_settings", "string_" + std::to_string(n++), Bytes(1, '\0') + t + s);
    serial::DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 125000;
    dcb.ByteSize = 8;
    dcb.Parity = serial::SPACEPARITY;
    dcb.StopBits = serial::ONE5STOPBITS;
    Seed("fuzz_line_settings", "dcb_space",
         Bytes(1, '\x01') + t + Bytes(reinterpret_cast<const char*>(&dcb), sizeof dcb));
}

void PortSeeds() {
    d2xx::FT_DEVICE_LIST_INFO_NODE node{};
    node.Type = 5;
    node.ID = 0x04036001;
    std::snprintf(node.SerialNumber, sizeof node.SerialNumber, "FT123456A");
    std::snprintf(node.Description, sizeof node.Description, "Korvanta Adapter A");
    const Bytes record(reinterpret_cast<const char*>(&node),
                       offsetof(d2xx::FT_DEVICE_LIST_INFO_NODE, ftHandle));
    Bytes full = record;
    std::memset(full.data() + 16, 'S', 80);  // fields with no terminator
    Seed("fuzz_port_sources", "d2xx_records", Bytes("\x00\x01", 2) + record + full);

    // A serial enumerator with one FTDI instance, its port and friendly name; then the
    // device map alone.
    auto text = [](const std::string& s) { return Bytes(1, static_cast<char>(s.size())) + s; };
    Bytes reg = Bytes("\x01\x00\x04", 3);
    reg += Bytes("\x00\x01", 2);  // Count = 1 (serenum)
    reg += Bytes("\x01\x00", 2);  // "0" = FTDI instance
    reg += '\x02' + text("USB Serial Port (COM5)");
    reg += '\x03' + text("COM5");
    reg += Bytes("\x01\x04", 2) + text("\\Device\\Serial0") + text("COM1");
    Seed("fuzz_port_sources", "registry_enum", reg);

    // One USB converter with a product string and udev record, one UART, one console.
    Bytes sys = Bytes("\x02\x03", 2);
    sys += Bytes(1, static_cast<char>(0x80 | 0x10 | 0x08)) + text("ttyUSB0") + '\xBC' +
           text("FT232R USB UART") + text("ftdi_sio") +
           text("E:ID_MODEL=FT232R\nE:ID_MODEL_ENC=FT232R\\x20USB\n");
    sys += Bytes(1, static_cast<char>(0x40 | 0x10 | 0x01)) + text("ttyS0") + '\x04' +
           text("serial8250") + text("4");
    sys += Bytes(1, '\x02') + text("tty0") + '\x04';
    Seed("fuzz_port_sources", "sysfs_tree", sys);
}

}  // namespace

int main(int argc, char** argv) {
    gRoot = argc > 1 ? argv[1] : "fuzz/corpus";
    OperationSeeds();
    UpdateSeeds();
    FileSeeds();
    LineSettingSeeds();
    PortSeeds();
    return 0;
}
