#include "base/Translator.h"

#include "base/LanguageParts.h"
#include "base/StatusBar.h"
#include "core/Log.h"
#include "core/catalog/Strings.h"
#include "core/rules/LanguageValues.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibraryInfo>
#include <QTranslator>
#include <exception>
#include <vector>

using namespace LanguageParts;

namespace {

// The number of elements and attributes of the tree, counted up to limit + 1.
int countElements(const TXmlElement& root, int limit)
{
    int count = 0;
    std::vector<const TXmlElement*> stack{&root};
    while (!stack.empty() && count <= limit) {
        const TXmlElement* element = stack.back();
        stack.pop_back();
        count += 1 + int(element->Attributes().size());
        for (const auto& child : element->Children())
            stack.push_back(child.get());
    }
    return count;
}

// The document of a language file's bytes, or null (logged) when it does not parse or is larger
// than a language file may be.
std::shared_ptr<TXmlElement> readLanguage(const QByteArray& bytes, const QString& source)
{
    if (bytes.size() > MaxLanguageFileSize) {
        qCWarning(lcLanguage) << "language file refused:" << source << "is larger than"
                              << MaxLanguageFileSize << "bytes";
        return nullptr;
    }
    TXmlDocument document = ReadXml(bytes);
    if (!document.IsOk()) {
        qCInfo(lcLanguage) << "language file not applied:" << source << document.ErrorString;
        return nullptr;
    }
    if (countElements(*document.Root, MaxLanguageElements) > MaxLanguageElements) {
        qCWarning(lcLanguage) << "language file refused:" << source << "has more than"
                              << MaxLanguageElements << "elements and attributes";
        return nullptr;
    }
    return std::move(document.Root);
}

// The descendants of an object by lower-case object name, nearest first: every component of a
// window belongs to the window, whatever panel, page or menu it sits in.
QHash<QString, QObject*> componentIndex(QObject* owner)
{
    QHash<QString, QObject*> index;
    QObjectList queue = owner->children();
    for (qsizetype i = 0; i < queue.size(); ++i) {
        QObject* object = queue[i];
        const QString& name = object->objectName();
        if (!name.isEmpty() && !index.contains(name.toLower()))
            index.insert(name.toLower(), object);
        queue += object->children();
    }
    return index;
}

} // namespace

TPvTranslator::TPvTranslator() = default;
TPvTranslator::~TPvTranslator() = default;

bool TPvTranslator::Translate(const QString& path)
{
    // Read no further than a language file may reach (a device or a growing file has no size).
    QFile file(path);
    if (file.size() > MaxLanguageFileSize) {
        qCWarning(lcLanguage) << "language file refused:" << path << "is larger than"
                              << MaxLanguageFileSize << "bytes";
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCInfo(lcLanguage) << "language file not applied:" << path << file.errorString();
        return false;
    }
    std::shared_ptr<TXmlElement> document = readLanguage(file.read(MaxLanguageFileSize + 1), path);
    if (!document)
        return false;
    ApplyLocale(LanguageLocale(*document, path));
    FDocument = std::move(document);
    Apply();
    return true;
}

bool TPvTranslator::TranslateBytes(const QByteArray& bytes)
{
    std::shared_ptr<TXmlElement> document = readLanguage(bytes, QStringLiteral("(document)"));
    if (!document)
        return false;
    ApplyLocale(LanguageLocale(*document));
    FDocument = std::move(document);
    Apply();
    return true;
}

void TPvTranslator::Clear()
{
    FDocument.reset();
    ApplyLocale(QLocale(QLocale::English));
}

void TPvTranslator::ApplyLocale(const QLocale& locale)
{
    FLocale = locale;
    QLocale::setDefault(locale);
    // Windows that put texts together themselves make them again (QEvent::LanguageChange
    // reaches every widget; Qt merges it with the one a change of translator posts).
    if (QCoreApplication::instance())
        QCoreApplication::postEvent(QCoreApplication::instance(),
                                    new QEvent(QEvent::LanguageChange));
    if (QtTranslator) {
        QCoreApplication::removeTranslator(QtTranslator.get());
        QtTranslator.reset();
    }
    if (locale.language() == QLocale::English || !QCoreApplication::instance())
        return;
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        qCInfo(lcLanguage) << "no Qt translations for" << locale.name() << "in" << folder;
        return;
    }
    QCoreApplication::installTranslator(translator.get());
    QtTranslator = std::move(translator);
}

