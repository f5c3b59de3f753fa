// The chooser and the mosaic against webcams served on 127.0.0.1.
#include "GuiTestUtil.h"
#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "app/FormMain.h"
#include "base/StatusBar.h"
#include "base/Translator.h"
#include "base/TrayHost.h"
#include "base/Window.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/image/JpegCodec.h"
#include "core/io/Dispatcher.h"
#include "core/io/Worker.h"
#include "core/net/WorkPool.h"
#include "core/rules/CamHint.h"
#include "core/rules/MenuColumns.h"
#include "core/rules/MosaicGeometry.h"
#include "editor/FormEditCams.h"
#include "mosaic/DrawGrid.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"
#include "mosaic/ThumbnailTick.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>

namespace {

QByteArray jpegOf(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    TBitmap bitmap(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.Row(y) + x * 3;
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    return JpegCodec::Encode(bitmap, 90);
}

// Paths: /red*.jpg and /blue*.jpg 320 x 240 pictures of that colour, dated when the tests began
// (the same date every time, less than a minute ago); /wide.jpg a
// 400 x 100 green one, undated; /slow*.jpg a red picture sent in slow pieces; anything else 404.
TTestResponse Serve(const TTestRequest& request)
{
    static const QByteArray red = jpegOf(320, 240, 255, 0, 0);
    static const QByteArray blue = jpegOf(320, 240, 0, 0, 255);
    static const QByteArray wide = jpegOf(400, 100, 0, 255, 0);
    static const std::string date = HttpDate(std::time(nullptr));
    TTestResponse r;
    // A client that drops the connection after the headers gets no body, and none is counted.
    r.HeaderGapMs = 100;
    const std::string& path = request.Target;
    if (path.rfind("/red", 0) == 0 || path.rfind("/slow", 0) == 0) {
        r.Body = red.toStdString();
        r.Headers = {{"Last-Modified", date}};
        if (path.rfind("/slow", 0) == 0) {
            r.Mode = TTestResponse::Trickle;
            r.TrickleChunk = 64;
            r.TrickleDelayMs = 20;
        }
    } else if (path.rfind("/blue", 0) == 0) {
        r.Body = blue.toStdString();
        r.Headers = {{"Last-Modified", date}};
    } else if (path == "/wide.jpg") {
        r.Body = wide.toStdString();
    } else {
        r.Status = 404;
        r.Body = "missing";
    }
    return r;
}

// What the windows ask of the tray window.
struct TFakeTray : ITrayHost
{
    QStringList Opened;
    bool AppliedState = false;
    int Rebuilds = 0;
    bool RefreshedChooser = true;
    int Saves = 0;
    QStringList Edited;
    void OpenViewer(const QString& url, bool applySavedState) override
    {
        Opened << url;
        AppliedState = applySavedState;
    }
    void OpenViewer(TCamWebcam* webcam, bool applySavedState) override
    {
        Opened << webcam->Url;
        AppliedState = applySavedState;
    }
    void RebuildTrayMenu(bool refreshChooser) override
    {
        ++Rebuilds;
        RefreshedChooser = refreshChooser;
    }
    void EditList() override {}
    void EditWebcam(const QString& url) override { Edited << url; }
    void AddWebcam() override {}
    void ImportList(const QString&) override {}
    void CloseViewers(const QStringList& urls) override { Closed << urls; }
    QStringList Closed;
    bool SaveOptions() override
    {
        ++Saves;
        return true;
    }
};

class BrowseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        settings.OptionsPath = dir.filePath("Options.xml");
        CamViewer = &settings;
        SetTrayHost(&tray);
        RestoreMessageDefaults();
        SetThumbnailTickMilliseconds(10);
    }
    void TearDown() override
    {
        for (TSForm* form : TFormList::Of<TSForm>())
            delete form;
        SetTrayHost(nullptr);
        CamViewer = nullptr;
        EXPECT_TRUE(PumpUntil([] { return FeedsIdle(); }, 15000));
    }
    TCamCategory* AddCategory(TCamCategory& parent, const QString& name, const QStringList& paths)
    {
        TCamCategory* category = parent.Categories.Add();
        category->Name = name;
        for (const QString& path : paths) {
            TCamWebcam* webcam = category->Webcams.Add();
            webcam->Name = path.mid(1).section('.', 0, 0);
            webcam->Url = server.Url(path);
        }
        return category;
    }
    void Choose(TfoChoose* chooser, const QString& name)
    {
        auto* tree = chooser->findChild<QTreeWidget*>("CamTree");
        const QList<QTreeWidgetItem*> found =
            tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        tree->setCurrentItem(found.first());
    }
    static QRgb CentreOf(const QPixmap& pixmap)
    {
        const QImage image = pixmap.toImage();
        return image.pixel(image.width() / 2, image.height() / 2);
    }

