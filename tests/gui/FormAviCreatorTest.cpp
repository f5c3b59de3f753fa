// The AVI creator on a real worker thread: the list, production, cancel, refusals.
#include "avi/FormAviCreator.h"

#include "../core/avi/RiffReader.h"
#include "ThreadTestUtil.h"
#include "core/avi/AviProduction.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/image/JpegCodec.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class AviCreatorDialog : public ::testing::Test
{
protected:
    QTemporaryDir Dir;

    void TearDown() override
    {
        for (TfoAviCreator* creator : Creators)
            delete creator;
    }

    TfoAviCreator* Open()
    {
        auto* creator = CreateForm<TfoAviCreator>();
        creator->setAttribute(Qt::WA_DeleteOnClose, false);
        creator->ProgressInterval = std::chrono::milliseconds(0);
        creator->show();
        Creators << creator;
        return creator;
    }

    QString P(const QString& name) const { return Dir.filePath(name); }

    // A JPEG file: red r on its left half, blue b on its right half.
    QString Jpeg(const QString& name, int w, int h, std::uint8_t r, std::uint8_t b = 0)
    {
        TBitmap bitmap(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = bitmap.Row(y) + 3 * x;
                p[0] = x < w / 2 ? r : 0;
                p[2] = x < w / 2 ? 0 : b;
            }
        EXPECT_TRUE(JpegCodec::SaveToFile(bitmap, P(name)));
        return P(name);
    }

    // n files with the picture of file (the list takes each file once).
    QStringList Copies(const QString& file, int n)
    {
        QStringList files;
        for (int i = 0; i < n; ++i) {
            files << P(QStringLiteral("copy%1-%2").arg(i).arg(QFileInfo(file).fileName()));
            EXPECT_TRUE(QFile::copy(file, files.last()));
        }
        return files;
    }

    // The message box the creator shows now.
    static QMessageBox* VisibleMessage(TfoAviCreator* creator)
    {
        for (QMessageBox* b : creator->findChildren<QMessageBox*>())
            if (b->isVisible())
                return b;
        return nullptr;
    }
    // The same, once it is there.
    static QMessageBox* WaitMessage(TfoAviCreator* creator)
    {
        QMessageBox* box = nullptr;
        PumpUntil([&] { return (box = VisibleMessage(creator)) != nullptr; });
        return box;
    }

    QStringList Leftovers() const
    {
        return QDir(Dir.path()).entryList({"*.avi", "*.part"}, QDir::Files);
    }

    template <class T> static T* Control(QObject* creator, const char* name)
    {
        return creator->findChild<T*>(QLatin1String(name));
    }

    QList<TfoAviCreator*> Creators;
};

} // namespace

TEST_F(AviCreatorDialog, ListAddsRemovesAndExchangesByDragging)
{
    TfoAviCreator* creator = Open();
    creator->AddFiles({"/a.jpg", "/b.jpg", "/c.jpg"});
    creator->AddFiles({"/x/../a.jpg", "/d.jpg", "/d.jpg"});
    EXPECT_EQ(creator->Files(), QStringList({"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg"}));
    QMessageBox* refusal = VisibleMessage(creator);
    ASSERT_NE(refusal, nullptr) << "the same file twice is refused with a message";
    EXPECT_TRUE(refusal->text().contains("/x/../a.jpg\r\n/d.jpg")) << refusal->text().toStdString();
    refusal->close();

    auto* box = Control<QListWidget>(creator, "FilesBox");
    box->item(1)->setSelected(true);
    box->item(3)->setSelected(true);
    Control<QAction>(creator, "actRemove")->trigger();
    EXPECT_EQ(creator->Files(), QStringList({"/a.jpg", "/c.jpg"}));

    creator->AddFiles({"/d.jpg", "/e.jpg"});
    const QPoint below(5, box->viewport()->height() - 2);
    box->setCurrentRow(-1);
    EXPECT_FALSE(creator->FilesBoxDragOver(below)) << "no current entry, no drop";
    box->setCurrentRow(0);
    EXPECT_TRUE(creator->FilesBoxDragOver(below));
    EXPECT_FALSE(creator->FilesBoxDragOver(QPoint(-3, 5)));

    // Below the last entry: exchanged with the last; the others stay.
    creator->FilesBoxDragDrop(below);
    EXPECT_EQ(creator->Files(), QStringList({"/e.jpg", "/c.jpg", "/d.jpg", "/a.jpg"}));
    box->setCurrentRow(1);
    creator->FilesBoxDragDrop(box->visualItemRect(box->item(1)).center());
    EXPECT_EQ(creator->Files(), QStringList({"/e.jpg", "/c.jpg", "/d.jpg", "/a.jpg"}));
    creator->FilesBoxDragDrop(box->visualItemRect(box->item(2)).center());
    EXPECT_EQ(creator->Files(), QStringList({"/e.jpg", "/d.jpg", "/c.jpg", "/a.jpg"}));
}

