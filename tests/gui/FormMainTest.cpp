#include "app/FormMain.h"

#include "GuiTestUtil.h"
#include "app/FormAbout.h"
#include "app/TrayMenus.h"
#include "base/Window.h"
#include "core/catalog/Catalog.h"
#include "core/catalog/Settings.h"
#include "core/catalog/XmlDocument.h"
#include "core/image/JpegCodec.h"
#include "core/rules/MenuColumns.h"
#include "viewer/FormViewer.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {
// What a language file or the user sees of a menu: separators and items by name, sub-menus by
// the name of their menu.
QStringList layout(const QMenu* menu)
{
    QStringList names;
    for (const QAction* action : menu->actions()) {
        if (const QMenu* sub = action->menu())
            names << sub->objectName();
        else
            names << action->objectName();
    }
    return names;
}

// A component of the tray window by its object name.
template <class T = QMenu> T* part(const QObject& main, const char* name)
{
    T* found = main.findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}
QAction* item(const QObject& main, const char* name)
{
    return part<QAction>(main, name);
}

// The items of a menu as the user sees them once it opens (catalogue menus fill themselves then).
QList<QAction*> opened(QMenu* menu)
{
    emit menu->aboutToShow();
    return menu->actions();
}

QList<QAction*> catalogueRegion(const TfoCamMain& main)
{
    const QList<QAction*> all = part(main, "TrayPopup")->actions();
    const qsizetype from = all.indexOf(item(main, "BeforeItems")) + 1;
    return all.mid(from, all.indexOf(item(main, "AfterItems")) - from);
}

TCamWebcam* addWebcam(TCamWebcams& list, const QString& name)
{
    TCamWebcam* cam = list.Add();
    cam->Name = name;
    // Nobody listens on port 9 of this machine: the viewers' fetches fail at once.
    cam->Url = "http://127.0.0.1:9/" + name;
    return cam;
}

QList<TfoViewer*> viewers()
{
    return TFormList::Of<TfoViewer>();
}

class TrayWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(TCamViewer::DefaultOptionsPath());
        TStartup startup;
        startup.RegisterTypes = false;
        Main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
        ASSERT_NE(CamViewer, nullptr);
    }
    void TearDown() override
    {
        Main.reset();
        drainDeletes();
        EXPECT_TRUE(TFormList::Windows().isEmpty());
        QFile::remove(TCamViewer::DefaultOptionsPath());
    }
    static bool optionsWritten() { return QFile::exists(TCamViewer::DefaultOptionsPath()); }

    std::unique_ptr<TfoCamMain> Main;
};
} // namespace

TEST_F(TrayWindow, MenuLayoutWithAnEmptyCatalogue)
{
    EXPECT_EQ(Main->objectName(), "foCamMain");
    EXPECT_EQ(part<QSystemTrayIcon>(*Main, "TrayIcon")->toolTip(), "Pictavo 1.3");
    EXPECT_EQ(layout(part(*Main, "TrayPopup")),
              (QStringList{"Closethismenu1", "N6", "Lastviewed1", "BeforeItems", "AfterItems",
                           "AVICreator1", "EditWebcams1", "Mire1", "Options1", "N1", "Help1",
                           "Language1", "Windows1", "N2", "Exit1"}));
    // Separators are not merged: the empty catalogue region shows both.
    EXPECT_FALSE(part(*Main, "TrayPopup")->separatorsCollapsible());
    EXPECT_TRUE(catalogueRegion(*Main).isEmpty());

    QAction* closeMenu = part(*Main, "TrayPopup")->actions().first();
    EXPECT_EQ(closeMenu->text(), "&Close this menu");
    EXPECT_EQ(part(*Main, "TrayPopup")->defaultAction(), closeMenu);
    EXPECT_TRUE(closeMenu->font().bold());
    EXPECT_EQ(part(*Main, "TrayPopup")->actions().last()->text(), "&Exit");
    EXPECT_EQ(layout(part(*Main, "Help1")), (QStringList{"NorvaneHomePage1", "PictavoHomePage1",
                                                         "SupportHomePage1", "N4", "About1"}));
    EXPECT_EQ(
        layout(part(*Main, "Windows1")),
        (QStringList{"Closeall1", "actHideAll1", "actSnoozeAll1", "actCloseAll1", "N5", "Dummy2"}));
    EXPECT_EQ(layout(part(*Main, "Lastviewed1")), QStringList{"Nocam1"});
    EXPECT_FALSE(item(*Main, "Nocam1")->isEnabled());

    // The item follows its action (a language file may translate either).
    auto* actExit = Main->findChild<QAction*>("actExit");
    ASSERT_NE(actExit, nullptr);
    actExit->setText("&Beenden");
    EXPECT_EQ(part(*Main, "TrayPopup")->actions().last()->text(), "&Beenden");
}

namespace {
// The entries of a menu and of the "More" sub-menus under it, opened as the user opens them;
// each level's height is checked against the screen.
QList<QAction*> throughMoreMenus(QMenu* menu, int* levels)
{
    const int screen = QGuiApplication::primaryScreen()->availableGeometry().height();
    QList<QAction*> reached;
    *levels = 0;
    while (menu) {
        ++*levels;
        QMenu* next = nullptr;
        for (QAction* item : opened(menu)) {
            if (item->menu() && item->menu()->objectName() == TTrayMenus::MoreMenuName)
                next = item->menu();
            else
                reached << item;
        }
        EXPECT_LE(menu->sizeHint().height(), screen) << "level " << *levels;
        menu = next;
    }
    return reached;
}
} // namespace