    QTemporaryDir dir;
    TCamViewer settings;
    TFakeTray tray;
    TTestHttpServer server{Serve};
};

TEST_F(BrowseTest, ChooserFetchesEachThumbnailOnceInListOrderAndMarksFreshOnesOnline)
{
    AddCategory(settings.Root, "Empty", {});
    TCamCategory* mixed =
        AddCategory(settings.Root, "Mixed", {"/red1.jpg", "/missing", "/wide.jpg"});
    AddCategory(*mixed, "Sub", {"/blue1.jpg"});
    auto* chooser = CreateForm<TfoChoose>();
    auto* list = chooser->findChild<QListWidget*>("CamList");
    auto* tree = chooser->findChild<QTreeWidget*>("CamTree");
    // Sub-categories stand below their parent.
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->child(0)->text(0), "Sub");

    Choose(chooser, "Empty");
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(chooser->IsFetching());

    Choose(chooser, "Mixed");
    ASSERT_EQ(list->count(), 3);
    // Before its thumbnail: no date known, and a clear picture of the thumbnail's size holds the
    // caption where it will stay.
    EXPECT_TRUE(chooser->CamListInfoTip(list->item(0)).endsWith(Unknow));
    EXPECT_EQ(list->item(2)->icon().actualSize(QSize(200, 200)), QSize(120, 90));
    ASSERT_TRUE(PumpUntil([&] { return !chooser->IsFetching(); }));
    ASSERT_EQ(chooser->CamImages().size(), 3);
    EXPECT_EQ(server.Requests(), 3);
    const std::vector<TTestRequest> log = server.Log();
    EXPECT_EQ(log[0].Target, "/red1.jpg");
    EXPECT_EQ(log[1].Target, "/missing");
    EXPECT_EQ(log[2].Target, "/wide.jpg");

    // A fresh dated image is online; a failed fetch shows the error picture; an undated one is
    // not online, and its bars above and below are transparent.
    EXPECT_EQ(list->item(0)->text(), "red1" + OnlineText);
    EXPECT_EQ(list->item(1)->text(), "missing");
    EXPECT_EQ(list->item(2)->text(), "wide");
    EXPECT_GT(qRed(CentreOf(chooser->CamImages()[0])), 240);
    EXPECT_EQ(chooser->CamImages()[1].toImage(), TfoChoose::MakeThumbnail(QImage()).toImage());
    const QImage wide = chooser->CamImages()[2].toImage();
    EXPECT_EQ(qAlpha(wide.pixel(60, 5)), 0);
    EXPECT_GT(qGreen(wide.pixel(60, 45)), 200);
    EXPECT_EQ(qAlpha(wide.pixel(60, 45)), 255);
    // The hover text carries the date of the last answer, or "Unknown" after a failure.
    EXPECT_FALSE(chooser->CamListInfoTip(list->item(0)).endsWith(Unknow));
    // After a failure the date is unknown and a last line says why.
    const QString failed = chooser->CamListInfoTip(list->item(1));
    EXPECT_TRUE(failed.contains(Unknow)) << failed.toStdString();
    EXPECT_TRUE(failed.section(QLatin1Char('\n'), -1).contains(": 404 ")) << failed.toStdString();
    EXPECT_FALSE(chooser->CamListInfoTip(list->item(0)).contains(FailureHint.section('%', 0, 0)));
}

