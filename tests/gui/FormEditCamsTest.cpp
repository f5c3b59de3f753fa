// The catalogue editor in the program: opened by the tray window, applied with OK through the
// tray's save path, discarded by Cancel, Escape and the close box.
#include "editor/FormEditCams.h"

#include "GuiTestUtil.h"
#include "ThreadTestUtil.h"
#include "app/FormMain.h"
#include "core/catalog/ClassEditTree.h"
#include "core/catalog/ClassExchange.h"
#include "core/catalog/ClassViewer.h"
#include "core/catalog/Strings.h"
#include "core/catalog/XmlDocument.h"
#include "core/net/ClassWorker.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

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
    cam->Refresh = 30;
    return cam;
}

TCamCategory* AddCat(TCamCategory& parent, const QString& name)
{
    TCamCategory* category = parent.Categories.Add();
    category->Name = name;
    return category;
}

// Every text of a menu and its sub-menus, depth first.
QStringList MenuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << action->text();
        if (action->menu())
            texts << MenuTexts(action->menu());
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
        TfoChoose::SetTickMilliseconds(10);
        TfoMire::SetTickMilliseconds(10);
        TStartup startup;
        startup.RegisterTypes = false;
        Main = std::make_unique<TfoCamMain>(startup);
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
        EXPECT_TRUE(TSForm::Forms().isEmpty());
        EXPECT_TRUE(PumpUntil([] { return RunningWorkers() == 0; }, 15000));
        QFile::remove(TCamViewer::DefaultOptionsPath());
    }

    TfoEditCams* OpenEditor()
    {
        Main->actEditExecute();
        const QList<TfoEditCams*> editors = openForms<TfoEditCams>();
        EXPECT_EQ(editors.size(), 1);
        return editors.value(0);
    }
    // The node at a path of texts from the top level.
    static QModelIndex Node(TfoEditCams* editor, const QStringList& path)
    {
        const TCamEditTree* tree = editor->Tree();
        QModelIndex index;
        for (const QString& text : path) {
            QModelIndex found;
            for (int row = 0; row < tree->rowCount(index) && !found.isValid(); ++row)
                if (tree->index(row, 0, index).data().toString() == text)
                    found = tree->index(row, 0, index);
            EXPECT_TRUE(found.isValid()) << text.toStdString();
            index = found;
        }
        return index;
    }
    template <class T> static T* Part(TfoEditCams* editor, const char* name)
    {
        T* found = editor->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void Click(TfoEditCams* editor, const char* button)
    {
        Part<QPushButton>(editor, button)->click();
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
    EXPECT_TRUE(Main->findChild<QAction*>(QStringLiteral("actEdit"))->isEnabled());
    QPointer<TfoEditCams> editor = OpenEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->objectName(), "foEditCams");
    // A second "Edit List..." brings the same window.
    EXPECT_EQ(OpenEditor(), editor.data());
    EXPECT_EQ(Part<QStackedWidget>(editor, "Pages")->currentWidget()->objectName(), "NullSheet");

    const TCamWebcam* lyon = CamViewer->Root.Categories.Items(0)->Webcams.Items(0);
    const QByteArray before = Catalogue();
    ASSERT_FALSE(Saved());
    Click(editor, "OkButton");
    EXPECT_TRUE(Saved());
    EXPECT_EQ(CamViewer->Root.Categories.Items(0)->Webcams.Items(0), lyon);
    EXPECT_EQ(Catalogue(), before);
    drainDeletes();
    EXPECT_FALSE(editor);
}

TEST_F(EditorWindow, AddsNeedASelectionAndANewWebcamKeepsItsDefaultsThroughOk)
{
    TfoEditCams* editor = OpenEditor();
    Click(editor, "AddButton");
    Click(editor, "AddCamButton");
    EXPECT_EQ(editor->Tree()->rowCount(), 2);
    EXPECT_FALSE(editor->Modified());

    // With the top-level webcam selected, the new category goes to the top level.
    editor->Select(Node(editor, {"top"}));
    Click(editor, "AddButton");
    EXPECT_EQ(editor->Tree()->rowCount(), 3);
    EXPECT_EQ(editor->Selected(), Node(editor, {"New Category"}));
    EXPECT_EQ(Part<QStackedWidget>(editor, "Pages")->currentWidget()->objectName(), "CatSheet");
    EXPECT_EQ(editor->focusWidget(), Part<QLineEdit>(editor, "CatName"));
    Click(editor, "AddCamButton");
    EXPECT_EQ(Part<QLineEdit>(editor, "CamName")->text(), "New Webcam");
    EXPECT_EQ(Part<QLineEdit>(editor, "CamUrl")->text(), "http://");
    EXPECT_EQ(Part<QSpinBox>(editor, "CamRefresh")->value(), 30);
    EXPECT_EQ(editor->focusWidget(), Part<QLineEdit>(editor, "CamName"));
    Click(editor, "OkButton");

    const TCamCategory& root = CamViewer->Root;
    ASSERT_EQ(root.Categories.Count(), 2);
    const TCamCategory& added = *root.Categories.Items(1);
    EXPECT_EQ(added.Name, "New Category");
    ASSERT_EQ(added.Webcams.Count(), 1);
    EXPECT_EQ(added.Webcams.Items(0)->Name, "New Webcam");
    EXPECT_EQ(added.Webcams.Items(0)->Url, "http://");
    EXPECT_EQ(added.Webcams.Items(0)->Refresh, 30);
    EXPECT_EQ(root.Webcams.Items(0)->Name, "top");
    EXPECT_TRUE(Saved());
    EXPECT_TRUE(TrayTexts().contains("New Category"));
}

