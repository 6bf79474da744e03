// An operation's view for hosts with no window (benchmarks, the fault campaign, fuzz targets,
// tests): it names the one port the operation opens, ignores every control, and reports the
// end of each operation.
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "control/OperationView.h"

class PortOnlyView : public OperationView {
public:
    PortOnlyView(PortChoice port, std::function<void()> onEnded = nullptr)
        : port_(std::move(port)), onEnded_(std::move(onEnded)) {}
    std::optional<PortChoice> SelectedPort() override { return port_; }
    void ControlChanged(Control) override {}
    void IdentityChanged() override {}
    void ModesChanged() override {}
    void LogCleared(LogId) override {}
    void LogAppended(LogId, const Bytes&) override {}
    void FocusControl(Control) override {}
    void UpdatePageState() override {}
    void OperationEnded() override {
        ++ended;
        if (onEnded_) onEnded_();
    }
    int ended = 0;

private:
    PortChoice port_;
    std::function<void()> onEnded_;
};
