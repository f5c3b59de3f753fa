#include "core/catalog/ClassEditTree.h"

#include "core/catalog/ClassExchange.h"
#include "core/catalog/XmlDocument.h"

#include <gtest/gtest.h>

namespace {

TCamWebcam* AddCam(TCamCategory& category, const QString& name)
{
    TCamWebcam* cam = category.Webcams.Add();
    cam->Name = name;
    cam->Url = QStringLiteral("http://127.0.0.1/") + name + QStringLiteral(".jpg");
    cam->Refresh = 30;
    return cam;
}

TCamCategory* AddCat(TCamCategory& parent, const QString& name)
{
    TCamCategory* category = parent.Categories.Add();
    category->Name = name;
    return category;
}

QByteArray Xml(const TCamCategory& root)
{
    return WriteXml(*root.SaveToXml());
}

// The texts of a node's children, in tree order.
QStringList Texts(const TCamEditTree& tree, const QModelIndex& parent = {})
{
    QStringList texts;
    for (int row = 0; row < tree.rowCount(parent); ++row)
        texts << tree.index(row, 0, parent).data().toString();
    return texts;
}

QModelIndex Child(const TCamEditTree& tree, const QModelIndex& parent, const QString& text)
{
    for (int row = 0; row < tree.rowCount(parent); ++row)
        if (tree.index(row, 0, parent).data().toString() == text)
            return tree.index(row, 0, parent);
    return {};
}

// Europe { France { paris }, Belgium { brussels }, lyon }, Asia { tokyo }, top
class EditTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TCamCategory* europe = AddCat(Root, "Europe");
        AddCam(*AddCat(*europe, "France"), "paris");
        AddCam(*AddCat(*europe, "Belgium"), "brussels");
        TCamWebcam* lyon = AddCam(*europe, "lyon");
        lyon->LastId = 41;
        lyon->UserLeft = 12;
        lyon->UserWidth = 640;
        lyon->UserState = CamStateSnoozed;
        lyon->UserAlpha = 200;
        lyon->UserAuto = true;
        AddCam(*AddCat(Root, "Asia"), "tokyo");
        AddCam(Root, "top");
        Tree.LoadTree(Root);
        Europe = Child(Tree, {}, "Europe");
        France = Child(Tree, Europe, "France");
        Belgium = Child(Tree, Europe, "Belgium");
        Lyon = Child(Tree, Europe, "lyon");
    }

    TCamCategory Root;
    TCamEditTree Tree;
    QPersistentModelIndex Europe, France, Belgium, Lyon;
};

} // namespace

TEST_F(EditTree, LoadAndApplyGiveTheSameCatalogueAndWorkingCopiesStayApartUntilApplied)
{
    EXPECT_EQ(Texts(Tree), QStringList({"Europe", "Asia", "top"}));
    EXPECT_EQ(Texts(Tree, Europe), QStringList({"France", "Belgium", "lyon"}));
    EXPECT_EQ(Tree.WebcamCount(), 5);

    const QByteArray before = Xml(Root);
    TCamWebcam fields;
    fields.Name = "Lyon";
    fields.Url = "http://127.0.0.1/lyon2.jpg";
    fields.Refresh = 5;
    ASSERT_TRUE(Tree.SetWebcamFields(Lyon, fields));
    ASSERT_TRUE(Tree.SetCategoryName(Europe, "Europa"));
    EXPECT_FALSE(Tree.SetCategoryName(Lyon, "not a category"));
    EXPECT_FALSE(Tree.SetWebcamFields(Europe, fields));
    EXPECT_EQ(Xml(Root), before) << "an edit reached the catalogue before the apply";

    TCamCategory applied;
    Tree.ApplyTree(applied);
    EXPECT_EQ(applied.Categories.Items(0)->Name, "Europa");
    const TCamWebcam* lyon = applied.Categories.Items(0)->Webcams.Items(0);
    EXPECT_EQ(lyon->Name, "Lyon");
    EXPECT_EQ(lyon->Url, "http://127.0.0.1/lyon2.jpg");
    EXPECT_EQ(lyon->Refresh, 5);
    // The window state and LastId travel with the working copy.
    EXPECT_EQ(lyon->LastId, 41);
    EXPECT_EQ(lyon->UserLeft, 12);
    EXPECT_EQ(lyon->UserWidth, 640);
    EXPECT_EQ(lyon->UserState, CamStateSnoozed);
    EXPECT_EQ(lyon->UserAlpha, 200);
    EXPECT_TRUE(lyon->UserAuto);

    // Unchanged, the tree gives back the catalogue it was loaded from, byte for byte.
    TCamEditTree again;
    again.LoadTree(Root);
    TCamCategory copy;
    again.ApplyTree(copy);
    EXPECT_EQ(Xml(copy), before);
}

