#include "base/ClassForm.h"

#include "base/ClassDialog.h"
#include "base/FormList.h"
#include "base/Translator.h"

#include <QLabel>
#include <gtest/gtest.h>
#include <memory>

TEST(WindowList, KeepsCreationOrderAndNamesLaterWindowsOfAKind)
{
    auto a = std::make_unique<TSForm>("foViewer");
    auto b = std::make_unique<TSForm>("foViewer");
    auto c = std::make_unique<TSForm>("foAbout");
    auto d = std::make_unique<TSForm>("foViewer");
    ASSERT_EQ(TSForm::Forms().size(), 4);
    EXPECT_EQ(TSForm::Forms()[0], a.get());
    EXPECT_EQ(TSForm::Forms()[3], d.get());
    EXPECT_EQ(a->objectName(), "foViewer");
    EXPECT_EQ(b->objectName(), "foViewer_1");
    EXPECT_EQ(c->objectName(), "foAbout");
    EXPECT_EQ(d->objectName(), "foViewer_2");

    // A freed name is given again; removal before destruction is harmless.
    TSForm::RemoveFromList(b.get());
    EXPECT_EQ(TSForm::Forms().size(), 3);
    b.reset();
    EXPECT_EQ(TSForm::Forms().size(), 3);
    TSForm e("foViewer");
    EXPECT_EQ(e.objectName(), "foViewer_1");
    a.reset();
    c.reset();
    d.reset();
    ASSERT_EQ(TSForm::Forms().size(), 1);
    EXPECT_EQ(TSForm::Forms()[0], &e);
}

namespace {
// A window that records what its set-up saw: the caption of its label after translation.
class TfoProbe : public TSForm
{
public:
    TfoProbe() : TSForm("foProbe") {}
    QString SeenBySetUp;
    int Builds = 0;

protected:
    void BuildLayout() override
    {
        ++Builds;
        auto* label = new QLabel("Plain", this);
        label->setObjectName("Label1");
    }
    void FormCreate() override { SeenBySetUp = findChild<QLabel*>("Label1")->text(); }
};
} // namespace

TEST(WindowList, WindowsAreBuiltThenTranslatedThenSetUpOnce)
{
    ASSERT_TRUE(PvTranslator().TranslateBytes(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<Language><FOPROBE><label1 caption=\"Traduit\"/></FOPROBE></Language>\r\n"));
    std::unique_ptr<TfoProbe> probe(CreateForm<TfoProbe>());
    EXPECT_EQ(probe->SeenBySetUp, "Traduit");
    probe->Construct();
    EXPECT_EQ(probe->Builds, 1);
    PvTranslator().Clear();
}

namespace {
// A dialog that records what its set-up saw, as TfoProbe does.
class TfoDialogProbe : public TSDialog
{
public:
    TfoDialogProbe() : TSDialog("foDialogProbe") {}
    QString SeenBySetUp;

protected:
    void BuildLayout() override
    {
        auto* label = new QLabel("Plain", this);
        label->setObjectName("Label1");
    }
    void FormCreate() override { SeenBySetUp = findChild<QLabel*>("Label1")->text(); }
};
} // namespace

TEST(WindowList, DialogsShareTheListAndTheCreationOrderWithTheOtherWindows)
{
    ASSERT_TRUE(PvTranslator().TranslateBytes(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<Language><foDialogProbe><Label1 Caption=\"Traduit\"/></foDialogProbe></Language>\r\n"));
    auto viewer = std::make_unique<TSForm>("foViewer");
    std::unique_ptr<TfoDialogProbe> dialog(CreateForm<TfoDialogProbe>());
    std::unique_ptr<TfoDialogProbe> second(CreateForm<TfoDialogProbe>());
    auto later = std::make_unique<TSForm>("foViewer");
    EXPECT_EQ(TFormList::Windows(),
              (QList<QWidget*>{viewer.get(), dialog.get(), second.get(), later.get()}));
    EXPECT_EQ(second->objectName(), "foDialogProbe_1");
    EXPECT_EQ(later->objectName(), "foViewer_1");
    EXPECT_EQ(TSForm::Forms(), (QList<TSForm*>{viewer.get(), later.get()}));
    EXPECT_EQ(dialog->SeenBySetUp, "Traduit");

    dialog.reset();
    // A window taken out before its destruction leaves both lists.
    TSForm::RemoveFromList(viewer.get());
    EXPECT_EQ(TFormList::Windows(), (QList<QWidget*>{second.get(), later.get()}));
    EXPECT_EQ(TSForm::Forms(), QList<TSForm*>{later.get()});
    PvTranslator().Clear();
}
