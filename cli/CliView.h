// The command line's side of an operation: the port given on the command line, self-test
// output streamed to stdout, and the loop stopped when the operation ends.
#pragma once

#include <functional>
#include <string>

#include "control/OperationView.h"

class CliView : public OperationView {
public:
    // `device` is opened; `shown` names it in the operation's messages.
    CliView(std::string device, std::string shown)
        : device_(std::move(device)), shown_(std::move(shown)) {}

    void SetStreamTest(bool on) { streamTest_ = on; }
    void SetOnEnded(std::function<void()> fn) { onEnded_ = std::move(fn); }

    std::optional<PortChoice> SelectedPort() override;
    void ControlChanged(Control) override {}
    void IdentityChanged() override {}
    void ModesChanged() override {}
    void LogCleared(LogId) override {}
    void LogAppended(LogId log, const Bytes& text) override;
    void FocusControl(Control) override {}
    void UpdatePageState() override {}
    void OperationEnded() override;

private:
    std::string device_;
    std::string shown_;
    bool streamTest_ = false;
    std::function<void()> onEnded_;
};
