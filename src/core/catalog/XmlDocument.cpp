#include "core/catalog/XmlDocument.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <limits>

TXmlElement::TXmlElement(const QString& name, const QString& text) : Name(name), Text(text) {}

TXmlElement::~TXmlElement()
{
    // Free deep trees level by level so that a long chain cannot exhaust the stack.
    std::vector<std::unique_ptr<TXmlElement>> pending = std::move(children_);
    while (!pending.empty()) {
        std::unique_ptr<TXmlElement> element = std::move(pending.back());
        pending.pop_back();
        for (auto& child : element->children_)
            pending.push_back(std::move(child));
        element->children_.clear();
    }
}

void TXmlElement::AddAttribute(const QString& name, const QString& value)
{
    attributes_.push_back({name, value});
}

void TXmlElement::SetAttribute(const QString& name, const QString& value)
{
    for (TXmlAttribute& attribute : attributes_) {
        if (attribute.Name == name) {
            attribute.Value = value;
            return;
        }
    }
    AddAttribute(name, value);
}

const TXmlAttribute* TXmlElement::FindAttribute(QStringView name) const
{
    for (const TXmlAttribute& attribute : attributes_) {
        if (attribute.Name.size() == name.size() &&
            attribute.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &attribute;
    }
    return nullptr;
}

QString TXmlElement::Attribute(QStringView name, const QString& defaultValue) const
{
    const TXmlAttribute* attribute = FindAttribute(name);
    return attribute ? attribute->Value : defaultValue;
}

TXmlElement* TXmlElement::AddChild(std::unique_ptr<TXmlElement> child)
{
    children_.push_back(std::move(child));
    return children_.back().get();
}

TXmlElement* TXmlElement::AddChild(const QString& name, const QString& text)
{
    return AddChild(std::make_unique<TXmlElement>(name, text));
}

TXmlElement* TXmlElement::FindChild(QStringView name) const
{
    for (const auto& child : children_) {
        if (child->Name.size() == name.size() &&
            child->Name.compare(name, Qt::CaseInsensitive) == 0)
            return child.get();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

bool IsBlank(const QString& text)
{
    for (QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

// Control characters have no place in a name, even where the stream reader lets them through: the
// writer would drop them and turn two distinct names into one.
bool IsValidName(QStringView name)
{
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            return false;
    }
    return !name.isEmpty();
}

// What windows-1252 puts at 0x80..0x9F; the five unassigned bytes keep their C1 code points.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b <= 0x9F) ? Windows1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

bool HasByteIn(QByteArrayView bytes, unsigned char low, unsigned char high)
{
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= low && b <= high)
            return true;
    }
    return false;
}

bool IsLatin1Name(const QByteArray& name)
{
    static const char* const names[] = {"iso-8859-1",   "iso8859-1", "iso_8859-1", "latin1",
                                        "latin-1",      "l1",        "cp819",      "ibm819",
                                        "windows-1252", "cp1252",    "us-ascii",   "ascii"};
    for (const char* known : names) {
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The bytes as the stream reader should see them. Files written on Windows declare iso-8859-1 but
// hold windows-1252 (euro sign, dashes, curly quotes at 0x80..0x9F); files whose bytes are not
// valid in their declared encoding, or that declare an encoding we cannot decode, are read as
// windows-1252 too. Those are handed over as UTF-8 with the declaration changed to say so; any
// other document is returned unchanged.
QByteArray ReadableXmlBytes(const QByteArray& bytes)
{
    // A UTF-16 or UTF-32 byte order mark: the reader knows what to do.
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
        bytes.startsWith(QByteArrayView("\x00\x00\xFE\xFF", 4)))
        return bytes;
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const QByteArrayView body = QByteArrayView(bytes).sliced(start);

    // The declared encoding: the value of encoding= inside a leading <?xml ... ?>.
    QByteArray encoding = "UTF-8";
    qsizetype valueStart = -1;
    qsizetype valueEnd = -1;
    if (body.startsWith("<?xml") && body.size() > 5 &&
        QChar::isSpace(static_cast<unsigned char>(body[5]))) {
        const qsizetype close = body.first(std::min<qsizetype>(body.size(), 512)).indexOf("?>");
        if (close > 0) {
            const QByteArrayView declaration = body.first(close);
            qsizetype at = declaration.indexOf("encoding");
            if (at > 0) {
                at += 8;
                while (at < close && QChar::isSpace(static_cast<unsigned char>(declaration[at])))
                    ++at;
                if (at < close && declaration[at] == '=') {
                    ++at;
                    while (at < close &&
                           QChar::isSpace(static_cast<unsigned char>(declaration[at])))
                        ++at;
                    if (at < close && (declaration[at] == '"' || declaration[at] == '\'')) {
                        const char quote = declaration[at];
                        const qsizetype end = declaration.indexOf(quote, at + 1);
                        if (end > at) {
                            valueStart = at + 1;
                            valueEnd = end;
                            encoding = declaration.sliced(at + 1, end - at - 1).toByteArray();
                        }
                    }
                }
            }
        }
    }

    bool readable = false;
    {
        QStringDecoder decoder(encoding.constData(), QStringDecoder::Flag::Stateless);
        if (!decoder.isValid()) {
            readable = false;
        } else if (IsLatin1Name(encoding)) {
            // Plain Latin-1 reads as declared; 0x80..0x9F are taken as windows-1252.
            const bool ascii = encoding.compare("us-ascii", Qt::CaseInsensitive) == 0 ||
                               encoding.compare("ascii", Qt::CaseInsensitive) == 0;
            readable = !HasByteIn(body, 0x80, ascii ? 0xFF : 0x9F);
        } else {
            const QString text = decoder.decode(body); // the conversion runs here
            readable = !decoder.hasError();
        }
    }
    if (readable)
        return bytes;

    QByteArray result;
    result.reserve(body.size() + body.size() / 8 + 16);
    if (valueStart >= 0) {
        result += body.first(valueStart);
        result += "UTF-8";
        result += DecodeWindows1252(body.sliced(valueEnd)).toUtf8();
    } else {
        result += DecodeWindows1252(body).toUtf8();
    }
    return result;
}

// Element and attribute names repeat all through a file: share one string per distinct name.
class TNameTable
{
public:
    QString Intern(QStringView name)
    {
        for (const QString& known : names_) {
            if (known == name)
                return known;
        }
        QString added = name.toString();
        if (names_.size() < 64)
            names_.push_back(added);
        return added;
    }

private:
    std::vector<QString> names_;
};

// Whether a document type declaration has an internal subset ("[...]" outside its quoted
// identifiers): the place where entities are declared.
bool HasInternalSubset(QStringView declaration)
{
    QChar quote;
    for (QChar c : declaration) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'[') {
            return true;
        }
    }
    return false;
}

} // namespace

