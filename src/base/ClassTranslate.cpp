#include "base/ClassTranslate.h"

#include "base/StatusBar.h"
#include "core/Log.h"
#include "core/catalog/Strings.h"
#include "core/rules/LanguageValues.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTranslator>
#include <QTreeWidget>
#include <exception>
#include <functional>

namespace {

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

TSetResult setResult(bool set)
{
    return set ? TSetResult::Set : TSetResult::NoMatch;
}

// A text of a language file that fits MaxLanguageTextLength; a longer one is logged and refused.
bool fitsLength(const QString& value, QStringView what)
{
    if (value.size() <= MaxLanguageTextLength)
        return true;
    qCWarning(lcLanguage) << "language text refused:" << what << "has" << value.size()
                          << "characters, more than" << MaxLanguageTextLength;
    return false;
}

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

// Font members: Name, Size (points), Height (pixels), Style (a set), Color.
bool setFontMember(QFont& font, std::optional<QColor>& color, QStringView name,
                   const QString& value)
{
    if (!fitsLength(value, name))
        return false;
    if (same(name, u"Name")) {
        font.setFamily(value);
        return true;
    }
    // Sizes within what a text needs: a giant font costs a giant glyph cache and window.
    bool ok = false;
    if (same(name, u"Size")) {
        const int size = value.trimmed().toInt(&ok);
        ok = ok && size > 0 && size <= MaxLanguageFontPoints;
        if (ok)
            font.setPointSize(size);
        else
            qCWarning(lcLanguage) << "font size refused:" << value;
        return ok;
    }
    if (same(name, u"Height")) {
        const int height = value.trimmed().toInt(&ok);
        ok = ok && height != 0 && std::abs(height) <= MaxLanguageFontPixels;
        if (ok)
            font.setPixelSize(std::abs(height));
        else
            qCWarning(lcLanguage) << "font height refused:" << value;
        return ok;
    }
    if (same(name, u"Style")) {
        bool bold = false, italic = false, underline = false, strikeOut = false;
        for (QString member : LanguageSetMembers(value)) {
            if (member.startsWith(QLatin1String("fs"), Qt::CaseInsensitive))
                member = member.mid(2);
            if (same(member, u"Bold"))
                bold = true;
            else if (same(member, u"Italic"))
                italic = true;
            else if (same(member, u"Underline"))
                underline = true;
            else if (same(member, u"StrikeOut"))
                strikeOut = true;
            else
                return false;
        }
        font.setBold(bold);
        font.setItalic(italic);
        font.setUnderline(underline);
        font.setStrikeOut(strikeOut);
        return true;
    }
    if (same(name, u"Color")) {
        const std::optional<unsigned> rgb = LanguageColor(value);
        if (rgb)
            color = QColor::fromRgb(*rgb);
        return rgb.has_value();
    }
    return false;
}

bool applyFont(QObject* object, const TXmlElement& element)
{
    auto* widget = qobject_cast<QWidget*>(object);
    auto* action = qobject_cast<QAction*>(object);
    if (!widget && !action)
        return false;
    QFont font = widget ? widget->font() : action->font();
    std::optional<QColor> color;
    for (const TXmlAttribute& attribute : element.Attributes())
        setFontMember(font, color, attribute.Name, attribute.Value);
    for (const auto& child : element.Children())
        setFontMember(font, color, child->Name, child->Text);
    if (action) {
        action->setFont(font);
        return true;
    }
    widget->setFont(font);
    if (color) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, *color);
        palette.setColor(QPalette::ButtonText, *color);
        palette.setColor(QPalette::Text, *color);
        widget->setPalette(palette);
    }
    return true;
}

// A list of text lines: children with Index and Value.
void applyLines(const TXmlElement& element, int count, const std::function<void(int, QString)>& set)
{
    for (const auto& child : element.Children()) {
        const TXmlAttribute* index = child->FindAttribute(u"Index");
        if (!index)
            continue;
        bool ok = false;
        const int i = index->Value.trimmed().toInt(&ok);
        const QString value = child->Attribute(u"Value");
        if (ok && i >= 0 && i < count && fitsLength(value, element.Name))
            set(i, value);
    }
}

void applyTextLines(const TXmlElement& element, const QString& text,
                    const std::function<void(QString)>& store)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    applyLines(element, static_cast<int>(lines.size()),
               [&lines](int i, const QString& value) { lines[i] = value; });
    store(lines.join(QLatin1Char('\n')));
}

// List-view items: children with Index (row), Column (0 the caption, n the n-th sub-item), Value.
void applyListItems(const TXmlElement& element, int rows, int columns,
                    const std::function<void(int, int, QString)>& set)
{
    for (const auto& child : element.Children()) {
        const TXmlAttribute* index = child->FindAttribute(u"Index");
        const TXmlAttribute* column = child->FindAttribute(u"Column");
        if (!index || !column)
            continue;
        bool rowOk = false, columnOk = false;
        const int row = index->Value.trimmed().toInt(&rowOk);
        const int col = column->Value.trimmed().toInt(&columnOk);
        const QString value = child->Attribute(u"Value");
        if (rowOk && columnOk && row >= 0 && row < rows && col >= 0 && col < columns &&
            fitsLength(value, element.Name))
            set(row, col, value);
    }
}