TEST_F(BrowseTest, ChooserCaptionsAndDatesFollowALanguageChosenWhileItIsOpen)
{
    TCamCategory* mixed = AddCategory(settings.Root, "Mixed", {"/red1.jpg", "/missing"});
    auto* chooser = CreateForm<TfoChoose>();
    auto* list = chooser->findChild<QListWidget*>("CamList");
    Choose(chooser, "Mixed");
    ASSERT_TRUE(PumpUntil([&] { return !chooser->IsFetching(); }));
    ASSERT_EQ(list->item(0)->text(), "red1" + OnlineText);

    // French, then German, while the thumbnails stay: the captions and the hover texts' dates
    // are made again in each.
    const QDateTime updated = mixed->Webcams.Items(0)->LastUpdate;
    ASSERT_TRUE(updated.isValid());
    OnlineText = " (en ligne)";
    ASSERT_TRUE(PvTranslator().TranslateBytes(R"(<Language Locale="fr_FR"/>)"));
    ASSERT_TRUE(PumpUntil([&] { return list->item(0)->text() == "red1 (en ligne)"; }));
    EXPECT_EQ(list->item(1)->text(), "missing");
    EXPECT_TRUE(chooser->CamListInfoTip(list->item(0))
                    .contains(CamHintDate(updated, QLocale(QLocale::French))));
    OnlineText = " (online)";
    ASSERT_TRUE(PvTranslator().TranslateBytes(R"(<Language Locale="de_DE"/>)"));
    ASSERT_TRUE(PumpUntil([&] { return list->item(0)->text() == "red1 (online)"; }));
    EXPECT_TRUE(chooser->CamListInfoTip(list->item(0))
                    .contains(CamHintDate(updated, QLocale(QLocale::German))));
    EXPECT_EQ(server.Requests(), 2);
    PvTranslator().Clear();
}

TEST_F(BrowseTest, ChooserShortensGiantNamesAndKeepsTheWholeNameInTheHints)
{
    const QString giant = "Giant start " + QString(100000, 'g') + " giant end";
    TCamCategory* category = AddCategory(settings.Root, giant, {"/red1.jpg"});
    category->Webcams.Items(0)->Name = giant;
    auto* chooser = CreateForm<TfoChoose>();
    auto* tree = chooser->findChild<QTreeWidget*>("CamTree");
    auto* list = chooser->findChild<QListWidget*>("CamList");
    QTreeWidgetItem* node = tree->topLevelItem(0);
    EXPECT_TRUE(node->text(0) == MenuCaption(giant));
    EXPECT_TRUE(node->toolTip(0).startsWith("Giant start") &&
                node->toolTip(0).endsWith("giant end"));
    tree->setCurrentItem(node);
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text() == MenuCaption(giant));
    ASSERT_TRUE(PumpUntil([&] { return !chooser->IsFetching(); }));
    EXPECT_TRUE(list->item(0)->text() == MenuCaption(giant) + OnlineText);
    // The hover text names the webcam in lines, bounded; its address and date still follow.
    const QString hint = chooser->CamListInfoTip(list->item(0));
    EXPECT_LT(hint.size(), 2 * MenuHintLength) << hint.left(100).toStdString();
    EXPECT_TRUE(hint.contains("Giant start") && hint.contains("giant end"));
    EXPECT_TRUE(hint.contains(server.Url("/red1.jpg")));
}

TEST_F(BrowseTest, ChooserChangingCategoryMidFetchShowsNoneOfTheOldThumbnails)
{
    AddCategory(settings.Root, "Slow", {"/slow1.jpg", "/slow2.jpg", "/slow3.jpg"});
    AddCategory(settings.Root, "Blue", {"/blue1.jpg", "/blue2.jpg"});
    auto* chooser = CreateForm<TfoChoose>();
    Choose(chooser, "Slow");
    ASSERT_TRUE(PumpUntil([&] { return server.Requests() >= 1; }));
    Choose(chooser, "Blue");
    ASSERT_TRUE(PumpUntil([&] { return !chooser->IsFetching(); }));
    // The slow transfer ends on its own; whatever it brings goes nowhere.
    PumpUntil([] { return FeedsIdle(); });
    ASSERT_EQ(chooser->CamImages().size(), 2);
    for (const QPixmap& thumb : chooser->CamImages())
        EXPECT_GT(qBlue(CentreOf(thumb)), 240);
    EXPECT_EQ(chooser->findChild<QListWidget*>("CamList")->count(), 2);
}