TXmlDocument ReadXml(const QByteArray& bytes)
{
    TXmlDocument document;
    if (bytes.size() > MaxXmlFileSize) {
        document.Status = TXmlStatus::TooLarge;
        document.ErrorString = QStringLiteral("The file is larger than 64 MiB.");
        return document;
    }

    QXmlStreamReader reader(ReadableXmlBytes(bytes));
    reader.setNamespaceProcessing(false);
    std::vector<TXmlElement*> open; // the elements whose end tag has not come yet
    TNameTable names;
    bool rootDone = false;

    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (rootDone) {
                // A second root element: QXmlStreamReader reports this as an error itself.
                continue;
            }
            if (static_cast<int>(open.size()) >= MaxXmlDepth) {
                document.Status = TXmlStatus::TooDeep;
                document.ErrorString = QStringLiteral("The elements are nested too deeply.");
                break;
            }
            const QXmlStreamAttributes attributes = reader.attributes();
            bool namesValid = IsValidName(reader.qualifiedName());
            for (const QXmlStreamAttribute& attribute : attributes)
                namesValid = namesValid && IsValidName(attribute.qualifiedName());
            if (!namesValid) {
                document.Status = TXmlStatus::Malformed;
                document.ErrorString = QStringLiteral("A name holds a control character.");
                break;
            }
            auto element = std::make_unique<TXmlElement>(names.Intern(reader.qualifiedName()));
            element->ReserveAttributes(attributes.size());
            for (const QXmlStreamAttribute& attribute : attributes)
                element->AddAttribute(names.Intern(attribute.qualifiedName()),
                                      attribute.value().toString());
            TXmlElement* raw = nullptr;
            if (open.empty()) {
                document.Root = std::move(element);
                raw = document.Root.get();
            } else {
                raw = open.back()->AddChild(std::move(element));
            }
            raw->Complete = false;
            open.push_back(raw);
        } else if (token == QXmlStreamReader::EndElement) {
            if (open.empty())
                continue;
            TXmlElement* element = open.back();
            open.pop_back();
            if (element->ChildCount() > 0 && IsBlank(element->Text))
                element->Text.clear();
            element->Complete = true;
            if (open.empty())
                rootDone = true;
        } else if (token == QXmlStreamReader::Characters) {
            if (!open.empty())
                open.back()->Text += reader.text();
        } else if (token == QXmlStreamReader::DTD) {
            // Our files declare nothing. A declared entity can stand for thousands of characters
            // and be referenced a million times: such a document is refused before its first
            // element, so nothing of it is taken.
            if (!reader.entityDeclarations().isEmpty() || HasInternalSubset(reader.text())) {
                document.Status = TXmlStatus::Refused;
                document.ErrorString =
                    QStringLiteral("The document declares entities (a DTD internal subset).");
                break;
            }
        }
    }

    if (document.Status == TXmlStatus::Ok && reader.hasError()) {
        document.Status = TXmlStatus::Malformed;
        document.ErrorString = reader.errorString();
    }
    if (document.Status == TXmlStatus::Ok && !document.Root) {
        document.Status = TXmlStatus::Malformed;
        document.ErrorString = QStringLiteral("The document has no root element.");
    }
    return document;
}

