// Test doubles for the adapter control's host: a view that records what it is told, a sink
// that records message boxes and a settings store that records writes.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/MessageSink.h"
#include "control/OperationView.h"
#include "control/SettingsWriter.h"

class RecordingView : public OperationView {
public:
    std::optional<PortChoice> port = PortChoice{"/dev/sim0", "SIM0 (simulated)", ""};
    std::vector<Bytes> testPieces;
    std::vector<Control> focus;
    int ended = 0;
    int updatePageStates = 0;

    std::optional<PortChoice> SelectedPort() override { return port; }
    void ControlChanged(Control) override {}
    void IdentityChanged() override {}
    void ModesChanged() override {}
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

class RecordingSink : public MessageSink {
public:
    struct Box {
        std::string caption, text;
        MsgIcon icon;
    };
    std::vector<Box> boxes;
    void ShowMessage(const std::string& caption, const std::string& text, MsgIcon icon) override {
        boxes.push_back({caption, text, icon});
    }
};

class RecordingSettings : public SettingsWriter {
public:
    std::map<std::string, Bytes> values;
    void WriteRegStr(const std::string& name, const Bytes& value) override { values[name] = value; }
};
