#include "core/catalog/XmlDocument.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

QByteArray Header()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n");
}

QByteArray Escaped(const QString& value)
{
    QByteArray out;
    AppendXmlEscaped(out, value);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Writer

TEST(XmlWriter, LayoutOfEmptyTextAndNestedElements)
{
    TXmlElement root(QStringLiteral("Root"));
    root.AddChild(QStringLiteral("Empty"));
    root.AddChild(QStringLiteral("Text"), QStringLiteral("value"));
    TXmlElement* outer = root.AddChild(QStringLiteral("Outer"));
    outer->AddAttribute(QStringLiteral("Z"), QStringLiteral("1"));
    outer->AddAttribute(QStringLiteral("A"), QStringLiteral("2"));
    TXmlElement* inner = outer->AddChild(QStringLiteral("Inner"));
    inner->AddAttribute(QStringLiteral("B"), QString());

    const QByteArray expected = Header() + "<Root>\r\n"
                                           " <Empty/>\r\n"
                                           " <Text>value</Text>\r\n"
                                           " <Outer Z=\"1\" A=\"2\">\r\n"
                                           "  <Inner B=\"\"/>\r\n"
                                           " </Outer>\r\n"
                                           "</Root>\r\n";
    EXPECT_EQ(WriteXml(root), expected);
    EXPECT_EQ(WrittenXmlSize(root, 0), expected.size() - Header().size());
}

TEST(XmlWriter, CharacterReferences)
{
    struct Row
    {
        QString Input;
        QByteArray Output;
    };
    const Row rows[] = {
        {QStringLiteral("plain"), "plain"},
        {QStringLiteral("\"&'<>"), "&#34;&#38;&#39;&#60;&#62;"},
        {QStringLiteral("C:\\Webcams"), "C:\\Webcams"},
        {QString::fromUtf8("caf\xc3\xa9"), "caf\xe9"},                // Latin-1 byte
        {QString::fromUtf8("\xc3\xbf"), "\xff"},                      // last Latin-1 character
        {QString::fromUtf8("\xe2\x82\xac"), "&#8364;"},               // beyond Latin-1
        {QString::fromUtf8("\xf0\x9f\x98\x80"), "&#128512;"},         // beyond the BMP
        {QStringLiteral("a\tb\nc\rd"), "a&#9;b&#10;c&#13;d"},         // survive reading
        {QString(QChar(1)) + QStringLiteral("x") + QChar(0x1f), "x"}, // unrepresentable
        {QString(QChar(0xD800)) + QStringLiteral("y"), "y"},          // lone surrogate
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Escaped(row.Input), row.Output) << row.Input.toStdString();
        EXPECT_EQ(XmlEscapedSize(row.Input), row.Output.size()) << row.Input.toStdString();
    }
}

TEST(XmlWriter, WrittenValuesReadBackUnchanged)
{
    QString allLatin1;
    for (int c = 0x20; c <= 0xFF; ++c)
        allLatin1 += QChar(c);
    const QString values[] = {
        allLatin1,
        QString::fromUtf8("\xe2\x82\xac \xf0\x9f\x98\x80 \xd0\x96"),
        QStringLiteral("  blanks around  "),
        QStringLiteral("line\r\nbreak\tand tab"),
        QStringLiteral("&amp; is not an entity here"),
    };
    for (const QString& value : values) {
        TXmlElement root(QStringLiteral("R"));
        root.AddAttribute(QStringLiteral("A"), value);
        root.AddChild(QStringLiteral("T"), value);
        root.AddChild(QStringLiteral("Empty"));
        const QByteArray written = WriteXml(root);
        EXPECT_EQ(WrittenXmlSize(root, 0), written.size() - Header().size());
        const TXmlDocument document = ReadXml(written);
        ASSERT_TRUE(document.IsOk()) << document.ErrorString.toStdString();
        EXPECT_EQ(document.Root->Attribute(u"A"), value);
        EXPECT_EQ(document.Root->FindChild(u"T")->Text, value);
    }
}

// ---------------------------------------------------------------------------------------------
// Reader

