#include "core/rules/LanguageValues.h"

#include <gtest/gtest.h>

TEST(LanguageValues, SetsEnumerationsBooleansColoursAndTypedNumbers)
{
    EXPECT_EQ(LanguageSetMembers(u"[fsBold, fsItalic]"), (QStringList{"fsBold", "fsItalic"}));
    EXPECT_TRUE(LanguageSetMembers(u"[ , ]").isEmpty());

    const QStringList names{"taLeftJustify", "taRightJustify", "taCenter"};
    EXPECT_EQ(LanguageEnumOrdinal(u"tacenter", names), 2);
    EXPECT_EQ(LanguageEnumOrdinal(u"1", names), 1);
    EXPECT_EQ(LanguageEnumOrdinal(u"taNowhere", names), 0);

    EXPECT_EQ(LanguageBool(u"-1"), true);
    EXPECT_EQ(LanguageBool(u"yes"), std::nullopt);

    // Blue in the high byte of the layouts' numbers; names with or without the prefix.
    EXPECT_EQ(LanguageColor(u"$00FF0000"), 0x0000FFu);
    EXPECT_EQ(LanguageColor(u"255"), 0xFF0000u);
    EXPECT_EQ(LanguageColor(u"clRed"), 0xFF0000u);
    EXPECT_EQ(LanguageColor(u"BLUE"), 0x0000FFu);
    EXPECT_EQ(LanguageColor(u"$1000000"), std::nullopt);

    // Too large for any integer, or negative: brought into the range like any other text.
    EXPECT_EQ(SpinFieldValue(u"99999999999999999999", 1, 1000000), 1);
    EXPECT_EQ(SpinFieldValue(u"-5", 1, 1000000), 1);
    EXPECT_EQ(SpinFieldValue(u" 8080 ", 1, 1000000), 8080);
}
