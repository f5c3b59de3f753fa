#include "core/catalog/Catalog.h"

#include "core/catalog/XmlDocument.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TXmlElement> ParseElement(const QByteArray& bytes)
{
    TXmlDocument document = ReadXml(bytes);
    EXPECT_TRUE(document.IsOk()) << document.ErrorString.toStdString();
    return std::move(document.Root);
}

QByteArray Body(const TXmlElement& element)
{
    // The document without its header line.
    QByteArray bytes = WriteXml(element);
    return bytes.mid(bytes.indexOf('\n') + 1);
}

QStringList Names(const TCamCategories& categories)
{
    QStringList names;
    for (int i = 0; i < categories.Count(); ++i)
        names.append(categories.Items(i)->Name);
    return names;
}

} // namespace

TEST(CamWebcam, NewObjectValues)
{
    const TCamWebcam webcam;
    EXPECT_EQ(webcam.Refresh, 0);
    EXPECT_EQ(webcam.LastId, 0);
    EXPECT_TRUE(webcam.Name.isEmpty() && webcam.Url.isEmpty() && webcam.Homepage.isEmpty() &&
                webcam.Email.isEmpty() && webcam.Referer.isEmpty());
    EXPECT_TRUE(webcam.LastUpdate.isNull());
    for (int value : {webcam.UserHeight, webcam.UserLeft, webcam.UserWidth, webcam.UserTop,
                      webcam.UserRefresh, webcam.UserState, webcam.StartState})
        EXPECT_EQ(value, -1);
    EXPECT_EQ(webcam.UserAlpha, 0);
}

TEST(CamWebcam, AssignCopiesAllButLastUpdate)
{
    TCamWebcam source;
    source.Name = "n";
    source.Url = "u";
    source.Refresh = 11;
    source.Homepage = "h";
    source.Email = "e";
    source.Referer = "r";
    source.LastId = 12;
    source.LastUpdate = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5));
    source.UserTop = 1;
    source.UserLeft = 2;
    source.UserWidth = 3;
    source.UserHeight = 4;
    source.UserRefresh = 5;
    source.UserAuto = true;
    source.UserState = 2;
    source.StartState = 1;
    source.UserAlpha = 200;

    TCamWebcam copy;
    copy.Assign(source);
    EXPECT_EQ(copy.Name, "n");
    EXPECT_EQ(copy.Url, "u");
    EXPECT_EQ(copy.Refresh, 11);
    EXPECT_EQ(copy.Homepage, "h");
    EXPECT_EQ(copy.Email, "e");
    EXPECT_EQ(copy.Referer, "r");
    EXPECT_EQ(copy.LastId, 12);
    EXPECT_TRUE(copy.LastUpdate.isNull());
    EXPECT_EQ(copy.UserTop, 1);
    EXPECT_EQ(copy.UserLeft, 2);
    EXPECT_EQ(copy.UserWidth, 3);
    EXPECT_EQ(copy.UserHeight, 4);
    EXPECT_EQ(copy.UserRefresh, 5);
    EXPECT_EQ(copy.UserState, 2);
    EXPECT_EQ(copy.StartState, 1);
    EXPECT_EQ(copy.UserAlpha, 200);

    TCamWebcam state;
    EXPECT_EQ(&state.AssignUserState(source), &state);
    EXPECT_TRUE(state.Name.isEmpty());
    EXPECT_EQ(state.LastId, 0);
    EXPECT_EQ(state.Refresh, 0);
    EXPECT_EQ(state.UserWidth, 3);
    EXPECT_EQ(state.StartState, 1);
    EXPECT_EQ(state.UserAlpha, 200);
    EXPECT_TRUE(state.UserAuto);
}