TEST(XmlReader, NamesAttributesAndText)
{
    const QByteArray bytes = Header() + "<Root>\r\n"
                                        " <Item Second=\"2\" first=\"1\" THIRD=\"3\"/>\r\n"
                                        " <Text>a &#60;b&#62; &amp; &lt;c&gt; &#233;</Text>\r\n"
                                        " <text>second</text>\r\n"
                                        "</Root>\r\n";
    const TXmlDocument document = ReadXml(bytes);
    ASSERT_TRUE(document.IsOk());
    const TXmlElement& root = *document.Root;
    EXPECT_EQ(root.Name, QStringLiteral("Root"));
    EXPECT_TRUE(root.Text.isEmpty()) << "whitespace between children is dropped";
    ASSERT_EQ(root.ChildCount(), 3);

    const TXmlElement* item = root.FindChild(u"ITEM");
    ASSERT_NE(item, nullptr);
    ASSERT_EQ(item->Attributes().size(), 3u);
    EXPECT_EQ(item->Attributes()[0].Name, QStringLiteral("Second"));
    EXPECT_EQ(item->Attributes()[1].Name, QStringLiteral("first"));
    EXPECT_EQ(item->Attribute(u"First"), QStringLiteral("1"));
    EXPECT_EQ(item->Attribute(u"third"), QStringLiteral("3"));
    EXPECT_EQ(item->Attribute(u"missing", QStringLiteral("dflt")), QStringLiteral("dflt"));

    // The first match of any case wins.
    EXPECT_EQ(root.FindChild(u"TEXT")->Text, QString::fromUtf8("a <b> & <c> \xc3\xa9"));
    EXPECT_EQ(root.FindChild(u"nothing"), nullptr);
}

TEST(XmlReader, DeclaredEncodingIsHonoured)
{
    const QByteArray latin1 = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><a>\xe9</a>";
    EXPECT_EQ(ReadXml(latin1).Root->Text, QString(QChar(0xE9)));
    const QByteArray utf8 = "<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xc3\xa9</a>";
    EXPECT_EQ(ReadXml(utf8).Root->Text, QString(QChar(0xE9)));
}

TEST(XmlReader, WindowsBytesAndUndecodableDocumentsReadAsWindows1252)
{
    // Euro sign, en dash, curly quotes as a Windows program writes them under iso-8859-1.
    const QByteArray windows = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>"
                               "<a n=\"\x80 \x96\">\x93x\x94 \xe9</a>";
    const TXmlDocument read = ReadXml(windows);
    ASSERT_TRUE(read.IsOk()) << read.ErrorString.toStdString();
    EXPECT_EQ(read.Root->Attribute(u"n"), QStringLiteral("\u20ac \u2013"));
    EXPECT_EQ(read.Root->Text, QStringLiteral("\u201cx\u201d \u00e9"));

    struct Row
    {
        const char* Name;
        QByteArray Bytes;
    };
    const Row rows[] = {
        {"invalid UTF-8, declared", "<?xml version='1.0' encoding='UTF-8'?><a>\xe9\x80</a>"},
        {"invalid UTF-8, undeclared", "<a>\xe9\x80</a>"},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-nothing-such\"?><a>\xe9\x80</a>"},
    };
    for (const Row& row : rows) {
        const TXmlDocument document = ReadXml(row.Bytes);
        ASSERT_TRUE(document.IsOk()) << row.Name << ": " << document.ErrorString.toStdString();
        EXPECT_EQ(document.Root->Text, QStringLiteral("\u00e9\u20ac")) << row.Name;
    }
}

TEST(XmlReader, NamesWithControlCharactersAreMalformed)
{
    const QByteArray rows[] = {
        QByteArray("<a b\x01=\"1\" b=\"2\"/>"),
        QByteArray("<a b\x00=\"1\"/>", sizeof("<a b\x00=\"1\"/>") - 1),
        QByteArray("<a\x1f/>"),
        QByteArray("<r><x v\x7f=\"1\"/></r>"),
    };
    for (const QByteArray& bytes : rows) {
        const TXmlDocument document = ReadXml(bytes);
        EXPECT_EQ(document.Status, TXmlStatus::Malformed) << bytes.toHex().toStdString();
    }
    EXPECT_TRUE(ReadXml("<a b=\"1\" c\xc3\xa9=\"2\"/>").IsOk());
}

