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

TEST(AviCreatorRules, TimeLeftAndItsText)
{
    EXPECT_EQ(AviCreatorRules::TimeLeft(0, 100, 5000), -1) << "nothing to measure by yet";
    EXPECT_EQ(AviCreatorRules::TimeLeft(25, 100, 5000), 15000);
    EXPECT_EQ(AviCreatorRules::TimeLeft(100, 100, 5000), 0);
    const std::pair<qint64, const char*> durations[] = {{0, "0:00"},          {1, "0:01"},
                                                        {59999, "1:00"},      {61000, "1:01"},
                                                        {3600000, "1:00:00"}, {3725000, "1:02:05"}};
    for (const auto& [ms, text] : durations)
        EXPECT_EQ(AviCreatorRules::DurationText(ms), QLatin1String(text)) << ms;
    const std::pair<qint64, const char*> sizes[] = {
        {999, "999 bytes"},      {1000, "1.0 KB"},        {999960, "1.0 MB"},
        {123004567, "123.0 MB"}, {921600000, "921.6 MB"}, {1234567890, "1.2 GB"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(AviCreatorRules::SizeText(bytes), QLatin1String(text)) << bytes;
}

TEST(AviCreatorRules, AFileIsListedOnceWhateverItsSpelling)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.jpg");
    QFile(a).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(a, dir.filePath("link.jpg")));
    QStringList refused;
    const QStringList fresh = AviCreatorRules::NewEntries(
        {a},
        {dir.filePath("b.jpg"), dir.filePath("x/../a.jpg"), dir.filePath("link.jpg"),
         dir.filePath("b.jpg"), dir.filePath("./c.jpg")},
        &refused);
    EXPECT_EQ(fresh, QStringList({dir.filePath("b.jpg"), dir.filePath("./c.jpg")}));
    EXPECT_EQ(refused, QStringList({dir.filePath("x/../a.jpg"), dir.filePath("link.jpg"),
                                    dir.filePath("b.jpg")}));
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
