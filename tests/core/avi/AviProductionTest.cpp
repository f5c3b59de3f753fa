// The creator's list rules and the one-writer-per-target rule of productions.
#include "core/avi/AviProduction.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(AviCreatorRules, DropTargetsAndExchanges)
{
    EXPECT_EQ(AviCreatorRules::DropTarget(2, 5), 2);
    EXPECT_EQ(AviCreatorRules::DropTarget(-1, 5), 4) << "below the entries: the last";
    EXPECT_EQ(AviCreatorRules::DropTarget(-1, 0), -1);

    QStringList files{"a", "b", "c", "d"};
    EXPECT_TRUE(AviCreatorRules::ExchangeEntries(files, 0, 3));
    EXPECT_EQ(files, QStringList({"d", "b", "c", "a"}));
    EXPECT_FALSE(AviCreatorRules::ExchangeEntries(files, 1, 1));
    EXPECT_FALSE(AviCreatorRules::ExchangeEntries(files, -1, 2));
    EXPECT_FALSE(AviCreatorRules::ExchangeEntries(files, 1, 4));
    EXPECT_EQ(files, QStringList({"d", "b", "c", "a"}));
}

TEST(AviCreatorRules, TargetNameGetsTheExtensionOnlyWhenItHasNone)
{
    EXPECT_EQ(AviCreatorRules::TargetFileName("/v/clip"), "/v/clip.avi");
    EXPECT_EQ(AviCreatorRules::TargetFileName("/v.d/clip"), "/v.d/clip.avi");
    EXPECT_EQ(AviCreatorRules::TargetFileName("/v/clip.AVI"), "/v/clip.AVI");
    EXPECT_EQ(AviCreatorRules::TargetFileName("/v/clip.mov"), "/v/clip.mov");
}

TEST(AviProduction, ATargetHasOneWriterWhateverItsSpellingAndIsFreedWithIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    ASSERT_TRUE(QFile::link(dir.filePath("real"), dir.filePath("link")));
    const QString target = dir.filePath("real/out.avi");
    {
        auto first = TAviProduction::Create({}, target, 500, 800, 600);
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(TAviProduction::IsWriting(target));
        EXPECT_EQ(TAviProduction::Create({}, dir.filePath("link/out.avi"), 500, 800, 600), nullptr);
        EXPECT_EQ(TAviProduction::Create({}, dir.filePath("real/../real/out.avi"), 500, 800, 600),
                  nullptr);
        EXPECT_NE(TAviProduction::Create({}, dir.filePath("real/other.avi"), 500, 800, 600),
                  nullptr);
    }
    EXPECT_FALSE(TAviProduction::IsWriting(target));
    EXPECT_NE(TAviProduction::Create({}, target, 500, 800, 600), nullptr);
}
