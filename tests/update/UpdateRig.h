// The update engine on a fake line in virtual time, with its host's view and message
// boxes recorded, and firmware files written to a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/VirtualClock.h"
#include "tests/NativePort.h"
#include "tests/support/FakePort.h"
#include "tests/support/QuietPortLists.h"
#include "tests/support/RecordingSink.h"
#include "transport/TSerDev.h"
#include "update/TFWUpdate.h"

class RecordingView : public UpdateView {
public:
    void SetProgressMax(int m) override { max = m; }
    void SetProgressPos(int p) override { pos = p; }
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void AddNote(const std::string& text) override { notes.push_back(text); }
    std::string Status() const { return statuses.empty() ? std::string() : statuses.back(); }
    int max = -1;
    int pos = -1;
    std::vector<std::string> statuses;
    std::vector<std::string> notes;
};

// Firmware content whose every byte tells where it came from.
inline Bytes Pattern(std::size_t size) {
    Bytes b(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return b;
}

inline Bytes Le16(int v) {
    return Bytes{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
inline Bytes Ack(int value) {
    return Bytes{'+', 2} + Le16(value);
}
inline Bytes Request(int page) {
    return Bytes(1, '.') + Le16(page);
}

class UpdateRig : public ::testing::Test {
protected:
    UpdateRig() {
        dir_ = std::filesystem::temp_directory_path() /
               ("update_tests_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        dev_ = std::make_unique<TSerDev>(clock_, sink_, link_.Column(), QuietPortLists());
        dev_->PortName = NATIVE_PORT("/dev/ttyScripted", "COM8");
    }
    ~UpdateRig() override {
        engine_.Cancel();
        dev_.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string WriteFile(const Bytes& content, const std::string& name = "fw.rfw") {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    bool StartWith(const Bytes& content, bool wait = false) {
        file_ = content;
        return engine_.Start(clock_, sink_, *dev_, WriteFile(content), view_, wait);
    }
    // The first tick falls 100 ms after Start, the others every 10 ms.
    void Ticks(int n) { clock_.Advance(10 * n); }
    void FirstTick() { clock_.Advance(TFWUpdate::kFirstTickMs); }

    // Frame of page `page` cut from the paged data starting at `from`.
    Bytes PageFrame(int page, int pageSize, std::size_t from = TFWUpdate::kHeaderSize) const {
        const Bytes data = file_.substr(from + static_cast<std::size_t>(page) * pageSize, pageSize);
        return Bytes(1, '@') + Le16(page) + Le16(TFWUpdate::Checksum16(data)) + data;
    }

    std::filesystem::path dir_;
    VirtualClock clock_;
    FakePort link_;
    RecordingSink sink_;
    RecordingView view_;
    std::unique_ptr<TSerDev> dev_;
    TFWUpdate engine_;
    Bytes file_;
};
