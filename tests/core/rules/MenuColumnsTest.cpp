#include "core/rules/MenuColumns.h"

#include <QList>
#include <QStringList>
#include <gtest/gtest.h>

TEST(MenuColumns, EntriesPastTheScreenGoToNestedMoreMenus)
{
    EXPECT_EQ(MenuLevels(10, 10, 30), std::vector<int>({10}));
    // one too many: the last line of the top level becomes "More"
    EXPECT_EQ(MenuLevels(11, 10, 30), std::vector<int>({9, 2}));
    std::vector<int> many(16, 29);
    many.insert(many.begin(), 9);
    many.push_back(27);
    EXPECT_EQ(MenuLevels(500, 10, 30), many);
    // no room at all still makes progress: each level shows an entry besides "More"
    EXPECT_EQ(MenuLevels(3, 0, 0), std::vector<int>({1, 2}));
}

TEST(MenuColumns, LongNamesAreShortenedInTheMiddleWithTheWholeNameInTheHint)
{
    const QString fits(MenuCaptionLength, 'a');
    EXPECT_EQ(MenuCaption(fits), fits);
    EXPECT_EQ(MenuHint(fits), QString());

    const QString name = "Start " + QString(200, 'x') + " end";
    const QString caption = MenuCaption(name);
    EXPECT_EQ(caption.size(), MenuCaptionLength);
    EXPECT_TRUE(caption.startsWith("Start xx")) << caption.toStdString();
    EXPECT_TRUE(caption.endsWith("xx end")) << caption.toStdString();
    EXPECT_TRUE(caption.contains(QChar(0x2026)));
    // The hint holds the whole name, in lines.
    const QString hint = MenuHint(name);
    EXPECT_EQ(QString(hint).remove('\n'), name);
    for (const QString& line : hint.split('\n'))
        EXPECT_LE(line.size(), MenuHintLineLength);

    // A giant name (10 MB) gives a bounded caption and hint.
    const QString giant(10 * 1024 * 1024, 'g');
    EXPECT_EQ(MenuCaption(giant).size(), MenuCaptionLength);
    EXPECT_LE(QString(MenuHint(giant)).remove('\n').size(), MenuHintLength);

    // A character beyond the basic plane is never cut in two.
    const QString smile = QString::fromUcs4(U"\U0001F600");
    QString wide;
    for (int i = 0; i < 100; ++i)
        wide += smile;
    const QString wideCaption = MenuCaption(wide);
    EXPECT_LE(wideCaption.size(), MenuCaptionLength);
    EXPECT_EQ(wideCaption.toUcs4().count(0x2026), 1);
    EXPECT_EQ(wideCaption.toUcs4().size(), 1 + wideCaption.toUcs4().count(0x1F600));
    for (const QString& line : MenuHint(wide).split('\n'))
        EXPECT_FALSE(line.front().isLowSurrogate() || line.back().isHighSurrogate());
}

TEST(MenuColumns, ANamesAmpersandShowsAsItself)
{
    // Qt takes "&" as the mark of an access key: a name's "&" is doubled so the menu shows it.
    EXPECT_EQ(MenuText("Travel & Tours"), "Travel && Tours");
    EXPECT_EQ(MenuText("&&&"), "&&&&&&");
    EXPECT_EQ(MenuText("Plain"), "Plain");
    // Shortened first, so that the caption keeps its length in characters shown.
    const QString name = QString(100, '&');
    EXPECT_EQ(MenuText(MenuCaption(name)).size(), 2 * (MenuCaptionLength - 1) + 1);
}
