#include "core/rules/HandOver.h"

#include "core/rules/DesktopEntry.h"
#include "core/rules/MenuColumns.h"

#include <gtest/gtest.h>
#include <vector>

TEST(HandOver, EncodesLittleEndianLengthCountingTheZeroByte)
{
    const QByteArray m = EncodeHandOver("/tmp/a.cal");
    ASSERT_EQ(m.size(), 4 + 11);
    EXPECT_EQ(m.left(4), QByteArray("\x0b\x00\x00\x00", 4));
    EXPECT_EQ(m.mid(4, 10), "/tmp/a.cal");
    EXPECT_EQ(m.at(14), '\0');

    const QByteArray big = EncodeHandOver(QByteArray(300, 'x'));
    EXPECT_EQ(big.left(4), QByteArray("\x2d\x01\x00\x00", 4));
}

TEST(HandOver, DecodesTable)
{
    struct Row
    {
        const char* name;
        QByteArray bytes;
        THandOverRead::State status;
        QByteArray path;
    };
    const std::vector<Row> rows = {
        {"empty buffer", QByteArray(), THandOverRead::NeedMore, {}},
        {"half a length", QByteArray("\x05\x00", 2), THandOverRead::NeedMore, {}},
        {"length without data",
         QByteArray("\x05\x00\x00\x00"
                    "ab",
                    6),
         THandOverRead::NeedMore,
         {}},
        {"cbData 0", QByteArray("\x00\x00\x00\x00", 4), THandOverRead::Complete, {}},
        {"round trip", EncodeHandOver("/home/u/x.CAL"), THandOverRead::Complete, "/home/u/x.CAL"},
        {"text stops at first zero",
         QByteArray("\x06\x00\x00\x00"
                    "ab\0cd\0",
                    10),
         THandOverRead::Complete, "ab"},
        {"no zero: never more than cbData",
         QByteArray("\x03\x00\x00\x00"
                    "abcdef",
                    10),
         THandOverRead::Complete, "abc"},
        {"over the limit", QByteArray("\x01\x00\x01\x00", 4), THandOverRead::Refused, {}},
        {"huge length", QByteArray("\xff\xff\xff\xff", 4), THandOverRead::Refused, {}},
    };
    for (const Row& row : rows) {
        const THandOverRead r = DecodeHandOver(row.bytes);
        EXPECT_EQ(r.Status, row.status) << row.name;
        EXPECT_EQ(r.Path, row.path) << row.name;
    }
}

TEST(MenuColumns, EveryColumnHoldsTwentyNineWebcams)
{
    struct Row
    {
        int position;
        bool starts;
    };
    for (const Row& row : std::vector<Row>{{0, false},
                                           {1, false},
                                           {28, false},
                                           {29, true},
                                           {30, false},
                                           {57, false},
                                           {58, true},
                                           {59, false},
                                           {87, true}})
        EXPECT_EQ(StartsMenuColumn(row.position), row.starts) << row.position;

    // 60 webcams: columns of 29, 29 and 2.
    std::vector<int> columns;
    for (int i = 0; i < 60; ++i) {
        if (i == 0 || StartsMenuColumn(i))
            columns.push_back(0);
        ++columns.back();
    }
    EXPECT_EQ(columns, (std::vector<int>{29, 29, 2}));
}

TEST(DesktopEntry, ExecArgumentEscaping)
{
    struct Row
    {
        QString path, expected;
    };
    const std::vector<Row> rows = {
        {"/usr/bin/pictavo", R"("/usr/bin/pictavo")"},
        {"/a b/p", R"("/a b/p")"},
        {R"(/a\b)", R"("/a\\\\b")"},
        {"/a\"b", R"("/a\\"b")"},
        {"/a`b", R"("/a\\`b")"},
        {"/$HOME", R"("/\\$HOME")"},
        {"/50%", R"("/50%%")"},
        {"/a\nExec=evil", R"("/a\nExec=evil")"},
        {"/a\tb\r", R"("/a\tb\r")"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DesktopExecArgument(row.path), row.expected) << row.path.toStdString();
}