TEST_F(EditTree, AMoveGoesBeforeItsTargetAndAWebcamAmongSubCategoriesEndsAfterThem)
{
    // A webcam dropped between two sub-categories of another category.
    const QModelIndex tokyo = Child(Tree, Child(Tree, {}, "Asia"), "tokyo");
    ASSERT_TRUE(Tree.MoveBefore(tokyo, Belgium));
    EXPECT_EQ(Texts(Tree, Europe), QStringList({"France", "tokyo", "Belgium", "lyon"}));
    EXPECT_TRUE(Texts(Tree, Child(Tree, {}, "Asia")).isEmpty());

    TCamCategory applied;
    Tree.ApplyTree(applied);
    const TCamCategory& europe = *applied.Categories.Items(0);
    ASSERT_EQ(europe.Categories.Count(), 2);
    EXPECT_EQ(europe.Categories.Items(1)->Name, "Belgium");
    ASSERT_EQ(europe.Webcams.Count(), 2);
    EXPECT_EQ(europe.Webcams.Items(0)->Name, "tokyo");
    EXPECT_EQ(europe.Webcams.Items(1)->Name, "lyon");

    // Within one list, forwards and backwards.
    ASSERT_TRUE(Tree.MoveBefore(Child(Tree, {}, "Europe"), Child(Tree, {}, "top")));
    EXPECT_EQ(Texts(Tree), QStringList({"Asia", "Europe", "top"}));
    ASSERT_TRUE(Tree.MoveBefore(Child(Tree, {}, "top"), Child(Tree, {}, "Asia")));
    EXPECT_EQ(Texts(Tree), QStringList({"top", "Asia", "Europe"}));
    // A node already just before its target, or dropped on itself, stays.
    EXPECT_FALSE(Tree.MoveBefore(Child(Tree, {}, "top"), Child(Tree, {}, "Asia")));
    EXPECT_FALSE(Tree.MoveBefore(Europe, Europe));
    // The subtree moves whole: a category with its children.
    ASSERT_TRUE(Tree.MoveBefore(France, Child(Tree, {}, "top")));
    EXPECT_EQ(Texts(Tree), QStringList({"France", "top", "Asia", "Europe"}));
    EXPECT_EQ(Texts(Tree, France), QStringList({"paris"}));
    EXPECT_EQ(Tree.AncestorNames(Tree.Node(Child(Tree, France, "paris"))), QStringList{"France"});
}

TEST_F(EditTree, ADropOntoItsOwnDescendantChangesNothing)
{
    const QModelIndex paris = Child(Tree, France, "paris");
    EXPECT_FALSE(Tree.MoveBefore(Europe, France));
    EXPECT_FALSE(Tree.MoveBefore(Europe, paris));
    EXPECT_FALSE(Tree.MoveBefore(France, paris));
    EXPECT_FALSE(Tree.MoveBefore(Europe, {}));
    EXPECT_FALSE(Tree.MoveBefore({}, Europe));
    EXPECT_EQ(Texts(Tree), QStringList({"Europe", "Asia", "top"}));
    EXPECT_EQ(Texts(Tree, Europe), QStringList({"France", "Belgium", "lyon"}));
    EXPECT_EQ(Texts(Tree, France), QStringList({"paris"}));
}

TEST_F(EditTree, AddsGoUnderTheSelectedCategoryOrBesideTheSelectedWebcam)
{
    EXPECT_FALSE(Tree.AddCategory({}, "nothing").isValid());
    EXPECT_FALSE(Tree.AddWebcam({}, "nothing").isValid());

    // A top-level webcam selected: the new category goes at the top level, last.
    const QModelIndex added = Tree.AddCategory(Child(Tree, {}, "top"), "New Category");
    ASSERT_TRUE(added.isValid());
    EXPECT_EQ(Texts(Tree), QStringList({"Europe", "Asia", "top", "New Category"}));
    // A webcam in a category: beside it; a category: inside it, last.
    EXPECT_TRUE(Tree.AddCategory(Lyon, "Italy").isValid());
    const QModelIndex cam = Tree.AddWebcam(France, "New Webcam");
    EXPECT_EQ(Texts(Tree, Europe), QStringList({"France", "Belgium", "lyon", "Italy"}));
    EXPECT_EQ(Texts(Tree, France), QStringList({"paris", "New Webcam"}));

    const TCamWebcam& fresh = *Tree.Node(cam)->Cam;
    EXPECT_EQ(fresh.Url, "http://");
    EXPECT_EQ(fresh.Refresh, 30);
    EXPECT_EQ(fresh.LastId, 0);
    EXPECT_EQ(fresh.UserState, CamStateUnset);
    EXPECT_EQ(fresh.UserWidth, -1);

    EXPECT_TRUE(Tree.Delete(Europe));
    EXPECT_FALSE(Tree.Delete({}));
    TCamCategory applied;
    Tree.ApplyTree(applied);
    EXPECT_EQ(applied.FindWebcam("http://127.0.0.1/paris.jpg"), nullptr);
    EXPECT_EQ(applied.Categories.Count(), 2);
}