TEST(CamWebcam, ReadingAttributes)
{
    struct Row
    {
        const char* Element;
        int Refresh, LastId, UserTop, UserState, StartState, UserAlpha;
    };
    const Row rows[] = {
        // Missing attributes: Refresh 30, LastId 0, the window state -1 (UserAlpha too).
        {"<Cam Name=\"a\" Url=\"u\"/>", 30, 0, -1, -1, -1, -1},
        {"<Cam Refresh=\"15\" LastId=\"7\" UserTop=\"-5\" UserState=\"1\" UserAlpha=\"0\"/>", 15, 7,
         -5, 1, 1, 0},
        // Present but not a number, empty included: -1.
        {"<Cam Refresh=\"abc\" LastId=\"\" UserTop=\"x\" UserState=\"\" UserAlpha=\"1.5\"/>", -1,
         -1, -1, -1, -1, -1},
        // Attribute names without regard to case.
        {"<Cam REFRESH=\"5\" lastid=\"6\" usertop=\"7\" USERSTATE=\"2\" UserALPHA=\"9\"/>", 5, 6, 7,
         2, 2, 9},
    };
    for (const Row& row : rows) {
        const auto element = ParseElement(row.Element);
        TCamWebcam webcam;
        webcam.LastUpdate = QDateTime::currentDateTime();
        webcam.LoadFromXml(*element);
        EXPECT_EQ(webcam.Refresh, row.Refresh) << row.Element;
        EXPECT_EQ(webcam.LastId, row.LastId) << row.Element;
        EXPECT_EQ(webcam.UserTop, row.UserTop) << row.Element;
        EXPECT_EQ(webcam.UserLeft, -1) << row.Element;
        EXPECT_EQ(webcam.UserState, row.UserState) << row.Element;
        EXPECT_EQ(webcam.StartState, row.StartState) << row.Element;
        EXPECT_EQ(webcam.UserAlpha, row.UserAlpha) << row.Element;
        EXPECT_FALSE(webcam.LastUpdate.isNull()) << "LastUpdate is not read";
    }
    const auto element =
        ParseElement("<Cam name=\"N\" URL=\"U\" homepage=\"H\" EMAIL=\"E\" Referer=\"R\"/>");
    TCamWebcam webcam;
    webcam.LoadFromXml(*element);
    EXPECT_EQ(webcam.Name, "N");
    EXPECT_EQ(webcam.Url, "U");
    EXPECT_EQ(webcam.Homepage, "H");
    EXPECT_EQ(webcam.Email, "E");
    EXPECT_EQ(webcam.Referer, "R");
}

TEST(CamWebcam, WrittenAttributes)
{
    TCamWebcam fresh;
    EXPECT_EQ(Body(*fresh.SaveToXml()),
              "<Cam Name=\"\" Url=\"\" Refresh=\"0\" UserAlpha=\"0\"/>\r\n");

    TCamWebcam unset;
    unset.Name = "x";
    unset.UserAlpha = -1;
    EXPECT_EQ(Body(*unset.SaveToXml()), "<Cam Name=\"x\" Url=\"\" Refresh=\"0\"/>\r\n");

    TCamWebcam full;
    full.Name = "N";
    full.Url = "http://h/a.jpg?x=1&y=2";
    full.Refresh = -3;
    full.Homepage = "H";
    full.Email = "E";
    full.Referer = "R";
    full.LastId = 9;
    full.UserTop = 1;
    full.UserLeft = 2;
    full.UserWidth = 3;
    full.UserHeight = 4;
    full.UserRefresh = 5;
    full.UserAuto = true;
    full.UserState = 0;
    full.StartState = 2; // never stored
    full.UserAlpha = 255;
    EXPECT_EQ(Body(*full.SaveToXml()),
              "<Cam Name=\"N\" Url=\"http://h/a.jpg?x=1&#38;y=2\" Refresh=\"-3\" Homepage=\"H\" "
              "Email=\"E\" Referer=\"R\" LastId=\"9\" UserTop=\"1\" UserLeft=\"2\" UserWidth=\"3\" "
              "UserHeight=\"4\" UserRefresh=\"5\" UserAuto=\"1\" UserState=\"0\" "
              "UserAlpha=\"255\"/>\r\n");

    // Written and read back, every stored field comes back.
    TCamWebcam back;
    back.LoadFromXml(*ParseElement(WriteXml(*full.SaveToXml())));
    EXPECT_EQ(back.Url, full.Url);
    EXPECT_EQ(back.Refresh, -3);
    EXPECT_EQ(back.LastId, 9);
    EXPECT_EQ(back.UserHeight, 4);
    EXPECT_EQ(back.UserState, 0);
    EXPECT_EQ(back.StartState, 0);
    EXPECT_EQ(back.UserAlpha, 255);
    EXPECT_TRUE(back.UserAuto);
    back.LoadFromXml(*ParseElement("<Cam Url=\"u\" UserRefresh=\"20\"/>")); // no Auto choice
    EXPECT_FALSE(back.UserAuto);
    EXPECT_EQ(back.UserRefresh, 20);
}

