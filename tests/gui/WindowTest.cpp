#include "base/Window.h"

#include "base/FormList.h"
#include "base/Translator.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <gtest/gtest.h>
#include <memory>

TEST(WindowList, KeepsCreationOrderAndNamesLaterWindowsOfAKind)
{
    auto a = std::make_unique<TSForm>("foViewer");
    auto b = std::make_unique<TSForm>("foViewer");
    auto c = std::make_unique<TSForm>("foAbout");
    auto d = std::make_unique<TSForm>("foViewer");
    ASSERT_EQ(TFormList::Windows().size(), 4);
    EXPECT_EQ(TFormList::Windows()[0], a.get());
    EXPECT_EQ(TFormList::Windows()[3], d.get());
    EXPECT_EQ(a->objectName(), "foViewer");
    EXPECT_EQ(b->objectName(), "foViewer_1");
    EXPECT_EQ(c->objectName(), "foAbout");
    EXPECT_EQ(d->objectName(), "foViewer_2");

    // A freed name is given again; removal before destruction is harmless.
    TFormList::Remove(b.get());
    EXPECT_EQ(TFormList::Windows().size(), 3);
    b.reset();
    EXPECT_EQ(TFormList::Windows().size(), 3);
    TSForm e("foViewer");
    EXPECT_EQ(e.objectName(), "foViewer_1");
    a.reset();
    c.reset();
    d.reset();
    ASSERT_EQ(TFormList::Windows().size(), 1);
    EXPECT_EQ(TFormList::Windows()[0], &e);
}

namespace {
// A window or a dialog that records what its set-up saw: the caption of its label after
// translation.
template <class Base> class TProbe : public Base
{
public:
    explicit TProbe(const char* kind) : Base(kind) {}
    QString SeenBySetUp;
    int Builds = 0;

protected:
    void BuildLayout() override
    {
        ++Builds;
        Named(new QLabel("Plain", this), "Label1");
    }
    void FormCreate() override
    {
        SeenBySetUp = this->template findChild<QLabel*>("Label1")->text();
    }
};
using TfoProbe = TProbe<TSForm>;
using TfoDialogProbe = TProbe<TSDialog>;
} // namespace

TEST(WindowList, WindowsAreBuiltThenTranslatedThenSetUpOnce)
{
    ASSERT_TRUE(PvTranslator().TranslateBytes(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<Language><FOPROBE><label1 caption=\"Traduit\"/></FOPROBE></Language>\r\n"));
    std::unique_ptr<TfoProbe> probe(CreateForm<TfoProbe>("foProbe"));
    EXPECT_EQ(probe->SeenBySetUp, "Traduit");
    probe->Construct();
    EXPECT_EQ(probe->Builds, 1);
    PvTranslator().Clear();
}

TEST(WindowList, DialogsShareTheListAndTheCreationOrderWithTheOtherWindows)
{
    ASSERT_TRUE(PvTranslator().TranslateBytes(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<Language><foDialogProbe><Label1 Caption=\"Traduit\"/></foDialogProbe></Language>\r\n"));
    auto viewer = std::make_unique<TSForm>("foViewer");
    std::unique_ptr<TfoDialogProbe> dialog(CreateForm<TfoDialogProbe>("foDialogProbe"));
    std::unique_ptr<TfoDialogProbe> second(CreateForm<TfoDialogProbe>("foDialogProbe"));
    auto later = std::make_unique<TSForm>("foViewer");
    EXPECT_EQ(TFormList::Windows(),
              (QList<QWidget*>{viewer.get(), dialog.get(), second.get(), later.get()}));
    EXPECT_EQ(second->objectName(), "foDialogProbe_1");
    EXPECT_EQ(later->objectName(), "foViewer_1");
    EXPECT_EQ(TFormList::Of<TSForm>(), (QList<TSForm*>{viewer.get(), later.get()}));
    EXPECT_EQ(dialog->SeenBySetUp, "Traduit");

    dialog.reset();
    // A window taken out before its destruction is gone from every view of the list.
    TFormList::Remove(viewer.get());
    EXPECT_EQ(TFormList::Windows(), (QList<QWidget*>{second.get(), later.get()}));
    EXPECT_EQ(TFormList::Of<TSForm>(), QList<TSForm*>{later.get()});
    PvTranslator().Clear();
}

namespace {
// A window that frees itself when closed, as the program's windows do.
class TfoClosing : public TSDialog
{
public:
    TfoClosing() : TSDialog("foClosing") { setAttribute(Qt::WA_DeleteOnClose); }
};

// A window that asks to be centred at its first show.
class TfoCentred : public TSForm
{
public:
    TfoCentred() : TSForm("foCentred") { CentreAtFirstShow(); }
};
} // namespace

TEST(WindowList, AWindowLeavesTheListWhenItClosesAndUnlistedOnesNeverJoin)
{
    QPointer<TfoClosing> closing = CreateForm<TfoClosing>();
    // The tray window and the progress window keep their kind as their name, whatever is open.
    TSForm first("foOwned", nullptr, {}, TListing::Unlisted);
    TSForm second("foOwned", nullptr, {}, TListing::Unlisted);
    EXPECT_EQ(second.objectName(), "foOwned");
    EXPECT_EQ(TFormList::Windows(), QList<QWidget*>{closing.data()});

    closing->show();
    closing->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
    EXPECT_TRUE(TFormList::Windows().isEmpty());
}

TEST(WindowList, AWindowThatAsksIsCentredOnItsScreenAtItsFirstShowOnly)
{
    std::unique_ptr<TfoCentred> window(CreateForm<TfoCentred>());
    window->resize(200, 100);
    window->show();
    const QRect available = window->screen()->availableGeometry();
    EXPECT_LE((window->frameGeometry().center() - available.center()).manhattanLength(), 1);

    // The user's move stays when the window is shown again.
    window->hide();
    window->move(available.topLeft() + QPoint(3, 4));
    window->show();
    EXPECT_EQ(window->pos(), available.topLeft() + QPoint(3, 4));
}
