#include "control/AdapterModel.h"

#include "control/ModeList.h"

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

void AdapterModel::SortModes() {
    // Rows move: follow the remembered one by its arrival number, which no other row has.
    const ModeRow* selected = Selected();
    const Bytes caption = selected ? selected->Caption : Bytes();
    SortModeRows(Modes, SortCol, SortDir);
    if (selected == nullptr) return;
    for (std::size_t i = 0; i < Modes.size(); ++i)
        if (Modes[i].Caption == caption) SelectedRow = i;
}
