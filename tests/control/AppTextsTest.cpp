#include "control/AppTexts.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "control/AdapterProtocol.h"
#include "platform/CodePage.h"
#include "platform/VersionInfo.h"

// Every value the window and the second prefix read is in the program, the version as four
// numbers; a name the program does not carry reads as empty.
TEST(VersionStrings, EveryValueReadIsThereAndUnknownNamesAreEmpty) {
    for (const char* name : {"ProductName", "InternalName", "FileVersion", "CompanyName",
                             "LegalCopyright", "Comments", "Support"})
        EXPECT_FALSE(platform::GetVersionValue(name).empty()) << name;
    EXPECT_EQ(platform::GetVersionValue("NoSuchName"), "");
    unsigned a = 0, b = 0, c = 0, d = 0;
    char rest = 0;
    EXPECT_EQ(std::sscanf(platform::GetVersionValue("FileVersion").c_str(), "%u.%u.%u.%u%c", &a, &b,
                          &c, &d, &rest),
              4);
    EXPECT_EQ(AppTitle(), AppProductName() + " Configurator Version " +
                              platform::GetVersionValue("FileVersion"));
}

TEST(CommandPrefixes, SecondPrefixIsBangUpperCompanyAndSuffix) {
    EXPECT_EQ(BuildSpecialCommandText(""), Bytes("!") + SpecialCommandSuffix);
    EXPECT_EQ(BuildSpecialCommandText("").size(), 17u);
    EXPECT_EQ(BuildSpecialCommandText("Ab-c z\xE9"), Bytes("!AB-C Z\xE9") + SpecialCommandSuffix);
    for (char c : Bytes(SpecialCommandSuffix))
        EXPECT_TRUE(c > ' ' && c < 127) << int(c);
    EXPECT_EQ(SpecialCommandText(), BuildSpecialCommandText(AppCompanyName()));
    const CommandPrefixes p = MakeCommandPrefixes(SpecialCommandText());
    EXPECT_EQ(p[0], "!rimPAX_SC_");
    EXPECT_EQ(p[1], SpecialCommandText());
}

TEST(CodePage, Cp1251BytesBecomeUtf8) {
    EXPECT_EQ(platform::Cp1251ToUtf8("Mode \xCF\xF0\xE8\xE2\xE5\xF2"), "Mode Привет");
    EXPECT_EQ(platform::Cp1251ToUtf8(Bytes("a\0b", 3)), Bytes("a\0b", 3));
    // 0x98 is the one byte the code page leaves out; the rest still comes through.
    EXPECT_EQ(platform::Cp1251ToUtf8("x\x98y"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(platform::Cp1251ToUtf8(""), "");
}
