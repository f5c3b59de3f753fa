// The catalogue editor in the program: opened by the tray window, applied with OK through the
// tray's save path, discarded by Cancel, Escape and the close box.
#include "editor/FormEditCams.h"

#include "GuiTestUtil.h"
#include "ThreadTestUtil.h"
#include "app/FormMain.h"
#include "app/TrayMenus.h"
#include "core/catalog/EditTree.h"
#include "core/catalog/ExchangeFiles.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/catalog/XmlDocument.h"
#include "core/io/Worker.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"
#include "mosaic/ThumbnailTick.h"
#include "viewer/FormViewer.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

QString CamUrl(const QString& name)
{
    // Nobody listens on port 9 of this machine: fetches fail at once.
    return QStringLiteral("http://127.0.0.1:9/") + name + QStringLiteral(".jpg");
}

TCamWebcam* AddCam(TCamCategory& category, const QString& name)
{
    TCamWebcam* cam = category.Webcams.Add();
    cam->Name = name;
    cam->Url = CamUrl(name);
    return cam;
}

TCamCategory* AddCat(TCamCategory& parent, const QString& name)
{
    TCamCategory* category = parent.Categories.Add();
    category->Name = name;
    return category;
}

// Every text of a menu and its sub-menus, depth first; the catalogue's sub-menus are opened, as
// they fill themselves when they first open.
QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << action->text();
        if (QMenu* sub = action->menu()) {
            if (sub->objectName().isEmpty() || sub->objectName() == TTrayMenus::MoreMenuName)
                emit sub->aboutToShow();
            texts << MenuTexts(sub);
        }
    }
    return texts;
}

class EditorWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        QFile::remove(TCamViewer::DefaultOptionsPath());
        RestoreMessageDefaults();
        SetThumbnailTickMilliseconds(10);
        TStartup startup;
        startup.RegisterTypes = false;
        Main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
        ASSERT_NE(CamViewer, nullptr);
        // Europe { France { paris }, Belgium { brussels }, lyon }, top
        TCamCategory& root = CamViewer->Root;
        TCamCategory* europe = AddCat(root, "Europe");
        AddCam(*AddCat(*europe, "France"), "paris");
        AddCam(*AddCat(*europe, "Belgium"), "brussels");
        TCamWebcam* lyon = AddCam(*europe, "lyon");
        lyon->LastId = 41;
        lyon->UserLeft = 12;
        lyon->UserTop = 34;
        lyon->UserState = CamStateSnoozed;
        AddCam(root, "top");
        Main->RebuildTrayMenu();
    }
    void TearDown() override
    {
        Main.reset();
        drainDeletes();
        EXPECT_TRUE(TFormList::Windows().isEmpty());
        EXPECT_TRUE(PumpUntil([] { return FeedsIdle(); }, 15000));
        QFile::remove(TCamViewer::DefaultOptionsPath());
    }

    TfoEditCams* OpenEditor()
    {
        Main->actEditExecute();
        const QList<TfoEditCams*> editors = TFormList::Of<TfoEditCams>();
        EXPECT_EQ(editors.size(), 1);
        return editors.value(0);
    }
    // The node at a path of texts from the top level.
    static QModelIndex Node(TfoEditCams* editor, const QStringList& path)
    {
        const TCamEditTree* tree = editor->Tree();
        QModelIndex index;
        for (const QString& text : path)
            index =
                tree->match(tree->index(0, 0, index), Qt::DisplayRole, text, 1, Qt::MatchExactly)
                    .value(0);
        return index;
    }
    template <class T> static T* Part(TfoEditCams* editor, const char* name)
    {
        return editor->findChild<T*>(QLatin1String(name));
    }
    static void Click(TfoEditCams* editor, const char* button)
    {
        Part<QPushButton>(editor, button)->click();
    }
    // A key pressed in a control; what the control leaves goes on to its window.
    static void Press(QWidget* control, Qt::Key key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(control, &press);
    }
    QStringList TrayTexts() const
    {
        return MenuTexts(Main->findChild<QMenu*>(QStringLiteral("TrayPopup")));
    }
    static bool Saved() { return QFile::exists(TCamViewer::DefaultOptionsPath()); }
    QByteArray Catalogue() const { return WriteXml(*CamViewer->Root.SaveToXml()); }

    QTemporaryDir Dir;
    std::unique_ptr<TfoCamMain> Main;
};

} // namespace