TEST_F(EditorWindow, EditsThenCancelEscapeOrTheCloseBoxChangeNothing)
{
    const QByteArray before = Catalogue();
    const QStringList menu = TrayTexts();
    // Each way of leaving without OK.
    const std::function<void(TfoEditCams*)> leaves[] = {
        [](TfoEditCams* editor) { Click(editor, "CancelButton"); },
        [](TfoEditCams* editor) {
            auto* escape = editor->findChild<QShortcut*>();
            ASSERT_NE(escape, nullptr);
            EXPECT_EQ(escape->key(), QKeySequence(Qt::Key_Escape));
            emit escape->activated();
        },
        [](TfoEditCams* editor) { editor->close(); },
    };
    for (const auto& leave : leaves) {
        QPointer<TfoEditCams> editor = OpenEditor();
        ASSERT_TRUE(editor);
        // Opened afresh from the catalogue, not from the discarded tree.
        editor->Select(Node(editor, {"Europe"}));
        EXPECT_EQ(Part<QLineEdit>(editor, "CatName")->text(), "Europe");
        Part<QLineEdit>(editor, "CatName")->setText("Europa");
        EXPECT_EQ(Node(editor, {"Europa"}).data().toString(), "Europa");
        editor->Select(Node(editor, {"Europa", "lyon"}));
        Part<QLineEdit>(editor, "CamName")->setText("Lyon");
        Part<QSpinBox>(editor, "CamRefresh")->setValue(12);
        EXPECT_EQ(editor->Tree()->Node(Node(editor, {"Europa", "Lyon"}))->Cam->Refresh, 12);
        editor->Select(Node(editor, {"top"}));
        Click(editor, "DeleteButton");
        EXPECT_TRUE(editor->Modified());
        leave(editor);
        drainDeletes();
        EXPECT_FALSE(editor);
        EXPECT_EQ(Catalogue(), before);
        EXPECT_EQ(TrayTexts(), menu);
        EXPECT_FALSE(Saved());
    }
}

TEST_F(EditorWindow, MovesKeepTheWebcamsStateAndOpenBrowsersFollowTheApply)
{
    // An open chooser and mosaic hold no catalogue object across the apply.
    Main->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"))
        ->activated(QSystemTrayIcon::Trigger);
    Main->actMireExecute();
    TfoChoose* chooser = openForms<TfoChoose>().value(0);
    TfoMire* mosaic = openForms<TfoMire>().value(0);
    ASSERT_TRUE(chooser && mosaic);
    ASSERT_EQ(mosaic->List().size(), 4u);

    TfoEditCams* editor = OpenEditor();
    // A category dropped on its own child stays where it was.
    editor->Select(Node(editor, {"Europe"}));
    editor->CamListDragDrop(Node(editor, {"Europe", "France"}));
    EXPECT_FALSE(editor->Modified());
    EXPECT_EQ(Node(editor, {"Europe"}).row(), 0);
    // lyon into Belgium, before brussels; top between France and Belgium.
    editor->Select(Node(editor, {"Europe", "lyon"}));
    EXPECT_TRUE(editor->CamListDragOver(Node(editor, {"Europe", "Belgium", "brussels"})));
    editor->CamListDragDrop(Node(editor, {"Europe", "Belgium", "brussels"}));
    EXPECT_EQ(editor->Selected(), Node(editor, {"Europe", "Belgium", "lyon"}));
    editor->Select(Node(editor, {"top"}));
    editor->CamListDragDrop(Node(editor, {"Europe", "Belgium"}));
    EXPECT_EQ(Node(editor, {"Europe", "top"}).row(), 1);
    EXPECT_TRUE(editor->Modified());
    Click(editor, "OkButton");

    const TCamCategory& europe = *CamViewer->Root.Categories.Items(0);
    EXPECT_EQ(CamViewer->Root.Webcams.Count(), 0);
    ASSERT_EQ(europe.Categories.Count(), 2);
    // The webcam placed among the sub-categories comes after them.
    ASSERT_EQ(europe.Webcams.Count(), 1);
    EXPECT_EQ(europe.Webcams.Items(0)->Name, "top");
    const TCamCategory& belgium = *europe.Categories.Items(1);
    ASSERT_EQ(belgium.Webcams.Count(), 2);
    const TCamWebcam& lyon = *belgium.Webcams.Items(0);
    EXPECT_EQ(lyon.Name, "lyon");
    EXPECT_EQ(lyon.LastId, 41);
    EXPECT_EQ(lyon.UserLeft, 12);
    EXPECT_EQ(lyon.UserTop, 34);
    EXPECT_EQ(lyon.UserState, CamStateSnoozed);
    EXPECT_TRUE(Saved());

    // The chooser reloaded its tree; the mosaic keeps its own copies and goes on fetching.
    auto* tree = chooser->findChild<QTreeWidget*>(QStringLiteral("CamTree"));
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    tree->setCurrentItem(tree->topLevelItem(0));
    EXPECT_EQ(chooser->findChild<QListWidget*>(QStringLiteral("CamList"))->count(), 1);
    EXPECT_EQ(mosaic->List()[0].Url, CamUrl("top"));
    EXPECT_TRUE(mosaic->IsFetching());
}