void treeNodes(QTreeWidgetItem* item, QList<QTreeWidgetItem*>& nodes)
{
    nodes.append(item);
    for (int i = 0; i < item->childCount(); ++i)
        treeNodes(item->child(i), nodes);
}

bool applyItems(QObject* object, const TXmlElement& element)
{
    if (auto* combo = qobject_cast<QComboBox*>(object)) {
        applyLines(element, combo->count(),
                   [combo](int i, const QString& v) { combo->setItemText(i, v); });
        return true;
    }
    if (auto* list = qobject_cast<QListWidget*>(object)) {
        applyLines(element, list->count(),
                   [list](int i, const QString& v) { list->item(i)->setText(v); });
        return true;
    }
    if (auto* tree = qobject_cast<QTreeWidget*>(object)) {
        if (tree->rootIsDecorated()) {
            QList<QTreeWidgetItem*> nodes;
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                treeNodes(tree->topLevelItem(i), nodes);
            applyLines(element, static_cast<int>(nodes.size()),
                       [&nodes](int i, const QString& v) { nodes[i]->setText(0, v); });
        } else {
            applyListItems(element, tree->topLevelItemCount(), tree->columnCount(),
                           [tree](int row, int column, const QString& v) {
                               tree->topLevelItem(row)->setText(column, v);
                           });
        }
        return true;
    }
    if (auto* table = qobject_cast<QTableWidget*>(object)) {
        applyListItems(element, table->rowCount(), table->columnCount(),
                       [table](int row, int column, const QString& v) {
                           if (QTableWidgetItem* item = table->item(row, column))
                               item->setText(v);
                           else
                               table->setItem(row, column, new QTableWidgetItem(v));
                       });
        return true;
    }
    return false;
}

bool applyLinesProperty(QObject* object, const TXmlElement& element)
{
    if (auto* edit = qobject_cast<QPlainTextEdit*>(object)) {
        applyTextLines(element, edit->toPlainText(),
                       [edit](const QString& t) { edit->setPlainText(t); });
        return true;
    }
    if (auto* edit = qobject_cast<QTextEdit*>(object)) {
        applyTextLines(element, edit->toPlainText(),
                       [edit](const QString& t) { edit->setPlainText(t); });
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(object)) {
        applyTextLines(element, label->text(), [label](const QString& t) { label->setText(t); });
        return true;
    }
    return applyItems(object, element);
}

bool applyTabs(QObject* object, const TXmlElement& element)
{
    if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
        applyLines(element, tabs->count(),
                   [tabs](int i, const QString& v) { tabs->setTabText(i, v); });
        return true;
    }
    if (auto* bar = qobject_cast<QTabBar*>(object)) {
        applyLines(element, bar->count(),
                   [bar](int i, const QString& v) { bar->setTabText(i, v); });
        return true;
    }
    return false;
}

// A collection item of the element: its Index, or nothing when missing or not a number.
std::optional<int> collectionIndex(const TXmlElement& item)
{
    const TXmlAttribute* index = item.FindAttribute(u"Index");
    if (!index)
        return std::nullopt;
    bool ok = false;
    const int i = index->Value.trimmed().toInt(&ok);
    return ok ? std::optional<int>(i) : std::nullopt;
}

// Columns of a list view: Caption (or Text) and Width of the column at Index.
bool applyColumns(QObject* object, const TXmlElement& element)
{
    auto* tree = qobject_cast<QTreeWidget*>(object);
    auto* table = qobject_cast<QTableWidget*>(object);
    if (!tree && !table)
        return false;
    const int count = tree ? tree->columnCount() : table->columnCount();
    for (const auto& child : element.Children()) {
        const std::optional<int> index = collectionIndex(*child);
        if (!index || *index < 0 || *index >= count)
            continue;
        for (const TXmlAttribute& attribute : child->Attributes()) {
            if (!fitsLength(attribute.Value, attribute.Name))
                continue;
            if (same(attribute.Name, u"Caption") || same(attribute.Name, u"Text")) {
                const QString text = LanguageText(attribute.Value);
                if (tree)
                    tree->headerItem()->setText(*index, text);
                else if (QTableWidgetItem* header = table->horizontalHeaderItem(*index))
                    header->setText(text);
                else
                    table->setHorizontalHeaderItem(*index, new QTableWidgetItem(text));
            } else if (same(attribute.Name, u"Width")) {
                bool ok = false;
                const int width = attribute.Value.trimmed().toInt(&ok);
                if (ok && width >= 0 && width <= MaxLanguageWidth) {
                    if (tree)
                        tree->setColumnWidth(*index, width);
                    else
                        table->setColumnWidth(*index, width);
                }
            }
        }
    }
    return true;
}

} // namespace

namespace {

TSetResult setLanguageProperty(QObject* object, const QString& name, const QString& value)
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

} // namespace

bool SetLanguageProperty(QObject* object, const QString& name, const QString& value)
{
    return setLanguageProperty(object, name, value) == TSetResult::Set;
}

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
