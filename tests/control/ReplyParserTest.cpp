#include "control/ReplyParser.h"

#include <gtest/gtest.h>

#include "RecordingView.h"

TEST(ModeIdLength, AcceptsOneToThreeIdCharactersFollowedBySpaceHyphenSpace) {
    const struct {
        const char* line;
        int length;
    } cases[] = {
        {"1 - one", 1},   {"01 - Mode one", 2},
        {"0AZ - x", 3},   {"1234 - text", 0},
        {"ab - text", 0}, {"AB -", 0},
        {"AB-x", 0},      {"AB - ", 2},
        {" - x", 0},      {"", 0},
        {"A", 0},         {"AB", 0},
        {"ABC", 0},       {"ABCD", 0},
        {"AB ", 0},       {"AB  - x", 0},
        {"A\xC0 - x", 0}, {"Selected Mode: 01", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyParser::ModeIdLength(c.line), c.length) << c.line;
}

TEST(ModeIdLength, NeverReadsPastAShortLine) {
    // Lines cut out of a larger buffer: the bytes after the line would continue the ID.
    const Bytes backing = "ABC - trailing";
    for (std::size_t n = 0; n <= 3; ++n)
        EXPECT_EQ(ReplyParser::ModeIdLength(Bytes(backing.data(), n)), 0) << n;
}

class ParserTest : public ::testing::Test {
protected:
    AdapterModel model;
    RecordingSettings settings;
    ReplyParser parser{model, &settings};

    void Parse(std::vector<Bytes> lines, bool focusOnModes = true) {
        model.SettingsLog = std::move(lines);
        parser.ParseLog(focusOnModes);
    }
};

TEST_F(ParserTest, IdentityTagsInBothLabelStyles) {
    Parse({"CR:(C) Short", "SN:000123", "ID:ABCD", "FW:123", "HW:2.1", "BW:1.02"});
    const AdapterIdentity& a = model.Identity;
    EXPECT_EQ(a.Copyright, "(C) Short");
    EXPECT_EQ(a.SerialNumber, "000123");
    EXPECT_EQ(a.Signature, "ABCD");
    EXPECT_EQ(a.Firmware, "123");
    EXPECT_EQ(a.Hardware, "2.1");
    EXPECT_EQ(a.Bootware, "1.02");

    Parse({"USB-Long (C)", "Serial Number: 42 ", "Signature: Sig", "Version 7.1", "Hardware: 3"});
    EXPECT_EQ(a.Copyright, "USB-Long (C)");  // the whole line, marker included
    EXPECT_EQ(a.SerialNumber, "42 ");        // no trimming
    EXPECT_EQ(a.Signature, "Sig");
    EXPECT_EQ(a.Firmware, "7.1");
    EXPECT_EQ(a.Hardware, "3");
    EXPECT_EQ(a.Bootware, "1.02");  // kept: no line of its kind came
}

TEST_F(ParserTest, ReturnsWhetherTheLineMeantSomething) {
    EXPECT_TRUE(parser.ParseReplyLine("SN:1"));
    EXPECT_TRUE(parser.ParseReplyLine("01 - x"));
    EXPECT_FALSE(parser.ParseReplyLine("sn:1"));             // case-sensitive
    EXPECT_FALSE(parser.ParseReplyLine("Serial Number:1"));  // the long label has its space
    EXPECT_FALSE(parser.ParseReplyLine("Selected Mode: 01"));
    EXPECT_FALSE(parser.ParseReplyLine(""));
    EXPECT_FALSE(parser.ParseReplyLine("OK"));
}

TEST_F(ParserTest, BootwareShowsTheTestTabAndNarrowsCopyrightToItsDesignWidth) {
    Parse({"BW:1", "PW:On"});
    EXPECT_TRUE(model.Visible(Control::tsTest));
    // A later "PW:" only narrows a field that is still at full width.
    EXPECT_EQ(model.Identity.CopyrightSize, CopyrightWidth::Design);
    model.Identity.CopyrightSize = CopyrightWidth::Full;
    Parse({"PW:On"});
    EXPECT_EQ(model.Identity.CopyrightSize, CopyrightWidth::ToHardware);
}

TEST_F(ParserTest, PowerLineIsOnUnlessItSaysOf) {
    const struct {
        const char* line;
        bool on;
    } cases[] = {{"PW:On", true}, {"PW:Off", false}, {"PW:Of", false}, {"PW:OFF", true},
                 {"PW:", true},   {"PW:O", true},    {"PW:1", true}};
    for (const auto& c : cases) {
        Parse({c.line});
        EXPECT_EQ(model.Identity.ExtPowerOn, c.on) << c.line;
        EXPECT_TRUE(model.Visible(Control::cbPower));
        EXPECT_TRUE(model.Enabled(Control::cbPower));
    }
}

TEST_F(ParserTest, VoltageLineShowsTheFieldAndItsUnit) {
    Parse({"UP:BD"});
    EXPECT_EQ(model.Identity.SupplyVoltage, "25.9");
    EXPECT_TRUE(model.Visible(Control::edPower));
    EXPECT_TRUE(model.Visible(Control::lbPower));
}

TEST_F(ParserTest, ModeLinesBecomeNumberedRowsAndTheSelectedOneIsMarked) {
    model.SetEnabled(Control::btModeSelect, true);
    Parse({"CR:x", "01 - Mode one", "1234 - text", "ab - text", "AB -", "AB-x", "02 - Mode two",
           "Selected Mode: 02"});
    ASSERT_EQ(model.Modes.size(), 2u);
    EXPECT_EQ(model.Modes[0].Caption, "00");
    EXPECT_EQ(model.Modes[0].Id, "01");
    EXPECT_EQ(model.Modes[0].Description, "Mode one");
    EXPECT_EQ(model.Modes[0].StateIcon, -1);
    EXPECT_FALSE(model.Modes[0].Checked);
    EXPECT_EQ(model.Modes[1].Caption, "01");
    EXPECT_EQ(model.Modes[1].Id, "02");
    EXPECT_EQ(model.Modes[1].Description, "Mode two");
    EXPECT_EQ(model.Modes[1].StateIcon, 0);
    EXPECT_TRUE(model.Modes[1].Checked);
    EXPECT_TRUE(model.Modes[1].Selected);
    EXPECT_TRUE(model.Modes[1].Focused);
    EXPECT_EQ(model.SelectedRow, 1u);
    EXPECT_FALSE(model.Enabled(Control::btModeSelect));
    EXPECT_EQ(settings.values["Mode"], "02");
}

TEST_F(ParserTest, SelectedModeComparesTheLastParsedIdLength) {
    // The adapter names "01" but the last mode line had a 1-character ID: only "0" is
    // compared, which matches no row; the setting keeps the whole rest of the line.
    Parse({"01 - two chars", "7 - one char", "Selected Mode: 01"});
    EXPECT_EQ(model.ModeIdLen, 1);
    EXPECT_EQ(model.Modes[0].StateIcon, -1);
    EXPECT_EQ(model.Modes[1].StateIcon, -1);
    EXPECT_FALSE(model.SelectedRow);
    EXPECT_EQ(settings.values.count("Mode"), 0u);

    model.ClearModes();
    Parse({"0A - x", "Selected Mode: 0A trailing"}, false);
    EXPECT_EQ(model.Modes[0].StateIcon, 0);
    EXPECT_FALSE(model.Modes[0].Focused);  // the operation does not end in the list
    EXPECT_EQ(settings.values["Mode"], "0A trailing");
}

TEST_F(ParserTest, TheFocusMarkMovesOnlyWhenTheListGetsTheFocus) {
    Parse({"01 - a", "02 - b", "Selected Mode: 01"}, true);
    EXPECT_TRUE(model.Modes[0].Focused);
    model.SettingsLog = {"Selected Mode: 02"};
    parser.ParseLog(false);
    EXPECT_TRUE(model.Modes[1].Selected);
    EXPECT_FALSE(model.Modes[0].Selected);
    EXPECT_TRUE(model.Modes[0].Focused);  // the mark stays where the list had it
    EXPECT_FALSE(model.Modes[1].Focused);
}

TEST_F(ParserTest, NoSelectedModeLeavesEveryRowSelectable) {
    Parse({"01 - a", "02 - b", "Selected Mode: 09"});
    for (const ModeRow& row : model.Modes)
        EXPECT_EQ(row.StateIcon, -1);
    EXPECT_FALSE(model.SelectedRow);
}

// The last Selected Mode line decides: one that names no row leaves no row marked or
// selected, and nothing an earlier line named is stored.
TEST_F(ParserTest, ALaterSelectedModeLineOverrulesAnEarlierOne) {
    Parse({"01 - a", "02 - b", "Selected Mode: 02", "Selected Mode: 09"});
    for (const ModeRow& row : model.Modes) {
        EXPECT_EQ(row.StateIcon, -1);
        EXPECT_FALSE(row.Selected);
    }
    EXPECT_FALSE(parser.MarkedRow());
    EXPECT_FALSE(model.SelectedRow);
    EXPECT_EQ(settings.values.count("Mode"), 0u);

    model.ClearModes();
    Parse({"01 - a", "02 - b", "Selected Mode: 02", "Selected Mode: 01"});
    ASSERT_TRUE(parser.MarkedRow());
    EXPECT_EQ(*parser.MarkedRow(), 0u);
    EXPECT_EQ(model.Modes[0].StateIcon, 0);
    EXPECT_EQ(model.Modes[1].StateIcon, -1);
    EXPECT_FALSE(model.Modes[1].Selected);
    EXPECT_EQ(settings.values["Mode"], "01");
}

TEST_F(ParserTest, RowNumbersKeepCountingPastNinetyNineAndSortAsText) {
    std::vector<Bytes> lines;
    for (int i = 0; i < 101; ++i)
        lines.push_back("M - mode");
    Parse(lines);
    ASSERT_EQ(model.Modes.size(), 101u);
    EXPECT_EQ(model.Modes[9].Caption, "09");
    // The list sorts itself by the "#" text as rows arrive: 100 comes between 10 and 11.
    EXPECT_EQ(model.Modes[10].Caption, "10");
    EXPECT_EQ(model.Modes[11].Caption, "100");
    EXPECT_EQ(model.Modes[12].Caption, "11");
}

TEST_F(ParserTest, NewRowsTakeTheListsSortOrderBeforeTheCurrentModeIsMarked) {
    model.SortDir = 1;
    Parse({"01 - a", "02 - b", "0A - c", "Selected Mode: 02"});
    std::vector<Bytes> captions;
    for (const ModeRow& row : model.Modes)
        captions.push_back(row.Caption);
    EXPECT_EQ(captions, (std::vector<Bytes>{"02", "01", "00"}));
    ASSERT_TRUE(model.SelectedRow);
    EXPECT_EQ(*model.SelectedRow, 1u);
    EXPECT_EQ(model.Modes[1].Id, "02");
    EXPECT_EQ(parser.MarkedRow(), 1u);

    // Rows added to a list that already holds some keep the remembered row remembered.
    model.SettingsLog = {"0B - d"};
    parser.ParseLog(false);
    ASSERT_EQ(model.Modes.size(), 4u);
    EXPECT_EQ(model.Modes[0].Caption, "03");
    ASSERT_TRUE(model.Selected());
    EXPECT_EQ(model.Selected()->Id, "02");
}

TEST_F(ParserTest, WithoutASettingsStoreTheModeIsMarkedAnyway) {
    ReplyParser bare(model, nullptr);
    model.SettingsLog = {"01 - a", "Selected Mode: 01"};
    bare.ParseLog(true);
    EXPECT_EQ(model.Modes[0].StateIcon, 0);
}
