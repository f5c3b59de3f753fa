#include "app/TrayMenus.h"

#include "base/ActionLink.h"
#include "base/FormList.h"
#include "base/Translator.h"
#include "core/catalog/Catalog.h"
#include "core/catalog/Strings.h"
#include "core/rules/CamAddress.h"
#include "core/rules/MenuColumns.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

namespace {
QAction* newSeparator(QMenu* menu, const char* name)
{
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QLatin1String(name));
    return separator;
}

// Removes and discards the menu's items from position first on.
void discardItems(QMenu* menu, qsizetype first)
{
    const QList<QAction*> items = menu->actions();
    for (qsizetype i = items.size() - 1; i >= first; --i) {
        menu->removeAction(items[i]);
        // A sub-menu's item belongs to the sub-menu, which goes with it.
        if (QMenu* sub = items[i]->menu())
            sub->deleteLater();
        else
            items[i]->deleteLater();
    }
}

// The Windows sub-menu's fixed items: four commands, a separator, the placeholder.
constexpr qsizetype WindowsFixedItems = 6;

// Shows a name of the catalogue on an item: shortened, with the whole name as its hint. A name
// may hold a webcam's address, password and all: the password is masked.
void setNameCaption(QAction* item, const QString& fullName)
{
    const QString name = MaskedAddresses(fullName);
    item->setText(MenuText(MenuCaption(name)));
    const QString hint = MenuHint(name);
    if (!hint.isEmpty())
        item->setToolTip(hint);
}
} // namespace

// A category as the menus show it, copied from the catalogue at a rebuild: sub-menus filled
// later read this, never the catalogue, which the editor may have replaced in the meantime.
struct TMenuCategory
{
    struct TCam
    {
        QString Name;
        QString Url;
    };
    QString Name;
    std::vector<std::shared_ptr<const TMenuCategory>> Categories;
    std::vector<TCam> Webcams;

    static std::shared_ptr<const TMenuCategory> Of(const TCamCategory& category)
    {
        auto copy = std::make_shared<TMenuCategory>();
        copy->Name = category.Name;
        copy->Categories.reserve(size_t(category.Categories.Count()));
        for (int i = 0; i < category.Categories.Count(); ++i)
            copy->Categories.push_back(Of(*category.Categories.Items(i)));
        copy->Webcams.reserve(size_t(category.Webcams.Count()));
        for (int i = 0; i < category.Webcams.Count(); ++i) {
            const TCamWebcam* webcam = category.Webcams.Items(i);
            copy->Webcams.push_back({webcam->Name, webcam->Url});
        }
        return copy;
    }
    int Count() const { return int(Categories.size() + Webcams.size()); }
};

TTrayMenus::TTrayMenus(QWidget* owner, const TTrayActions& actions) : QObject(owner)
{
    setObjectName(QStringLiteral("TrayMenus"));
    TrayPopup = new QMenu(owner);
    TrayPopup->setObjectName(QStringLiteral("TrayPopup"));
    BuildPopup(actions);
}

TTrayMenus::~TTrayMenus() = default;

