#include "base/LanguageParts.h"
#include "core/Log.h"
#include "core/rules/LanguageValues.h"

#include <QAction>
#include <QColor>
#include <QComboBox>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <functional>

// The collection rules of the translator: a component's fonts, items, lines, tabs and columns,
// each an element whose children name the item they change by Index.

namespace LanguageParts {

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

} // namespace LanguageParts
