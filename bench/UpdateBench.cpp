// How close the exchanges with the adapter come to the line's own speed, through the real
// serial layer and the real event loop, against adapter-sim on a pseudo-terminal that moves
// bytes at the line's speed:
//   - firmware updates of 64 KiB with pages of 64, 256 and 128 bytes, timed against the time
//     their bytes alone need on the wire (the boot loader is always spoken to at 115200);
//   - a search that the adapter answers at its first probe, against the same bound.
// One table; the default case (pages of 128) last.
//
//     bench/update [path/to/adapter-sim]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "control/AdapterCore.h"
#include "tests/support/AdapterSimProcess.h"
#include "tests/support/PortOnlyView.h"
#include "transport/LineTrace.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBaud = 115200;  // the boot loader's line, whatever the adapter's
constexpr std::size_t kPayload = 64 * 1024;
constexpr int kBitsPerByte = 10;  // start bit, eight data bits, stop bit

class PrintingSink : public MessageSink {
public:
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon) override {
        std::fprintf(stderr, "%s %s\n", caption.c_str(), text.c_str());
        ++count;
    }
    int count = 0;
};

class LastStatus : public UpdateView {
public:
    void SetProgressMax(int) override {}
    void SetProgressPos(int) override {}
    void SetStatus(const std::string& text) override { status = text; }
    std::string status;
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double WireSeconds(std::size_t bytes) {
    return static_cast<double>(bytes * kBitsPerByte) / kBaud;
}

struct Row {
    std::string name;
    std::string result;
    std::size_t sent = 0;
    std::size_t received = 0;
    int pages = 0;
    double seconds = 0;
    double cpu = 0;
    bool ok = false;
};

Bytes Firmware() {
    Bytes b(TFWUpdate::kHeaderSize + kPayload, '\0');
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<char>((i * 167 + i / 509) & 0xFF);
    return b;
}

Row Update(const std::string& simPath, const fs::path& dir, int pageSize) {
    const fs::path file = dir / "fw.rfw";
    const fs::path image = dir / "image.bin";
    const Bytes firmware = Firmware();
    std::ofstream(file, std::ios::binary) << firmware;
    fs::remove(image);
    Row row;
    row.name = "update, pages of " + std::to_string(pageSize);
    AdapterSimProcess sim(
        simPath, {"--start-in-bootloader", "--pace", "--speed", std::to_string(kBaud),
                  "--boot-speed", std::to_string(kBaud), "--page-size", std::to_string(pageSize),
                  "--image", image.string()});
    if (sim.Pty().empty()) return row;

    EventLoop loop;
    PrintingSink sink;
    LastStatus view;
    PortOnlyView operation(PortChoice{sim.Pty(), sim.Pty(), ""});
    AdapterCore core(loop, sink, operation);
    TSerDev& dev = core.Device();
    dev.PortName = sim.Pty();
    TFWUpdate& engine = core.Updater();
    auto watch = loop.CreateTimer();
    watch->SetCallback([&] {
        if (!engine.IsActive()) loop.Quit(0);
    });
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!engine.Start(loop, sink, dev, file.string(), view, false)) return row;
    watch->Start(1);
    loop.Run();
    row.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    row.cpu = CpuSeconds() - cpu0;

    std::ifstream in(image, std::ios::binary);
    const Bytes flashed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    row.pages = engine.PageCount();
    // Connect request, header frame, every page frame, end marker.
    row.sent = 1 + (3 + TFWUpdate::kHeaderSize) +
               static_cast<std::size_t>(row.pages) * (5 + static_cast<std::size_t>(pageSize)) + 3;
    row.received = engine.BytesReceived();
    const bool identical =
        flashed == firmware.substr(TFWUpdate::kHeaderSize, static_cast<std::size_t>(row.pages) *
                                                               static_cast<std::size_t>(pageSize));
    row.ok = engine.LastOutcome() == TFWUpdate::Outcome::Written && identical;
    row.result = view.status + (identical ? "" : ", image DIFFERS");
    return row;
}

// Counts what crosses the line: every host write, and every byte the operation takes in.
Row Search(const std::string& simPath) {
    Row row;
    row.name = "search, first probe answered";
    AdapterSimProcess sim(simPath, {"--pace", "--speed", std::to_string(kBaud)});
    if (sim.Pty().empty()) return row;
    EventLoop loop;
    PrintingSink sink;
    PortOnlyView view(PortChoice{sim.Pty(), sim.Pty(), ""}, [&loop] { loop.Quit(0); });
    AdapterCore core(loop, sink, view);
    AdapterControl& control = core.Control();
    const AdapterModel& model = core.Model();
    // The line's own record tells which probe was answered.
    std::FILE* traced = std::tmpfile();
    LineTrace trace(traced, true);
    core.Device().SetTrace(&trace);
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    control.btSearchClick();
    if (control.Busy()) loop.Run();
    row.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    row.cpu = CpuSeconds() - cpu0;
    const Bytes prefix = "!rimPAX_SC_";
    row.sent = 2 * (prefix.size() + 1);
    // Both replies: markers around each body, as the adapter sent them.
    row.received = model.SettingsLogText().size() + 2 * (2 + 4);
    int writes = 0;
    std::rewind(traced);
    char line[512];
    while (std::fgets(line, sizeof line, traced) != nullptr)
        writes += std::strstr(line, " TX ") != nullptr ? 1 : 0;
    // Found by its first probe: the identify command and the query, nothing more.
    row.ok = sink.count == 0 && !model.Identity.SerialNumber.empty() && writes == 2;
    row.result = row.ok ? "found at 115200" : "NOT FOUND";
    return row;
}

void Print(const Row& r) {
    const double bound = WireSeconds(r.sent + r.received);
    std::printf("%-29s %8zu %6zu %6d %9.3f %9.3f %7.3f %8.3f %7.2f%%  %s\n", r.name.c_str(), r.sent,
                r.received, r.pages, r.seconds, bound, r.seconds / bound,
                r.pages > 0 ? r.seconds * 1000 / r.pages : 0.0,
                r.seconds > 0 ? 100 * r.cpu / r.seconds : 0.0, r.result.c_str());
}

}  // namespace

int main(int argc, char** argv) {
#ifdef ADAPTER_SIM_PATH
    std::string simPath = ADAPTER_SIM_PATH;
#else
    std::string simPath = "adapter-sim";
#endif
    if (argc > 1) simPath = argv[1];
    const fs::path dir = fs::temp_directory_path() / ("bench-update-" + std::to_string(getpid()));
    fs::create_directories(dir);

    std::printf("%d baud, %zu bytes of pages, %d bits a byte on the wire\n", kBaud, kPayload,
                kBitsPerByte);
    std::printf("%-29s %8s %6s %6s %9s %9s %7s %8s %8s  %s\n", "case", "sent", "back", "pages",
                "measured", "wire", "ratio", "ms/page", "cpu", "result");
    bool ok = true;
    const Row search = Search(simPath);
    Print(search);
    std::printf("%-29s %.1f ms above the wire time (goal: at most 20 ms)\n", "",
                (search.seconds - WireSeconds(search.sent + search.received)) * 1000);
    ok = ok && search.ok;
    for (int pageSize : {64, 256, 128}) {
        const Row row = Update(simPath, dir, pageSize);
        Print(row);
        ok = ok && row.ok;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}
