#include "core/rules/LanguageValues.h"

#include <algorithm>

bool IsLanguageProperty(QStringView name)
{
    // Layout names first, then the Qt properties that hold a text or say how it is shown.
    static constexpr QStringView names[] = {
        u"Caption",     u"Hint",           u"ShortCut",         u"Text",
        u"Width",       u"Alignment",      u"title",            u"windowTitle",
        u"toolTip",     u"statusTip",      u"whatsThis",        u"iconText",
        u"placeholderText", u"prefix",     u"suffix",           u"specialValueText",
        u"accessibleName", u"accessibleDescription", u"layoutDirection",
    };
    for (QStringView known : names)
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString LanguageText(const QString& value)
{
    QString text = value;
    const qsizetype at = text.indexOf(QLatin1String("\\n"));
    if (at >= 0)
        text.replace(at, 2, QLatin1Char('\n'));
    return text;
}

QStringList LanguageSetMembers(QStringView value)
{
    QStringView inner = value.trimmed();
    if (inner.startsWith(u'['))
        inner = inner.mid(1);
    if (inner.endsWith(u']'))
        inner.chop(1);
    QStringList members;
    for (QStringView part : inner.split(u',')) {
        part = part.trimmed();
        if (!part.isEmpty())
            members.append(part.toString());
    }
    return members;
}

int LanguageEnumOrdinal(QStringView value, const QStringList& names)
{
    bool isNumber = false;
    const int number = value.trimmed().toInt(&isNumber);
    if (isNumber)
        return number;
    const QStringView name = value.trimmed();
    for (qsizetype i = 0; i < names.size(); ++i)
        if (name.compare(names[i], Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return 0;
}

std::optional<bool> LanguageBool(QStringView value)
{
    const QStringView text = value.trimmed();
    if (text.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const qlonglong number = text.toLongLong(&isNumber);
    if (isNumber)
        return number != 0;
    return std::nullopt;
}

namespace {
unsigned swapRedBlue(unsigned bgr)
{
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

struct TNamedColor
{
    const char16_t* Name;
    unsigned Rgb;
};

const TNamedColor namedColors[] = {
    {u"black", 0x000000},  {u"maroon", 0x800000},  {u"green", 0x008000}, {u"olive", 0x808000},
    {u"navy", 0x000080},   {u"purple", 0x800080},  {u"teal", 0x008080},  {u"gray", 0x808080},
    {u"silver", 0xC0C0C0}, {u"red", 0xFF0000},     {u"lime", 0x00FF00},  {u"yellow", 0xFFFF00},
    {u"blue", 0x0000FF},   {u"fuchsia", 0xFF00FF}, {u"aqua", 0x00FFFF},  {u"white", 0xFFFFFF},
};
} // namespace

std::optional<unsigned> LanguageColor(QStringView value)
{
    QStringView text = value.trimmed();
    bool ok = false;
    if (text.startsWith(u'$')) {
        const unsigned bgr = text.mid(1).toUInt(&ok, 16);
        return ok && bgr <= 0xFFFFFF ? std::optional<unsigned>(swapRedBlue(bgr)) : std::nullopt;
    }
    if (text.startsWith(u'#')) {
        const unsigned rgb = text.mid(1).toUInt(&ok, 16);
        return ok && text.size() == 7 ? std::optional<unsigned>(rgb) : std::nullopt;
    }
    const unsigned bgr = text.toUInt(&ok, 10);
    if (ok)
        return bgr <= 0xFFFFFF ? std::optional<unsigned>(swapRedBlue(bgr)) : std::nullopt;
    if (text.startsWith(u"cl", Qt::CaseInsensitive))
        text = text.mid(2);
    for (const TNamedColor& color : namedColors)
        if (text.compare(QStringView(color.Name), Qt::CaseInsensitive) == 0)
            return color.Rgb;
    return std::nullopt;
}

int SpinFieldValue(QStringView text, int minimum, int maximum)
{
    bool ok = false;
    qlonglong number = text.trimmed().toLongLong(&ok);
    if (!ok)
        number = 1;
    return static_cast<int>(std::clamp<qlonglong>(number, minimum, maximum));
}
