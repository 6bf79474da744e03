// Turns the lines of the adapter's replies into the model: identity fields in either label
// style, mode rows, and the mark on the adapter's current mode.
#pragma once

#include <cstddef>
#include <optional>

#include "base/Bytes.h"
#include "control/AdapterModel.h"
#include "control/SettingsWriter.h"

class ReplyParser {
public:
    // `settings` may be null: the mode is then not remembered.
    ReplyParser(AdapterModel& model, SettingsWriter* settings) : m_(model), settings_(settings) {}

    // Every line of the Settings log through ParseReplyLine, then through MarkSelectedMode.
    // The list keeps itself sorted, so the new rows are in list order before the marking.
    // `focusOnModes`: the operation ends with the focus in the mode list.
    void ParseLog(bool focusOnModes);
    bool ParseReplyLine(const Bytes& line);
    void MarkSelectedMode(const Bytes& line, bool focusOnModes);

    static bool IsModeIdChar(char c);
    // 1..3 for a mode line ("ID - description"), 0 for any other line.
    static int ModeIdLength(const Bytes& line);

    // The row the last "Selected Mode: " line marked; the list scrolls it into view.
    std::optional<std::size_t> MarkedRow() const { return marked_; }

private:
    void AddModeRow(const Bytes& line, int idLength);
    bool ParseIdentityLine(const Bytes& line);
    void SetExtPower(const Bytes& line);

    AdapterModel& m_;
    SettingsWriter* settings_;
    std::optional<std::size_t> marked_;
};
