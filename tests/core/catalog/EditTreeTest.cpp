// The editor's tree rules; the window's behaviour through OK and Cancel is in FormEditCamsTest.
#include "core/catalog/EditTree.h"

#include "core/catalog/ExchangeFiles.h"

#include <gtest/gtest.h>

namespace {

TCamCategory* AddCat(TCamCategory& parent, const QString& name)
{
    TCamCategory* category = parent.Categories.Add();
    category->Name = name;
    return category;
}

void AddCam(TCamCategory& category, const QString& name)
{
    TCamWebcam* cam = category.Webcams.Add();
    cam->Name = name;
    cam->Url = QStringLiteral("http://127.0.0.1/") + name;
}

QStringList Texts(const TCamEditTree& tree, const QModelIndex& parent = {})
{
    QStringList texts;
    for (int row = 0; row < tree.rowCount(parent); ++row)
        texts << tree.index(row, 0, parent).data().toString();
    return texts;
}

// The node at a path of texts from the top level.
QModelIndex At(const TCamEditTree& tree, const QStringList& path)
{
    QModelIndex index;
    for (const QString& text : path)
        index = tree.index(int(Texts(tree, index).indexOf(text)), 0, index);
    return index;
}

} // namespace

TEST(EditTree, AMoveGoesBeforeItsTargetWithItsSubtreeAndNeverBelowItself)
{
    TCamCategory root;
    AddCam(*AddCat(*AddCat(root, "A"), "A1"), "a");
    AddCat(root, "B");
    AddCam(root, "c");
    TCamEditTree tree;
    tree.LoadTree(root);

    // Onto itself, its own descendants, or the node it already stands before: nothing.
    EXPECT_FALSE(tree.MoveBefore(At(tree, {"A"}), At(tree, {"A"})));
    EXPECT_FALSE(tree.MoveBefore(At(tree, {"A"}), At(tree, {"A", "A1"})));
    EXPECT_FALSE(tree.MoveBefore(At(tree, {"A"}), At(tree, {"A", "A1", "a"})));
    EXPECT_FALSE(tree.MoveBefore(At(tree, {"A"}), At(tree, {"B"})));
    EXPECT_FALSE(tree.MoveBefore({}, At(tree, {"B"})));
    EXPECT_EQ(Texts(tree), QStringList({"A", "B", "c"}));

    // Forwards and backwards within a list, then out of a category with everything below.
    ASSERT_TRUE(tree.MoveBefore(At(tree, {"A"}), At(tree, {"c"})));
    EXPECT_EQ(Texts(tree), QStringList({"B", "A", "c"}));
    ASSERT_TRUE(tree.MoveBefore(At(tree, {"c"}), At(tree, {"B"})));
    EXPECT_EQ(Texts(tree), QStringList({"c", "B", "A"}));
    ASSERT_TRUE(tree.MoveBefore(At(tree, {"A", "A1"}), At(tree, {"c"})));
    EXPECT_EQ(Texts(tree), QStringList({"A1", "c", "B", "A"}));
    EXPECT_EQ(Texts(tree, At(tree, {"A1"})), QStringList{"a"});
    EXPECT_EQ(tree.AncestorNames(tree.Node(At(tree, {"A1", "a"}))), QStringList{"A1"});
}

TEST(EditTree, NoAddOrMoveMakesACategoryDeeperThanTheLimit)
{
    TCamCategory root;
    QStringList path;
    for (int i = 1; i <= MaxCategoryDepth; ++i)
        path << QStringLiteral("L%1").arg(i);
    ASSERT_NE(root.ForcePath(path.join(',')), nullptr);
    AddCat(*AddCat(root, "Pair"), "Inner");
    AddCam(root, "cam");
    TCamEditTree tree;
    tree.LoadTree(root);
    const QPersistentModelIndex deepest = At(tree, path);
    const QPersistentModelIndex pair = At(tree, {"Pair"});
    EXPECT_EQ(TCamEditTree::Level(tree.Node(deepest)), MaxCategoryDepth);

    EXPECT_FALSE(tree.AddCategory(deepest, "too deep").isValid());
    EXPECT_TRUE(tree.AddWebcam(deepest, "fine").isValid());
    // "Pair" with its sub-category fits one level higher, not beside the deepest category; a
    // webcam fits anywhere.
    EXPECT_FALSE(tree.MoveBefore(pair, deepest));
    EXPECT_TRUE(tree.MoveBefore(pair, deepest.parent()));
    EXPECT_FALSE(tree.AddCategory(tree.index(0, 0, pair), "too deep").isValid());
    EXPECT_TRUE(tree.MoveBefore(At(tree, {"cam"}), tree.index(0, 0, deepest)));

    TCamCategory applied;
    tree.ApplyTree(applied);
    EXPECT_EQ(applied.SubtreeDepth(), MaxCategoryDepth);
}

TEST(EditTree, ExportFollowsTheTreeOrderAndAppliedSubCategoriesComeFirst)
{
    TCamCategory root;
    TCamCategory* top = AddCat(root, "Top");
    AddCam(*AddCat(*top, "Sub"), "deep");
    AddCam(*top, "mid");
    TCamEditTree tree;
    tree.LoadTree(root);
    ASSERT_TRUE(tree.MoveBefore(At(tree, {"Top", "mid"}), At(tree, {"Top", "Sub"})));

    // The export writes the editor's order: the webcam before the sub-category.
    const QByteArray cal = tree.ExportDocument(At(tree, {"Top"}));
    EXPECT_LT(cal.indexOf("Name=\"mid\""), cal.indexOf("Name=\"Sub\""));
    EXPECT_TRUE(tree.ExportDocument(At(tree, {"Top", "Sub", "deep"}))
                    .contains("<Cagegory>Top,Sub</Cagegory>"));
    EXPECT_TRUE(tree.ExportDocument({}).isEmpty());

    // Applied, the webcam goes to its category's webcams, after the sub-categories; the tree
    // loaded again from that exports the catalogue's order, and reads back the same.
    TCamCategory applied;
    tree.ApplyTree(applied);
    TCamEditTree again;
    again.LoadTree(applied);
    EXPECT_EQ(Texts(again, At(again, {"Top"})), QStringList({"Sub", "mid"}));
    const QByteArray ordered = again.ExportDocument(At(again, {"Top"}));
    TCamCategory imported;
    ASSERT_EQ(TCamExchange::ImportBytes(ordered, imported, {}), TImportResult::CategoryList);
    TCamEditTree back;
    back.LoadTree(imported);
    EXPECT_EQ(back.ExportDocument(At(back, {"Top"})), ordered);
}
