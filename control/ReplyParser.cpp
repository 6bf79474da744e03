#include "control/ReplyParser.h"

#include <cstdio>

#include "control/SupplyVoltage.h"

namespace {
const Bytes kSelectedMode = "Selected Mode: ";

bool StartsWith(const Bytes& line, const char* prefix) {
    return line.rfind(prefix, 0) == 0;
}
}  // namespace

bool ReplyParser::IsModeIdChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

int ReplyParser::ModeIdLength(const Bytes& line) {
    for (std::size_t i = 0; i < 4; ++i) {
        // A line that ends inside the ID is no mode line.
        if (i >= line.size()) return 0;
        if (IsModeIdChar(line[i])) continue;
        return line.compare(i, 3, " - ") == 0 ? static_cast<int>(i) : 0;
    }
    return 0;
}

void ReplyParser::AddModeRow(const Bytes& line, int idLength) {
    m_.ModeIdLen = idLength;
    ModeRow row;
    char caption[16];
    std::snprintf(caption, sizeof caption, "%02u", static_cast<unsigned>(m_.Modes.size()));
    row.Caption = caption;
    row.Id = line.substr(0, static_cast<std::size_t>(idLength));
    row.Description = line.substr(static_cast<std::size_t>(idLength) + 3);
    m_.Modes.push_back(std::move(row));
}

void ReplyParser::SetExtPower(const Bytes& line) {
    // The box is disabled while its mark changes, so the change starts no operation.
    m_.SetEnabled(Control::cbPower, false);
    m_.Identity.ExtPowerOn = line.compare(3, 2, "Of") != 0;
    m_.SetEnabled(Control::cbPower, true);
    m_.SetVisible(Control::cbPower, true);
    if (m_.Identity.CopyrightSize == CopyrightWidth::Full)
        m_.Identity.CopyrightSize = CopyrightWidth::ToHardware;
}

bool ReplyParser::ParseIdentityLine(const Bytes& line) {
    AdapterIdentity& id = m_.Identity;
    struct TextTag {
        const char* prefix;
        Bytes AdapterIdentity::*field;
    };
    static const TextTag kTags[] = {
        {"CR:", &AdapterIdentity::Copyright},
        {"Serial Number: ", &AdapterIdentity::SerialNumber},
        {"SN:", &AdapterIdentity::SerialNumber},
        {"Signature: ", &AdapterIdentity::Signature},
        {"ID:", &AdapterIdentity::Signature},
        {"Version ", &AdapterIdentity::Firmware},
        {"FW:", &AdapterIdentity::Firmware},
        {"BW:", &AdapterIdentity::Bootware},
        {"Hardware: ", &AdapterIdentity::Hardware},
        {"HW:", &AdapterIdentity::Hardware},
    };
    if (StartsWith(line, "USB-")) {
        id.Copyright = line;
        return true;
    }
    for (const TextTag& tag : kTags) {
        if (!StartsWith(line, tag.prefix)) continue;
        id.*tag.field = line.substr(Bytes(tag.prefix).size());
        if (tag.field == &AdapterIdentity::Bootware) {
            m_.SetVisible(Control::tsTest, true);
            id.CopyrightSize = CopyrightWidth::Design;
        }
        return true;
    }
    if (StartsWith(line, "PW:")) {
        SetExtPower(line);
        return true;
    }
    if (StartsWith(line, "UP:")) {
        m_.SetVisible(Control::edPower, true);
        m_.SetVisible(Control::lbPower, true);
        id.SupplyVoltage = SupplyVoltageText(line.substr(3));
        return true;
    }
    return false;
}

bool ReplyParser::ParseReplyLine(const Bytes& line) {
    const int n = ModeIdLength(line);
    if (n > 0) {
        AddModeRow(line, n);
        return true;
    }
    return ParseIdentityLine(line);
}

void ReplyParser::MarkSelectedMode(const Bytes& line, bool focusOnModes) {
    if (!StartsWith(line, kSelectedMode.c_str())) return;
    const Bytes wanted = line.substr(kSelectedMode.size(), static_cast<std::size_t>(m_.ModeIdLen));
    for (std::size_t i = 0; i < m_.Modes.size(); ++i) {
        ModeRow& row = m_.Modes[i];
        if (row.Id != wanted) {
            row.StateIcon = -1;
            continue;
        }
        if (settings_ != nullptr) settings_->WriteRegStr("Mode", line.substr(kSelectedMode.size()));
        row.Checked = true;
        row.StateIcon = 0;
        // One row carries the focus mark and one the selection; the mark moves only when
        // the list is to get the focus.
        for (ModeRow& other : m_.Modes) {
            other.Selected = false;
            if (focusOnModes) other.Focused = false;
        }
        if (focusOnModes) row.Focused = true;
        row.Selected = true;
        marked_ = i;
        m_.SetEnabled(Control::btModeSelect, false);
        m_.SelectedRow = i;
    }
}

void ReplyParser::ParseLog(bool focusOnModes) {
    const std::size_t rowsBefore = m_.Modes.size();
    for (const Bytes& line : m_.SettingsLog)
        ParseReplyLine(line);
    // The list sorts itself as rows arrive; one sort after the fill ends in the same order.
    if (m_.Modes.size() != rowsBefore) m_.SortModes();
    // Only the last Selected Mode line counts: marking by an earlier one would leave its row
    // selected and locked though a later line names another mode, or none.
    for (auto line = m_.SettingsLog.rbegin(); line != m_.SettingsLog.rend(); ++line) {
        if (!StartsWith(*line, kSelectedMode.c_str())) continue;
        MarkSelectedMode(*line, focusOnModes);
        break;
    }
}