TEST_F(AviCreatorDialog, FailuresShowTheirMessageAndLeaveNothingBehind)
{
    TfoAviCreator* creator = Open();
    creator->Produce(P("empty.avi"));
    QMessageBox* box = WaitMessage(creator);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "No bitmaps on the Bitmaps list");
    box->close();

    // A folder that cannot be written: the target's folder is a plain file.
    QFile plain(P("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    creator->AddFiles({Jpeg("a.jpg", 16, 12, 200), Jpeg("b.jpg", 16, 12, 100)});
    creator->Produce(P("plain/out.avi"));
    box = WaitMessage(creator);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Unable to write output file");
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(' ').toStdString();
    EXPECT_FALSE(Control<QWidget>(creator, "ProgressDlg")->isVisible());
    EXPECT_TRUE(Control<QPushButton>(creator, "ProduceButton")->isEnabled());
}

TEST_F(AviCreatorDialog, CancelHalfWayLeavesNothingAndTheWindowCannotBeClosedMeanwhile)
{
    // The compact format: a cancelled write leaves nothing either.
    TfoAviCreator* creator = Open();
    Control<QRadioButton>(creator, "MjpegRadio")->setChecked(true);
    creator->AddFiles(Copies(Jpeg("f.jpg", 64, 48, 90), 30));
    auto* bar = Control<QProgressBar>(creator, "ProgressBar");
    auto* progress = Control<QWidget>(creator, "ProgressDlg");
    bool closedDuring = true;
    bool progressClosed = true;
    QString status;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (value != 10)
            return;
        status = Control<QLabel>(creator, "StatusLabel")->text();
        creator->reject(); // Escape
        closedDuring = creator->close() || !creator->isVisible();
        progressClosed = progress->close();
        EXPECT_FALSE(Control<QPushButton>(creator, "AddButton")->isEnabled());
        // The production waits for this hand-over: it stops right after the tenth frame.
        Control<QPushButton>(creator, "CancelButton")->click();
    });
    creator->Produce(P("cancelled.avi"));
    ASSERT_TRUE(creator->Producing());
    EXPECT_TRUE(progress->isVisible());
    ASSERT_TRUE(PumpUntil([&] { return !creator->Producing(); }));

    EXPECT_FALSE(closedDuring);
    EXPECT_FALSE(progressClosed);
    EXPECT_EQ(bar->value(), 10);
    EXPECT_TRUE(status.startsWith("10 of 30 frames, ") && status.endsWith(" left"))
        << status.toStdString();
    EXPECT_TRUE(Leftovers().isEmpty()) << Leftovers().join(' ').toStdString();
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(Control<QPushButton>(creator, "AddButton")->isEnabled());
    PumpFor(20);
    EXPECT_EQ(VisibleMessage(creator), nullptr) << "a cancel is no failure";
}

TEST_F(AviCreatorDialog, ProductionReadsBackWithTheFirstFilesSizeFrameCountAndFrameTime)
{
    TfoAviCreator* creator = Open();
    QFile garbage(P("garbage.jpg"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a picture");
    garbage.close();
    const QString first = Jpeg("first.jpg", 40, 30, 250);
    Jpeg("small.jpg", 20, 10, 250, 250); // smaller: red left half, blue right half
    creator->AddFiles({first, P("garbage.jpg"), P("small.jpg"), Copies(first, 1)[0]});
    Control<QSpinBox>(creator, "PauseSpin")->setValue(1000);
    creator->Produce(P("out.avi"));
    QMessageBox* box = WaitMessage(creator);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), AviGenerated);
    EXPECT_TRUE(box->informativeText().contains(
        P("out.avi") + ": " + AviCreatorRules::SizeText(QFileInfo(P("out.avi")).size())));
    EXPECT_TRUE(box->informativeText().contains(
        "1 picture(s) of another size were cut or padded at the top left."));
    box->close();

    const TAviView avi(P("out.avi"));
    ASSERT_TRUE(avi.Ok());
    EXPECT_EQ(avi.Count("00db"), 3) << "the unreadable file gives no frame";
    EXPECT_EQ(avi.Streams[0].Scale, 1000u);
    EXPECT_EQ(avi.Streams[0].Rate, 1000u);
    EXPECT_EQ(avi.File.U32(avi.Streams[0].Strf->DataAt() + 4), 40u);
    EXPECT_EQ(avi.File.U32(avi.Streams[0].Strf->DataAt() + 8), 30u);
    // The smaller picture sits unscaled at the top left, padded with its own corner colour.
    EXPECT_GT(avi.Pixel(avi.Chunks[1], 40, 30, 15, 5)[2], 200);
    EXPECT_GT(avi.Pixel(avi.Chunks[1], 40, 30, 35, 25)[0], 200);

    // An unreadable first file gives no size: the frame is a tenth of the screen.
    auto* list = Control<QListWidget>(creator, "FilesBox");
    list->clear();
    creator->AddFiles({P("garbage.jpg"), first});
    creator->Produce(P("default.avi"));
    box = WaitMessage(creator);
    ASSERT_NE(box, nullptr);
    box->close();
    const TAviView fallback(P("default.avi"));
    ASSERT_TRUE(fallback.Ok());
    const QSize screen = creator->screen()->size();
    EXPECT_EQ(fallback.File.U32(fallback.Streams[0].Strf->DataAt() + 4),
              static_cast<std::uint32_t>(screen.width() / 10));
    EXPECT_EQ(fallback.Count("00db"), 1);
}