TXmlDocument ReadXmlFile(const QString& path)
{
    TXmlDocument document;
    // Only regular files: a pipe or a device could block or never end.
    if (!QFileInfo(path).isFile()) {
        document.Status = TXmlStatus::CannotOpen;
        document.ErrorString = QFileInfo::exists(path) ? QStringLiteral("not a regular file")
                                                       : QStringLiteral("no such file");
        return document;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        document.Status = TXmlStatus::CannotOpen;
        document.ErrorString = file.errorString();
        return document;
    }
    // Check the size before reading a byte, so that a huge file is refused without being loaded
    // (a file that grows meanwhile is refused by ReadXml).
    if (file.size() > MaxXmlFileSize) {
        document.Status = TXmlStatus::TooLarge;
        document.ErrorString = QStringLiteral("The file is larger than 64 MiB.");
        return document;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        document.Status = TXmlStatus::CannotOpen;
        document.ErrorString = file.errorString();
        return document;
    }
    return ReadXml(bytes);
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

void AppendReference(QByteArray& out, uint code)
{
    out += "&#";
    out += QByteArray::number(code);
    out += ';';
}

void AppendIndent(QByteArray& out, int level)
{
    out.append(level, ' ');
}

void AppendAttributes(QByteArray& out, const TXmlElement& element)
{
    for (const TXmlAttribute& attribute : element.Attributes()) {
        out += ' ';
        AppendXmlEscaped(out, attribute.Name);
        out += "=\"";
        AppendXmlEscaped(out, attribute.Value);
        out += '"';
    }
}

struct TWriteFrame
{
    const TXmlElement* Element;
    int NextChild;
};

// Walks a value as the writer writes it: a character written as itself goes to byte, one written as
// a character reference to reference (its code point); characters XML 1.0 cannot hold are dropped.
template <typename Byte, typename Reference>
void WalkXmlEscaped(QStringView value, Byte byte, Reference reference)
{
    const qsizetype size = value.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = value[i].unicode();
        switch (c) {
        case '"':
        case '&':
        case '\'':
        case '<':
        case '>':
        // Line ends and tabs survive a reading only as references (attribute values are
        // normalised to blanks, CR LF in text to LF).
        case '\t':
        case '\n':
        case '\r':
            reference(uint(c));
            continue;
        default:
            break;
        }
        if (c < 0x20) {
            // Not representable in XML 1.0, not even as a reference: dropped.
            continue;
        }
        // 0x80..0x9F as bytes would read back as windows-1252 characters: written as references.
        if (c <= 0xFF && (c < 0x80 || c > 0x9F)) {
            byte(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < size &&
            QChar::isLowSurrogate(value[i + 1].unicode())) {
            reference(QChar::surrogateToUcs4(c, value[i + 1].unicode()));
            ++i;
            continue;
        }
        if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            // A lone half of a pair or a non-character: no XML reader accepts it.
            continue;
        }
        reference(uint(c));
    }
}

} // namespace

void AppendXmlEscaped(QByteArray& out, QStringView value)
{
    const qsizetype size = value.size();
    // Fast path: the common value of plain Latin-1 characters is copied in one go.
    {
        const char16_t* data = value.utf16();
        bool plain = true;
        for (qsizetype i = 0; i < size && plain; ++i) {
            const char16_t c = data[i];
            plain = c >= 0x20 && c <= 0xFF && (c < 0x80 || c > 0x9F) && c != '"' && c != '&' &&
                    c != '\'' && c != '<' && c != '>';
        }
        if (plain) {
            const qsizetype start = out.size();
            out.resize(start + size);
            char* target = out.data() + start;
            for (qsizetype i = 0; i < size; ++i)
                target[i] = static_cast<char>(data[i]);
            return;
        }
    }
    WalkXmlEscaped(
        value, [&](char16_t c) { out += static_cast<char>(c); },
        [&](uint code) { AppendReference(out, code); });
}

