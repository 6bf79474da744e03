// How close a firmware update comes to the line's own speed: 64 KiB written through the real
// serial layer into adapter-sim on a pseudo-terminal that moves bytes at 115200 baud, timed
// against the time the bytes alone need on the wire.
//
//     bench/update [path/to/adapter-sim]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "tests/support/AdapterSimProcess.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBaud = 115200;
constexpr int kPageSize = 128;
constexpr std::size_t kPayload = 64 * 1024;
constexpr int kBitsPerByte = 10;  // start bit, eight data bits, stop bit

class PrintingSink : public MessageSink {
public:
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon) override {
        std::fprintf(stderr, "%s %s\n", caption.c_str(), text.c_str());
    }
};

class LastStatus : public UpdateView {
public:
    void SetProgressMax(int) override {}
    void SetProgressPos(int) override {}
    void SetStatus(const std::string& text) override { status = text; }
    std::string status;
};

Bytes Firmware() {
    Bytes b(TFWUpdate::kHeaderSize + kPayload, '\0');
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<char>((i * 167 + i / 509) & 0xFF);
    return b;
}

// Bytes the host sends: connect request, header frame, every page frame, end marker.
std::size_t HostBytes(int pages) {
    return 1 + (3 + TFWUpdate::kHeaderSize) + static_cast<std::size_t>(pages) * (5 + kPageSize) + 3;
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
    const fs::path file = dir / "fw.rfw";
    const fs::path image = dir / "image.bin";
    const Bytes firmware = Firmware();
    std::ofstream(file, std::ios::binary) << firmware;

    AdapterSimProcess sim(
        simPath, {"--start-in-bootloader", "--pace", "--speed", std::to_string(kBaud),
                  "--boot-speed", std::to_string(kBaud), "--page-size", std::to_string(kPageSize),
                  "--image", image.string()});
    if (sim.Pty().empty()) {
        std::fprintf(stderr, "adapter-sim did not start (%s)\n", simPath.c_str());
        return 1;
    }

    EventLoop loop;
    PrintingSink sink;
    LastStatus view;
    TSerDev dev(loop, sink);
    dev.PortName = sim.Pty();
    TFWUpdate engine;
    auto watch = loop.CreateTimer();
    watch->SetCallback([&] {
        if (!engine.IsActive()) loop.Quit(0);
    });

    const auto t0 = std::chrono::steady_clock::now();
    if (!engine.Start(loop, sink, dev, file.string(), view, false)) return 1;
    watch->Start(1);
    loop.Run();
    const double measured =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    std::ifstream in(image, std::ios::binary);
    const Bytes flashed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int pages = engine.PageCount();
    const std::size_t sent = HostBytes(pages);
    const std::size_t received = engine.BytesReceived();
    const double bound = static_cast<double>((sent + received) * kBitsPerByte) / kBaud;

    std::printf("firmware        %zu bytes of pages (%d pages of %d) at %d baud\n", kPayload, pages,
                kPageSize, kBaud);
    std::printf("result          %s; image %s\n", view.status.c_str(),
                flashed == firmware.substr(TFWUpdate::kHeaderSize) ? "identical" : "DIFFERS");
    std::printf("bytes           %zu host to boot loader, %zu back\n", sent, received);
    std::printf("measured        %.3f s\n", measured);
    std::printf("wire bound      %.3f s (all bytes both ways, %d bits a byte)\n", bound,
                kBitsPerByte);
    std::printf("ratio           %.3f\n", measured / bound);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return view.status == "Updating firmware : Ok" ? 0 : 1;
}
