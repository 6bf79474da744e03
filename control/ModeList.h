// The mode list's rules: how it sorts (byte-wise text comparison with only a..z folded, per
// column and direction; no locale, no numeric order: "100" sorts between "10" and "11"), and
// what its own events do (which row Select acts on, the keys and clicks that select a mode,
// the column clicks that sort it).
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "base/Bytes.h"
#include "control/ModeRow.h"

class AdapterModel;
class OperationView;

int CompareModeText(const Bytes& a, const Bytes& b);
// sortCol 0 = "#", 1 = "ID", 2 = "Description"; sortDir 0 ascending, else descending.
int CompareModeRows(const ModeRow& a, const ModeRow& b, int sortCol, int sortDir);
void SortModeRows(std::vector<ModeRow>& rows, int sortCol, int sortDir);

class ModeList {
public:
    // `selectMode` is the Select button's starter.
    ModeList(AdapterModel& model, OperationView& view, std::function<void()> selectMode);

    // The list's selection moved to (`selected`) or away from `row`.
    void lvModesSelectItem(std::size_t row, bool selected = true);
    // A click that deselected the row, or hit empty space, leaves the remembered row selected.
    void lvModesMouseUp();
    void lvModesDblClick() { selectMode_(); }
    // Enter and Space select the mode; other keys do nothing.
    void lvModesKeyPress(char key);
    // Sorts by `column` (0 "#", 1 "ID", 2 "Description"); the same column again reverses.
    void lvModesColumnClick(int column);
    // Re-sorts the list and scrolls its selected row, if any, fully into view.
    void SortAndScroll();

private:
    AdapterModel& model_;
    OperationView& view_;
    std::function<void()> selectMode_;
};
