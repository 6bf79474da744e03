// How the mode list sorts: byte-wise text comparison with only a..z folded, per column and
// direction. No locale, no numeric order ("100" sorts between "10" and "11").
#pragma once

#include <vector>

#include "base/Bytes.h"
#include "control/ModeRow.h"

int CompareModeText(const Bytes& a, const Bytes& b);
// sortCol 0 = "#", 1 = "ID", 2 = "Description"; sortDir 0 ascending, else descending.
int CompareModeRows(const ModeRow& a, const ModeRow& b, int sortCol, int sortDir);
void SortModeRows(std::vector<ModeRow>& rows, int sortCol, int sortDir);