TEST_F(EditorWindow, OkWithoutAChangeSavesAndKeepsEveryCatalogueObject)
{
    QPointer<TfoEditCams> editor = OpenEditor();
    ASSERT_TRUE(editor);
    // A second "Edit List..." brings the same window.
    EXPECT_EQ(OpenEditor(), editor.data());
    const TCamWebcam* lyon = CamViewer->Root.Categories.Items(0)->Webcams.Items(0);
    const QByteArray before = Catalogue();
    Click(editor, "OkButton");
    EXPECT_TRUE(Saved());
    EXPECT_EQ(CamViewer->Root.Categories.Items(0)->Webcams.Items(0), lyon);
    EXPECT_EQ(Catalogue(), before);
    drainDeletes();
    EXPECT_FALSE(editor);
}

TEST_F(EditorWindow, AddsWithoutASelectionGoToTheTopLevelAndANewWebcamKeepsItsDefaultsThroughOk)
{
    TfoEditCams* editor = OpenEditor();
    // Nothing selected (an empty catalogue has nothing to select): the top level.
    ASSERT_FALSE(editor->Selected().isValid());
    Click(editor, "AddCamButton");
    EXPECT_EQ(editor->Tree()->rowCount(), 3);
    EXPECT_EQ(editor->Selected(), Node(editor, {"New Webcam"}));
    EXPECT_TRUE(editor->Modified());
    Click(editor, "DeleteButton");
    EXPECT_EQ(editor->Tree()->rowCount(), 2);

    // With the top-level webcam selected, the new category goes to the top level.
    editor->Select(Node(editor, {"top"}));
    Click(editor, "AddButton");
    EXPECT_EQ(editor->Selected(), Node(editor, {"New Category"}));
    EXPECT_EQ(editor->focusWidget(), Part<QLineEdit>(editor, "CatName"));
    Click(editor, "AddCamButton");
    EXPECT_EQ(Part<QStackedWidget>(editor, "Pages")->currentWidget()->objectName(), "CamSheet");
    EXPECT_EQ(Part<QLineEdit>(editor, "CamUrl")->text(), "http://");
    Click(editor, "OkButton");

    const TCamCategory& root = CamViewer->Root;
    ASSERT_EQ(root.Categories.Count(), 2);
    ASSERT_EQ(root.Categories.Items(1)->Webcams.Count(), 1);
    const TCamWebcam& added = *root.Categories.Items(1)->Webcams.Items(0);
    EXPECT_EQ(root.Categories.Items(1)->Name, "New Category");
    EXPECT_EQ(added.Name, "New Webcam");
    EXPECT_EQ(added.Url, "http://");
    EXPECT_EQ(added.Refresh, 30);
    EXPECT_TRUE(TrayTexts().contains("New Category"));
}

TEST_F(EditorWindow, EditsThenCancelEscapeOrTheCloseBoxChangeNothing)
{
    const QByteArray before = Catalogue();
    const QStringList menu = TrayTexts();
    const std::function<void(TfoEditCams*)> leaves[] = {
        [](TfoEditCams* editor) { Click(editor, "CancelButton"); },
        [](TfoEditCams* editor) { Press(Part<QLineEdit>(editor, "CamName"), Qt::Key_Escape); },
        [](TfoEditCams* editor) { editor->close(); },
    };
    for (const auto& leave : leaves) {
        // Each editor is filled afresh from the catalogue, not from the discarded tree.
        QPointer<TfoEditCams> editor = OpenEditor();
        editor->Select(Node(editor, {"Europe"}));
        EXPECT_EQ(Part<QLineEdit>(editor, "CatName")->text(), "Europe");
        Part<QLineEdit>(editor, "CatName")->setText("Europa");
        editor->Select(Node(editor, {"Europa", "lyon"}));
        Part<QLineEdit>(editor, "CamName")->setText("Lyon");
        Part<QSpinBox>(editor, "CamRefresh")->setValue(12);
        EXPECT_EQ(editor->Tree()->Node(Node(editor, {"Europa", "Lyon"}))->Cam->Refresh, 12);
        editor->Select(Node(editor, {"top"}));
        Click(editor, "DeleteButton");
        // Enter in a field neither applies the tree nor closes the editor.
        Press(Part<QLineEdit>(editor, "CamName"), Qt::Key_Return);
        ASSERT_TRUE(editor && editor->isVisible());
        leave(editor);
        drainDeletes();
        EXPECT_FALSE(editor);
        EXPECT_EQ(Catalogue(), before);
        EXPECT_EQ(TrayTexts(), menu);
        EXPECT_FALSE(Saved());
    }
}

