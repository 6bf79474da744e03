// The adapter control's host in tests: records what it is told, with a port chosen.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RecordingSettings.h"
#include "control/OperationView.h"
#include "tests/NativePort.h"
#include "tests/support/RecordingSink.h"

class RecordingView : public OperationView {
public:
    std::optional<PortChoice> port =
        PortChoice{NATIVE_PORT("/dev/sim0", "COM9"), "SIM0 (simulated)", ""};
    std::vector<Bytes> testPieces;
    std::vector<Control> focus;
    std::vector<std::size_t> scrolls;
    int ended = 0;
    int updatePageStates = 0;

    std::optional<PortChoice> SelectedPort() override { return port; }
    void ControlChanged(Control) override {}
    void IdentityChanged() override {}
    void ModesChanged() override {}
    void ScrollModeIntoView(std::size_t row) override { scrolls.push_back(row); }
    void LogCleared(LogId log) override {
        if (log == LogId::Test) testPieces.clear();
    }
    void LogAppended(LogId log, const Bytes& text) override {
        if (log == LogId::Test) testPieces.push_back(text);
    }
    void FocusControl(Control c) override { focus.push_back(c); }
    void UpdatePageState() override { ++updatePageStates; }
    void OperationEnded() override { ++ended; }
};