TEST(CamCategory, ReadingLevels)
{
    const auto element =
        ParseElement("<Category Name=\"\">"
                     " <CATEGORIES>"
                     "  <Category Name=\"A\"><cams><Cam Url=\"a1\"/></cams></Category>"
                     "  <category Name=\"skipped: lower case\"/>"
                     "  <Other Name=\"skipped\"/>"
                     "  <Category><Cams><cam Url=\"skipped\"/><Cam Url=\"b1\"/></Cams></Category>"
                     " </CATEGORIES>"
                     " <Cams><Cam Url=\"r1\"/><CAM Url=\"skipped\"/><Cam Url=\"r2\"/></Cams>"
                     "</Category>");
    TCamCategory root;
    root.LoadFromXml(*element);
    EXPECT_EQ(Names(root.Categories), QStringList({"A", ""}));
    ASSERT_EQ(root.Webcams.Count(), 2);
    EXPECT_EQ(root.Webcams.Items(0)->Url, "r1");
    EXPECT_EQ(root.Webcams.Items(1)->Url, "r2");
    ASSERT_EQ(root.Categories.Items(0)->Webcams.Count(), 1) << "cams in lower case is found";
    ASSERT_EQ(root.Categories.Items(1)->Webcams.Count(), 1);
    EXPECT_EQ(root.Categories.Items(1)->Webcams.Items(0)->Url, "b1");

    // Reading appends; a missing list element is no error.
    root.LoadFromXml(*ParseElement("<Category Name=\"again\"><Categories><Category Name=\"C\"/>"
                                   "</Categories></Category>"));
    EXPECT_EQ(root.Name, "again");
    EXPECT_EQ(Names(root.Categories), QStringList({"A", "", "C"}));
    EXPECT_EQ(root.Webcams.Count(), 2);

    TCamWebcams webcams;
    webcams.LoadFromXml(nullptr);
    EXPECT_EQ(webcams.Count(), 0);
}

TEST(CamCategory, WritingLevels)
{
    TCamCategory empty;
    empty.Name = "Empty";
    EXPECT_EQ(Body(*empty.SaveToXml()), "<Category Name=\"Empty\"/>\r\n");

    TCamCategory root;
    TCamCategory* a = root.Categories.Add();
    a->Name = "A";
    a->Webcams.Add()->Url = "a1";
    root.Webcams.Add()->Url = "r1";
    EXPECT_EQ(Body(*root.SaveToXml()),
              "<Category Name=\"\">\r\n"
              " <Categories>\r\n"
              "  <Category Name=\"A\">\r\n"
              "   <Cams>\r\n"
              "    <Cam Name=\"\" Url=\"a1\" Refresh=\"0\" UserAlpha=\"0\"/>\r\n"
              "   </Cams>\r\n"
              "  </Category>\r\n"
              " </Categories>\r\n"
              " <Cams>\r\n"
              "  <Cam Name=\"\" Url=\"r1\" Refresh=\"0\" UserAlpha=\"0\"/>\r\n"
              " </Cams>\r\n"
              "</Category>\r\n");
}

TEST(CamCategory, FindWebcamIsDepthFirstAndExact)
{
    TCamCategory root;
    TCamCategory* a = root.Categories.Add();
    TCamCategory* a1 = a->Categories.Add();
    TCamCategory* b = root.Categories.Add();
    TCamWebcam* deep = a1->Webcams.Add();
    deep->Url = "dup";
    TCamWebcam* inB = b->Webcams.Add();
    inB->Url = "b";
    TCamWebcam* bDup = b->Webcams.Add();
    bDup->Url = "dup";

    EXPECT_EQ(root.FindWebcam("dup"), deep) << "A's subtree comes before B";
    EXPECT_EQ(root.FindWebcam("b"), inB);
    EXPECT_EQ(root.FindWebcam("B"), nullptr) << "case-sensitive";
    EXPECT_EQ(root.FindWebcam("missing"), nullptr);
    EXPECT_EQ(b->FindWebcam("dup"), bDup);

    TCamWebcam* top = root.Webcams.Add();
    top->Url = "dup";
    EXPECT_EQ(root.FindWebcam("dup"), top) << "the root's own webcams come first";
}