TEST_F(AviCreatorDialog, AnExistingFileIsReplacedOnlyWhenConfirmedAndABusyTargetIsRefused)
{
    TfoAviCreator* creator = Open();
    creator->AddFiles(Copies(Jpeg("f.jpg", 32, 24, 60), 20));
    QFile old(P("movie.avi"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    auto answer = [&](QMessageBox::StandardButton button) {
        creator->SaveDialogAccepted(P("movie")); // the extension is added
        QMessageBox* question = VisibleMessage(creator);
        ASSERT_NE(question, nullptr);
        ASSERT_EQ(question->objectName(), "ReplaceQuestion");
        question->button(button)->click();
    };
    answer(QMessageBox::No);
    EXPECT_FALSE(creator->Producing());
    EXPECT_EQ(QFileInfo(P("movie.avi")).size(), 3);

    // While the first creator writes the file, a second one may not.
    TfoAviCreator* second = Open();
    second->AddFiles({P("f.jpg")});
    QString refusal;
    auto* bar = Control<QProgressBar>(creator, "ProgressBar");
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (value != 1)
            return;
        second->SaveDialogAccepted(P("movie.avi"));
        if (QMessageBox* box = VisibleMessage(second)) {
            refusal = box->text();
            box->close();
        }
    });
    answer(QMessageBox::Yes);
    ASSERT_TRUE(creator->Producing());
    QMessageBox* done = WaitMessage(creator);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->text(), AviGenerated);
    EXPECT_TRUE(refusal.contains("being written")) << refusal.toStdString();
    EXPECT_FALSE(second->Producing());
    EXPECT_EQ(TAviView(P("movie.avi")).Count("00db"), 20);

    // Once the first has finished, the name is free again.
    second->Produce(P("movie.avi"));
    EXPECT_TRUE(second->Producing());
    ASSERT_TRUE(PumpUntil([&] { return !second->Producing(); }));
    EXPECT_EQ(TAviView(P("movie.avi")).Count("00db"), 1);
}

// The compact format with pictures of another size: one frame size, every frame decodes, the
// result says how many were fitted; the choices are remembered for the next creator.
TEST_F(AviCreatorDialog, CompactProductionFitsOtherSizesAndIsRemembered)
{
    TCamViewer settings;
    settings.OptionsPath = P("Options.xml");
    CamViewer = &settings;
    TfoAviCreator* creator = Open();
    auto* fit = Control<QCheckBox>(creator, "FitBox");
    EXPECT_TRUE(Control<QRadioButton>(creator, "RawRadio")->isChecked()) << "the default";
    EXPECT_TRUE(fit->isEnabled());
    Control<QRadioButton>(creator, "MjpegRadio")->setChecked(true);
    EXPECT_FALSE(fit->isEnabled()) << "JPEG frames are always fitted";
    creator->AddFiles({Jpeg("a.jpg", 40, 30, 200), Jpeg("tall.jpg", 10, 30, 0, 250),
                       Jpeg("wide.jpg", 80, 20, 250, 250), Jpeg("b.jpg", 40, 30, 100)});
    creator->Produce(P("compact.avi"));
    QMessageBox* box = WaitMessage(creator);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), AviGenerated);
    EXPECT_TRUE(
        box->informativeText().contains("2 picture(s) of another size were fitted to the frame."))
        << box->informativeText().toStdString();
    box->close();

    const TAviView avi(P("compact.avi"));
    ASSERT_TRUE(avi.Ok());
    ASSERT_EQ(avi.Count("00dc"), 4);
    for (const TMoviChunk& c : avi.Chunks) {
        TBitmap frame;
        ASSERT_TRUE(
            JpegCodec::Decode(QByteArray(reinterpret_cast<const char*>(&avi.File.Bytes[c.DataAt]),
                                         static_cast<qsizetype>(c.Size)),
                              frame));
        EXPECT_TRUE(frame.Width == 40 && frame.Height == 30);
    }
    EXPECT_TRUE(settings.AviCompact);

    TfoAviCreator* next = Open();
    EXPECT_TRUE(Control<QRadioButton>(next, "MjpegRadio")->isChecked());
    CamViewer = nullptr;
    TCamViewer reread;
    reread.OptionsPath = settings.OptionsPath;
    reread.LoadOptions();
    EXPECT_TRUE(reread.AviCompact && !reread.AviFit) << "saved in the settings file";
}
