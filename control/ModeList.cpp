#include "control/ModeList.h"

#include <algorithm>

#include "control/AdapterModel.h"
#include "control/OperationView.h"

namespace {
unsigned char Fold(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 32) : u;
}
}  // namespace

int CompareModeText(const Bytes& a, const Bytes& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int d = Fold(a[i]) - Fold(b[i]);
        if (d != 0) return d;
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int CompareModeRows(const ModeRow& a, const ModeRow& b, int sortCol, int sortDir) {
    int result = 0;
    if (sortCol == 0)
        result = CompareModeText(a.Caption, b.Caption);
    else if (sortCol == 1)
        result = CompareModeText(a.Id, b.Id);
    else if (sortCol == 2)
        result = CompareModeText(a.Description, b.Description);
    return sortDir != 0 ? -result : result;
}

void SortModeRows(std::vector<ModeRow>& rows, int sortCol, int sortDir) {
    std::stable_sort(rows.begin(), rows.end(), [&](const ModeRow& a, const ModeRow& b) {
        return CompareModeRows(a, b, sortCol, sortDir) < 0;
    });
}

ModeList::ModeList(AdapterModel& model, OperationView& view, std::function<void()> selectMode)
    : model_(model), view_(view), selectMode_(std::move(selectMode)) {}

void ModeList::lvModesSelectItem(std::size_t row, bool selected) {
    if (row >= model_.Modes.size()) return;
    // Remembered whether it gains or loses the selection: a click that deselects the row
    // still leaves it as the one Select acts on.
    model_.SelectedRow = row;
    if (selected)
        for (ModeRow& other : model_.Modes)
            other.Selected = false;
    model_.Modes[row].Selected = selected;
    if (!model_.Enabled(Control::lvModes)) return;
    model_.SetEnabled(Control::btModeSelect, model_.Modes[row].StateIcon != 0);
    view_.ControlChanged(Control::btModeSelect);
}

void ModeList::lvModesMouseUp() {
    if (model_.SelectedRow) lvModesSelectItem(*model_.SelectedRow);
    view_.ModesChanged();
}

void ModeList::lvModesKeyPress(char key) {
    if (key == '\r' || key == ' ') selectMode_();
}

void ModeList::lvModesColumnClick(int column) {
    if (model_.Modes.empty()) return;
    if (column == model_.SortCol)
        model_.SortDir = model_.SortDir == 0 ? 1 : 0;
    else
        model_.SortDir = 0;
    model_.SortCol = column;
    SortAndScroll();
}

void ModeList::SortAndScroll() {
    model_.SortModes();
    view_.ModesChanged();
    for (std::size_t i = 0; i < model_.Modes.size(); ++i) {
        if (!model_.Modes[i].Selected) continue;
        view_.ScrollModeIntoView(i);
        return;
    }
}
