#include "core/rules/LanguageValues.h"

#include <gtest/gtest.h>

TEST(LanguageValues, SetMembersAndEnumOrdinals)
{
    EXPECT_EQ(LanguageSetMembers(u"[fsBold, fsItalic]"), (QStringList{"fsBold", "fsItalic"}));
    EXPECT_EQ(LanguageSetMembers(u" fsBold "), QStringList{"fsBold"});
    EXPECT_TRUE(LanguageSetMembers(u"[]").isEmpty());
    EXPECT_TRUE(LanguageSetMembers(u"[ , ]").isEmpty());

    const QStringList names{"taLeftJustify", "taRightJustify", "taCenter"};
    EXPECT_EQ(LanguageEnumOrdinal(u"tacenter", names), 2);
    EXPECT_EQ(LanguageEnumOrdinal(u"1", names), 1);
    EXPECT_EQ(LanguageEnumOrdinal(u"0", names), 0);
    EXPECT_EQ(LanguageEnumOrdinal(u"taNowhere", names), 0);
    EXPECT_EQ(LanguageEnumOrdinal(u"", names), 0);
}

TEST(LanguageValues, BooleansAndColours)
{
    EXPECT_EQ(LanguageBool(u"TRUE"), true);
    EXPECT_EQ(LanguageBool(u"-1"), true);
    EXPECT_EQ(LanguageBool(u"0"), false);
    EXPECT_EQ(LanguageBool(u"yes"), std::nullopt);

    EXPECT_EQ(LanguageColor(u"clRed"), 0xFF0000u);
    EXPECT_EQ(LanguageColor(u"BLUE"), 0x0000FFu);
    // Blue in the high byte of the layouts' numbers.
    EXPECT_EQ(LanguageColor(u"$00FF0000"), 0x0000FFu);
    EXPECT_EQ(LanguageColor(u"255"), 0xFF0000u);
    EXPECT_EQ(LanguageColor(u"#102030"), 0x102030u);
    EXPECT_EQ(LanguageColor(u"clNoSuch"), std::nullopt);
    EXPECT_EQ(LanguageColor(u"$1000000"), std::nullopt);
}

TEST(LanguageValues, SpinFieldReadsTypedText)
{
    EXPECT_EQ(SpinFieldValue(u"0", 1, 1000000), 1);
    EXPECT_EQ(SpinFieldValue(u"2000000", 1, 1000000), 1000000);
    EXPECT_EQ(SpinFieldValue(u"abc", 1, 1000000), 1);
    EXPECT_EQ(SpinFieldValue(u"", 1, 1000000), 1);
    EXPECT_EQ(SpinFieldValue(u" 8080 ", 1, 1000000), 8080);
    EXPECT_EQ(SpinFieldValue(u"99999999999999999999", 1, 1000000), 1);
    EXPECT_EQ(SpinFieldValue(u"-5", 1, 1000000), 1);
    EXPECT_EQ(SpinFieldValue(u"abc", 10, 20), 10);
}
