// The AVI creator on a real worker thread: the list, production, cancel, refusals.
#include "avi/FormAviCreator.h"

#include "../core/avi/RiffReader.h"
#include "ThreadTestUtil.h"
#include "core/catalog/Strings.h"
#include "core/image/JpegCodec.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
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
    creator->AddFiles({"/a.jpg"});
    EXPECT_EQ(creator->Files(), QStringList({"/a.jpg", "/b.jpg", "/c.jpg", "/a.jpg"}));

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
    TfoAviCreator* creator = Open();
    const QString frame = Jpeg("f.jpg", 64, 48, 90);
    creator->AddFiles(QStringList(30, frame));
    auto* bar = Control<QProgressBar>(creator, "ProgressBar");
    auto* progress = Control<QWidget>(creator, "ProgressDlg");
    bool closedDuring = true;
    bool progressClosed = true;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (value != 10)
            return;
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
    creator->AddFiles({first, P("garbage.jpg"), P("small.jpg"), first});
    Control<QSpinBox>(creator, "PauseSpin")->setValue(1000);
    creator->Produce(P("out.avi"));
    QMessageBox* box = WaitMessage(creator);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), AviGenerated);
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
    creator->AddFiles(QStringList(20, Jpeg("f.jpg", 32, 24, 60)));
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
