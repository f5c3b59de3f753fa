#include "base/ClassForm.h"

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
