#include "control/AdapterModel.h"

AdapterModel::AdapterModel() {
    enabled_.fill(true);
    visible_.fill(true);
    // As the window is designed: nothing to select, copy or run yet, no power fields.
    for (Control c : {Control::btPortProp, Control::btModeSelect, Control::btCopy,
                      Control::btUpdateRun, Control::cbPower})
        SetEnabled(c, false);
    for (Control c : {Control::cbPower, Control::edPower, Control::lbPower, Control::tsTest})
        SetVisible(c, false);
}

Bytes AdapterModel::SettingsLogText() const {
    Bytes text;
    for (std::size_t i = 0; i < SettingsLog.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += SettingsLog[i];
    }
    return text;
}

const ModeRow* AdapterModel::Selected() const {
    if (!SelectedRow || *SelectedRow >= Modes.size()) return nullptr;
    return &Modes[*SelectedRow];
}

void AdapterModel::ClearModes() {
    Modes.clear();
    SelectedRow.reset();
}