TEST(CamCategory, FindCategorySearchesOneLevel)
{
    TCamCategory root;
    TCamCategory* first = root.Categories.Add();
    first->Name = "Same";
    root.Categories.Add()->Name = "Same";
    first->Categories.Add()->Name = "Deep";
    EXPECT_EQ(root.FindCategory("Same"), first);
    EXPECT_EQ(root.FindCategory("same"), nullptr);
    EXPECT_EQ(root.FindCategory("Deep"), nullptr);
}

TEST(CamCategory, ForcePath)
{
    struct Row
    {
        const char* Path;
        QStringList Chain; // names from the top level down to the result; empty = none
    };
    const Row rows[] = {
        {"", {}},
        {"   ", {}},
        {"A,B", {"A", "B"}},
        {"A B", {"A", "B"}},
        {"\"A B\"", {"A B"}},
        {"Europe,Belgium", {"Europe", "Belgium"}},
        {"\"\"", {""}},
    };
    for (const Row& row : rows) {
        TCamCategory root;
        TCamCategory* result = root.ForcePath(QString::fromLatin1(row.Path));
        if (row.Chain.isEmpty()) {
            EXPECT_EQ(result, nullptr) << row.Path;
            EXPECT_EQ(root.Categories.Count(), 0) << row.Path;
            continue;
        }
        // The chain exists, one category per level, and the result is its last link.
        const TCamCategory* level = &root;
        for (const QString& name : row.Chain) {
            ASSERT_EQ(level->Categories.Count(), 1) << row.Path;
            level = level->Categories.Items(0);
            EXPECT_EQ(level->Name, name) << row.Path;
        }
        EXPECT_EQ(result, level) << row.Path;
        EXPECT_EQ(level->Categories.Count(), 0) << row.Path;
    }

    TCamCategory root;
    TCamCategory* first = root.ForcePath("A,B");
    EXPECT_EQ(root.ForcePath("A,B"), first) << "the second call creates nothing";
    EXPECT_EQ(root.Categories.Count(), 1);
    TCamCategory* c = root.ForcePath("A,C");
    EXPECT_EQ(Names(root.Categories.Items(0)->Categories), QStringList({"B", "C"}));
    EXPECT_EQ(c->Name, "C");
}

TEST(CamCategory, OpenWebcamCallsOpenViewerWithTheSavedState)
{
    TCamCategory root;
    TCamWebcam* webcam = root.ForcePath("A")->Webcams.Add();
    webcam->Url = "u";
    std::vector<std::pair<TCamWebcam*, bool>> calls;
    const TOpenViewerFunc openViewer = [&](TCamWebcam* cam, bool apply) {
        calls.emplace_back(cam, apply);
    };
    EXPECT_TRUE(root.OpenWebcam("u", openViewer));
    EXPECT_FALSE(root.OpenWebcam("U", openViewer));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, webcam);
    EXPECT_TRUE(calls[0].second);
}

TEST(CamCategory, ListOperations)
{
    TCamCategory root;
    root.Name = "keeps its name";
    TCamWebcam* a = root.Webcams.Add();
    TCamWebcam* b = root.Webcams.Add();
    a->Url = "a";
    b->Url = "b";
    EXPECT_EQ(root.Webcams.IndexOf(b), 1);
    root.Webcams.Remove(a);
    ASSERT_EQ(root.Webcams.Count(), 1);
    EXPECT_EQ(root.Webcams.Items(0), b);
    TCamWebcam stranger;
    root.Webcams.Remove(&stranger);
    EXPECT_EQ(root.Webcams.Count(), 1);

    TCamCategory* sub = root.ForcePath("x,y");
    QStringList path;
    EXPECT_TRUE(root.PathOf(sub->Webcams.Add(), path));
    EXPECT_EQ(path, QStringList({"x", "y"}));
    path.clear();
    EXPECT_TRUE(root.PathOf(b, path));
    EXPECT_TRUE(path.isEmpty());
    EXPECT_FALSE(root.PathOf(&stranger, path));

    root.Clear();
    EXPECT_EQ(root.Webcams.Count(), 0);
    EXPECT_EQ(root.Categories.Count(), 0);
    EXPECT_EQ(root.Name, "keeps its name");
}