TEST_F(EditorWindow, MovesKeepTheWebcamsStateAndOpenWindowsFollowTheApply)
{
    // An open viewer, chooser and mosaic hold no catalogue object across the apply.
    Main->OpenViewer(CamUrl("lyon"), false);
    Main->findChild<QSystemTrayIcon*>()->activated(QSystemTrayIcon::Trigger);
    Main->actMireExecute();
    TfoChoose* chooser = TFormList::Of<TfoChoose>().value(0);
    TfoMire* mosaic = TFormList::Of<TfoMire>().value(0);
    ASSERT_TRUE(chooser && mosaic && TfoViewer::Viewers().size() == 1);

    TfoEditCams* editor = OpenEditor();
    // A category dropped on its own child stays where it was.
    editor->Select(Node(editor, {"Europe"}));
    editor->CamListDragDrop(Node(editor, {"Europe", "France"}));
    EXPECT_FALSE(editor->Modified());
    // lyon into Belgium, before brussels; top between France and Belgium.
    editor->Select(Node(editor, {"Europe", "lyon"}));
    editor->CamListDragDrop(Node(editor, {"Europe", "Belgium", "brussels"}));
    editor->Select(Node(editor, {"top"}));
    editor->CamListDragDrop(Node(editor, {"Europe", "Belgium"}));
    EXPECT_EQ(Node(editor, {"Europe", "top"}).row(), 1);
    Click(editor, "OkButton");

    const TCamCategory& europe = *CamViewer->Root.Categories.Items(0);
    EXPECT_EQ(CamViewer->Root.Webcams.Count(), 0);
    // The webcam placed among the sub-categories comes after them.
    ASSERT_EQ(europe.Webcams.Count(), 1);
    EXPECT_EQ(europe.Webcams.Items(0)->Name, "top");
    const TCamWebcams& belgium = europe.Categories.Items(1)->Webcams;
    ASSERT_EQ(belgium.Count(), 2);
    EXPECT_EQ(belgium.Items(0)->Name, "lyon");
    EXPECT_EQ(belgium.Items(0)->LastId, 41);
    EXPECT_EQ(belgium.Items(0)->UserLeft, 12);
    EXPECT_EQ(belgium.Items(0)->UserState, CamStateSnoozed);
    EXPECT_TRUE(Saved());

    // The chooser reloaded its tree; the mosaic and the viewer keep their own copies.
    auto* tree = chooser->findChild<QTreeWidget*>(QStringLiteral("CamTree"));
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    tree->setCurrentItem(tree->topLevelItem(0));
    EXPECT_EQ(chooser->findChild<QListWidget*>(QStringLiteral("CamList"))->count(), 1);
    EXPECT_EQ(mosaic->List()[0].Url, CamUrl("top"));
    EXPECT_TRUE(mosaic->IsFetching());
    EXPECT_EQ(TfoViewer::Viewers().value(0)->Webcam().LastId, 41);
}

