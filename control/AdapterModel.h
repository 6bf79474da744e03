// Everything the window shows of the adapter and of a running operation, kept out of the
// widgets: identity, mode rows, the two logs and the flags of the controls an operation
// disables. Hosts render it; the adapter control changes it and tells the host what changed.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "control/AdapterIdentity.h"
#include "control/Control.h"
#include "control/ModeRow.h"

enum class LogId { Settings, Test };

class AdapterModel {
public:
    AdapterModel();

    AdapterIdentity Identity;
    std::vector<ModeRow> Modes;
    // The remembered row of the mode list: the one Select acts on.
    std::optional<std::size_t> SelectedRow;
    // ID length of the last mode line parsed; the selected-mode line is compared with it.
    int ModeIdLen = 0;
    int SortCol = 0;
    int SortDir = 0;
    // The Settings log as the adapter's own CR LF lines; the Test log as the bytes shown.
    std::vector<Bytes> SettingsLog;
    Bytes TestLog;
    std::string UpdateRunCaption = "Run";

    bool Enabled(Control c) const { return enabled_[Index(c)]; }
    bool Visible(Control c) const { return visible_[Index(c)]; }
    void SetEnabled(Control c, bool on) { enabled_[Index(c)] = on; }
    void SetVisible(Control c, bool on) { visible_[Index(c)] = on; }

    Bytes SettingsLogText() const;
    const ModeRow* Selected() const;
    // Empties the list and forgets the remembered row.
    void ClearModes();
    // Sorts the rows by SortCol and SortDir; the remembered row stays remembered.
    void SortModes();

private:
    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }
    std::array<bool, kControlCount> enabled_{};
    std::array<bool, kControlCount> visible_{};
};
