#pragma once

#include <QString>
#include <functional>
#include <variant>

class TCamViewer;

// The value of one setting: a switch, a number or a text.
using TSettingValue = std::variant<bool, int, QString>;

// One setting of Options.xml. The table of them (TCamViewer::Settings) is the one place that
// names a setting: reading and writing Options.xml walk it in file order.
struct TSettingDescriptor
{
    // The element of Options.xml.
    QString Name;
    // What a complete file without the element stands for; for a switch also what a text that
    // is neither true nor false reads as. Its alternative is the setting's type.
    std::function<TSettingValue()> Default;
    // The write rule: the value the element is written from.
    std::function<TSettingValue(const TCamViewer&)> Get;
    // The read rule: takes a value of the setting's type.
    std::function<void(TCamViewer&, const TSettingValue&)> Set;
    // For a text kept otherwise in the file (the proxy password, encoded): the file's text of a
    // value and back. Unset: the text as it is.
    std::function<QString(const QString&)> Store = nullptr;
    std::function<QString(const QString&)> Restore = nullptr;

    // The element's text for a value, and the value of an element's text (a number or switch
    // that does not read takes the rules of XmlIntegerValue and XmlBoolValue).
    QString Text(const TSettingValue& value) const;
    TSettingValue Parse(const QString& text) const;
};
