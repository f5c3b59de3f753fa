#pragma once

#include "core/catalog/XmlDocument.h"

#include <QString>
#include <QStringView>
#include <optional>

class QObject;

// The parts of the translator (Translator.cpp walks a language document; the property
// conversions and the collection rules it applies on the way live beside it), shared by them only.
namespace LanguageParts {

template <class Text> bool same(const Text& a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// What became of one attribute of a language file.
enum class TSetResult
{
    Set,
    NoMatch, // no such property, or the value does not fit it
    Refused, // a property or a value that a language file may not set
};

// LanguageProperties.cpp: one attribute onto one object (SetLanguageProperty, with its reason).
TSetResult setLanguageProperty(QObject* object, const QString& name, const QString& value);
// A text of a language file that fits MaxLanguageTextLength; a longer one is logged and refused.
bool fitsLength(const QString& value, QStringView what);

// LanguageCollections.cpp: the object-valued properties of a component, each true when the
// object has such a collection.
bool applyFont(QObject* object, const TXmlElement& element);
bool applyItems(QObject* object, const TXmlElement& element);
bool applyLinesProperty(QObject* object, const TXmlElement& element);
bool applyTabs(QObject* object, const TXmlElement& element);
bool applyColumns(QObject* object, const TXmlElement& element);
// A collection item of the element: its Index, or nothing when missing or not a number.
std::optional<int> collectionIndex(const TXmlElement& item);

} // namespace LanguageParts