TEST(EditTreeDepth, NoAddOrMoveMakesACategoryDeeperThanTheLimit)
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

    QPersistentModelIndex deepest = Child(tree, {}, "L1");
    QPersistentModelIndex levelBefore;
    for (int i = 2; i <= MaxCategoryDepth; ++i) {
        levelBefore = deepest;
        deepest = Child(tree, deepest, QStringLiteral("L%1").arg(i));
    }
    ASSERT_TRUE(deepest.isValid());
    EXPECT_EQ(TCamEditTree::Level(tree.Node(deepest)), MaxCategoryDepth);

    EXPECT_FALSE(tree.AddCategory(deepest, "too deep").isValid());
    EXPECT_TRUE(tree.AddWebcam(deepest, "fine").isValid());
    // "Pair" with its sub-category fits one level higher, not beside the deepest category; a
    // webcam fits anywhere.
    const QPersistentModelIndex pair = Child(tree, {}, "Pair");
    EXPECT_FALSE(tree.MoveBefore(pair, deepest));
    EXPECT_TRUE(tree.MoveBefore(pair, levelBefore));
    EXPECT_EQ(TCamEditTree::Level(tree.Node(Child(tree, pair, "Inner"))), MaxCategoryDepth);
    EXPECT_FALSE(tree.AddCategory(Child(tree, pair, "Inner"), "too deep").isValid());
    EXPECT_TRUE(tree.MoveBefore(Child(tree, {}, "cam"), Child(tree, deepest, "fine")));

    // What the tree applies is written whole.
    TCamCategory applied;
    tree.ApplyTree(applied);
    TCamCategory reread;
    const TXmlDocument document = ReadXml(Xml(applied));
    ASSERT_TRUE(document.IsOk());
    reread.LoadFromXml(*document.Root);
    EXPECT_EQ(Xml(reread), Xml(applied));
    EXPECT_EQ(applied.SubtreeDepth(), MaxCategoryDepth);
}

TEST(EditTreeExport, DocumentsFollowTheTreeAndReadBackTheSame)
{
    // The editor's own additions, exported before any apply: the documents of the exchange files.
    TCamCategory empty;
    AddCat(empty, "Imported");
    TCamEditTree tree;
    tree.LoadTree(empty);
    const QModelIndex imported = Child(tree, {}, "Imported");
    const QModelIndex category = tree.AddCategory(imported, "New Category");
    const QModelIndex webcam = tree.AddWebcam(category, "New Webcam");
    EXPECT_EQ(tree.ExportDocument(webcam),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Webcam>\r\n"
              " <Url>http://</Url>\r\n <Referer/>\r\n <Name>New Webcam</Name>\r\n"
              " <Refresh>30</Refresh>\r\n <Homepage/>\r\n <Email/>\r\n"
              " <Cagegory>Imported,&#34;New Category&#34;</Cagegory>\r\n</Webcam>\r\n");
    EXPECT_EQ(tree.ExportDocument(category),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
              "<Category Name=\"Imported\">\r\n"
              " <Category Name=\"New Category\">\r\n"
              "  <Webcam Name=\"New Webcam\" Url=\"http://\" Referer=\"\" Refresh=\"30\" "
              "Homepage=\"\" Email=\"\"/>\r\n"
              " </Category>\r\n"
              "</Category>\r\n");
    EXPECT_TRUE(tree.ExportDocument({}).isEmpty());

    // Children are written in tree order, a webcam before a sub-category when it stands there.
    const QModelIndex sub = tree.AddCategory(category, "Sub");
    // Its own address: an import skips a webcam whose Url the category already holds.
    TCamWebcam deep;
    deep.Name = "Deep";
    deep.Url = "http://127.0.0.1/deep.jpg";
    ASSERT_TRUE(tree.SetWebcamFields(tree.AddWebcam(sub, "x"), deep));
    ASSERT_TRUE(tree.MoveBefore(sub, webcam));
    const QByteArray cal = tree.ExportDocument(imported);
    EXPECT_LT(cal.indexOf("Name=\"Sub\""), cal.indexOf("Name=\"New Webcam\""));

    // Imported into an empty catalogue and loaded again, the same node exports the same bytes.
    TCamCategory target;
    ASSERT_EQ(TCamExchange::ImportBytes(cal, target, {}), TImportResult::CategoryList);
    TCamEditTree back;
    back.LoadTree(target);
    EXPECT_EQ(back.ExportDocument(Child(back, {}, "Imported")), cal);
}
