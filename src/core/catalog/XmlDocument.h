#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

// The XML conventions shared by Options.xml, the exchange files and the language files.
//
// Reading: bytes go through QXmlStreamReader (so the declared encoding is honoured and the
// entity-expansion limit stays on) into a small tree of TXmlElement. A document that declares
// entities (a DTD with an internal subset) is refused whole: none of our files needs one, and
// a few declared characters referenced many times would expand to gigabytes. Bytes 0x80..0x9F of a
// document declared iso-8859-1 are read as windows-1252 (files written on Windows hold those), and
// so is a whole document whose bytes are not valid in its declared encoding or that declares an
// encoding we cannot decode. A name holding a control character makes the document malformed. Names
// that the program looks up are matched without regard to case (FindChild, FindAttribute); repeated
// items that must carry an exact name are picked out by iterating Children() and comparing Name
// exactly.
//
// Writing: the fixed layout of our files: the header line, one element per line, one space of
// indentation per level, CR LF line ends, attributes in the order they were added, the characters
// " & ' < > as decimal character references, Latin-1 bytes, and every character beyond Latin-1 as
// a decimal character reference, so nothing is lost.

struct TXmlAttribute
{
    QString Name;
    QString Value;
};

class TXmlElement
{
public:
    explicit TXmlElement(const QString& name = QString(), const QString& text = QString());
    ~TXmlElement();
    TXmlElement(const TXmlElement&) = delete;
    TXmlElement& operator=(const TXmlElement&) = delete;

    QString Name;
    // Character data directly inside the element. Whitespace between child elements is dropped.
    QString Text;
    // False when the document broke off (or was refused) before this element's end tag: its
    // attributes are whole, but its text and children are only what came before the fault.
    bool Complete = true;

    // Attributes, in document (or insertion) order.
    const std::vector<TXmlAttribute>& Attributes() const { return attributes_; }
    // Appends an attribute; the writer keeps the order of these calls.
    void AddAttribute(const QString& name, const QString& value);
    void ReserveAttributes(qsizetype count) { attributes_.reserve(static_cast<size_t>(count)); }
    // Sets the first attribute of exactly this name, or appends it.
    void SetAttribute(const QString& name, const QString& value);
    // First attribute whose name matches without regard to case; nullptr when there is none.
    const TXmlAttribute* FindAttribute(QStringView name) const;
    bool HasAttribute(QStringView name) const { return FindAttribute(name) != nullptr; }
    // Value of FindAttribute(name), or defaultValue when missing.
    QString Attribute(QStringView name, const QString& defaultValue = QString()) const;

    // Child elements, in document order.
    const std::vector<std::unique_ptr<TXmlElement>>& Children() const { return children_; }
    int ChildCount() const { return static_cast<int>(children_.size()); }
    TXmlElement* Child(int index) const { return children_[static_cast<size_t>(index)].get(); }
    TXmlElement* AddChild(std::unique_ptr<TXmlElement> child);
    // Appends a new child with the given name and text and returns it.
    TXmlElement* AddChild(const QString& name, const QString& text = QString());
    // First child whose name matches without regard to case; nullptr when there is none.
    TXmlElement* FindChild(QStringView name) const;

private:
    std::vector<TXmlAttribute> attributes_;
    std::vector<std::unique_ptr<TXmlElement>> children_;
};

enum class TXmlStatus
{
    Ok,
    CannotOpen, // the file is missing or cannot be read
    TooLarge,   // over MaxXmlFileSize bytes: refused, nothing read
    TooDeep,    // nesting deeper than MaxXmlDepth: what came before is kept
    Malformed,  // not well-formed (cut short, not XML, entity expansion over the limit ...)
    Refused,    // declares entities (a DTD internal subset): refused before its first element
};

inline constexpr qint64 MaxXmlFileSize = 64 * 1024 * 1024;
inline constexpr int MaxXmlDepth = 256;

struct TXmlDocument
{
    // The root element; null when nothing was read. After a fault it holds what came before the
    // fault, with Complete false on every element that was still open.
    std::unique_ptr<TXmlElement> Root;
    TXmlStatus Status = TXmlStatus::Ok;
    QString ErrorString;

    bool IsOk() const { return Status == TXmlStatus::Ok && Root != nullptr; }
};

TXmlDocument ReadXml(const QByteArray& bytes);
TXmlDocument ReadXmlFile(const QString& path);

// The whole document: header line, then the root element and everything below it, CR LF after
// every line (the last included).
QByteArray WriteXml(const TXmlElement& root);
// Appends one value with the character references of the file format.
void AppendXmlEscaped(QByteArray& out, QStringView value);
// The bytes AppendXmlEscaped appends for the value.
qint64 XmlEscapedSize(QStringView value);
// The bytes WriteXml writes for the element and everything below it, standing at the given level
// of indentation (the header line not counted), without writing them. Recursive: for trees as
// deep as the reader's nesting limit.
qint64 WrittenXmlSize(const TXmlElement& element, int level);

// Reading rules for values.
// A decimal integer: an optional "-", then digits, nothing else (no blanks, no "+"); must fit in
// 64 bits.
std::optional<qint64> ParseXmlInteger(QStringView text);
// An integer as stored into a 32-bit field: -1 when the text is not a number (empty included),
// otherwise the low 32 bits of the 64-bit value.
int XmlIntegerValue(QStringView text);
// A boolean: empty text gives defaultValue; a number gives true when not 0; "true"/"false" in
// any case; any other text gives false.
bool XmlBoolValue(QStringView text, bool defaultValue);
// The written form of a boolean: "-1" for true, "0" for false.
QString XmlBoolText(bool value);

// Element-level helpers with the "missing element gives the default" rule. Children are looked up
// without regard to case.
bool ReadXmlBool(const TXmlElement& parent, QStringView name, bool defaultValue);
int ReadXmlInteger(const TXmlElement& parent, QStringView name, int defaultValue);
QString ReadXmlText(const TXmlElement& parent, QStringView name, const QString& defaultValue);
// Attribute: missing gives defaultValue, present but not a number gives -1.
int ReadXmlIntegerAttribute(const TXmlElement& element, QStringView name, int defaultValue);
