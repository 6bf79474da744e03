#include "control/ModeListOrder.h"

#include <algorithm>

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