void TTrayMenus::BuildPopup(const TTrayActions& actions)
{
    // Separators stand exactly where they are put, also next to each other. Hints show the
    // whole of a shortened name.
    TrayPopup->setSeparatorsCollapsible(false);
    TrayPopup->setToolTipsVisible(true);

    QAction* closeMenu = AddLinkedItem(TrayPopup, "Closethismenu1", actions.CloseMenu);
    QFont bold = closeMenu->font();
    bold.setBold(true);
    closeMenu->setFont(bold);
    TrayPopup->setDefaultAction(closeMenu);
    newSeparator(TrayPopup, "N6");

    Lastviewed1 = TrayPopup->addMenu(QStringLiteral("Last viewed"));
    Lastviewed1->setObjectName(QStringLiteral("Lastviewed1"));
    Lastviewed1->setToolTipsVisible(true);
    Nocam1 = Lastviewed1->addAction(QStringLiteral("No cam viewed yet"));
    Nocam1->setObjectName(QStringLiteral("Nocam1"));
    Nocam1->setEnabled(false);
    connect(Lastviewed1, &QMenu::aboutToShow, this, &TTrayMenus::LastViewedOpening);

    BeforeItems = newSeparator(TrayPopup, "BeforeItems");
    AfterItems = newSeparator(TrayPopup, "AfterItems");
    AddLinkedItem(TrayPopup, "AVICreator1", actions.AviCreator);
    AddLinkedItem(TrayPopup, "EditWebcams1", actions.Edit);
    AddLinkedItem(TrayPopup, "Mire1", actions.Mire);
    AddLinkedItem(TrayPopup, "Options1", actions.Options);
    newSeparator(TrayPopup, "N1");

    Help1 = TrayPopup->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help1->setSeparatorsCollapsible(false);
    // The hints say where each item leads.
    Help1->setToolTipsVisible(true);
    AddLinkedItem(Help1, "NorvaneHomePage1", actions.SiteNorvane);
    AddLinkedItem(Help1, "PictavoHomePage1", actions.SitePictavo);
    AddLinkedItem(Help1, "SupportHomePage1", actions.SiteSupport);
    newSeparator(Help1, "N4");
    AddLinkedItem(Help1, "About1", actions.About);

    // Filled by FillLanguages; until then empty and greyed.
    QAction* language = actions.Language;
    Language1 = TrayPopup->addMenu(language->text());
    Language1->setObjectName(QStringLiteral("Language1"));
    connect(language, &QAction::changed, Language1,
            [menu = Language1, language] { menu->setTitle(language->text()); });
    Language1->menuAction()->setEnabled(false);

    QAction* window = actions.Window;
    Windows1 = TrayPopup->addMenu(window->text());
    Windows1->setObjectName(QStringLiteral("Windows1"));
    Windows1->setSeparatorsCollapsible(false);
    Windows1->setToolTipsVisible(true);
    connect(window, &QAction::changed, Windows1,
            [menu = Windows1, window] { menu->setTitle(window->text()); });
    connect(Windows1, &QMenu::aboutToShow, window, &QAction::trigger);
    AddLinkedItem(Windows1, "Closeall1", actions.RestoreAll);
    AddLinkedItem(Windows1, "actHideAll1", actions.HideAll);
    AddLinkedItem(Windows1, "actSnoozeAll1", actions.SnoozeAll);
    AddLinkedItem(Windows1, "actCloseAll1", actions.CloseAll);
    newSeparator(Windows1, "N5");
    Dummy2 = Windows1->addAction(NoWindow);
    Dummy2->setObjectName(QStringLiteral("Dummy2"));
    Dummy2->setEnabled(false);

    newSeparator(TrayPopup, "N2");
    AddLinkedItem(TrayPopup, "Exit1", actions.Exit);
}

QAction* TTrayMenus::NewWebcamItem(QMenu* menu, const QString& name, const QString& url)
{
    auto* item = new QAction(menu);
    setNameCaption(item, name);
    item->setProperty(UrlProperty, url);
    connect(item, &QAction::triggered, this, [this, url] { emit WebcamChosen(url); });
    return item;
}

QMenu* TTrayMenus::NewCategoryMenu(QMenu* menu,
                                   const std::shared_ptr<const TMenuCategory>& category)
{
    auto* sub = new QMenu(menu);
    sub->setToolTipsVisible(true);
    setNameCaption(sub->menuAction(), category->Name);
    connect(sub, &QMenu::aboutToShow, this, [this, sub, category] {
        if (!sub->isEmpty())
            return;
        // One column of what the screen holds, at every depth; the rest in "More".
        const int room = SubMenuRoom(MenuLines(sub));
        FillLevel(sub, nullptr, category, 0, room, room, true);
        if (sub->isEmpty())
            sub->addAction(EmptyCat)->setEnabled(false);
    });
    return sub;
}

void TTrayMenus::FillLevel(QMenu* menu, QAction* before,
                           const std::shared_ptr<const TMenuCategory>& category, int first,
                           int room, int nextRoom, bool columns)
{
    // The items are made first and added in one go.
    const int categories = int(category->Categories.size());
    const std::vector<int> levels = MenuLevels(category->Count() - first, room, nextRoom);
    const int shown = levels.front();
    QList<QAction*> items;
    items.reserve(shown + 1);
    for (int entry = first; entry < first + shown; ++entry) {
        if (entry < categories) {
            items << NewCategoryMenu(menu, category->Categories[size_t(entry)])->menuAction();
            continue;
        }
        const TMenuCategory::TCam& webcam = category->Webcams[size_t(entry - categories)];
        QAction* item = NewWebcamItem(menu, webcam.Name, webcam.Url);
        const int position = entry - std::max(first, categories);
        if (columns && StartsMenuColumn(position))
            item->setProperty(ColumnBreakProperty, true);
        items << item;
    }
    if (levels.size() > 1) {
        auto* more = new QMenu(MoreCaption, menu);
        more->setObjectName(QLatin1String(MoreMenuName));
        more->setToolTipsVisible(true);
        const int next = first + shown;
        connect(more, &QMenu::aboutToShow, this, [this, more, category, next, nextRoom, columns] {
            if (more->isEmpty())
                FillLevel(more, nullptr, category, next, nextRoom, nextRoom, columns);
        });
        items << more->menuAction();
    }
    menu->insertActions(before, items);
}

