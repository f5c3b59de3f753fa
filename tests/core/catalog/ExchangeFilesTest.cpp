#include "core/catalog/ExchangeFiles.h"

#include "core/catalog/Strings.h"
#include "core/catalog/XmlDocument.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray ExampleCam = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                              "<Webcam>\r\n"
                              " <Url>http://</Url>\r\n"
                              " <Referer/>\r\n"
                              " <Name>New Webcam</Name>\r\n"
                              " <Refresh>30</Refresh>\r\n"
                              " <Homepage/>\r\n"
                              " <Email/>\r\n"
                              " <Cagegory>&#34;New Category&#34;</Cagegory>\r\n"
                              "</Webcam>\r\n";

const QByteArray ExampleCal =
    "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
    "<Category Name=\"Imported\">\r\n"
    " <Category Name=\"New Category\">\r\n"
    "  <Webcam Name=\"New Webcam\" Url=\"http://\" Referer=\"\" Refresh=\"30\" Homepage=\"\" "
    "Email=\"\"/>\r\n"
    " </Category>\r\n"
    "</Category>\r\n";

// A webcam as the editor's "Add Webcam" creates it.
void MakeEditorWebcam(TCamWebcam& webcam)
{
    webcam.Name = QStringLiteral("New Webcam");
    webcam.Url = QStringLiteral("http://");
    webcam.Refresh = 30;
}

QStringList ChildNames(const TCamCategory& category)
{
    QStringList names;
    for (int i = 0; i < category.Categories.Count(); ++i)
        names.append(category.Categories.Items(i)->Name);
    return names;
}

// Records what the import asks of the tray window.
struct Recorder
{
    int Rebuilds = 0;
    std::vector<std::pair<TCamWebcam*, bool>> Opened;
    TImportCallbacks Callbacks()
    {
        return {[this](bool refreshChooser) {
                    EXPECT_TRUE(refreshChooser);
                    ++Rebuilds;
                },
                [this](TCamWebcam* webcam, bool apply) { Opened.emplace_back(webcam, apply); }};
    }
};

QByteArray CamFile(const QByteArray& children)
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Webcam>" + children + "</Webcam>";
}

class Exchange : public ::testing::Test
{
protected:
    void SetUp() override { RestoreMessageDefaults(); }
    void TearDown() override { RestoreMessageDefaults(); }

    TImportResult Import(const QByteArray& bytes)
    {
        return TCamExchange::ImportBytes(bytes, root_, recorder_.Callbacks());
    }

    TCamCategory root_;
    Recorder recorder_;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Export

TEST_F(Exchange, CamExampleByteForByte)
{
    TCamWebcam webcam;
    MakeEditorWebcam(webcam);
    EXPECT_EQ(TCamExchange::BuildCamDocument(webcam, {"New Category"}), ExampleCam);

    // A webcam at the top level writes an empty path; every element is written.
    const QByteArray top = TCamExchange::BuildCamDocument(webcam, {});
    EXPECT_TRUE(top.contains("\r\n <Cagegory/>\r\n"));
    EXPECT_EQ(top.count("\r\n"), 10);
}

TEST_F(Exchange, CalExampleByteForByte)
{
    TCamCategory category;
    category.Name = QStringLiteral("New Category");
    MakeEditorWebcam(*category.Webcams.Add());
    EXPECT_EQ(TCamExchange::BuildCalDocument({"Imported"}, category), ExampleCal);

    // The same from the building blocks the editor uses.
    auto element = TCamExchange::NewCalCategory(QStringLiteral("New Category"));
    TCamWebcam webcam;
    MakeEditorWebcam(webcam);
    element->AddChild(TCamExchange::NewCalWebcam(webcam));
    EXPECT_EQ(TCamExchange::BuildCalDocument({"Imported"}, std::move(element)), ExampleCal);
}

TEST_F(Exchange, NestedCategoryRoundTrip)
{
    // Export "C" below A, B: three nested Category elements; importing recreates the chain.
    TCamCategory source;
    TCamCategory* c = source.ForcePath("A,B,C");
    TCamCategory* d = c->Categories.Add();
    d->Name = "D";
    TCamWebcam* webcam = d->Webcams.Add();
    webcam->Url = "http://127.0.0.1/d.jpg";
    webcam->Name = "D cam";
    webcam->Refresh = 12;
    webcam->LastId = 40; // not exchanged
    c->Webcams.Add()->Url = "http://127.0.0.1/c.jpg";

    const QByteArray bytes = TCamExchange::BuildCalDocument({"A", "B"}, *c);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                                 "<Category Name=\"A\">\r\n"
                                 " <Category Name=\"B\">\r\n"
                                 "  <Category Name=\"C\">\r\n"
                                 "   <Category Name=\"D\">\r\n"));

    EXPECT_EQ(Import(bytes), TImportResult::CategoryList);
    TCamCategory* imported = root_.ForcePath("A,B,C");
    EXPECT_EQ(root_.Categories.Count(), 1);
    EXPECT_EQ(ChildNames(*imported), QStringList({"D"}));
    ASSERT_EQ(imported->Webcams.Count(), 1);
    const TCamWebcam* back = root_.FindWebcam("http://127.0.0.1/d.jpg");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Name, "D cam");
    EXPECT_EQ(back->Refresh, 12);
    EXPECT_EQ(back->LastId, 0);
    EXPECT_EQ(recorder_.Rebuilds, 1) << "once for the whole list";
    EXPECT_TRUE(recorder_.Opened.empty()) << "a category list opens nothing";
}