qint64 XmlEscapedSize(QStringView value)
{
    qint64 size = 0;
    WalkXmlEscaped(
        value, [&](char16_t) { ++size; },
        [&](uint code) {
            size += 3; // "&#" and ";"
            for (; code > 0; code /= 10)
                ++size;
        });
    return size;
}

qint64 WrittenXmlSize(const TXmlElement& element, int level)
{
    const qint64 name = XmlEscapedSize(element.Name);
    qint64 open = level + 1 + name; // indentation, "<" and the name
    for (const TXmlAttribute& attribute : element.Attributes())
        open += 4 + XmlEscapedSize(attribute.Name) + XmlEscapedSize(attribute.Value); // ' ="' '"'
    if (element.ChildCount() == 0) {
        if (element.Text.isEmpty())
            return open + 4; // "/>" CR LF
        return open + 1 + XmlEscapedSize(element.Text) + 2 + name +
               3; // ">" text "</" name ">" CR LF
    }
    qint64 size = open + 3 + level + 2 + name + 3; // ">" CR LF, indentation "</" name ">" CR LF
    for (const auto& child : element.Children())
        size += WrittenXmlSize(*child, level + 1);
    return size;
}

QByteArray WriteXml(const TXmlElement& root)
{
    QByteArray out;
    out.reserve(4096);
    out += "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";

    // Iterative walk: deep trees cannot exhaust the stack.
    std::vector<TWriteFrame> stack;
    stack.push_back({&root, -1});
    while (!stack.empty()) {
        TWriteFrame& frame = stack.back();
        const TXmlElement& element = *frame.Element;
        const int level = static_cast<int>(stack.size()) - 1;
        if (frame.NextChild < 0) {
            AppendIndent(out, level);
            out += '<';
            AppendXmlEscaped(out, element.Name);
            AppendAttributes(out, element);
            if (element.ChildCount() == 0) {
                if (element.Text.isEmpty()) {
                    out += "/>\r\n";
                } else {
                    out += '>';
                    AppendXmlEscaped(out, element.Text);
                    out += "</";
                    AppendXmlEscaped(out, element.Name);
                    out += ">\r\n";
                }
                stack.pop_back();
                continue;
            }
            out += ">\r\n";
            frame.NextChild = 0;
        }
        if (frame.NextChild < element.ChildCount()) {
            const TXmlElement* child = element.Child(frame.NextChild++);
            stack.push_back({child, -1});
            continue;
        }
        AppendIndent(out, level);
        out += "</";
        AppendXmlEscaped(out, element.Name);
        out += ">\r\n";
        stack.pop_back();
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Values

std::optional<qint64> ParseXmlInteger(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    const bool negative = text[0] == u'-';
    qsizetype i = negative ? 1 : 0;
    if (i >= text.size())
        return std::nullopt;
    // Accumulate as a negative number so that the most negative 64-bit value fits.
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<qint64>::min())
            return std::nullopt;
        value = -value;
    }
    return value;
}

int XmlIntegerValue(QStringView text)
{
    const std::optional<qint64> value = ParseXmlInteger(text);
    if (!value)
        return -1;
    return static_cast<int>(static_cast<quint32>(static_cast<quint64>(*value)));
}

bool XmlBoolValue(QStringView text, bool defaultValue)
{
    if (text.isEmpty())
        return defaultValue;
    if (const std::optional<qint64> number = ParseXmlInteger(text))
        return *number != 0;
    const QStringView word = text.trimmed();
    if (word.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    return false;
}

QString XmlBoolText(bool value)
{
    return value ? QStringLiteral("-1") : QStringLiteral("0");
}

bool ReadXmlBool(const TXmlElement& parent, QStringView name, bool defaultValue)
{
    const TXmlElement* element = parent.FindChild(name);
    return element ? XmlBoolValue(element->Text, defaultValue) : defaultValue;
}

int ReadXmlInteger(const TXmlElement& parent, QStringView name, int defaultValue)
{
    const TXmlElement* element = parent.FindChild(name);
    return element ? XmlIntegerValue(element->Text) : defaultValue;
}

QString ReadXmlText(const TXmlElement& parent, QStringView name, const QString& defaultValue)
{
    const TXmlElement* element = parent.FindChild(name);
    return element ? element->Text : defaultValue;
}

int ReadXmlIntegerAttribute(const TXmlElement& element, QStringView name, int defaultValue)
{
    const TXmlAttribute* attribute = element.FindAttribute(name);
    return attribute ? XmlIntegerValue(attribute->Value) : defaultValue;
}
