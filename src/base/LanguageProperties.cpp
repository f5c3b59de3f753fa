#include "base/LanguageParts.h"
#include "base/StatusBar.h"
#include "base/Translator.h"
#include "core/Log.h"
#include "core/rules/LanguageValues.h"

#include <QAction>
#include <QColor>
#include <QGroupBox>
#include <QKeySequence>
#include <QMenu>
#include <QMetaProperty>
#include <QStackedWidget>
#include <QTabWidget>

// The property conversions of the translator: a language file's attribute, a text, becomes the
// value of the matching Qt property, within the bounds a language file may set.

namespace LanguageParts {

bool fitsLength(const QString& value, QStringView what)
{
    if (value.size() <= MaxLanguageTextLength)
        return true;
    qCWarning(lcLanguage) << "language text refused:" << what << "has" << value.size()
                          << "characters, more than" << MaxLanguageTextLength;
    return false;
}

} // namespace LanguageParts

using namespace LanguageParts;

namespace {

TSetResult setResult(bool set)
{
    return set ? TSetResult::Set : TSetResult::NoMatch;
}

// The page control and index of a tab page, or null.
QTabWidget* tabOf(QObject* object, int* index)
{
    auto* page = qobject_cast<QWidget*>(object);
    if (!page || !qobject_cast<QStackedWidget*>(page->parent()))
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(page->parent()->parent());
    if (!tabs)
        return nullptr;
    *index = tabs->indexOf(page);
    return *index >= 0 ? tabs : nullptr;
}

std::optional<QKeySequence> shortcutValue(const QString& value)
{
    if (value.trimmed().isEmpty())
        return QKeySequence();
    QKeySequence key = QKeySequence::fromString(value, QKeySequence::PortableText);
    if (key.isEmpty() || key[0].key() == Qt::Key_unknown)
        key = QKeySequence::fromString(value, QKeySequence::NativeText);
    if (key.isEmpty() || key[0].key() == Qt::Key_unknown)
        return std::nullopt;
    return key;
}

int enumValue(const QMetaEnum& meta, const QString& value)
{
    bool isNumber = false;
    const int number = value.trimmed().toInt(&isNumber);
    if (isNumber)
        return number;
    QStringList names;
    for (int i = 0; i < meta.keyCount(); ++i)
        names << QString::fromLatin1(meta.key(i));
    return meta.keyCount() > 0 ? meta.value(LanguageEnumOrdinal(value, names)) : 0;
}

std::optional<int> flagsValue(const QMetaEnum& meta, const QString& value)
{
    bool isNumber = false;
    const int number = value.trimmed().toInt(&isNumber);
    if (isNumber)
        return number;
    int flags = 0;
    for (const QString& member : LanguageSetMembers(value)) {
        bool found = false;
        for (int i = 0; i < meta.keyCount() && !found; ++i) {
            if (same(QLatin1String(meta.key(i)), member)) {
                flags |= meta.value(i);
                found = true;
            }
        }
        if (!found)
            return std::nullopt;
    }
    return flags;
}

// Converts the text to the property's type and writes it.
bool writeProperty(QObject* object, const QMetaProperty& property, const QString& value)
{
    if (!property.isWritable())
        return false;
    if (property.isEnumType()) {
        const QMetaEnum meta = property.enumerator();
        if (meta.isFlag()) {
            const std::optional<int> flags = flagsValue(meta, value);
            return flags && property.write(object, *flags);
        }
        return property.write(object, enumValue(meta, value));
    }
    bool ok = false;
    switch (property.metaType().id()) {
    case QMetaType::QString:
        return property.write(object, LanguageText(value));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short: {
        const qlonglong number = value.trimmed().toLongLong(&ok);
        return ok && property.write(object, number);
    }
    case QMetaType::Bool: {
        const std::optional<bool> flag = LanguageBool(value);
        return flag && property.write(object, *flag);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.trimmed().toDouble(&ok);
        return ok && property.write(object, number);
    }
    case QMetaType::QKeySequence: {
        const std::optional<QKeySequence> key = shortcutValue(value);
        return key && property.write(object, *key);
    }
    case QMetaType::QColor: {
        const std::optional<unsigned> rgb = LanguageColor(value);
        return rgb && property.write(object, QColor::fromRgb(*rgb));
    }
    default:
        return false;
    }
}

bool writeNamedProperty(QObject* object, QStringView name, const QString& value)
{
    // The exact name first, then any letter case, most derived class first, writable ones only
    // (a panel's Width rather than QWidget's read-only width).
    const QMetaObject* meta = object->metaObject();
    const int exact = meta->indexOfProperty(name.toLatin1().constData());
    if (exact >= 0 && meta->property(exact).isWritable())
        return writeProperty(object, meta->property(exact), value);
    for (int i = meta->propertyCount() - 1; i >= 0; --i) {
        const QMetaProperty property = meta->property(i);
        if (property.isWritable() && same(QLatin1String(property.name()), name))
            return writeProperty(object, property, value);
    }
    return false;
}

} // namespace

TSetResult LanguageParts::setLanguageProperty(QObject* object, const QString& name,
                                              const QString& value)
{
    if (!IsLanguageProperty(name) || value.size() > MaxLanguageTextLength)
        return TSetResult::Refused;
    auto* widget = qobject_cast<QWidget*>(object);
    int tab = -1;
    QTabWidget* tabs = tabOf(object, &tab);
    if (same(name, u"Caption")) {
        const QString text = LanguageText(value);
        if (auto* action = qobject_cast<QAction*>(object)) {
            action->setText(text);
            return TSetResult::Set;
        }
        if (auto* menu = qobject_cast<QMenu*>(object)) {
            menu->setTitle(text);
            return TSetResult::Set;
        }
        if (auto* box = qobject_cast<QGroupBox*>(object)) {
            box->setTitle(text);
            return TSetResult::Set;
        }
        if (tabs) {
            tabs->setTabText(tab, text);
            return TSetResult::Set;
        }
        if (widget && widget->isWindow()) {
            widget->setWindowTitle(text);
            return TSetResult::Set;
        }
        return setResult(writeNamedProperty(object, u"text", value) ||
                         writeNamedProperty(object, u"title", value));
    }
    if (same(name, u"Hint")) {
        if (tabs)
            tabs->setTabToolTip(tab, LanguageText(value));
        return setResult(writeNamedProperty(object, u"toolTip", value));
    }
    if (same(name, u"Width")) {
        // A status panel's width, within reason: a wide panel widens the window that holds it.
        auto* panel = qobject_cast<TStatusPanel*>(object);
        bool ok = false;
        const int width = value.trimmed().toInt(&ok);
        if (!panel || !ok || width > MaxLanguageWidth)
            return TSetResult::Refused;
        panel->SetWidth(width);
        return TSetResult::Set;
    }
    return setResult(writeNamedProperty(object, name, value));
}

bool SetLanguageProperty(QObject* object, const QString& name, const QString& value)
{
    return setLanguageProperty(object, name, value) == TSetResult::Set;
}