TEST_F(BrowseTest, ChooserOpensViewersAndDeletesSeveralWebcamsWithOneSave)
{
    TCamCategory* reds =
        AddCategory(settings.Root, "Reds", {"/red1.jpg", "/red2.jpg", "/red3.jpg", "/red4.jpg"});
    auto* chooser = CreateForm<TfoChoose>();
    Choose(chooser, "Reds");
    auto* list = chooser->findChild<QListWidget*>("CamList");
    list->item(3)->setSelected(true);
    list->item(1)->setSelected(true);

    // A double click opens the first selected only; View opens all, in list order.
    chooser->CamListDblClick();
    EXPECT_EQ(tray.Opened, QStringList{server.Url("/red2.jpg")});
    EXPECT_TRUE(tray.AppliedState);
    tray.Opened.clear();
    chooser->findChild<QAction*>("actView")->trigger();
    EXPECT_EQ(tray.Opened, (QStringList{server.Url("/red2.jpg"), server.Url("/red4.jpg")}));
    // Edit names the first selected webcam to the editor.
    chooser->findChild<QAction*>("actEdit")->trigger();
    EXPECT_EQ(tray.Edited, QStringList{server.Url("/red2.jpg")});

    // Delete asks first, naming the webcams: No keeps them.
    const auto answer = [chooser](QMessageBox::StandardButton button) {
        auto* box = chooser->findChild<QMessageBox*>("DeleteCamsBox");
        EXPECT_NE(box, nullptr);
        if (!box)
            return QString();
        const QString text = box->text();
        box->button(button)->click();
        drainDeletes();
        return text;
    };
    chooser->findChild<QAction*>("actDelete")->trigger();
    const QString question = answer(QMessageBox::No);
    EXPECT_TRUE(question.contains("red2\nred4")) << question.toStdString();
    EXPECT_FALSE(question.contains("red1"));
    EXPECT_EQ(reds->Webcams.Count(), 4);
    EXPECT_EQ(tray.Saves, 0);
    // Yes removes them and closes their viewers.
    chooser->findChild<QAction*>("actDelete")->trigger();
    answer(QMessageBox::Yes);
    EXPECT_EQ(tray.Closed, (QStringList{server.Url("/red2.jpg"), server.Url("/red4.jpg")}));
    ASSERT_EQ(reds->Webcams.Count(), 2);
    EXPECT_EQ(reds->Webcams.Items(0)->Url, server.Url("/red1.jpg"));
    EXPECT_EQ(reds->Webcams.Items(1)->Url, server.Url("/red3.jpg"));
    EXPECT_EQ(tray.Saves, 1);
    EXPECT_EQ(tray.Rebuilds, 1);
    EXPECT_FALSE(tray.RefreshedChooser);
    // The list is rebuilt and fetched again.
    ASSERT_EQ(list->count(), 2);
    ASSERT_TRUE(PumpUntil([&] { return chooser->CamImages().size() == 2; }));

    // A rebuilt catalogue: the old category is gone, nothing is chosen, nothing runs.
    settings.Root.Clear();
    chooser->ReloadTree();
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(chooser->IsFetching());
}

TEST_F(BrowseTest, TopLevelWebcamsHaveANodeAndEscapeCloses)
{
    TCamWebcam* loose = settings.Root.Webcams.Add();
    loose->Name = "loose";
    loose->Url = server.Url("/red9.jpg");
    AddCategory(settings.Root, "Blues", {"/blue1.jpg"});
    QPointer<TfoChoose> chooser = CreateForm<TfoChoose>();
    chooser->show();
    auto* tree = chooser->findChild<QTreeWidget*>("CamTree");
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), TopLevelCams);
    Choose(chooser, TopLevelCams);
    auto* list = chooser->findChild<QListWidget*>("CamList");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "loose");
    // The status bar names the webcam being fetched, not its address.
    EXPECT_TRUE(PumpUntil([&] {
        return chooser->findChild<TStatusBar*>()->Panel(0)->text() == Refreshing + "loose";
    }));
    list->item(0)->setSelected(true);
    chooser->findChild<QAction*>("actView")->trigger();
    EXPECT_EQ(tray.Opened, QStringList{server.Url("/red9.jpg")});

    QAction* close = chooser->findChild<QAction*>("actClose");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->shortcut(), QKeySequence(Qt::Key_Escape));
    close->trigger();
    drainDeletes();
    EXPECT_TRUE(chooser.isNull());
}

TEST_F(BrowseTest, MosaicOfAnEmptyCatalogueHasOneEmptyRowAndNoThread)
{
    auto* mosaic = CreateForm<TfoMire>();
    auto* grid = mosaic->findChild<TDrawGrid*>("CamGrid");
    EXPECT_EQ(grid->RowCount(), 1);
    EXPECT_EQ(grid->ColCount(), 6);
    EXPECT_FALSE(mosaic->IsFetching());
    grid->DoubleClicked(grid->CellRect(0, 0).center());
    EXPECT_TRUE(tray.Opened.isEmpty());
}

