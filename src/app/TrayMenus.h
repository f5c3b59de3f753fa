#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <memory>

class QAction;
class QMenu;
class QWidget;
class TCamCategory;
class TCamWebcam;
struct TMenuCategory;

// The tray window's actions that the fixed menu items run (each item takes its action's caption,
// hint and state, and follows later changes).
struct TTrayActions
{
    QAction* CloseMenu = nullptr;
    QAction* AviCreator = nullptr;
    QAction* Edit = nullptr;
    QAction* Mire = nullptr;
    QAction* Options = nullptr;
    QAction* Language = nullptr;
    QAction* Window = nullptr;
    QAction* Exit = nullptr;
    QAction* SiteNorvane = nullptr;
    QAction* SitePictavo = nullptr;
    QAction* SiteSupport = nullptr;
    QAction* About = nullptr;
    QAction* RestoreAll = nullptr;
    QAction* HideAll = nullptr;
    QAction* SnoozeAll = nullptr;
    QAction* CloseAll = nullptr;
};

// The menus of the tray icon: the pop-up TrayPopup with its fixed items, its catalogue region, and
// the Last viewed, Windows and Language sub-menus, each rebuilt from the values handed in. Menu
// items are never reused: a rebuild discards the old ones.
//
// Items hold values, never pointers: a catalogue or Last viewed item carries its webcam's Url (the
// catalogue may be rebuilt before the click, and an address may be reused), a window item its
// position in the window list, a language item the path of its file. A click reports that value
// through a signal; the tray window decides what it still stands for.
class TTrayMenus : public QObject
{
    Q_OBJECT

public:
    // The menus belong to owner (the tray window), so that language files reach their items.
    TTrayMenus(QWidget* owner, const TTrayActions& actions);
    ~TTrayMenus() override;

    QMenu* Popup() const { return TrayPopup; }

    // The catalogue region between BeforeItems and AfterItems: the categories directly under root
    // as sub-menus, then root's webcams. Entries past what fits on the screen go into nested
    // sub-menus captioned moreCaption. A sub-menu is filled when it first opens, from the
    // catalogue as it was at the rebuild: its sub-categories, then its webcams (an empty one shows
    // EmptyCat), as many as the screen has lines for (SubMenuRoom) and the rest in "More", at
    // every depth; a webcam at a multiple of 29 carries the column mark.
    // Names are shown shortened (MenuCaption), the whole name in the item's hint. So the work of
    // a rebuild and of each opening is bounded, however large the catalogue.
    void RebuildCatalogue(const TCamCategory& root, const QString& moreCaption);
    // Last viewed: one item per webcam, in the order given; "No cam viewed yet" when none.
    void FillLastViewed(const QList<const TCamWebcam*>& webcams);
    // Windows: the four commands, a separator, then one item per window captioned with its title,
    // those past the screen's lines in nested "More" sub-menus; the disabled NoWindow item when
    // there is none.
    void FillWindows(const QList<QWidget*>& windows);
    // Language: one item per file, captioned with its base name; greyed out when there is none.
    // The items are exclusive marks: current's item is marked (none: the English file's, which
    // holds the built-in texts).
    void FillLanguages(const QStringList& files, const QString& current = QString());
    // Marks the item of the language file path (none: English).
    void MarkLanguage(const QString& path);

    // The property that carries a webcam item's Url, a window item's position, a language item's
    // file path.
    static constexpr const char* UrlProperty = "pvUrl";
    static constexpr const char* WindowProperty = "pvWindow";
    static constexpr const char* LanguageProperty = "pvLanguage";
    // Set (true) on the item that starts a new menu column.
    static constexpr const char* ColumnBreakProperty = "columnBreak";
    // Object name of the sub-menus that hold the catalogue entries past what fits on the screen.
    static constexpr const char* MoreMenuName = "More1";

signals:
    void WebcamChosen(const QString& url);
    void WindowChosen(int position);
    void LanguageChosen(const QString& path);
    // The Last viewed sub-menu is about to open.
    void LastViewedOpening();

private:
    void BuildPopup(const TTrayActions& actions);
    QAction* NewWebcamItem(QMenu* menu, const QString& name, const QString& url);
    // A sub-menu of menu for category, filled when it first opens.
    QMenu* NewCategoryMenu(QMenu* menu, const std::shared_ptr<const TMenuCategory>& category);
    // Puts the entries of category from first on into menu before the item before (null: at
    // the end): as many as room allows, then a "More" sub-menu whose levels take nextRoom each
    // and are filled when they open. columns marks the items that start a column of webcams.
    void FillLevel(QMenu* menu, QAction* before,
                   const std::shared_ptr<const TMenuCategory>& category, int first, int room,
                   int nextRoom, bool columns);
    // Lines of menu items that a menu of the tray may take on the screen.
    int MenuLines(const QMenu* menu) const;

    QMenu* TrayPopup = nullptr;
    QMenu* Lastviewed1 = nullptr;
    QMenu* Windows1 = nullptr;
    QMenu* Help1 = nullptr;
    QMenu* Language1 = nullptr;
    QAction* Nocam1 = nullptr;
    QAction* BeforeItems = nullptr;
    QAction* AfterItems = nullptr;
    QAction* Dummy2 = nullptr;
    QString MoreCaption;
};