void TPvTranslator::Apply() const
{
    if (!FDocument)
        return;
    // Windows by kind: every open viewer takes the new language, not only the first.
    QMultiHash<QString, QWidget*> windows;
    const QWidgetList topLevel = QApplication::topLevelWidgets();
    for (auto it = topLevel.crbegin(); it != topLevel.crend(); ++it) {
        QWidget* window = *it;
        if (window->objectName().isEmpty() || window->property(UnownedProperty).toBool())
            continue;
        windows.insert(window->objectName().section(QLatin1Char('_'), 0, 0).toLower(), window);
    }
    // The document is kept alive while it is applied, whatever a property change runs.
    const std::shared_ptr<TXmlElement> document = FDocument;
    for (const auto& child : document->Children()) {
        const QList<QWidget*> matching = windows.values(child->Name.toLower());
        if (matching.isEmpty())
            qCInfo(lcLanguage) << "no open window" << child->Name;
        for (QWidget* window : matching)
            TranslateComponent(window, *child);
    }
}

void TPvTranslator::TranslateForm(QWidget* window) const
{
    if (!FDocument || !window)
        return;
    const std::shared_ptr<TXmlElement> document = FDocument;
    const QString name = window->objectName().section(QLatin1Char('_'), 0, 0);
    if (const TXmlElement* element = document->FindChild(name))
        TranslateComponent(window, *element);
}

void TPvTranslator::TranslateComponent(QObject* object, const TXmlElement& element) const
{
    TranslateElement(object, element, false);
}

void TPvTranslator::TranslateElement(QObject* object, const TXmlElement& element,
                                     bool collectionItem) const
{
    if (!object)
        return;
    for (const TXmlAttribute& attribute : element.Attributes()) {
        // A collection item's Index says which item it is; it is no property.
        if (collectionItem && same(attribute.Name, u"Index"))
            continue;
        switch (setLanguageProperty(object, attribute.Name, attribute.Value)) {
        case TSetResult::Set:
            break;
        case TSetResult::NoMatch:
            qCInfo(lcLanguage) << "property not set:" << object->objectName() << attribute.Name;
            break;
        case TSetResult::Refused:
            qCWarning(lcLanguage) << "property refused: a language file may not set"
                                  << attribute.Name << "of" << object->objectName() << "to"
                                  << attribute.Value.left(40);
            break;
        }
    }
    if (element.Children().empty())
        return;
    try {
        const QHash<QString, QObject*> components = componentIndex(object);
        for (const auto& child : element.Children()) {
            if (Variables && object == VariablesOwner && same(child->Name, u"Variables")) {
                // Messages of a sane length only: they end up in menus and balloons.
                TXmlElement kept(child->Name);
                for (const auto& item : child->Children()) {
                    if (!fitsLength(item->Attribute(u"Value"), item->Attribute(u"Name")))
                        continue;
                    TXmlElement* copy = kept.AddChild(item->Name);
                    for (const TXmlAttribute& attribute : item->Attributes())
                        copy->AddAttribute(attribute.Name, attribute.Value);
                }
                Variables->LoadFromXml(kept);
                continue;
            }
            if (QObject* component = components.value(child->Name.toLower())) {
                TranslateElement(component, *child, false);
                continue;
            }
            bool applied = false;
            if (same(child->Name, u"Font"))
                applied = applyFont(object, *child);
            else if (same(child->Name, u"Items"))
                applied = applyItems(object, *child);
            else if (same(child->Name, u"Lines"))
                applied = applyLinesProperty(object, *child);
            else if (same(child->Name, u"Tabs"))
                applied = applyTabs(object, *child);
            else if (same(child->Name, u"Columns"))
                applied = applyColumns(object, *child);
            else if (same(child->Name, u"Panels")) {
                if (auto* bar = qobject_cast<TStatusBar*>(object)) {
                    for (const auto& item : child->Children()) {
                        const std::optional<int> index = collectionIndex(*item);
                        if (index)
                            TranslateElement(bar->Panel(*index), *item, true);
                    }
                    applied = true;
                }
            }
            if (!applied)
                qCInfo(lcLanguage)
                    << "nothing named" << child->Name << "in" << object->objectName();
        }
    } catch (const std::exception& error) {
        qCInfo(lcLanguage) << "translation of" << object->objectName()
                           << "broke off:" << error.what();
    }
}

void TPvTranslator::SetVariables(QObject* owner, TVariables* variables)
{
    VariablesOwner = owner;
    Variables = variables;
}

TPvTranslator& PvTranslator()
{
    static TPvTranslator translator;
    return translator;
}

QLocale LanguageLocale(const TXmlElement& root, const QString& path)
{
    const QString named = root.Attribute(u"Locale").trimmed();
    if (!named.isEmpty()) {
        const QLocale locale(named);
        if (locale.language() != QLocale::C)
            return locale;
        qCInfo(lcLanguage) << "unknown locale" << named << "in" << path;
    }
    const QString base = QFileInfo(path).completeBaseName();
    if (!base.isEmpty()) {
        for (int language = QLocale::AnyLanguage + 1; language <= QLocale::LastLanguage;
             ++language) {
            const auto value = static_cast<QLocale::Language>(language);
            if (QLocale::languageToString(value).compare(base, Qt::CaseInsensitive) == 0)
                return QLocale(value);
        }
    }
    return QLocale(QLocale::English);
}
