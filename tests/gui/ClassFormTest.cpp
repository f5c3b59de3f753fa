#include "base/ClassForm.h"
#include "base/ClassTranslate.h"

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
