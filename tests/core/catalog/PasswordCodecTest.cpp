#include "core/catalog/PasswordCodec.h"

#include <gtest/gtest.h>

TEST(PasswordCodec, KnownEncodings)
{
    struct Row
    {
        QString Text;
        QString Encoded;
    };
    const Row rows[] = {
        {QStringLiteral("abc"), QStringLiteral("EsEsEs")},
        // 0x01 ^ 1 = 0: both letters at the bottom of their ranges.
        {QString(QChar(1)), QStringLiteral("Em")},
        // 0xFE ^ 1 = 0xFF: both at the top.
        {QString(QChar(0xFE)), QStringLiteral("T|")},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TSUtils::EncodeText(row.Text), row.Encoded) << row.Text.toStdString();
        EXPECT_EQ(TSUtils::DecodeText(row.Encoded), row.Text) << row.Text.toStdString();
    }
}

TEST(PasswordCodec, EveryByteAtEveryPositionComesBack)
{
    // 600 bytes: every value, and positions past 255 where the position wraps.
    QByteArray bytes;
    for (int i = 0; i < 600; ++i)
        bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
    const QString encoded = TSUtils::EncodeBytes(bytes);
    EXPECT_EQ(encoded.size(), bytes.size() * 2);
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char16_t c = encoded[i].unicode();
        if (i % 2 == 0)
            EXPECT_TRUE(c >= u'E' && c <= u'T') << i;
        else
            EXPECT_TRUE(c >= u'm' && c <= u'|') << i;
    }
    EXPECT_EQ(TSUtils::DecodeBytes(encoded), bytes);

    // As text: all 256 Latin-1 characters in order (not valid UTF-8) come back as they were.
    QString latin1;
    for (int c = 0; c < 256; ++c)
        latin1 += QChar(c);
    EXPECT_EQ(TSUtils::DecodeText(TSUtils::EncodeText(latin1)), latin1);
}

TEST(PasswordCodec, OddLengthDropsTheLastCharacter)
{
    EXPECT_EQ(TSUtils::DecodeText(QStringLiteral("EsEsEsX")), QStringLiteral("abc"));
    EXPECT_EQ(TSUtils::DecodeText(QStringLiteral("E")), QString());
}

TEST(PasswordCodec, TextBeyondLatin1TravelsAsUtf8)
{
    const QString latin1 = QString::fromUtf8("p\xc3\xa4sswort");
    // A Latin-1 password is encoded from its Latin-1 bytes, as existing files hold it.
    EXPECT_EQ(TSUtils::EncodeText(latin1), TSUtils::EncodeBytes(latin1.toLatin1()));
    EXPECT_EQ(TSUtils::DecodeText(TSUtils::EncodeText(latin1)), latin1);

    const QString wide = QString::fromUtf8("\xe2\x82\xac-\xd0\x96-\xf0\x9f\x98\x80");
    EXPECT_EQ(TSUtils::EncodeText(wide), TSUtils::EncodeBytes(wide.toUtf8()));
    EXPECT_EQ(TSUtils::DecodeText(TSUtils::EncodeText(wide)), wide);
}