TEST_F(TrayWindow, CategoriesBecomeSubMenusThatFitTheScreenAtEveryDepth)
{
    TCamCategory& root = CamViewer->Root;
    TCamCategory* empty = root.Categories.Add();
    empty->Name = "Empty";
    TCamCategory* big = root.Categories.Add();
    big->Name = "Big";
    TCamCategory* sub = big->Categories.Add();
    sub->Name = "Sub";
    for (int i = 0; i < 100; ++i)
        addWebcam(sub->Webcams, QString("inner%1").arg(i));
    for (int i = 0; i < 60; ++i)
        addWebcam(big->Webcams, QString("cam%1").arg(i));
    addWebcam(root.Webcams, "Top");
    Main->RebuildTrayMenu();

    const QList<QAction*> region = catalogueRegion(*Main);
    ASSERT_EQ(region.size(), 3);
    ASSERT_NE(region[0]->menu(), nullptr);
    EXPECT_EQ(region[0]->text(), "Empty");
    EXPECT_EQ(region[1]->text(), "Big");
    EXPECT_EQ(region[2]->text(), "Top");
    EXPECT_EQ(region[2]->menu(), nullptr);
    // The top level has no column breaks.
    EXPECT_FALSE(region[2]->property(TTrayMenus::ColumnBreakProperty).toBool());

    const QList<QAction*> emptyItems = opened(region[0]->menu());
    ASSERT_EQ(emptyItems.size(), 1);
    EXPECT_EQ(emptyItems[0]->text(), "Empty Category");
    EXPECT_FALSE(emptyItems[0]->isEnabled());

    // A category's entries, and those of a category inside it, are all reached through "More",
    // no level taller than the screen (the menus used to run 29 to a column, off its edge).
    int levels = 0;
    const QList<QAction*> bigItems = throughMoreMenus(region[1]->menu(), &levels);
    EXPECT_GT(levels, 1);
    ASSERT_EQ(bigItems.size(), 61);
    EXPECT_EQ(bigItems[0]->text(), "Sub");
    EXPECT_EQ(bigItems[1]->text(), "cam0");
    EXPECT_EQ(bigItems[60]->text(), "cam59");
    const QList<QAction*> innerItems = throughMoreMenus(bigItems[0]->menu(), &levels);
    EXPECT_GT(levels, 1);
    ASSERT_EQ(innerItems.size(), 100);
    EXPECT_EQ(innerItems[99]->text(), "inner99");

    // A rebuild replaces the region; nothing is added twice.
    Main->RebuildTrayMenu();
    EXPECT_EQ(catalogueRegion(*Main).size(), 3);
    root.Categories.Clear();
    root.Webcams.Clear();
    Main->RebuildTrayMenu();
    EXPECT_TRUE(catalogueRegion(*Main).isEmpty());
}

TEST_F(TrayWindow, WindowsPastTheScreenGoToMoreAndNamesShowTheirAmpersand)
{
    // Names with "&" show it, in the catalogue and in Windows (no access key is made of them).
    TCamCategory* travel = CamViewer->Root.Categories.Add();
    travel->Name = "Travel & Tours";
    addWebcam(travel->Webcams, "Rock & Roll");
    Main->RebuildTrayMenu();
    const QList<QAction*> region = catalogueRegion(*Main);
    ASSERT_EQ(region.size(), 1);
    EXPECT_EQ(region[0]->text(), "Travel && Tours");
    const QList<QAction*> inside = opened(region[0]->menu());
    ASSERT_EQ(inside.size(), 1);
    EXPECT_EQ(inside[0]->text(), "Rock && Roll");
    inside[0]->trigger();
    ASSERT_EQ(viewers().size(), 1);
    // The window title takes the name as it is.
    EXPECT_EQ(viewers()[0]->windowTitle(), "Rock & Roll");

    // Eighty windows: each reachable in Windows, no level taller than the screen.
    for (int i = 0; i < 79; ++i)
        CreateForm<TfoAbout>();
    Main->actWindowExecute();
    int levels = 0;
    QList<QAction*> windows;
    for (QAction* entry : throughMoreMenus(part(*Main, "Windows1"), &levels))
        if (entry->property(TTrayMenus::WindowProperty).isValid())
            windows << entry;
    EXPECT_GT(levels, 1);
    ASSERT_EQ(windows.size(), 80);
    EXPECT_EQ(windows[0]->text(), "Rock && Roll");
    EXPECT_EQ(windows[79]->property(TTrayMenus::WindowProperty).toInt(), 79);
    // Filled again, the old levels go.
    Main->actWindowExecute();
    drainDeletes();
    EXPECT_EQ(part(*Main, "Windows1")->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 1);
}