TEST_F(EditorWindow, ExportThenImportGivesTheSameCatalogueAndAFailedWriteIsReported)
{
    TfoEditCams* editor = OpenEditor();
    editor->Select(Node(editor, {"Europe"}));
    Click(editor, "ExportButton");
    auto* dialog = editor->findChild<QFileDialog*>(QStringLiteral("SaveDialog1"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->defaultSuffix(), "cal");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Cam List (*.cal)"});
    dialog->reject();

    // An edit not yet applied is exported.
    editor->Select(Node(editor, {"Europe", "France", "paris"}));
    Part<QLineEdit>(editor, "CamReferer")->setText("http://127.0.0.1:9/");
    editor->Select(Node(editor, {"Europe"}));
    const QString cal = Dir.filePath("europe.cal");
    editor->SaveDialog1Accepted(cal);
    ASSERT_TRUE(PumpUntil([editor] { return !editor->Exporting(); }));
    QFile file(cal);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.readAll();
    EXPECT_TRUE(first.contains("Referer=\"http://127.0.0.1:9/\""));

    TCamCategory imported;
    ASSERT_EQ(TCamExchange::ImportFile(cal, imported, {}), TImportResult::CategoryList);
    TCamEditTree again;
    again.LoadTree(imported);
    EXPECT_EQ(again.ExportDocument(again.index(0, 0)), first);

    // A webcam goes to a .cam file; reading it back and exporting again gives the same bytes.
    editor->Select(Node(editor, {"Europe", "Belgium", "brussels"}));
    const QString cam = Dir.filePath("brussels.cam");
    editor->SaveDialog1Accepted(cam);
    ASSERT_TRUE(PumpUntil([editor] { return !editor->Exporting(); }));
    TCamCategory single;
    ASSERT_EQ(TCamExchange::ImportFile(cam, single, {}), TImportResult::Webcam);
    TCamEditTree one;
    one.LoadTree(single);
    const QModelIndex back = one.FindWebcam(CamUrl("brussels"));
    ASSERT_TRUE(back.isValid());
    QFile camFile(cam);
    ASSERT_TRUE(camFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(one.ExportDocument(back), camFile.readAll());

    // A file below a plain file cannot be written: the reason is shown and the editor stays.
    QFile blocker(Dir.filePath("plain"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    editor->SaveDialog1Accepted(Dir.filePath("plain/brussels.cam"));
    ASSERT_TRUE(PumpUntil([editor] { return !editor->Exporting(); }));
    auto* box = editor->findChild<QMessageBox*>(QStringLiteral("ExportFailureBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(Dir.filePath("plain/brussels.cam")));
    EXPECT_FALSE(box->text().contains("%error%"));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(Saved());
}

TEST_F(EditorWindow, EditWebcamOpensOneEditorOnTheWebcamOfThatUrl)
{
    Main->EditWebcam(CamUrl("brussels"));
    TfoEditCams* editor = openForms<TfoEditCams>().value(0);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Selected(), Node(editor, {"Europe", "Belgium", "brussels"}));
    EXPECT_EQ(Part<QStackedWidget>(editor, "Pages")->currentWidget()->objectName(), "CamSheet");
    EXPECT_EQ(Part<QLineEdit>(editor, "CamUrl")->text(), CamUrl("brussels"));
    EXPECT_TRUE(editor->isVisible());
    // The same window, another webcam; an unknown address leaves the selection.
    Main->EditWebcam(CamUrl("paris"));
    EXPECT_EQ(openForms<TfoEditCams>().size(), 1);
    EXPECT_EQ(editor->Selected(), Node(editor, {"Europe", "France", "paris"}));
    Main->EditWebcam(CamUrl("nowhere"));
    EXPECT_EQ(editor->Selected(), Node(editor, {"Europe", "France", "paris"}));
    EXPECT_FALSE(editor->Modified());
}