TEST_F(EditorWindow, ExportThenImportGivesTheSameCatalogueAndAFailedWriteIsReported)
{
    TfoEditCams* editor = OpenEditor();
    editor->Select(Node(editor, {"Europe"}));
    // The filter is the language's (a message text).
    const QString englishFilter = CamListFilter;
    CamListFilter = "Webcamliste (*.cal)";
    Click(editor, "ExportButton");
    CamListFilter = englishFilter;
    auto* dialog = editor->findChild<QFileDialog*>(QStringLiteral("SaveDialog1"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->defaultSuffix(), "cal");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Webcamliste (*.cal)"});
    dialog->reject();

    // Exported with an edit not yet applied; read back and exported again: the same bytes.
    editor->Select(Node(editor, {"Europe", "France", "paris"}));
    Part<QLineEdit>(editor, "CamReferer")->setText("http://127.0.0.1:9/");
    const auto exportTo = [editor](const QStringList& node, const QString& path) {
        editor->Select(Node(editor, node));
        editor->SaveDialog1Accepted(path);
        EXPECT_TRUE(PumpUntil([editor] { return !editor->Exporting(); }));
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    for (const QStringList& node :
         {QStringList{"Europe"}, QStringList{"Europe", "France", "paris"}}) {
        const QByteArray first = exportTo(node, Dir.filePath("first"));
        // The referer as an element (.cam) or an attribute (.cal).
        EXPECT_TRUE(first.contains(">http://127.0.0.1:9/<") ||
                    first.contains("\"http://127.0.0.1:9/\""));
        TCamCategory imported;
        ASSERT_NE(TCamExchange::ImportBytes(first, imported, {}), TImportResult::Nothing);
        TCamEditTree again;
        again.LoadTree(imported);
        const QModelIndex back =
            node.size() == 1 ? again.index(0, 0) : again.FindWebcam(CamUrl("paris"));
        EXPECT_EQ(again.ExportDocument(back), first);
    }

    // A file below a plain file cannot be written: the reason is shown and the editor stays.
    QFile(Dir.filePath("first")).copy(Dir.filePath("plain"));
    exportTo({"Europe"}, Dir.filePath("plain/europe.cal"));
    auto* box = editor->findChild<QMessageBox*>(QStringLiteral("ExportFailureBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(Dir.filePath("plain/europe.cal")));
    EXPECT_FALSE(box->text().contains("%error%"));
    EXPECT_TRUE(editor->isVisible());
}

TEST_F(EditorWindow, EditWebcamOpensOneEditorOnTheWebcamOfThatUrl)
{
    Main->EditWebcam(CamUrl("brussels"));
    TfoEditCams* editor = TFormList::Of<TfoEditCams>().value(0);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Selected(), Node(editor, {"Europe", "Belgium", "brussels"}));
    EXPECT_EQ(Part<QLineEdit>(editor, "CamUrl")->text(), CamUrl("brussels"));
    // The same window, another webcam; an unknown address leaves the selection.
    Main->EditWebcam(CamUrl("paris"));
    Main->EditWebcam(CamUrl("nowhere"));
    EXPECT_EQ(TFormList::Of<TfoEditCams>().size(), 1);
    EXPECT_EQ(editor->Selected(), Node(editor, {"Europe", "France", "paris"}));
}

TEST_F(EditorWindow, OkGivesAnOpenViewerTheEditedNameAtOnce)
{
    Main->OpenViewer(CamUrl("lyon"), false);
    ASSERT_EQ(TFormList::Of<TfoViewer>().size(), 1);
    TfoViewer* viewer = TFormList::Of<TfoViewer>().first();
    EXPECT_EQ(viewer->windowTitle(), "lyon");
    TfoEditCams* editor = OpenEditor();
    editor->Select(Node(editor, {"Europe", "lyon"}));
    Part<QLineEdit>(editor, "CamName")->setText("Lyon (Fourvière)");
    Click(editor, "OkButton");
    // Title, status bar and the tray's Windows entry follow without a restart.
    EXPECT_EQ(viewer->windowTitle(), "Lyon (Fourvière)");
    EXPECT_EQ(viewer->Webcam().Name, "Lyon (Fourvière)");
    Main->findChild<QAction*>("actWindow")->trigger();
    QStringList windows;
    for (const QAction* a : Main->findChild<QMenu*>("Windows1")->actions())
        windows << a->text();
    EXPECT_TRUE(windows.contains("Lyon (Fourvière)")) << windows.join('|').toStdString();
}