TEST_F(TrayWindow, OpeningTheSameWebcamTwiceShowsTheOpenViewerAndSavesNothing)
{
    TCamWebcam* a = addWebcam(CamViewer->Root.Webcams, "Alpha");
    TCamWebcam* b = addWebcam(CamViewer->Root.Webcams, "Beta");
    Main->RebuildTrayMenu();

    // Through the menu item, as the user does.
    catalogueRegion(*Main)[0]->trigger();
    ASSERT_EQ(viewers().size(), 1);
    EXPECT_EQ(viewers()[0]->Webcam().Url, a->Url);
    EXPECT_TRUE(optionsWritten());

    Main->OpenViewer(b, false);
    QFile::remove(TCamViewer::DefaultOptionsPath());
    viewers()[0]->actHideExecute();
    QFile::remove(TCamViewer::DefaultOptionsPath());
    ASSERT_FALSE(viewers()[0]->isVisible());

    Main->OpenViewer(a, false);
    EXPECT_EQ(viewers().size(), 2);
    EXPECT_FALSE(optionsWritten()) << "a second open saves nothing";
    EXPECT_TRUE(viewers()[0]->isVisible());
    EXPECT_EQ(viewers()[0]->Webcam().UserState, CamStateShown);
    EXPECT_EQ(CamViewer->LastUsed.first(), a->Url) << "still moved to the front of Last viewed";
}

TEST_F(TrayWindow, SavedStateIsAppliedOnlyWhenAsked)
{
    TCamWebcam* a = addWebcam(CamViewer->Root.Webcams, "Alpha");
    TCamWebcam* b = addWebcam(CamViewer->Root.Webcams, "Beta");
    a->UserState = CamStateHidden;
    b->UserState = CamStateSnoozed;
    Main->OpenViewer(a, false);
    Main->OpenViewer(b, true);
    ASSERT_EQ(viewers().size(), 2);
    EXPECT_TRUE(viewers()[0]->isVisible()) << "the tray menu ignores a saved hidden state";
    EXPECT_FALSE(viewers()[1]->isVisible());
    EXPECT_TRUE(viewers()[1]->Snoozed());
}

TEST_F(TrayWindow, LastViewedListsTheCatalogueWebcamsMostRecentFirst)
{
    Main->Lastviewed1Click();
    EXPECT_TRUE(item(*Main, "Nocam1")->isVisible());
    EXPECT_EQ(part(*Main, "Lastviewed1")->actions().size(), 1);

    TCamWebcam* a = addWebcam(CamViewer->Root.Webcams, "Alpha");
    TCamWebcam* b = addWebcam(CamViewer->Root.Webcams, "Beta");
    Main->OpenViewer(a, false);
    Main->OpenViewer(b, false);
    CamViewer->LastUsed.append("http://127.0.0.1:9/gone");
    Main->Lastviewed1Click();
    QStringList captions;
    for (QAction* entry : part(*Main, "Lastviewed1")->actions())
        if (entry != item(*Main, "Nocam1"))
            captions << entry->text();
    EXPECT_EQ(captions, (QStringList{"Beta", "Alpha"}));
    EXPECT_FALSE(item(*Main, "Nocam1")->isVisible());

    // Opening again from Last viewed brings Alpha to the front; no second viewer.
    part(*Main, "Lastviewed1")->actions()[2]->trigger();
    EXPECT_EQ(viewers().size(), 2);
    EXPECT_EQ(CamViewer->LastUsed.first(), a->Url);
}

TEST_F(TrayWindow, WindowsSubMenuListsTheOpenWindows)
{
    Main->findChild<QAction*>("actWindow")->trigger();
    ASSERT_EQ(part(*Main, "Windows1")->actions().size(), 6);
    EXPECT_TRUE(item(*Main, "Dummy2")->isVisible());
    EXPECT_FALSE(item(*Main, "Dummy2")->isEnabled());
    EXPECT_EQ(item(*Main, "Dummy2")->text(), "No Window");

    TCamWebcam* a = addWebcam(CamViewer->Root.Webcams, "Alpha");
    TCamWebcam* b = addWebcam(CamViewer->Root.Webcams, "Beta");
    Main->OpenViewer(a, false);
    Main->OpenViewer(b, false);
    viewers()[1]->actSnoozeExecute();
    Main->findChild<QAction*>("actWindow")->trigger();
    QList<QAction*> items = part(*Main, "Windows1")->actions();
    ASSERT_EQ(items.size(), 8);
    EXPECT_EQ(items[6]->text(), "Alpha");
    EXPECT_EQ(items[7]->text(), "Beta");
    EXPECT_FALSE(item(*Main, "Dummy2")->isVisible());

    // Choosing a snoozed viewer shows it and wakes it.
    items[7]->trigger();
    EXPECT_TRUE(viewers()[1]->isVisible());
    EXPECT_FALSE(viewers()[1]->Snoozed());

    // A closed viewer is no longer listed; an item whose window has gone does nothing.
    viewers()[0]->actCloseExecute();
    drainDeletes();
    ASSERT_EQ(viewers().size(), 1);
    items[7]->trigger();
    Main->findChild<QAction*>("actWindow")->trigger();
    items = part(*Main, "Windows1")->actions();
    ASSERT_EQ(items.size(), 7);
    EXPECT_EQ(items[6]->text(), "Beta");
}

