// The firmware and change-mode files as their loaders take them, and the header frame the
// update engine builds from an accepted firmware file.
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>

#include "FuzzRig.h"
#include "transport/TSerDev.h"
#include "update/FirmwareFile.h"
#include "update/ModeFile.h"
#include "update/TFWUpdate.h"

namespace {

class NullUpdateView : public UpdateView {
public:
    void SetProgressMax(int) override {}
    void SetProgressPos(int) override {}
    void SetStatus(const std::string&) override {}
};

const std::string& Path() {
    static const std::string path =
        fuzz::ScratchDir() + "/fuzz_files_" + std::to_string(::getpid()) + ".bin";
    static const bool cleanup = [] {
        std::atexit([] { ::unlink(Path().c_str()); });
        return true;
    }();
    (void)cleanup;
    return path;
}

// One loader on `content`: accepted exactly when `fits`, with the file's bytes and no box;
// refused with one box naming the file and the old data kept.
template <typename Loader>
void CheckLoader(Loader load, const Bytes& content, bool fits, const char* what) {
    RecordingSink sink;
    Bytes data = "kept";
    const bool ok = load(Path(), sink, data);
    FUZZ_CHECK(ok == fits, std::string(what) + " accepted " + std::to_string(ok) + " at size " +
                               std::to_string(content.size()));
    if (ok) {
        FUZZ_CHECK(data == content, std::string(what) + ": data differs from the file");
        FUZZ_CHECK(sink.boxes.empty(), std::string(what) + ": box for an accepted file");
        return;
    }
    FUZZ_CHECK(data == "kept", std::string(what) + ": a refused file changed the data");
    FUZZ_CHECK(sink.boxes.size() == 1, std::string(what) + ": refused without one box");
    FUZZ_CHECK(sink.boxes[0].text.find(Path()) != std::string::npos,
               std::string(what) + ": box does not name the file");
}

// The engine's first frames for an accepted file: the greeting, then, once acknowledged, the
// header frame carrying the file's first 80 bytes and their checksum.
void CheckHeaderFrame(const Bytes& content) {
    VirtualClock clock;
    fuzz::FuzzLine line(&clock);
    RecordingSink sink;
    NullUpdateView view;
    TFWUpdate engine;
    const std::unique_ptr<TSerDev> device = fuzz::MakeDevice(clock, sink, line);
    TSerDev& dev = *device;
    line.onWrite = [&](const Bytes& w) {
        if (w == "<") line.Schedule(0, Bytes("+\x02\x80\x00", 4));
    };
    FUZZ_CHECK(engine.Start(clock, sink, dev, Path(), view, false), "engine refused the file");
    clock.Advance(TFWUpdate::kFirstTickMs + 2 * TFWUpdate::kTickMs);
    FUZZ_CHECK(line.writes.size() >= 2, "no header frame");
    const Bytes header = content.substr(0, TFWUpdate::kHeaderSize);
    FUZZ_CHECK(line.writes[1] == "#" + fuzz::Le16(TFWUpdate::Checksum16(header)) + header,
               "header frame " + fuzz::Escaped(line.writes[1]));
    engine.Cancel();
    FUZZ_CHECK(!dev.Opened, "cancel left the device open");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes content(reinterpret_cast<const char*>(data), size);
    std::ofstream(Path(), std::ios::binary | std::ios::trunc) << content;
    CheckLoader(LoadFirmwareFile, content, content.size() >= kFirmwareHeaderSize, "firmware");
    CheckLoader(LoadModeFile, content, content.size() == kModeFileSize, "mode file");
    if (content.size() >= kFirmwareHeaderSize) CheckHeaderFrame(content);
    return 0;
}
