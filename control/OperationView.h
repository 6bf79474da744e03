// The host side of an operation: what the adapter control asks of the window (or the
// command line, or a test recorder). The model holds the state; these calls say what changed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/Bytes.h"
#include "control/AdapterModel.h"
#include "control/Control.h"

// The entry chosen in the port list: the name the device opens, the text the list shows,
// and the device instance ID (empty for ports without one).
struct PortChoice {
    std::string Name;
    std::string Text;
    std::string DeviceId;
};

class OperationView {
public:
    virtual ~OperationView() = default;
    // None when the port list has no selected entry (it may empty during an operation).
    virtual std::optional<PortChoice> SelectedPort() = 0;
    // The enabled or visible flag of `c` (or the caption of btUpdateRun) changed.
    virtual void ControlChanged(Control c) = 0;
    virtual void IdentityChanged() = 0;
    // Rows, marks, the selection or the order of the mode list changed.
    virtual void ModesChanged() = 0;
    // The mode list scrolls `row` fully into view. Only the list knows its viewport, so the
    // model cannot say this; hosts without a list ignore it.
    virtual void ScrollModeIntoView(std::size_t /*row*/) {}
    virtual void LogCleared(LogId log) = 0;
    // Settings: whole lines added at the end. Test: bytes inserted at the end, no line break.
    virtual void LogAppended(LogId log, const Bytes& text) = 0;
    virtual void FocusControl(Control c) = 0;
    // The Update page re-evaluates its Run button.
    virtual void UpdatePageState() = 0;
    // The operation is over and the device closed.
    virtual void OperationEnded() = 0;
};