TEST_F(TrayWindow, OtherProgramWindowsAreListedButNotTouchedByTheViewerCommands)
{
    auto about = std::make_unique<TSForm>("foAbout");
    about->setWindowTitle("About Pictavo");
    Main->OpenViewer(addWebcam(CamViewer->Root.Webcams, "Alpha"), false);
    auto run = [&](const char* name) { Main->findChild<QAction*>(name)->trigger(); };

    run("actWindow");
    QList<QAction*> items = part(*Main, "Windows1")->actions();
    ASSERT_EQ(items.size(), 8);
    EXPECT_EQ(items[6]->text(), "About Pictavo");
    EXPECT_EQ(items[7]->text(), "Alpha");
    EXPECT_FALSE(item(*Main, "Dummy2")->isVisible());
    items[6]->trigger();
    EXPECT_TRUE(about->isVisible()) << "its item shows the window";

    about->hide();
    run("actRestoreAll");
    run("actSnoozeAll");
    run("actHideAll");
    EXPECT_FALSE(about->isVisible());
    about->show();
    run("actCloseAll");
    drainDeletes();
    EXPECT_TRUE(viewers().isEmpty());
    ASSERT_EQ(TFormList::Of<TSForm>().size(), 1);
    EXPECT_TRUE(about->isVisible()) << "Close All closes the viewers only";

    // With the last window gone an old item does nothing.
    about.reset();
    items[6]->trigger();
    run("actWindow");
    EXPECT_EQ(part(*Main, "Windows1")->actions().size(), 6);
    EXPECT_TRUE(item(*Main, "Dummy2")->isVisible());
}

TEST_F(TrayWindow, CommandsOverAllViewers)
{
    TCamWebcam* a = addWebcam(CamViewer->Root.Webcams, "Alpha");
    TCamWebcam* b = addWebcam(CamViewer->Root.Webcams, "Beta");
    Main->OpenViewer(a, false);
    Main->OpenViewer(b, false);
    ASSERT_EQ(viewers().size(), 2);
    auto run = [&](const char* name) { Main->findChild<QAction*>(name)->trigger(); };

    run("actHideAll");
    for (TfoViewer* v : viewers()) {
        EXPECT_FALSE(v->isVisible());
        EXPECT_EQ(v->Webcam().UserState, CamStateHidden);
    }
    run("actRestoreAll");
    for (TfoViewer* v : viewers()) {
        EXPECT_TRUE(v->isVisible());
        EXPECT_EQ(v->Webcam().UserState, CamStateShown) << "Restore All records the shown state";
    }
    run("actSnoozeAll");
    for (TfoViewer* v : viewers()) {
        EXPECT_FALSE(v->isVisible());
        EXPECT_TRUE(v->Snoozed());
        EXPECT_EQ(v->Webcam().UserState, CamStateSnoozed);
    }
    run("actRestoreAll");
    for (TfoViewer* v : viewers()) {
        EXPECT_TRUE(v->isVisible());
        EXPECT_FALSE(v->Snoozed());
    }
    // Snoozing saved the state into the catalogue.
    EXPECT_EQ(a->UserState, CamStateSnoozed);

    run("actCloseAll");
    drainDeletes();
    EXPECT_TRUE(viewers().isEmpty());
    QFile file(TCamViewer::DefaultOptionsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<OpenedCams/>"));
}

TEST_F(TrayWindow, StaleMenuItemOfARemovedWebcamOpensNothing)
{
    addWebcam(CamViewer->Root.Webcams, "Alpha");
    Main->RebuildTrayMenu();
    QAction* item = catalogueRegion(*Main)[0];
    CamViewer->Root.Webcams.Clear();
    item->trigger();
    EXPECT_TRUE(viewers().isEmpty());
}

TEST_F(TrayWindow, MenuItemsOpenWhatTheCatalogueHoldsAtTheirUrlWhenClicked)
{
    // The editor replaces the catalogue's webcams; an address may be given to another webcam.
    auto replace = [](const QString& name) {
        CamViewer->Root.Webcams.Clear();
        TCamWebcam* cam = addWebcam(CamViewer->Root.Webcams, name);
        cam->Url = "http://127.0.0.1:9/address";
        return cam;
    };
    replace("Before");
    Main->RebuildTrayMenu();
    QAction* catalogueItem = catalogueRegion(*Main).at(0);
    replace("After");
    catalogueItem->trigger();
    ASSERT_EQ(viewers().size(), 1);
    EXPECT_EQ(viewers()[0]->Webcam().Name, "After");

    viewers()[0]->actCloseExecute();
    drainDeletes();
    Main->Lastviewed1Click();
    QAction* lastViewed = part(*Main, "Lastviewed1")->actions().last();
    ASSERT_EQ(lastViewed->text(), "After");
    replace("Again");
    lastViewed->trigger();
    ASSERT_EQ(viewers().size(), 1);
    EXPECT_EQ(viewers()[0]->Webcam().Name, "Again");

    // Other windows ask by Url too; an address the catalogue lacks opens nothing.
    ITrayHost* host = TrayHost();
    ASSERT_EQ(host, static_cast<ITrayHost*>(Main.get()));
    TCamWebcam* snoozed = addWebcam(CamViewer->Root.Webcams, "Snoozed");
    snoozed->UserState = CamStateSnoozed;
    host->OpenViewer(QStringLiteral("http://127.0.0.1:9/nowhere"), true);
    EXPECT_EQ(viewers().size(), 1);
    host->OpenViewer(snoozed->Url, true);
    ASSERT_EQ(viewers().size(), 2);
    EXPECT_TRUE(viewers()[1]->Snoozed()) << "the saved state is applied when asked";
}

TEST_F(TrayWindow, HandedOverFilesAreImportedByExtension)
{
    QTemporaryDir dir;
    const QByteArray cal = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                           "<Category Name=\"Handed\">\r\n"
                           " <Webcam Name=\"One\" Url=\"http://127.0.0.1:9/one\"/>\r\n"
                           "</Category>\r\n";
    struct Row
    {
        const char* file;
        bool imported;
    };
    for (const Row row : {Row{"list.cam.txt", false}, Row{"list.CAL", true}}) {
        QFile f(dir.filePath(row.file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(cal);
        f.close();
        Main->WMCopyData(f.fileName());
        EXPECT_EQ(CamViewer->Root.FindWebcam("http://127.0.0.1:9/one") != nullptr, row.imported)
            << row.file;
    }
    Main->WMCopyData(dir.filePath("missing.cal"));
    const QList<QAction*> region = catalogueRegion(*Main);
    ASSERT_FALSE(region.isEmpty()) << "the import rebuilds the menu";
    EXPECT_EQ(region.last()->text(), "Handed");
}

namespace {
// The texts of the visible message boxes of that name; closes them.
QStringList takeBoxes(const QString& name)
{
    QStringList texts;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w);
            box && box->objectName() == name && box->isVisible()) {
            texts << box->text();
            box->close();
        }
    drainDeletes();
    return texts;
}
} // namespace

TEST_F(TrayWindow, ARefusedImportIsToldAndChangesNothing)
{
    takeBoxes("ImportRefusedBox");
    QTemporaryDir dir;
    QFile f(dir.filePath("bomb.cal"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<!DOCTYPE Category [<!ENTITY h \"" + QByteArray(4000, 'h') +
            "\">]><Category Name=\"Bomb\"><Webcam Url=\"u\" Name=\"&h;&h;\"/></Category>");
    f.close();
    Main->WMCopyData(f.fileName());
    EXPECT_EQ(CamViewer->Root.Categories.Count(), 0);
    const QStringList told = takeBoxes("ImportRefusedBox");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("bomb.cal") && told[0].contains("entities"))
        << told[0].toStdString();
}

// Files named on the command line or handed over: one that cannot be imported changes nothing and
// the user is told which and why; an import tells how many webcams went where.
TEST_F(TrayWindow, EveryImportTellsTheUserWhatBecameOfTheFile)
{
    takeBoxes("ImportRefusedBox");
    takeBoxes("ImportDoneBox");
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    QByteArray random(4096, 0);
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 7919 + 13) % 251);
    const QString bad[] = {
        write("empty.cal", {}),
        write("random.cal", random),
        write("broken.cal",
              "<Category Name=\"Broken\"><Webcam Name=\"A\" Url=\"http://127.0.0.1:9/a\"/>"
              "<Category Name=\"Cut"),
        dir.filePath("missing.cal"),
    };
    for (const QString& path : bad) {
        Main->WMCopyData(path);
        const QStringList told = takeBoxes("ImportRefusedBox");
        ASSERT_EQ(told.size(), 1) << path.toStdString();
        EXPECT_TRUE(told[0].contains(QFileInfo(path).fileName())) << told[0].toStdString();
        EXPECT_EQ(CamViewer->Root.Categories.Count(), 0) << told[0].toStdString();
    }
    EXPECT_TRUE(takeBoxes("ImportDoneBox").isEmpty());

    const QString good = write("good.cal", "<Category Name=\"Harbours\">"
                                           "<Webcam Name=\"A\" Url=\"http://127.0.0.1:9/a\"/>"
                                           "<Webcam Name=\"B\" Url=\"http://127.0.0.1:9/b\"/>"
                                           "</Category>");
    Main->WMCopyData(good);
    QStringList told = takeBoxes("ImportDoneBox");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("good.cal") && told[0].contains(": 2 webcam") &&
                told[0].contains("Harbours"))
        << told[0].toStdString();
    EXPECT_TRUE(optionsWritten()) << "an import is saved at once";
    Main->WMCopyData(good);
    told = takeBoxes("ImportDoneBox");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(": 0 webcam") && told[0].contains(" 2 already"))
        << told[0].toStdString();
}

