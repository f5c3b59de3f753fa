#include "core/catalog/XmlDocument.h"

#include <QFile>
#include <QFileInfo>
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

} // namespace

TXmlDocument ReadXml(const QByteArray& bytes)
{
    TXmlDocument document;
    if (bytes.size() > MaxXmlFileSize) {
        document.Status = TXmlStatus::TooLarge;
        document.ErrorString = QStringLiteral("The file is larger than 64 MiB.");
        return document;
    }

    QXmlStreamReader reader(bytes);
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
            auto element = std::make_unique<TXmlElement>(names.Intern(reader.qualifiedName()));
            const QXmlStreamAttributes attributes = reader.attributes();
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
        document.ErrorString = QStringLiteral("Not a readable file.");
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
            plain =
                c >= 0x20 && c <= 0xFF && c != '"' && c != '&' && c != '\'' && c != '<' && c != '>';
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
            AppendReference(out, c);
            continue;
        default:
            break;
        }
        if (c < 0x20) {
            // Not representable in XML 1.0, not even as a reference: dropped.
            continue;
        }
        if (c <= 0xFF) {
            out += static_cast<char>(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < size &&
            QChar::isLowSurrogate(value[i + 1].unicode())) {
            AppendReference(out, QChar::surrogateToUcs4(c, value[i + 1].unicode()));
            ++i;
            continue;
        }
        if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            // A lone half of a pair or a non-character: no XML reader accepts it.
            continue;
        }
        AppendReference(out, c);
    }
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
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool negative = false;
    qsizetype i = 0;
    if (text[0] == u'-' || text[0] == u'+') {
        negative = text[0] == u'-';
        i = 1;
    }
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