TEST(XmlReader, FaultsKeepWhatCameBefore)
{
    struct Row
    {
        const char* Name;
        QByteArray Bytes;
        TXmlStatus Status;
        bool HasRoot;
    };
    const Row rows[] = {
        {"empty", QByteArray(), TXmlStatus::Malformed, false},
        {"not XML", "this is not xml", TXmlStatus::Malformed, false},
        {"only a header", Header(), TXmlStatus::Malformed, false},
        {"cut in a tag", Header() + "<a><b x=\"1\"/><c y=", TXmlStatus::Malformed, true},
        {"cut in text", Header() + "<a><b>text", TXmlStatus::Malformed, true},
        {"undeclared entity", "<a><b/>&bogus;</a>", TXmlStatus::Malformed, true},
        {"mismatched end", "<a><b></a>", TXmlStatus::Malformed, true},
    };
    for (const Row& row : rows) {
        const TXmlDocument document = ReadXml(row.Bytes);
        EXPECT_EQ(document.Status, row.Status) << row.Name;
        EXPECT_EQ(document.Root != nullptr, row.HasRoot) << row.Name;
        EXPECT_FALSE(document.IsOk()) << row.Name;
        if (document.Root) {
            EXPECT_FALSE(document.Root->Complete) << row.Name;
        }
    }

    const TXmlDocument cut = ReadXml(Header() + "<a><b x=\"1\"/><c>partial text");
    ASSERT_NE(cut.Root, nullptr);
    ASSERT_EQ(cut.Root->ChildCount(), 2);
    EXPECT_TRUE(cut.Root->Child(0)->Complete);
    EXPECT_EQ(cut.Root->Child(0)->Attribute(u"x"), QStringLiteral("1"));
    EXPECT_FALSE(cut.Root->Child(1)->Complete);
}

TEST(XmlReader, NestingLimit)
{
    const auto nested = [](int depth) {
        QByteArray bytes;
        for (int i = 0; i < depth; ++i)
            bytes += "<e>";
        for (int i = 0; i < depth; ++i)
            bytes += "</e>";
        return bytes;
    };
    EXPECT_TRUE(ReadXml(nested(MaxXmlDepth)).IsOk());

    const TXmlDocument deep = ReadXml(nested(MaxXmlDepth + 1));
    EXPECT_EQ(deep.Status, TXmlStatus::TooDeep);
    ASSERT_NE(deep.Root, nullptr);
    int depth = 1;
    for (const TXmlElement* e = deep.Root.get(); e->ChildCount() > 0; e = e->Child(0))
        ++depth;
    EXPECT_EQ(depth, MaxXmlDepth);

    const TXmlDocument veryDeep = ReadXml(nested(1'000'000));
    EXPECT_EQ(veryDeep.Status, TXmlStatus::TooDeep);
}

TEST(XmlReader, SizeLimit)
{
    QByteArray bytes = "<a>";
    bytes += QByteArray(MaxXmlFileSize, 'x');
    bytes += "</a>";
    const TXmlDocument document = ReadXml(bytes);
    EXPECT_EQ(document.Status, TXmlStatus::TooLarge);
    EXPECT_EQ(document.Root, nullptr);
}