TEST(TrayWindowStart, ARefusedSettingsFileIsToldOnceAndExitDoesNotWriteOverIt)
{
    const QString path = TCamViewer::DefaultOptionsPath();
    const QString aside = path + ".damaged";
    QFile::remove(aside);
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile options(path);
        ASSERT_TRUE(options.open(QIODevice::WriteOnly | QIODevice::Truncate));
        options.write("<?xml version=\"1.0\"?><Options><Category Name=\"\">");
        ASSERT_TRUE(options.resize(MaxXmlFileSize + 1)); // sparse: quick to make
    }
    TStartup startup;
    startup.RegisterTypes = false;
    auto main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    const QStringList told = takeBoxes("RefusedOptionsBox");
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QDir::toNativeSeparators(aside))) << told[0].toStdString();

    QTimer::singleShot(0, main.get(), &TfoCamMain::actExitExecute);
    EXPECT_EQ(QApplication::exec(), 0);
    main.reset();
    drainDeletes();
    EXPECT_EQ(QFileInfo(aside).size(), MaxXmlFileSize + 1) << "the refused file is kept whole";
    EXPECT_LT(QFileInfo(path).size(), 4096) << "exit wrote a new file beside it";
    EXPECT_TRUE(takeBoxes("SaveFailureBox").isEmpty());
    QFile::remove(aside);
    QFile::remove(path);
}

