// The XML reader on any bytes, and the writer on whatever it read: a tree that was read writes
// back to a document that reads again to the same tree. Our files hold no mixed content: the text
// of an element with children is not written, so it is not compared; and names are the program's
// own, in Latin-1, the files' encoding (a name beyond it has no form there, not even a reference),
// so trees with other names are only read.
#include "FuzzUtil.h"
#include "core/catalog/XmlDocument.h"

namespace {

bool SameTree(const TXmlElement& a, const TXmlElement& b)
{
    if (a.Name != b.Name || (a.ChildCount() == 0 && a.Text != b.Text) ||
        a.ChildCount() != b.ChildCount() || a.Attributes().size() != b.Attributes().size())
        return false;
    for (size_t i = 0; i < a.Attributes().size(); ++i)
        if (a.Attributes()[i].Name != b.Attributes()[i].Name ||
            a.Attributes()[i].Value != b.Attributes()[i].Value)
            return false;
    for (int i = 0; i < a.ChildCount(); ++i)
        if (!SameTree(*a.Child(i), *b.Child(i)))
            return false;
    return true;
}

bool Latin1Names(const TXmlElement& element)
{
    const auto latin1 = [](const QString& name) {
        for (QChar c : name)
            if (c.unicode() > 0xFF || (c.unicode() >= 0x80 && c.unicode() <= 0x9F))
                return false;
        return true;
    };
    if (!latin1(element.Name))
        return false;
    for (const TXmlAttribute& attribute : element.Attributes())
        if (!latin1(attribute.Name))
            return false;
    for (const auto& child : element.Children())
        if (!Latin1Names(*child))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const TXmlDocument document = ReadXml(Fuzz::Bytes(data, size));
    Fuzz::Check(document.Status != TXmlStatus::Ok || document.Root != nullptr,
                "a document read without fault has a root");
    if (!document.Root || !Latin1Names(*document.Root))
        return 0;
    const QByteArray written = WriteXml(*document.Root);
    const TXmlDocument again = ReadXml(written);
    Fuzz::Check(again.IsOk(), "what the writer writes reads without fault");
    Fuzz::Check(SameTree(*document.Root, *again.Root), "what the writer writes reads the same");
    return 0;
}