TEST(XmlReader, DocumentsDeclaringEntitiesAreRefusedBeforeTheirFirstElement)
{
    // Nested entities, and one entity of 4,000 characters referenced 250,000 times (1 MB that
    // would expand to a billion characters).
    QByteArray nested =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE Category [\n"
        " <!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n";
    const char* names = "abcdefghij";
    for (int level = 1; level < 10; ++level) {
        nested += " <!ENTITY ";
        nested += names[level];
        nested += " \"";
        for (int i = 0; i < 10; ++i) {
            nested += '&';
            nested += names[level - 1];
            nested += ';';
        }
        nested += "\">\n";
    }
    nested += "]>\n<Category Name=\"first\"><Webcam Name=\"x\"/>&j;</Category>";
    QByteArray wide = "<!DOCTYPE Category [<!ENTITY h \"" + QByteArray(4000, 'h') +
                      "\">]><Category><Webcam Name=\"a\" Homepage=\"";
    wide += QByteArray("&h;").repeated(250000);
    wide += "\"/></Category>";
    // An internal subset without entities, and one declaring only an unused entity.
    const QByteArray quiet = "<!DOCTYPE a [<!ELEMENT a ANY>]><a>t</a>";
    const QByteArray unused = "<!DOCTYPE a [<!ENTITY e \"x\">]><a>t</a>";

    for (const QByteArray& bytes : {nested, wide, quiet, unused}) {
        QElapsedTimer timer;
        timer.start();
        const TXmlDocument document = ReadXml(bytes);
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(document.Status, TXmlStatus::Refused);
        EXPECT_EQ(document.Root, nullptr);
        EXPECT_FALSE(document.ErrorString.isEmpty());
    }

    // A document type without an internal subset declares nothing and reads as usual.
    const TXmlDocument plain = ReadXml("<!DOCTYPE a SYSTEM \"odd[name].dtd\"><a>t&amp;u</a>");
    ASSERT_TRUE(plain.IsOk()) << plain.ErrorString.toStdString();
    EXPECT_EQ(plain.Root->Text, QStringLiteral("t&u"));
}

// ---------------------------------------------------------------------------------------------
// Values

TEST(XmlValues, Integers)
{
    struct Row
    {
        const char* Text;
        int Value;
    };
    const Row rows[] = {
        {"0", 0},
        {"30", 30},
        {"-1", -1},
        {"-2147483648", -2147483647 - 1},
        {"+12", -1},
        {" 42 ", -1},
        {"42 ", -1},
        {"- 5", -1},
        {"", -1},
        {" ", -1},
        {"abc", -1},
        {"12abc", -1},
        {"1.5", -1},
        {"0x10", -1},
        {"-", -1},
        {"4294967326", 30},          // 64-bit value, low 32 bits stored
        {"9223372036854775807", -1}, // low 32 bits of the 64-bit maximum
        {"9223372036854775808", -1}, // beyond 64 bits: not a number
        {"99999999999999999999", -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(XmlIntegerValue(QString::fromLatin1(row.Text)), row.Value) << row.Text;
    EXPECT_EQ(ParseXmlInteger(u"-9223372036854775808"), std::numeric_limits<qint64>::min());
}

TEST(XmlValues, Booleans)
{
    struct Row
    {
        const char* Text;
        bool DefaultValue;
        bool Value;
    };
    const Row rows[] = {
        {"", true, true},       {"", false, false},     {"-1", false, true},
        {"0", true, false},     {"2", false, true},     {"1", false, true},
        {"true", false, true},  {"TRUE", false, true},  {"True", false, true},
        {"false", true, false}, {"FALSE", true, false}, {"yes", true, false},
        {"on", true, false},    {" ", true, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(XmlBoolValue(QString::fromLatin1(row.Text), row.DefaultValue), row.Value)
            << '"' << row.Text << "\" default " << row.DefaultValue;
    EXPECT_EQ(XmlBoolText(true), QStringLiteral("-1"));
    EXPECT_EQ(XmlBoolText(false), QStringLiteral("0"));
}

TEST(XmlValues, MissingElementsGiveTheDefault)
{
    const TXmlDocument document =
        ReadXml("<o><flag/><NUMBER>x</NUMBER><name></name><Attr n=\"\" m=\"7\"/></o>");
    ASSERT_TRUE(document.IsOk());
    const TXmlElement& root = *document.Root;
    EXPECT_TRUE(ReadXmlBool(root, u"missing", true));
    EXPECT_TRUE(ReadXmlBool(root, u"Flag", true)); // empty text
    EXPECT_EQ(ReadXmlInteger(root, u"missing", 8000), 8000);
    EXPECT_EQ(ReadXmlInteger(root, u"number", 8000), -1);
    EXPECT_EQ(ReadXmlText(root, u"missing", QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(ReadXmlText(root, u"Name", QStringLiteral("d")), QString());
    const TXmlElement& attr = *root.FindChild(u"attr");
    EXPECT_EQ(ReadXmlIntegerAttribute(attr, u"missing", 30), 30);
    EXPECT_EQ(ReadXmlIntegerAttribute(attr, u"N", 30), -1);
    EXPECT_EQ(ReadXmlIntegerAttribute(attr, u"M", 30), 7);
}