TEST_F(TrayWindow, ExitSavesTheSettings)
{
    Main->OpenViewer(addWebcam(CamViewer->Root.Webcams, "Alpha"), false);
    QFile::remove(TCamViewer::DefaultOptionsPath());
    // Exit from the running event loop, as the menu and SIGTERM run it: ending the loop must not
    // close the viewers (a closing viewer saves without itself).
    QTimer::singleShot(0, Main.get(), &TfoCamMain::actExitExecute);
    EXPECT_EQ(QApplication::exec(), 0);
    QFile file(TCamViewer::DefaultOptionsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray xml = file.readAll();
    EXPECT_TRUE(xml.contains("<Cam Url=\"http://127.0.0.1:9/Alpha\"/>"));

    // Shutting down destroys the viewers without saving again.
    file.close();
    QFile::remove(TCamViewer::DefaultOptionsPath());
    Main->ShutDown();
    EXPECT_TRUE(TFormList::Windows().isEmpty());
    EXPECT_FALSE(optionsWritten());
    EXPECT_EQ(CamViewer, nullptr);
}

TEST_F(TrayWindow, AQuitRequestOfTheDesktopRunsExit)
{
    // The session manager ends the program at log-out with a quit request; like Exit it saves
    // with the open viewers listed, and it does not close them one by one (each would save the
    // settings without itself).
    Main->OpenViewer(addWebcam(CamViewer->Root.Webcams, "Alpha"), false);
    QFile::remove(TCamViewer::DefaultOptionsPath());
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    EXPECT_EQ(QApplication::exec(), 0);
    ASSERT_EQ(viewers().size(), 1);
    EXPECT_TRUE(viewers()[0]->isVisible()) << "the viewer was not closed";
    drainDeletes();
    QFile file(TCamViewer::DefaultOptionsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<Cam Url=\"http://127.0.0.1:9/Alpha\"/>"));
}

TEST(TrayWindowStart, FailedFileTypeRegistrationIsReportedAndTheFileStillImported)
{
    QFile::remove(TCamViewer::DefaultOptionsPath());
    QTemporaryDir dir;
    auto writeCal = [&](const QString& name, const QByteArray& category) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<Category Name=\"" + category +
                "\">\r\n <Webcam Name=\"W\" Url=\"http://127.0.0.1:9/" + category +
                "\"/>\r\n</Category>\r\n");
        return f.fileName();
    };
    const QString first = writeCal("first.cal", "First");
    const QString second = writeCal("second.cal", "Second");
    // The data folder is a plain file: nothing can be written below it.
    QFile blocker(dir.filePath("data-is-a-file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", blocker.fileName().toLocal8Bit());

    TStartup startup;
    startup.Arguments = {first, second};
    auto main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    qputenv("XDG_DATA_HOME", savedDataHome);

    bool reported = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            reported = reported || box->text().contains("data-is-a-file");
            box->close();
        }
    EXPECT_TRUE(reported) << "the failed registration is shown to the user";
    EXPECT_NE(CamViewer->Root.FindWebcam("http://127.0.0.1:9/First"), nullptr);
    EXPECT_EQ(CamViewer->Root.FindWebcam("http://127.0.0.1:9/Second"), nullptr)
        << "only the first argument is imported";
    main.reset();
    drainDeletes();
}

TEST(TrayWindowStart, ReopeningViewersKeepsTheLastViewedListOfTheFile)
{
    // Reopening a viewer at start saves the settings; that save must not write the recently
    // viewed list before it has been read, or a start that is not ended by Exit loses it.
    const QString path = TCamViewer::DefaultOptionsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile options(path);
    ASSERT_TRUE(options.open(QIODevice::WriteOnly));
    options.write("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                  "<Options>\r\n"
                  " <FirstLaunch>0</FirstLaunch>\r\n"
                  " <OpenedCams>\r\n"
                  "  <Cam Url=\"http://127.0.0.1:9/Alpha\"/>\r\n"
                  " </OpenedCams>\r\n"
                  " <Category Name=\"\">\r\n"
                  "  <Cams>\r\n"
                  "   <Cam Name=\"Alpha\" Url=\"http://127.0.0.1:9/Alpha\" Refresh=\"30\"/>\r\n"
                  "   <Cam Name=\"Beta\" Url=\"http://127.0.0.1:9/Beta\" Refresh=\"30\"/>\r\n"
                  "   <Cam Name=\"Gamma\" Url=\"http://127.0.0.1:9/Gamma\" Refresh=\"30\"/>\r\n"
                  "  </Cams>\r\n"
                  " </Category>\r\n"
                  " <LastUsed>\r\n"
                  "  <Item>http://127.0.0.1:9/Beta</Item>\r\n"
                  "  <Item>http://127.0.0.1:9/Gamma</Item>\r\n"
                  "  <Item>http://127.0.0.1:9/Alpha</Item>\r\n"
                  " </LastUsed>\r\n"
                  "</Options>\r\n");
    options.close();

    TStartup startup;
    startup.RegisterTypes = false;
    auto main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    ASSERT_EQ(viewers().size(), 1);
    const QStringList fileList{"http://127.0.0.1:9/Beta", "http://127.0.0.1:9/Gamma",
                               "http://127.0.0.1:9/Alpha"};
    EXPECT_EQ(CamViewer->LastUsed, fileList) << "the reopening does not change the list";

    // The file as the reopening left it.
    ASSERT_TRUE(options.open(QIODevice::ReadOnly));
    const QByteArray xml = options.readAll();
    options.close();
    EXPECT_TRUE(xml.contains("<FirstLaunch>0</FirstLaunch>")) << "the reopening saved";
    EXPECT_TRUE(xml.contains("<Cam Url=\"http://127.0.0.1:9/Alpha\"/>"));
    EXPECT_TRUE(xml.contains(" <LastUsed>\r\n"
                             "  <Item>http://127.0.0.1:9/Beta</Item>\r\n"
                             "  <Item>http://127.0.0.1:9/Gamma</Item>\r\n"
                             "  <Item>http://127.0.0.1:9/Alpha</Item>\r\n"
                             " </LastUsed>"))
        << xml.toStdString();

    main.reset();
    drainDeletes();
    QFile::remove(path);
}