void TTrayMenus::RebuildCatalogue(const TCamCategory& root, const QString& moreCaption)
{
    // Out with everything between the two separators.
    const QList<QAction*> actions = TrayPopup->actions();
    const qsizetype from = actions.indexOf(BeforeItems) + 1;
    const qsizetype to = actions.indexOf(AfterItems);
    for (qsizetype i = from; i < to; ++i) {
        QAction* old = actions[i];
        TrayPopup->removeAction(old);
        if (QMenu* sub = old->menu())
            sub->deleteLater();
        if (old->parent() == TrayPopup)
            old->deleteLater();
    }
    // Top-level categories as sub-menus, then the top-level webcams, without columns. A catalogue
    // taller than the screen would push the menu into columns off its right edge: the entries
    // past what fits go into nested sub-menus.
    MoreCaption = moreCaption;
    const int fixedLines = int(TrayPopup->actions().size());
    const int lines = MenuLines(TrayPopup);
    FillLevel(TrayPopup, AfterItems, TMenuCategory::Of(root), 0, lines - fixedLines, lines, false);
}

int TTrayMenus::MenuLines(const QMenu* menu) const
{
    // The height of an item as the menu's style lays it out, against the work area of the screen
    // the menu opens on, less the menu's frame and margins.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return INT_MAX;
    QStyleOptionMenuItem option;
    option.initFrom(menu);
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.text = QStringLiteral("Xg");
    option.font = menu->font();
    const QFontMetrics metrics(menu->font());
    const QSize content(metrics.horizontalAdvance(option.text), metrics.height());
    QStyle* style = menu->style();
    const int itemHeight =
        std::max(1, style->sizeFromContents(QStyle::CT_MenuItem, &option, content, menu).height());
    const int frame = 2 * (style->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, menu) +
                           style->pixelMetric(QStyle::PM_MenuVMargin, nullptr, menu));
    return std::max(0, (screen->availableGeometry().height() - frame) / itemHeight);
}

void TTrayMenus::FillLastViewed(const QList<const TCamWebcam*>& webcams)
{
    discardItems(Lastviewed1, 1);
    QList<QAction*> items;
    for (const TCamWebcam* webcam : webcams)
        items << NewWebcamItem(Lastviewed1, webcam->Name, webcam->Url);
    Lastviewed1->addActions(items);
    Nocam1->setVisible(webcams.isEmpty());
}

void TTrayMenus::FillWindows(const QList<QWidget*>& windows)
{
    discardItems(Windows1, WindowsFixedItems);
    // The windows below the commands as far as the screen has lines, the rest in nested "More"
    // sub-menus: hundreds of viewers would otherwise run the menu off the screen.
    const int lines = MenuLines(Windows1);
    const std::vector<int> levels =
        MenuLevels(int(windows.size()), lines - int(WindowsFixedItems - 1), SubMenuRoom(lines));
    QMenu* menu = Windows1;
    qsizetype i = 0;
    for (size_t level = 0; level < levels.size(); ++level) {
        QList<QAction*> items;
        for (int n = 0; n < levels[level]; ++n, ++i) {
            auto* item = new QAction(menu);
            setNameCaption(item, TFormList::WholeTitle(windows[i]));
            item->setProperty(WindowProperty, int(i));
            connect(item, &QAction::triggered, this, [this, i] { emit WindowChosen(int(i)); });
            items << item;
        }
        if (level + 1 < levels.size()) {
            auto* more = new QMenu(MoreCaption, menu);
            more->setObjectName(QLatin1String(MoreMenuName));
            more->setToolTipsVisible(true);
            items << more->menuAction();
            menu->addActions(items);
            menu = more;
        } else {
            menu->addActions(items);
        }
    }
    Dummy2->setText(NoWindow);
    Dummy2->setVisible(windows.isEmpty());
}

void TTrayMenus::FillLanguages(const QStringList& files, const QString& current)
{
    Language1->clear();
    auto* group = new QActionGroup(Language1);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (const QString& path : files) {
        QAction* item = Language1->addAction(QFileInfo(path).completeBaseName());
        item->setProperty(LanguageProperty, path);
        item->setCheckable(true);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, path] { emit LanguageChosen(path); });
    }
    Language1->menuAction()->setEnabled(!Language1->isEmpty());
    MarkLanguage(current);
}

void TTrayMenus::MarkLanguage(const QString& path)
{
    const QString wanted = QFileInfo(path).absoluteFilePath();
    QAction* english = nullptr;
    QAction* marked = nullptr;
    for (QAction* item : Language1->actions()) {
        const QString file = item->property(LanguageProperty).toString();
        if (!path.isEmpty() && QFileInfo(file).absoluteFilePath() == wanted)
            marked = item;
        if (QFileInfo(file).completeBaseName().compare(QLatin1String(EnglishLanguageName),
                                                       Qt::CaseInsensitive) == 0)
            english = item;
        item->setChecked(false);
    }
    if (!marked && path.isEmpty())
        marked = english;
    if (marked)
        marked->setChecked(true);
}