TEST_F(BrowseTest, MosaicCyclesWithoutDownloadingUnchangedImagesAndOpensOnlyFilledCells)
{
    // Seven webcams, in pre-order: a category's own webcams before its sub-categories'.
    TCamCategory* top = AddCategory(settings.Root, "Top", {"/red1.jpg", "/missing"});
    AddCategory(*top, "Inner", {"/blue1.jpg"});
    AddCategory(settings.Root, "More", {"/red2.jpg", "/red3.jpg", "/red4.jpg", "/wide.jpg"});
    auto* mosaic = CreateForm<TfoMire>();
    mosaic->show();
    auto* grid = mosaic->findChild<TDrawGrid*>("CamGrid");
    ASSERT_EQ(grid->RowCount(), 2);
    ASSERT_EQ(mosaic->List().size(), 7u);
    EXPECT_EQ(mosaic->List()[2].Url, server.Url("/blue1.jpg"));
    // ScrollMosaic off: the current cell stays where the user put it.
    EXPECT_EQ(grid->Col(), 0);
    grid->SetCurrent(3, 0);

    // Two full rounds: every image is sent once, the second round only asks.
    const auto filled = [&] {
        for (int i : {0, 2, 3, 4, 5, 6})
            if (!mosaic->CellFilled(i))
                return false;
        return true;
    };
    ASSERT_TRUE(PumpUntil([&] { return server.Requests() >= 14 && filled(); }, 20000));
    qint64 oneEach = 0;
    for (const char* name :
         {"/red1.jpg", "/blue1.jpg", "/red2.jpg", "/red3.jpg", "/red4.jpg", "/wide.jpg"}) {
        TTestRequest request;
        request.Target = name;
        oneEach += qint64(Serve(request).Body.size());
    }
    EXPECT_EQ(server.BodyBytes(), oneEach);
    // Cells keep their pictures, at cell resolution, not the image's.
    const QImage& cell = mosaic->CellImage(0);
    ASSERT_FALSE(cell.isNull());
    EXPECT_LE(cell.width(), grid->DefaultColWidth());
    EXPECT_TRUE(mosaic->CellImage(1).isNull());
    // Online: a fresh date, or a length known from before; never after failures only.
    EXPECT_TRUE(PumpUntil([&] { return mosaic->List()[0].Online; }));
    // Undated, but its length is known from the first round.
    EXPECT_TRUE(PumpUntil([&] { return mosaic->List()[6].Online; }));
    EXPECT_FALSE(mosaic->List()[1].Online);
    EXPECT_EQ(grid->Col(), 3);

    // Row 1 holds one webcam; its other five cells open nothing.
    grid->DoubleClicked(grid->CellRect(3, 1).center());
    EXPECT_TRUE(tray.Opened.isEmpty());
    grid->DoubleClicked(grid->CellRect(0, 1).center());
    EXPECT_EQ(tray.Opened, QStringList{server.Url("/wide.jpg")});
    EXPECT_TRUE(tray.AppliedState);

    // The status bar names the webcam being refreshed; a cell's hover names its webcam.
    const QString status = mosaic->findChild<TStatusBar*>()->Panel(0)->text();
    EXPECT_TRUE(status.startsWith(Refreshing)) << status.toStdString();
    EXPECT_FALSE(status.contains("http")) << status.toStdString();
    QHelpEvent hover(QEvent::ToolTip, grid->CellRect(2, 0).center(),
                     grid->viewport()->mapToGlobal(grid->CellRect(2, 0).center()));
    QApplication::sendEvent(grid->viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), "blue1");
    QToolTip::hideText();

    QPointer<TfoMire> closing = mosaic;
    QAction* close = mosaic->findChild<QAction*>("actClose");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->shortcut(), QKeySequence(Qt::Key_Escape));
    close->trigger();
    drainDeletes();
    EXPECT_TRUE(closing.isNull());
}

