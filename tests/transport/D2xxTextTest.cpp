// The D2XX texts the user reads: the status names, spelled exactly as shown (typos kept), and
// the device record's fields, cut at their terminator.
#include "transport/D2xx.h"

#include <gtest/gtest.h>

TEST(D2xxStatusText, NamesEveryKnownCodeAndAdmitsUnknownOnes) {
    EXPECT_EQ(d2xx::StatusText(0), "Success operation");
    EXPECT_EQ(d2xx::StatusText(2), "Device is not found");
    EXPECT_EQ(d2xx::StatusText(5), "Insuffient resurces");
    EXPECT_EQ(d2xx::StatusText(18), "OTHER_ERROR");
    EXPECT_EQ(d2xx::StatusText(19), "Unknown error");
    EXPECT_EQ(d2xx::StatusText(0xFFFFFFFFu), "Unknown error");
}

TEST(D2xxFieldText, StopsAtTheTerminatorOrTheFieldsEnd) {
    const char terminated[16] = {'F', 'T', '1', '2', '\0', 'x', 'y'};
    EXPECT_EQ(d2xx::FieldText(terminated, sizeof terminated), "FT12");
    char full[16];
    for (char& c : full) c = 'A';
    EXPECT_EQ(d2xx::FieldText(full, sizeof full), std::string(16, 'A'));
    const char empty[4] = {};
    EXPECT_EQ(d2xx::FieldText(empty, sizeof empty), "");
}
