// One row of the mode list, as the adapter sent it.
#pragma once

#include "base/Bytes.h"

struct ModeRow {
    Bytes Caption;       // "#": arrival number, "%02u"
    Bytes Id;            // sent back verbatim by Select
    Bytes Description;   //
    int StateIcon = -1;  // 0 marks the adapter's current mode
    bool Checked = false;
    bool Selected = false;
    bool Focused = false;

    bool operator==(const ModeRow&) const = default;
};