TEST_F(TrayWindow, EveryWayOfShowingAViewerAgainRecordsItAsShownAndHideAllSavesOnce)
{
    QList<TCamWebcam*> cams;
    for (int i = 0; i < 6; ++i)
        cams << addWebcam(CamViewer->Root.Webcams, QStringLiteral("Cam%1").arg(i));
    Main->RebuildTrayMenu();
    for (TCamWebcam* cam : cams)
        Main->OpenViewer(cam, false);
    const QList<TfoViewer*> open = viewers();
    ASSERT_EQ(open.size(), 6);
    int saves = 0;
    const auto listViewers = CamViewer->OnOpenViewers;
    CamViewer->OnOpenViewers = [&] {
        ++saves;
        return listViewers();
    };
    auto run = [&](const char* name) { Main->findChild<QAction*>(name)->trigger(); };

    run("actHideAll");
    EXPECT_EQ(saves, 1) << "one save for the whole command";
    // Each of the ways back: Restore All; the Windows sub-menu's item; the catalogue item; Last
    // viewed.
    run("actRestoreAll");
    run("actSnoozeAll");
    EXPECT_EQ(saves, 2);
    run("actWindow");
    part(*Main, "Windows1")->actions().at(6)->trigger();
    catalogueRegion(*Main).at(1)->trigger();
    Main->Lastviewed1Click();
    for (QAction* item : part(*Main, "Lastviewed1")->actions())
        if (item->text() == "Cam2")
            item->trigger();
    for (int i : {0, 1, 2}) {
        EXPECT_TRUE(open[i]->isVisible()) << i;
        EXPECT_FALSE(open[i]->Snoozed()) << i;
        EXPECT_EQ(open[i]->Webcam().UserState, CamStateShown) << i;
    }
    // A snoozed viewer woken by a new picture.
    open[3]->ImageArrived(JpegCodec::Encode(TBitmap(16, 16), 90));
    EXPECT_TRUE(open[3]->isVisible());
    EXPECT_EQ(open[3]->Webcam().UserState, CamStateShown);

    // What Exit writes.
    ASSERT_TRUE(Main->SaveOptions());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(cams[i]->UserState, i < 4 ? CamStateShown : CamStateSnoozed) << i;
}

TEST_F(TrayWindow, AFailedSaveIsReportedOnceUntilASaveSucceeds)
{
    // Shown reports; each call closes them.
    auto takeReports = [] {
        QStringList texts;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w);
                box && box->objectName() == "SaveFailureBox" && box->isVisible()) {
                texts << box->text();
                box->close();
            }
        drainDeletes();
        return texts;
    };
    Main->OpenViewer(addWebcam(CamViewer->Root.Webcams, "Alpha"), false);
    Main->OpenViewer(addWebcam(CamViewer->Root.Webcams, "Beta"), false);
    // The settings folder is a plain file: nothing can be written below it.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("config-is-a-file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString goodPath = CamViewer->OptionsPath;
    CamViewer->OptionsPath = blocker.fileName() + "/Options.xml";

    Main->findChild<QAction*>("actHideAll")->trigger();
    viewers().first()->actSnoozeExecute();
    const QStringList first = takeReports();
    ASSERT_EQ(first.size(), 1);
    EXPECT_TRUE(first[0].contains("config-is-a-file")) << first[0].toStdString();

    // Saved again, then failing again: a new report.
    CamViewer->OptionsPath = goodPath;
    EXPECT_TRUE(Main->SaveOptions());
    CamViewer->OptionsPath = blocker.fileName() + "/Options.xml";
    EXPECT_FALSE(Main->SaveOptions());
    EXPECT_FALSE(Main->SaveOptions());
    EXPECT_EQ(takeReports().size(), 1);
    CamViewer->OptionsPath = goodPath;
}

