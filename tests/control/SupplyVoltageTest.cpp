#include "control/SupplyVoltage.h"

#include <gtest/gtest.h>

TEST(SupplyVoltage, ShowsTenthsOfAVoltFromTheHexReading) {
    const struct {
        const char* rest;
        const char* shown;
    } cases[] = {
        {"5C", "12.9"},   {"BC", "25.8"}, {"BD", "25.9"},   {"FF", "34.8"},
        {"", "0.5"},      {"zz", "0.5"},  {"  5c", "12.9"}, {"5Cvolts", "12.9"},
        {"0x5C", "12.9"}, {"0", "0.5"},   {"1", "0.6"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SupplyVoltageText(c.rest), c.shown) << c.rest;
}

TEST(SupplyVoltage, ReadingsBeyondThirtyTwoBitsSaturate) {
    EXPECT_EQ(ParseHexReading("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseHexReading("100000000"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseHexReading("123456789ABCDEF0123"), 0xFFFFFFFFu);
    // 4294967295 * 11363000 needs 56 bits; nothing wraps on the way.
    EXPECT_EQ(SupplyVoltageTenths(0xFFFFFFFFu), 5776954713u);
    EXPECT_EQ(SupplyVoltageText("FFFFFFFFFF"), "577695471.3");
}

TEST(SupplyVoltage, SignsAreReadAsTheCLibraryDoes) {
    EXPECT_EQ(ParseHexReading("+5C"), 0x5Cu);
    EXPECT_EQ(ParseHexReading("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseHexReading("0x"), 0u);
}
