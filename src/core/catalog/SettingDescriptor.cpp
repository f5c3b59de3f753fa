#include "core/catalog/SettingDescriptor.h"

#include "core/catalog/XmlDocument.h"

QString TSettingDescriptor::Text(const TSettingValue& value) const
{
    if (const bool* on = std::get_if<bool>(&value))
        return XmlBoolText(*on);
    if (const int* number = std::get_if<int>(&value))
        return QString::number(*number);
    return Store ? Store(std::get<QString>(value)) : std::get<QString>(value);
}

TSettingValue TSettingDescriptor::Parse(const QString& text) const
{
    const TSettingValue fallback = Default();
    if (const bool* on = std::get_if<bool>(&fallback))
        return XmlBoolValue(text, *on);
    if (std::holds_alternative<int>(fallback))
        return XmlIntegerValue(text);
    return Restore ? Restore(text) : text;
}