TEST_F(TrayWindow, ACatalogueTallerThanTheScreenKeepsEveryItemReachable)
{
    for (int i = 0; i < 500; ++i) {
        TCamCategory* category = CamViewer->Root.Categories.Add();
        category->Name = QStringLiteral("Category %1").arg(i);
        addWebcam(category->Webcams, QStringLiteral("InCategory%1").arg(i));
    }
    for (int i = 0; i < 40; ++i)
        addWebcam(CamViewer->Root.Webcams, QStringLiteral("TopLevel%1").arg(i));
    Main->RebuildTrayMenu();

    // Every level of the menu fits on the screen in one column; the last one of each level but
    // the deepest opens the next.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QStringList reached;
    QMenu* menu = part(*Main, "TrayPopup");
    int levels = 0;
    while (menu) {
        ++levels;
        const QSize size = menu->sizeHint();
        EXPECT_LE(size.height(), screen.height()) << "level " << levels;
        EXPECT_LE(size.width(), screen.width() / 2) << "level " << levels << " runs in columns";
        QMenu* next = nullptr;
        const QList<QAction*> items =
            menu == part(*Main, "TrayPopup") ? catalogueRegion(*Main) : opened(menu);
        for (QAction* item : items) {
            if (item->menu() && item->menu()->objectName() == TTrayMenus::MoreMenuName)
                next = item->menu();
            else
                reached << item->text();
        }
        menu = next;
    }
    EXPECT_GT(levels, 2);
    ASSERT_EQ(reached.size(), 540);
    EXPECT_EQ(reached.first(), "Category 0");
    EXPECT_EQ(reached[499], "Category 499");
    EXPECT_EQ(reached.last(), "TopLevel39");
    // Exit stays on the top level, after the catalogue.
    EXPECT_EQ(part(*Main, "TrayPopup")->actions().last()->objectName(), "Exit1");

    // A catalogue item deep down still opens its viewer.
    QMenu* last = part(*Main, "TrayPopup");
    while (QMenu* more =
               last->findChild<QMenu*>(TTrayMenus::MoreMenuName, Qt::FindDirectChildrenOnly)) {
        last = more;
        emit last->aboutToShow();
    }
    last->actions().last()->trigger();
    ASSERT_EQ(viewers().size(), 1);
    EXPECT_EQ(viewers().first()->Webcam().Name, "TopLevel39");
}

TEST_F(TrayWindow, AHugeCategoryAndGiantNamesKeepEveryMenuSmall)
{
    // One category of 2,000 webcams with a sub-category, a giant category name and a giant
    // webcam name (the catalogue may hold names of megabytes).
    const QString giant = "Giant start " + QString(1024 * 1024, 'g') + " giant end";
    TCamCategory* huge = CamViewer->Root.Categories.Add();
    huge->Name = giant;
    huge->Categories.Add()->Name = "Inner";
    for (int i = 0; i < 2000; ++i)
        addWebcam(huge->Webcams, QStringLiteral("Cam%1").arg(i));
    addWebcam(huge->Webcams, "x")->Name = giant;
    Main->RebuildTrayMenu();

    // Every menu level, opened as the user opens it, is at most a screenful of columns, and no
    // caption or hint is giant; every webcam stays reachable through "More".
    QStringList reached;
    QMenu* menu = catalogueRegion(*Main).first()->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title().size(), MenuCaptionLength);
    EXPECT_TRUE(menu->menuAction()->toolTip().startsWith("Giant start"));
    int levels = 0;
    const int screen = QGuiApplication::primaryScreen()->availableGeometry().height();
    while (menu) {
        ++levels;
        const QList<QAction*> items = opened(menu);
        EXPECT_LE(items.size(), CategoryMenuRoom) << "level " << levels;
        EXPECT_LE(menu->sizeHint().height(), screen) << "level " << levels;
        QMenu* next = nullptr;
        for (QAction* item : items) {
            EXPECT_LE(item->text().size(), MenuCaptionLength);
            EXPECT_LE(item->toolTip().size(), MenuHintLength + MenuHintLength / MenuHintLineLength);
            if (item->menu() && item->menu()->objectName() == TTrayMenus::MoreMenuName)
                next = item->menu();
            else if (!item->menu())
                reached << item->property(TTrayMenus::UrlProperty).toString();
        }
        menu = next;
    }
    EXPECT_GT(levels, 2);
    ASSERT_EQ(reached.size(), 2001);
    EXPECT_EQ(reached.first(), "http://127.0.0.1:9/Cam0");
    EXPECT_EQ(reached.last(), "http://127.0.0.1:9/x");

    // The item of the giant webcam shows its start and end, and opens its viewer.
    QMenu* last = catalogueRegion(*Main).first()->menu();
    while (QMenu* more =
               last->findChild<QMenu*>(TTrayMenus::MoreMenuName, Qt::FindDirectChildrenOnly))
        last = more;
    QAction* giantItem = last->actions().last();
    EXPECT_TRUE(giantItem->text().startsWith("Giant start"));
    EXPECT_TRUE(giantItem->text().endsWith("giant end"));
    giantItem->trigger();
    ASSERT_EQ(viewers().size(), 1);
    EXPECT_EQ(viewers().first()->Webcam().Url, "http://127.0.0.1:9/x");
    // Its viewer's title is shortened the same way; its Windows entry still has the whole name
    // in its hint.
    EXPECT_TRUE(viewers().first()->windowTitle() == giantItem->text());
    Main->findChild<QAction*>("actWindow")->trigger();
    const QAction* entry = part(*Main, "Windows1")->actions().last();
    EXPECT_EQ(entry->text(), giantItem->text());
    EXPECT_TRUE(entry->toolTip().startsWith("Giant start"))
        << entry->toolTip().left(80).toStdString();

    // A catalogue replaced after the rebuild leaves the menu as it was built: a sub-menu first
    // opened later still shows the webcams it was built with.
    Main->RebuildTrayMenu();
    QMenu* fresh = catalogueRegion(*Main).first()->menu();
    CamViewer->Root.Categories.Clear();
    const QList<QAction*> kept = opened(fresh);
    ASSERT_GT(kept.size(), 2);
    EXPECT_EQ(kept[1]->property(TTrayMenus::UrlProperty).toString(), "http://127.0.0.1:9/Cam0");
}
