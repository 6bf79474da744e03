#include "control/ModeList.h"

#include <gtest/gtest.h>

namespace {
ModeRow Row(const char* caption, const char* id, const char* description) {
    ModeRow r;
    r.Caption = caption;
    r.Id = id;
    r.Description = description;
    return r;
}
std::vector<Bytes> Captions(const std::vector<ModeRow>& rows) {
    std::vector<Bytes> out;
    for (const ModeRow& r : rows)
        out.push_back(r.Caption);
    return out;
}
}  // namespace

TEST(CompareModeText, FoldsOnlyAsciiLettersAndShorterSortsFirst) {
    EXPECT_EQ(CompareModeText("abc", "ABC"), 0);
    EXPECT_LT(CompareModeText("10", "100"), 0);
    EXPECT_LT(CompareModeText("100", "11"), 0);
    EXPECT_NE(CompareModeText("\xE0", "\xC0"), 0);  // no folding outside a..z
    EXPECT_GT(CompareModeText("\xE0", "Z"), 0);     // bytes compare unsigned
    EXPECT_EQ(CompareModeText("", ""), 0);
}

TEST(SortModeRows, ByColumnAndDirection) {
    std::vector<ModeRow> rows = {Row("00", "B", "zeta"), Row("01", "a", "Alpha"),
                                 Row("100", "C", "beta"), Row("10", "D", "gamma"),
                                 Row("11", "E", "delta")};
    SortModeRows(rows, 0, 0);
    EXPECT_EQ(Captions(rows), (std::vector<Bytes>{"00", "01", "10", "100", "11"}));
    SortModeRows(rows, 1, 0);
    EXPECT_EQ(Captions(rows), (std::vector<Bytes>{"01", "00", "100", "10", "11"}));
    SortModeRows(rows, 1, 1);
    EXPECT_EQ(Captions(rows), (std::vector<Bytes>{"11", "10", "100", "00", "01"}));
    SortModeRows(rows, 2, 0);
    EXPECT_EQ(Captions(rows), (std::vector<Bytes>{"01", "100", "11", "10", "00"}));
}