TEST_F(Exchange, WriteDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("x.cam");
    ASSERT_TRUE(TCamExchange::WriteDocument(path, ExampleCam));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), ExampleCam);

    QString error;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(TCamExchange::WriteDocument(dir.filePath("file/x.cam"), ExampleCam, &error));
    EXPECT_FALSE(error.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Import of a single webcam

TEST_F(Exchange, ExportedWebcamImportsIntoItsExportedCategory)
{
    TCamWebcam* existing = root_.ForcePath("\"New Category\"")->Webcams.Add();
    existing->Url = "http://";
    EXPECT_EQ(Import(ExampleCam), TImportResult::Webcam);
    EXPECT_EQ(ChildNames(root_), QStringList({"New Category"})) << "Cagegory gives the path";
    TCamCategory* imported = root_.Categories.Items(0);
    ASSERT_EQ(imported->Webcams.Count(), 2) << "no test for duplicates";
    TCamWebcam* webcam = imported->Webcams.Items(1);
    EXPECT_EQ(webcam->Name, "New Webcam");
    EXPECT_EQ(webcam->Refresh, 30);
    EXPECT_EQ(webcam->LastId, 0);
    EXPECT_EQ(webcam->UserState, -1);
    EXPECT_EQ(webcam->UserAlpha, 0) << "the window state of a new object";
    EXPECT_EQ(recorder_.Rebuilds, 1);
    ASSERT_EQ(recorder_.Opened.size(), 1u);
    EXPECT_EQ(recorder_.Opened[0].first, webcam);
    EXPECT_FALSE(recorder_.Opened[0].second);
}

TEST_F(Exchange, ExportedPathRoundTrips)
{
    TCamWebcam webcam;
    webcam.Url = "http://cam.example/i.jpg";
    webcam.Name = "Cam";
    const QStringList path{"Europe", "St. Moritz, \"East\"", "A B"};
    EXPECT_EQ(Import(TCamExchange::BuildCamDocument(webcam, path)), TImportResult::Webcam);
    TCamWebcam* found = root_.FindWebcam(webcam.Url);
    ASSERT_NE(found, nullptr);
    QStringList names;
    ASSERT_TRUE(root_.PathOf(found, names));
    EXPECT_EQ(names, path);
}

TEST_F(Exchange, SingleWebcamRules)
{
    struct Row
    {
        const char* Name;
        QByteArray Children;
        bool Imported;
        QStringList Path;
        int Refresh;
    };
    const Row rows[] = {
        {"path",
         "<Url>u</Url><Name>n</Name><Category>Europe,Belgium</Category>",
         true,
         {"Europe", "Belgium"},
         30},
        {"quoted path",
         "<Url>u</Url><Name>n</Name><category>&#34;A B&#34;</category>",
         true,
         {"A B"},
         30},
        {"empty path", "<Url>u</Url><Name>n</Name><Category/>", false, {}, 0},
        {"blank path", "<Url>u</Url><Name>n</Name><Category>  </Category>", false, {}, 0},
        {"no Url", "<Name>n</Name>", false, {}, 0},
        {"empty Url", "<Url/><Name>n</Name>", false, {}, 0},
        {"no Name", "<Url>u</Url>", false, {}, 0},
        {"Refresh letters",
         "<Url>u</Url><Name>n</Name><Refresh>abc</Refresh>",
         true,
         {"Imported"},
         -1},
        {"Refresh empty", "<Url>u</Url><Name>n</Name><Refresh/>", true, {"Imported"}, -1},
        {"Refresh set", "<url>u</url><NAME>n</NAME><refresh>45</refresh>", true, {"Imported"}, 45},
        {"exported spelling, top level",
         "<Url>u</Url><Name>n</Name><Cagegory/>",
         true,
         {"Imported"},
         30},
        {"Category before the exported spelling",
         "<Url>u</Url><Name>n</Name><Cagegory>A</Cagegory><Category>C</Category>",
         true,
         {"C"},
         30},
    };
    for (const Row& row : rows) {
        TCamCategory root;
        Recorder recorder;
        const TImportResult result =
            TCamExchange::ImportBytes(CamFile(row.Children), root, recorder.Callbacks());
        if (!row.Imported) {
            EXPECT_EQ(result, TImportResult::Nothing) << row.Name;
            EXPECT_EQ(root.Categories.Count(), 0) << row.Name;
            EXPECT_EQ(recorder.Rebuilds, 0) << row.Name;
            EXPECT_TRUE(recorder.Opened.empty()) << row.Name;
            continue;
        }
        EXPECT_EQ(result, TImportResult::Webcam) << row.Name;
        const TCamCategory* level = &root;
        for (const QString& name : row.Path) {
            ASSERT_EQ(level->Categories.Count(), 1) << row.Name;
            level = level->Categories.Items(0);
            EXPECT_EQ(level->Name, name) << row.Name;
        }
        ASSERT_EQ(level->Webcams.Count(), 1) << row.Name;
        EXPECT_EQ(level->Webcams.Items(0)->Url, "u") << row.Name;
        EXPECT_EQ(level->Webcams.Items(0)->Name, "n") << row.Name;
        EXPECT_EQ(level->Webcams.Items(0)->Refresh, row.Refresh) << row.Name;
    }
}

TEST_F(Exchange, TranslatedImportCategoryWithABlankMakesTwoLevels)
{
    ImportedCat = QStringLiteral("Imported webcams");
    EXPECT_EQ(Import(CamFile("<Url>u</Url><Name>n</Name>")), TImportResult::Webcam);
    EXPECT_EQ(ChildNames(root_), QStringList({"Imported"}));
    EXPECT_EQ(ChildNames(*root_.Categories.Items(0)), QStringList({"webcams"}));
}

TEST_F(Exchange, SameWebcamTwiceGivesTwoEntries)
{
    const QByteArray file = CamFile("<Url>u</Url><Name>n</Name><Referer>r</Referer>"
                                    "<Homepage>h</Homepage><Email>e</Email>");
    Import(file);
    Import(file);
    const TCamCategory* imported = root_.FindCategory("Imported");
    ASSERT_NE(imported, nullptr);
    ASSERT_EQ(imported->Webcams.Count(), 2);
    EXPECT_EQ(imported->Webcams.Items(1)->Referer, "r");
    EXPECT_EQ(imported->Webcams.Items(1)->Homepage, "h");
    EXPECT_EQ(imported->Webcams.Items(1)->Email, "e");
    EXPECT_EQ(recorder_.Opened.size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// Import of a category list

TEST_F(Exchange, CategoryListMergesWithoutDuplicatesInItsSubtree)
{
    // The same Url outside the imported category's subtree does not stop the import.
    root_.Webcams.Add()->Url = "http://";
    EXPECT_EQ(Import(ExampleCal), TImportResult::CategoryList);
    EXPECT_EQ(Import(ExampleCal), TImportResult::CategoryList);
    EXPECT_EQ(ChildNames(root_), QStringList({"Imported"}));
    const TCamCategory* category = root_.ForcePath("Imported,\"New Category\"");
    ASSERT_EQ(category->Webcams.Count(), 1) << "the second import adds nothing";
    EXPECT_EQ(category->Webcams.Items(0)->Refresh, 30);
    EXPECT_EQ(root_.Webcams.Count(), 1);
    EXPECT_EQ(recorder_.Rebuilds, 2);
}

TEST_F(Exchange, CategoryListItemsAndAttributes)
{
    const QByteArray file =
        "<Category Name=\"Top\">"
        " <Webcam Url=\"a\" Name=\"A\" LastId=\"5\" UserLeft=\"3\" UserState=\"2\"/>"
        " <Webcam Url=\"b\"/>"
        " <webcam Url=\"skipped: lower case\"/>"
        " <Cam Url=\"skipped: other name\"/>"
        " <category Name=\"skipped\"/>"
        " <Category><Webcam Url=\"a\"/></Category>"
        "</Category>";
    EXPECT_EQ(Import(file), TImportResult::CategoryList);
    const TCamCategory* top = root_.FindCategory("Top");
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(top->Webcams.Count(), 2);
    const TCamWebcam* a = top->Webcams.Items(0);
    EXPECT_EQ(a->LastId, 5);
    EXPECT_EQ(a->UserLeft, 3);
    EXPECT_EQ(a->UserState, 2);
    EXPECT_EQ(a->StartState, 2);
    const TCamWebcam* b = top->Webcams.Items(1);
    EXPECT_EQ(b->Refresh, 30);
    EXPECT_EQ(b->LastId, 0);
    EXPECT_EQ(b->UserAlpha, -1);
    EXPECT_EQ(ChildNames(*top), QStringList({""})) << "a nameless category";
    EXPECT_EQ(top->Categories.Items(0)->Webcams.Count(), 1)
        << "the search covers the sub-category, not its parent";
}

TEST_F(Exchange, DuplicateTestCoversTheTargetsSubtreeOnly)
{
    TCamCategory* first = root_.Categories.Add();
    first->Name = "T";
    TCamCategory* second = root_.Categories.Add();
    second->Name = "T"; // a duplicate name: the first is the target
    second->Webcams.Add()->Url = "w";
    first->ForcePath("Old")->Webcams.Add()->Url = "old";

    Import("<Category Name=\"T\">"
           " <Webcam Url=\"old\"/>" // below T already
           " <Category Name=\"S\"><Webcam Url=\"x\"/></Category>"
           " <Webcam Url=\"x\"/>"                                  // now below T through S
           " <Webcam Url=\"y\"/><Webcam Url=\"y\"/>"               // twice in the file
           " <Webcam Url=\"w\"/>"                                  // only in the other T
           " <Category Name=\"S2\"><Webcam Url=\"y\"/></Category>" // S2's subtree lacks y
           "</Category>");
    QStringList urls;
    for (int i = 0; i < first->Webcams.Count(); ++i)
        urls.append(first->Webcams.Items(i)->Url);
    EXPECT_EQ(urls, QStringList({"y", "w"}));
    EXPECT_EQ(first->FindCategory("S")->Webcams.Count(), 1);
    ASSERT_NE(first->FindCategory("S2"), nullptr);
    EXPECT_EQ(first->FindCategory("S2")->Webcams.Count(), 1);
    EXPECT_EQ(second->Webcams.Count(), 1);
    EXPECT_EQ(root_.Categories.Count(), 2);
}

TEST_F(Exchange, RootElementDecides)
{
    struct Row
    {
        const char* Name;
        QByteArray Bytes;
        TImportResult Result;
    };
    const Row rows[] = {
        {"lower-case category", "<category Name=\"x\"/>", TImportResult::Nothing},
        {"lower-case webcam", "<webcam><Url>u</Url><Name>n</Name></webcam>",
         TImportResult::Nothing},
        {"foreign root", "<Options><Category Name=\"x\"/></Options>", TImportResult::Nothing},
        {"category list", "<Category Name=\"x\"/>", TImportResult::CategoryList},
    };
    for (const Row& row : rows) {
        TCamCategory root;
        Recorder recorder;
        EXPECT_EQ(TCamExchange::ImportBytes(row.Bytes, root, recorder.Callbacks()), row.Result)
            << row.Name;
        EXPECT_EQ(root.Categories.Count(), row.Result == TImportResult::Nothing ? 0 : 1)
            << row.Name;
    }

    // The extension plays no part.
    QTemporaryDir dir;
    const QString path = dir.filePath("list.cam");
    ASSERT_TRUE(TCamExchange::WriteDocument(path, ExampleCal));
    EXPECT_EQ(TCamExchange::ImportFile(path, root_, recorder_.Callbacks()),
              TImportResult::CategoryList);
    EXPECT_NE(root_.FindWebcam("http://"), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Bad files

TEST_F(Exchange, FilesThatCannotBeImportedChangeNothingAndSayWhy)
{
    root_.Categories.Add()->Name = QStringLiteral("Kept");
    struct Row
    {
        const char* Name;
        QByteArray Bytes;
        const QString* Reason;
    };
    const Row rows[] = {
        // A list cut short: no part of it is merged, not even its top category.
        {"cut list",
         "<Category Name=\"Top\"><Webcam Url=\"a\"/><Category Name=\"Sub\"><Webcam Url=\"c",
         &RefusedDamaged},
        {"cut webcam", ExampleCam.left(ExampleCam.indexOf("<Cagegory")), &RefusedDamaged},
        {"empty", QByteArray(), &RefusedDamaged},
        {"not xml", "not xml at all", &RefusedDamaged},
        {"binary", QByteArray("\xff\xfe\x00\x01garbage", 11), &RefusedDamaged},
        {"foreign root", "<Options><Category Name=\"x\"/></Options>", &RefusedNotExchange},
        {"webcam without Url", CamFile("<Name>n</Name>"), &RefusedNoWebcam},
    };
    for (const Row& row : rows) {
        TImportReport report;
        EXPECT_EQ(TCamExchange::ImportBytes(row.Bytes, root_, recorder_.Callbacks(), &report),
                  TImportResult::Nothing)
            << row.Name;
        EXPECT_FALSE(report.Reason.isEmpty()) << row.Name;
        EXPECT_TRUE(report.Reason.startsWith(row.Reason->section('(', 0, 0)))
            << row.Name << ": " << report.Reason.toStdString();
        ASSERT_EQ(root_.Categories.Count(), 1) << row.Name;
        EXPECT_EQ(root_.Categories.Items(0)->Categories.Count(), 0) << row.Name;
        EXPECT_EQ(root_.Webcams.Count(), 0) << row.Name;
    }
    EXPECT_EQ(recorder_.Rebuilds, 0);
    EXPECT_TRUE(recorder_.Opened.empty());
}

TEST_F(Exchange, ReportSaysHowManyWebcamsWentWhere)
{
    const QByteArray list = "<Category Name=\"Travel & Tours\"><Webcam Url=\"a\" Name=\"A\"/>"
                            "<Category Name=\"Sub\"><Webcam Url=\"b\" Name=\"B\"/></Category>"
                            "</Category>";
    TImportReport report;
    ASSERT_EQ(TCamExchange::ImportBytes(QByteArray(list).replace("& ", "&amp; "), root_,
                                        recorder_.Callbacks(), &report),
              TImportResult::CategoryList);
    EXPECT_EQ(report.Added, 2);
    EXPECT_EQ(report.AlreadyIn, 0);
    EXPECT_EQ(report.Where, QStringLiteral("Travel & Tours"));

    report = {};
    ASSERT_EQ(TCamExchange::ImportBytes(
                  CamFile("<Url>u</Url><Name>n</Name><Category>Europe,Alps</Category>"), root_,
                  recorder_.Callbacks(), &report),
              TImportResult::Webcam);
    EXPECT_EQ(report.Added, 1);
    EXPECT_EQ(report.Where, QStringLiteral("Europe > Alps"));
}

TEST_F(Exchange, OversizedFileIsRefusedWithoutReadingIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("huge.cal");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<Category Name=\"huge\">");
        ASSERT_TRUE(file.resize(MaxXmlFileSize + 1)); // sparse: quick to make
    }
    QElapsedTimer timer;
    timer.start();
    TImportReport report;
    EXPECT_EQ(TCamExchange::ImportFile(path, root_, recorder_.Callbacks(), &report),
              TImportResult::Refused);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(report.Reason, RefusedFileTooLarge);
    EXPECT_EQ(root_.Categories.Count(), 0);

    report = {};
    EXPECT_EQ(TCamExchange::ImportFile(dir.filePath("missing.cal"), root_, recorder_.Callbacks(),
                                       &report),
              TImportResult::Nothing);
    EXPECT_TRUE(report.Reason.contains(QStringLiteral("no such file")))
        << report.Reason.toStdString();
    EXPECT_EQ(TCamExchange::ImportFile(dir.path(), root_, recorder_.Callbacks()),
              TImportResult::Nothing);
}

TEST_F(Exchange, DeepNestingKeepsWhatCameBefore)
{
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes += "<Category Name=\"L" + QByteArray::number(i) + "\"><Webcam Url=\"u" +
                 QByteArray::number(i) + "\"/>";
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(Import(bytes), TImportResult::Partial);
    EXPECT_LT(timer.elapsed(), 5000);
    // Categories deeper than the import limit are not created, so the settings file written
    // afterwards stays readable.
    int depth = 0;
    for (const TCamCategory* level = &root_; level->Categories.Count() > 0;
         level = level->Categories.Items(0))
        ++depth;
    EXPECT_EQ(depth, MaxImportCategoryDepth);
    EXPECT_NE(root_.FindWebcam("u0"), nullptr);
    EXPECT_NE(root_.FindWebcam(QStringLiteral("u%1").arg(MaxImportCategoryDepth - 1)), nullptr);
    EXPECT_EQ(root_.FindWebcam(QStringLiteral("u%1").arg(MaxImportCategoryDepth)), nullptr);

    // A single webcam whose path is deeper than the limit imports nothing.
    QByteArray path;
    for (int i = 0; i <= MaxImportCategoryDepth; ++i)
        path += "p" + QByteArray::number(i) + ",";
    TCamCategory other;
    Recorder recorder;
    EXPECT_EQ(TCamExchange::ImportBytes(
                  CamFile("<Url>u</Url><Name>n</Name><Category>" + path + "</Category>"), other,
                  recorder.Callbacks()),
              TImportResult::Nothing);
    EXPECT_EQ(other.Categories.Count(), 0);
}

TEST_F(Exchange, ListDeclaringEntitiesIsRefusedWhole)
{
    root_.Categories.Add()->Name = QStringLiteral("Kept");
    QByteArray bytes = "<?xml version=\"1.0\"?>\n<!DOCTYPE Category [<!ENTITY h \"" +
                       QByteArray(4000, 'h') +
                       "\">]>\n<Category Name=\"Top\">"
                       "<Webcam Url=\"before\" Name=\"b\"/><Webcam Url=\"u\" Homepage=\"";
    bytes += QByteArray("&h;").repeated(340000);
    bytes += "\"/></Category>";
    TImportReport report;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(TCamExchange::ImportBytes(bytes, root_, recorder_.Callbacks(), &report),
              TImportResult::Refused);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(report.Reason.contains(QStringLiteral("entities"))) << report.Reason.toStdString();
    ASSERT_EQ(root_.Categories.Count(), 1);
    EXPECT_EQ(root_.Categories.Items(0)->Name, QStringLiteral("Kept"));
    EXPECT_EQ(recorder_.Rebuilds, 0);
}

// ---------------------------------------------------------------------------------------------
// Limits that keep the settings file readable

namespace {

// A list of count webcams under one category, each with fields of fieldLength characters.
QByteArray BigList(const QByteArray& category, int count, int fieldLength)
{
    const QByteArray field(fieldLength, 'n');
    QByteArray bytes = "<Category Name=\"" + category + "\">";
    bytes.reserve(qsizetype(count) * (3 * fieldLength + 80));
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        bytes += "<Webcam Name=\"" + field + "\" Url=\"http://127.0.0.1/" + category + n +
                 "\" Homepage=\"" + field + "\" Email=\"" + field + "\"/>";
    }
    bytes += "</Category>";
    return bytes;
}

} // namespace

TEST_F(Exchange, ImportThatWouldOutgrowTheSettingsFileIsRefusedWhole)
{
    // Two lists of 35 MB: the first fits, the second would make the catalogue 70 MB.
    const QByteArray first = BigList("First", 2900, 4000);
    const QByteArray second = BigList("Second", 2900, 4000);
    ASSERT_GT(first.size(), 34'000'000);
    root_.Categories.Add()->Webcams.Add()->Url = QStringLiteral("http://127.0.0.1/kept");
    EXPECT_EQ(Import(first), TImportResult::CategoryList);
    const qint64 before = TCamExchange::WrittenCatalogueSize(root_);
    TImportReport report;
    EXPECT_EQ(TCamExchange::ImportBytes(second, root_, recorder_.Callbacks(), &report),
              TImportResult::Refused);
    EXPECT_EQ(report.Reason, RefusedListTooLarge);
    EXPECT_EQ(root_.FindCategory("Second"), nullptr);
    EXPECT_EQ(root_.FindCategory("First")->Webcams.Count(), 2900);
    EXPECT_EQ(TCamExchange::WrittenCatalogueSize(root_), before);
    EXPECT_EQ(recorder_.Rebuilds, 1);

    // Merging into existing categories is taken back too, down to the last added webcam.
    TImportCallbacks tight = recorder_.Callbacks();
    tight.MaxCatalogueSize = before + 100;
    EXPECT_EQ(TCamExchange::ImportBytes(BigList("First", 3000, 10), root_, tight),
              TImportResult::Refused);
    EXPECT_EQ(root_.FindCategory("First")->Webcams.Count(), 2900);
    EXPECT_EQ(TCamExchange::ImportBytes(
                  CamFile("<Url>u</Url><Name>n</Name><Category>A,B</Category>"), root_, tight),
              TImportResult::Refused);
    EXPECT_EQ(root_.FindCategory("A"), nullptr);
    EXPECT_TRUE(recorder_.Opened.empty());
}

TEST_F(Exchange, WrittenCatalogueSizeIsTheSizeInTheSettingsFile)
{
    Import(ExampleCal);
    root_.Categories.Items(0)->Webcams.Add()->Name = QStringLiteral("\u20ac<\"&'>");
    TXmlElement options(QStringLiteral("Options"));
    options.AddChild(root_.SaveToXml());
    const QByteArray frame = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                             "<Options>\r\n</Options>\r\n";
    EXPECT_EQ(TCamExchange::WrittenCatalogueSize(root_), WriteXml(options).size() - frame.size());
}

TEST_F(Exchange, OverlongFieldsRefuseTheFileWhole)
{
    const QByteArray longText(MaxFieldLength + 1, 'x');
    const QByteArray limit(MaxFieldLength, 'x');
    const QByteArray lists[] = {
        "<Category Name=\"T\"><Webcam Url=\"a\"/><Webcam Url=\"b\" Name=\"" + longText +
            "\"/>"
            "</Category>",
        "<Category Name=\"T\"><Webcam Url=\"a\"/><Category Name=\"" + longText + "\"/></Category>",
        "<Category Name=\"T\"><Webcam Url=\"a\" Email=\"" + longText + "\"/></Category>",
    };
    for (const QByteArray& list : lists) {
        TImportReport report;
        EXPECT_EQ(TCamExchange::ImportBytes(list, root_, recorder_.Callbacks(), &report),
                  TImportResult::Refused);
        EXPECT_TRUE(report.Reason.contains(QString::number(MaxFieldLength)))
            << report.Reason.toStdString();
        EXPECT_EQ(root_.Categories.Count(), 0);
    }
    EXPECT_EQ(Import(CamFile("<Url>u</Url><Name>n</Name><Homepage>" + longText + "</Homepage>")),
              TImportResult::Refused);
    EXPECT_EQ(Import(CamFile("<Url>u</Url><Name>n</Name><Category>" + longText + "</Category>")),
              TImportResult::Refused);
    EXPECT_EQ(root_.Categories.Count(), 0);
    EXPECT_TRUE(recorder_.Opened.empty());

    // At the limit, and a long path of short names, are taken.
    EXPECT_EQ(Import("<Category Name=\"T\"><Webcam Url=\"a\" Name=\"" + limit + "\"/></Category>"),
              TImportResult::CategoryList);
    EXPECT_EQ(Import(CamFile("<Url>u</Url><Name>n</Name><Category>" + limit + "," + limit +
                             "</Category>")),
              TImportResult::Webcam);
}