TEST_F(BrowseTest, MosaicCellIsFramedAndTheWidePictureCentredWithBars)
{
    AddCategory(settings.Root, "Cams", {"/wide.jpg", "/red1.jpg"});
    settings.ScrollMosaic = true; // the current cell follows the refresh
    auto* mosaic = CreateForm<TfoMire>();
    mosaic->show();
    mosaic->resize(440, 400); // cells of 70 x 52
    auto* grid = mosaic->findChild<TDrawGrid*>("CamGrid");
    EXPECT_EQ(grid->DefaultColWidth(), 70);
    EXPECT_EQ(grid->DefaultRowHeight(), 52);
    ASSERT_TRUE(PumpUntil(
        [&] { return !mosaic->CellImage(0).isNull() && !mosaic->CellImage(1).isNull(); }));
    ASSERT_TRUE(PumpUntil([&] { return grid->Col() == 1; }));
    auto draw = [&](int col, bool selected) {
        QImage canvas(70, 52, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        mosaic->CamGridDrawCell(painter, col, 0, canvas.rect(), selected);
        return canvas;
    };
    // The wide picture: 62 x 44 inside the frame takes a 62 x 16 picture, centred, with bars of
    // the frame's colour: black, or green once the webcam counts as online.
    auto frameOf = [&](int index) {
        return mosaic->List()[size_t(index)].Online ? qRgb(0, 128, 0) : qRgb(0, 0, 0);
    };
    const QRgb frame = frameOf(0);
    const QImage wide = draw(0, false);
    EXPECT_EQ(wide.pixel(1, 1), frame);
    EXPECT_EQ(wide.pixel(35, 10), frame);
    EXPECT_GT(qGreen(wide.pixel(35, 26)), 200);
    EXPECT_LT(qRed(wide.pixel(35, 26)), 60);
    EXPECT_EQ(wide.pixel(35, 41), frame);
    // The current cell is on the highlight colour.
    EXPECT_EQ(draw(1, false).pixel(1, 1), frameOf(1));
    EXPECT_GT(qRed(draw(1, false).pixel(35, 26)), 200);
    EXPECT_EQ(draw(1, true).pixel(1, 1), mosaic->palette().color(QPalette::Highlight).rgb());
    // Cells past the list draw nothing.
    EXPECT_EQ(draw(4, false).pixel(1, 1), qRgb(255, 255, 255));

    // A new size: every row takes the new height, the pictures are made again at that size.
    grid->SetRowHeight(0, 90);
    mosaic->resize(416, 400);
    EXPECT_EQ(grid->RowHeight(0), 50);
    ASSERT_TRUE(PumpUntil([&] { return mosaic->CellImage(1).size() == QSize(56, 42); }));
}

// The mosaic's decoded cell pictures, all made by the test: its webcams answer with no image.
class MosaicCellsTest : public BrowseTest
{
protected:
    void Open(int webcams)
    {
        for (int i = 0; i < webcams; ++i)
            settings.Root.Webcams.Add()->Url = server.Url(QStringLiteral("/none%1").arg(i));
        mosaic = CreateForm<TfoMire>();
        mosaic->show();
        grid = mosaic->findChild<TDrawGrid*>("CamGrid");
        bar = grid->verticalScrollBar();
    }
    // A picture of one colour, at the cell's size, with its small JPEG image, as the feed hands
    // it over.
    void Arrive(int index, std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        const QSize box = MosaicGeometry::CellPictureBox(
            QSize(grid->DefaultColWidth(), grid->DefaultRowHeight()));
        TMireImage image;
        image.Index = index;
        image.SourceSize = box;
        image.Picture = TBitmap(box.width(), box.height());
        const std::uint8_t rgb[3] = {r, g, b};
        for (int y = 0; y < box.height(); ++y)
            for (int x = 0; x < box.width(); ++x)
                std::copy(rgb, rgb + 3, image.Picture.Row(y) + x * 3);
        image.Cell = JpegCodec::Encode(image.Picture, 90);
        mosaic->ImageArrived(image);
    }
    static void PoolDone()
    {
        ASSERT_TRUE(TFetchEngine::Main()->Pool()->WaitForDone(std::chrono::seconds(10)));
    }
    // Waits until the pool has decoded what it was asked for and the UI thread has taken every
    // picture it posted.
    static void Settle()
    {
        PoolDone();
        bool handed = false;
        TDispatcher::Main()->Post([&handed] { handed = true; });
        ASSERT_TRUE(PumpUntil([&] { return handed; }));
    }
    // The colour the grid shows at the centre of the cell.
    QRgb Shown(int col, int row) const
    {
        const QImage image = grid->viewport()->grab(grid->CellRect(col, row)).toImage();
        return image.pixel(image.width() / 2, image.height() / 2);
    }

    TfoMire* mosaic = nullptr;
    TDrawGrid* grid = nullptr;
    QScrollBar* bar = nullptr;
};

TEST_F(MosaicCellsTest, CellBackInTheBandIsDecodedOnThePoolAndStalePicturesAreDropped)
{
    Open(120);
    ASSERT_EQ(grid->RowCount(), 20);
    // Cell 1: cell 0 is the current one, drawn on the highlight colour.
    Arrive(1, 255, 0, 0);
    ASSERT_FALSE(mosaic->CellImage(1).isNull());
    bar->setValue(bar->maximum());
    EXPECT_TRUE(mosaic->CellImage(1).isNull());
    EXPECT_EQ(mosaic->DecodedCells(), 0);

    // Back on screen, the paint draws the background; the pool decodes the picture.
    bar->setValue(0);
    grid->viewport()->repaint();
    EXPECT_TRUE(mosaic->CellImage(1).isNull());
    EXPECT_EQ(Shown(1, 0), qRgb(0, 0, 0));
    // Decoded, and handed over once the cell is far from the screen again: not taken.
    PoolDone();
    bar->setValue(bar->maximum());
    Settle();
    EXPECT_EQ(mosaic->DecodedCells(), 0);

    // Decoded again; before it is handed over, a blue image arrives while the cell is far away,
    // and the cell comes back. The red picture is handed over first.
    bar->setValue(0);
    PoolDone();
    bar->setValue(bar->maximum());
    Arrive(1, 0, 0, 255);
    bar->setValue(0);
    ASSERT_TRUE(PumpUntil([&] { return !mosaic->CellImage(1).isNull(); }));
    Settle();
    EXPECT_GT(qBlue(Shown(1, 0)), 200);
    EXPECT_LT(qRed(Shown(1, 0)), 60);
}

TEST_F(MosaicCellsTest, ScreenEdgeOnAGridLineKeepsTheBandAtThreeScreens)
{
    Open(300);
    for (int i = 0; i < 300; ++i)
        Arrive(i, 255, 0, 0);
    // The viewport's last line on the grid line below a row in the middle of the list.
    const int line = grid->RowHeight(0) + TDrawGrid::GridLineWidth;
    const int height = grid->viewport()->height();
    bar->setValue(25 * line - height);
    int col = 0;
    int row = 0;
    ASSERT_FALSE(grid->MouseToCell(QPoint(0, height - 1), col, row));
    Settle();
    EXPECT_LE(mosaic->DecodedCells(), 3 * (height / line + 2) * grid->ColCount());
    EXPECT_GT(qRed(Shown(0, 24)), 200);
}

// The tray window opens one chooser and one mosaic and brings them back; a changed catalogue
// reaches the open chooser. Without a notification area (none here) the chooser opens at start, and
// closing it runs Exit, which saves the settings and ends the event loop.
TEST(BrowseFromTheTray, OneWindowOfEachKindAndTheChooserStandsInForAMissingTray)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    QFile::remove(TCamViewer::DefaultOptionsPath());
    TStartup startup;
    startup.RegisterTypes = false;
    startup.ChooserWithoutTray = true;
    auto main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    auto windowOf = [](const char* kind) {
        for (TSForm* form : TFormList::Of<TSForm>())
            if (form->inherits(kind))
                return QPointer<QWidget>(form);
        return QPointer<QWidget>();
    };
    QPointer<QWidget> chooser = windowOf("TfoChoose");
    ASSERT_TRUE(chooser);
    EXPECT_TRUE(chooser->isVisible());

    auto* mire = main->findChild<QAction*>("actMire");
    ASSERT_TRUE(mire->isEnabled());
    mire->trigger();
    QPointer<QWidget> mosaic = windowOf("TfoMire");
    ASSERT_TRUE(mosaic);
    mire->trigger();
    int mosaics = 0;
    for (TSForm* form : TFormList::Of<TSForm>())
        mosaics += form->inherits("TfoMire") ? 1 : 0;
    EXPECT_EQ(mosaics, 1);

    CamViewer->Root.Categories.Add()->Name = "Added";
    main->RebuildTrayMenu();
    EXPECT_EQ(chooser->findChild<QTreeWidget*>("CamTree")->topLevelItemCount(), 1);

    // Closing the mosaic ends nothing; closing the chooser, with still no tray, runs Exit.
    mosaic->close();
    QTimer::singleShot(0, chooser.data(), &QWidget::close);
    QObject guard; // the fallback ends with this test
    QTimer::singleShot(5000, &guard, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(QFile::exists(TCamViewer::DefaultOptionsPath()));
    EXPECT_TRUE(mosaic.isNull());
    main.reset();
    QFile::remove(TCamViewer::DefaultOptionsPath());
    EXPECT_TRUE(PumpUntil([] { return FeedsIdle(); }));
}

// A first start with an empty catalogue and no notification area: the chooser offers the two ways
// to a first webcam and carries the tray menu's commands in its menu bar; a second start without
// a file brings it back.
TEST(BrowseFromTheTray, AnEmptyCatalogueOpensTheChooserWithTheWaysIn)
{
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    QFile::remove(TCamViewer::DefaultOptionsPath());
    TStartup startup;
    startup.RegisterTypes = false;
    startup.ChooserWhenEmpty = true;
    auto main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    const QList<TfoChoose*> choosers = TFormList::Of<TfoChoose>();
    ASSERT_EQ(choosers.size(), 1);
    TfoChoose* chooser = choosers.first();
    EXPECT_TRUE(chooser->isVisible());
    auto* welcome = chooser->findChild<QWidget*>("WelcomePanel");
    ASSERT_NE(welcome, nullptr);
    EXPECT_TRUE(welcome->isVisibleTo(chooser));
    EXPECT_FALSE(chooser->findChild<QWidget*>("Splitter1")->isVisibleTo(chooser));

    // The menu bar holds the tray menu: viewers, Options, Mosaic, AVI Creator, Language, Help,
    // Exit.
    auto* bar = chooser->findChild<QMenuBar*>("MainMenu1");
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 1);
    QMenu* menu = bar->actions().first()->menu();
    ASSERT_EQ(menu, main->findChild<QMenu*>("TrayPopup"));
    QStringList names;
    for (const QAction* action : menu->actions())
        names << (action->menu() ? action->menu()->objectName() : action->objectName());
    for (const char* name :
         {"Windows1", "Options1", "Mire1", "AVICreator1", "Language1", "Help1", "Exit1"})
        EXPECT_TRUE(names.contains(name)) << name;

    // Add a webcam: the editor, with a new webcam chosen.
    chooser->findChild<QPushButton*>("AddCamButton")->click();
    ASSERT_EQ(TFormList::Of<TfoEditCams>().size(), 1);
    EXPECT_EQ(TFormList::Of<TfoEditCams>().first()->findChild<QLineEdit*>("CamName")->text(),
              NewCam);
    TFormList::Of<TfoEditCams>().first()->close();
    drainDeletes();

    // Import a list: the file chosen in the dialog is imported and the chooser shows it.
    QTemporaryDir dir;
    QFile cal(dir.filePath("first.cal"));
    ASSERT_TRUE(cal.open(QIODevice::WriteOnly));
    cal.write(
        "<Category Name=\"First\"><Webcam Name=\"A\" Url=\"http://127.0.0.1:9/a\"/></Category>");
    cal.close();
    chooser->findChild<QPushButton*>("ImportButton")->click();
    auto* dialog = chooser->findChild<QFileDialog*>("ImportDialog1");
    ASSERT_NE(dialog, nullptr);
    emit dialog->fileSelected(cal.fileName());
    dialog->close();
    EXPECT_NE(CamViewer->Root.FindWebcam("http://127.0.0.1:9/a"), nullptr);
    EXPECT_FALSE(welcome->isVisibleTo(chooser));
    EXPECT_EQ(chooser->findChild<QTreeWidget*>("CamTree")->topLevelItem(0)->text(0), "First");

    // A second start without a file: the open chooser comes back to the front, and no other.
    chooser->showMinimized();
    main->WMCopyData(QString());
    ASSERT_EQ(TFormList::Of<TfoChoose>().size(), 1);
    EXPECT_EQ(TFormList::Of<TfoChoose>().first(), chooser);
    EXPECT_FALSE(chooser->isMinimized());

    main.reset();
    drainDeletes();
    QFile::remove(TCamViewer::DefaultOptionsPath());
    EXPECT_TRUE(PumpUntil([] { return RunningWorkers() == 0; }));
}

} // namespace
