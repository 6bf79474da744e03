// A bench's slot file: what it names, and each line it refuses with the line's number, so that
// no unit is ever recorded under a slot the file did not mean.
#include <gtest/gtest.h>

#include <string>

#include "station/SlotNames.h"

namespace {

TEST(SlotNames, NamesEachPlaceOnceAndRefusesALineThatWouldMislead) {
    const std::string hub = "pci-0000:00:14.0-usb-0:2.";
    const std::string two = hub + "1:1.0  Slot 1\n" + hub + "2:1.0\tSlot 2\n";
    const struct {
        std::string text;
        std::string error;  // "" when the file is taken
    } files[] = {
        {"\xEF\xBB\xBF# the hub on the left\n\n" + two + "  /tmp/bench/a1   Spare  bay \r\n", ""},
        {two + hub + "3:1.0\n", "line 3: the place " + hub + "3:1.0 has no name after it"},
        {two + "#\n" + hub + "1:1.0 Slot 9\n",
         "line 4: the place " + hub + "1:1.0 is named on line 1 already"},
        {two + hub + "3:1.0 Slot 2\n",
         "line 3: the name \"Slot 2\" is given to another place on line 2 already"},
    };
    for (const auto& f : files) {
        SlotNames slots;
        std::string error;
        EXPECT_EQ(slots.Parse(f.text, error), f.error.empty()) << f.text;
        EXPECT_EQ(error, f.error);
    }
    SlotNames slots;
    std::string error;
    ASSERT_TRUE(slots.Parse(files[0].text, error));
    EXPECT_EQ(slots.Count(), 3u);
    EXPECT_EQ(slots.NameOf(hub + "1:1.0"), "Slot 1");
    EXPECT_EQ(slots.NameOf(hub + "2:1.0"), "Slot 2");
    EXPECT_EQ(slots.NameOf("/tmp/bench/a1"), "Spare  bay");
    EXPECT_EQ(slots.NameOf(hub + "3:1.0"), "");
    // A refused file leaves the names it was given before.
    EXPECT_FALSE(slots.Parse(files[1].text, error));
    EXPECT_EQ(slots.NameOf(hub + "1:1.0"), "Slot 1");

    const std::string folder = testing::TempDir();
    EXPECT_FALSE(slots.Load(folder, error));
    EXPECT_EQ(error, "The slot file " + folder + " cannot be read: it is a folder");
    EXPECT_FALSE(slots.Load(folder + "/no-such-slots", error));
    EXPECT_EQ(error, "There is no slot file " + folder + "/no-such-slots");
}

}  // namespace
