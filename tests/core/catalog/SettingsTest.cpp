#include "core/catalog/Settings.h"

#include "core/catalog/PasswordCodec.h"
#include "core/catalog/ProxySettings.h"
#include "core/catalog/XmlDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QByteArray ExampleOptions =
    "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
    "<Options>\r\n"
    " <AlwaysOnTop>-1</AlwaysOnTop>\r\n"
    " <SaveImages>-1</SaveImages>\r\n"
    " <SavePath>C:\\Webcams</SavePath>\r\n"
    " <Beep>-1</Beep>\r\n"
    " <PropResize>-1</PropResize>\r\n"
    " <Status>-1</Status>\r\n"
    " <SubDirectory>-1</SubDirectory>\r\n"
    " <FirstLaunch>0</FirstLaunch>\r\n"
    " <Language/>\r\n"
    " <LaunchWindows>-1</LaunchWindows>\r\n"
    " <ScrollMosaic>-1</ScrollMosaic>\r\n"
    " <ProxyHost/>\r\n"
    " <ProxyPort>8000</ProxyPort>\r\n"
    " <ProxyUser/>\r\n"
    " <ProxyPass/>\r\n"
    " <AviCompact>0</AviCompact>\r\n"
    " <AviFit>0</AviFit>\r\n"
    " <OpenedCams/>\r\n"
    " <Category Name=\"\">\r\n"
    "  <Categories>\r\n"
    "   <Category Name=\"New Category\">\r\n"
    "    <Cams>\r\n"
    "     <Cam Name=\"New Webcam\" Url=\"http://\" Refresh=\"30\" UserAlpha=\"0\"/>\r\n"
    "    </Cams>\r\n"
    "   </Category>\r\n"
    "  </Categories>\r\n"
    " </Category>\r\n"
    " <LastUsed>\r\n"
    "  <Item>http://</Item>\r\n"
    " </LastUsed>\r\n"
    "</Options>\r\n";

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Wrap(const QByteArray& inner)
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Options>" + inner + "</Options>";
}

// Drops the capabilities that let root ignore file permissions, for this thread, while alive.
class TWithoutFilePrivileges
{
public:
    TWithoutFilePrivileges()
    {
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        const unsigned mask =
            (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
        lowered[0].effective &= ~mask;
        active_ = syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~TWithoutFilePrivileges()
    {
        if (active_)
            syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

class Settings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        viewer_.OptionsPath = dir_.filePath(QStringLiteral("Options.xml"));
        viewer_.DefaultsPath.clear();
        viewer_.ProgramPath = QStringLiteral("/opt/pictavo/bin/pictavo");
        QFile::remove(TCamViewer::AutostartPath());
        PublishProxySettings(TProxySettings{});
    }
    void TearDown() override { QFile::remove(TCamViewer::AutostartPath()); }

    // The settings of the 33-line example.
    void FillExample()
    {
        viewer_.AlwaysOnTop = viewer_.SaveImages = viewer_.Beep = viewer_.PropResize = true;
        viewer_.Status = viewer_.SubDirectory = viewer_.LaunchWindows = true;
        viewer_.ScrollMosaic = viewer_.FirstLaunch = true;
        viewer_.SavePath = QStringLiteral("C:\\Webcams");
        viewer_.SetProxy(QString(), 8000, QString(), QString());
        TCamCategory* category = viewer_.Root.Categories.Add();
        category->Name = QStringLiteral("New Category");
        TCamWebcam* webcam = category->Webcams.Add();
        webcam->Name = QStringLiteral("New Webcam");
        webcam->Url = QStringLiteral("http://");
        webcam->Refresh = 30;
        viewer_.AddLastUsed(*webcam);
    }

    QTemporaryDir dir_;
    TCamViewer viewer_;
};

void ExpectConstructorValues(const TCamViewer& viewer)
{
    for (bool flag :
         {viewer.AlwaysOnTop, viewer.SaveImages, viewer.Beep, viewer.PropResize, viewer.Status,
          viewer.SubDirectory, viewer.FirstLaunch, viewer.LaunchWindows, viewer.ScrollMosaic})
        EXPECT_FALSE(flag);
    EXPECT_TRUE(viewer.SavePath.isEmpty());
    EXPECT_TRUE(viewer.Language.isEmpty());
    EXPECT_EQ(viewer.ProxyPort(), 0);
    EXPECT_TRUE(viewer.ProxyHost().isEmpty() && viewer.ProxyUser().isEmpty() &&
                viewer.ProxyPass().isEmpty());
    EXPECT_EQ(viewer.Root.Categories.Count(), 0);
    EXPECT_EQ(viewer.Root.Webcams.Count(), 0);
    EXPECT_TRUE(viewer.LastUsed.isEmpty());
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The file as written

TEST_F(Settings, ExampleFileByteForByte)
{
    FillExample();
    ASSERT_TRUE(viewer_.SaveOptions());
    EXPECT_EQ(ReadAll(viewer_.OptionsPath), ExampleOptions);
    EXPECT_EQ(ExampleOptions.count("\r\n"), 33);
    EXPECT_FALSE(viewer_.FirstLaunch) << "saving clears FirstLaunch";
}

TEST_F(Settings, SavedFileIsOwnerOnly)
{
    // It holds the proxy password and the webcams' own: mode 0600, whatever the umask.
    const auto mode = [this] {
        struct stat info = {};
        EXPECT_EQ(::stat(QFile::encodeName(viewer_.OptionsPath).constData(), &info), 0);
        return info.st_mode & 07777;
    };
    FillExample();
    ASSERT_TRUE(viewer_.SaveOptions());
    EXPECT_EQ(mode(), 0600u);
    // Saving over an existing 0644 file narrows it too.
    ASSERT_EQ(::chmod(QFile::encodeName(viewer_.OptionsPath).constData(), 0644), 0);
    ASSERT_TRUE(viewer_.SaveOptions());
    EXPECT_EQ(mode(), 0600u);
}

TEST_F(Settings, ExampleFileReadsBackAndIsWrittenAgainUnchanged)
{
    WriteAll(viewer_.OptionsPath, ExampleOptions);
    EXPECT_EQ(viewer_.LoadOptions(), TLoadResult::Loaded);
    EXPECT_TRUE(viewer_.AlwaysOnTop && viewer_.SaveImages && viewer_.Beep && viewer_.PropResize &&
                viewer_.Status && viewer_.SubDirectory && viewer_.LaunchWindows &&
                viewer_.ScrollMosaic);
    EXPECT_FALSE(viewer_.FirstLaunch);
    // A Windows folder is no folder here: the archive goes to the default one.
    EXPECT_EQ(viewer_.SavePath, TCamViewer::DefaultSavePath());
    EXPECT_EQ(viewer_.ProxyPort(), 8000);
    ASSERT_EQ(viewer_.Root.Categories.Count(), 1);
    EXPECT_EQ(viewer_.LastUsed, QStringList({"http://"}));
    EXPECT_EQ(viewer_.LastUsedWebcam(0), viewer_.Root.Categories.Items(0)->Webcams.Items(0));

    ASSERT_TRUE(viewer_.SaveOptions());
    QByteArray expected = ExampleOptions;
    expected.replace("C:\\Webcams", QFile::encodeName(TCamViewer::DefaultSavePath()));
    EXPECT_EQ(ReadAll(viewer_.OptionsPath), expected);
}

TEST_F(Settings, AviChoicesReadBackAndAreOffWhenMissing)
{
    viewer_.AviCompact = true;
    viewer_.AviFit = true;
    ASSERT_TRUE(viewer_.SaveOptions());
    TCamViewer next;
    next.OptionsPath = viewer_.OptionsPath;
    EXPECT_EQ(next.LoadOptions(), TLoadResult::Loaded);
    EXPECT_TRUE(next.AviCompact && next.AviFit);

    // An older file without them, read into a viewer that had them on.
    WriteAll(viewer_.OptionsPath, Wrap("<Category/><Beep>0</Beep>"));
    EXPECT_EQ(next.LoadOptions(), TLoadResult::Loaded);
    EXPECT_FALSE(next.AviCompact || next.AviFit);
}

TEST_F(Settings, CatalogueNeverNestsDeeperThanTheFileReadsBack)
{
    // However deep a caller nests categories, the file written reads back whole.
    TCamCategory* level = &viewer_.Root;
    for (int i = 0; i < MaxCategoryDepth + 30; ++i) {
        level = level->Categories.Add();
        level->Name = QStringLiteral("L%1").arg(i);
        TCamWebcam* webcam = level->Webcams.Add();
        webcam->Url = QStringLiteral("u%1").arg(i);
    }
    EXPECT_EQ(viewer_.Root.SubtreeDepth(), MaxCategoryDepth + 30);
    viewer_.LastUsed = QStringList({"u0"});
    ASSERT_TRUE(viewer_.SaveOptions());

    TCamViewer loaded;
    loaded.OptionsPath = viewer_.OptionsPath;
    EXPECT_EQ(loaded.LoadOptions(), TLoadResult::Loaded);
    EXPECT_EQ(loaded.Root.SubtreeDepth(), MaxCategoryDepth);
    EXPECT_NE(loaded.Root.FindWebcam(QStringLiteral("u%1").arg(MaxCategoryDepth - 1)), nullptr);
    EXPECT_EQ(loaded.Root.FindWebcam(QStringLiteral("u%1").arg(MaxCategoryDepth)), nullptr);
    EXPECT_EQ(loaded.LastUsed, QStringList({"u0"})) << "what follows the catalogue is read";
}

TEST_F(Settings, PasswordIsEncodedInTheFile)
{
    viewer_.SetProxy(QStringLiteral("proxy.local"), 3128, QStringLiteral("me"),
                     QStringLiteral("abc"));
    ASSERT_TRUE(viewer_.SaveOptions());
    const QByteArray bytes = ReadAll(viewer_.OptionsPath);
    EXPECT_TRUE(bytes.contains(" <ProxyPass>EsEsEs</ProxyPass>\r\n"));
    EXPECT_FALSE(bytes.contains(">abc<"));

    TCamViewer other;
    other.OptionsPath = viewer_.OptionsPath;
    EXPECT_EQ(other.LoadOptions(), TLoadResult::Loaded);
    EXPECT_EQ(other.Proxy(), viewer_.Proxy());
}

// ---------------------------------------------------------------------------------------------
// Reading rules and defaults

TEST_F(Settings, NoFileKeepsTheConstructorValuesAndTheAutostartEntry)
{
    ExpectConstructorValues(viewer_);
    // An existing autostart entry is left alone when there is no settings file.
    WriteAll(TCamViewer::AutostartPath(), "[Desktop Entry]\n");
    EXPECT_EQ(viewer_.LoadOptions(), TLoadResult::NoFile);
    ExpectConstructorValues(viewer_);
    EXPECT_TRUE(QFile::exists(TCamViewer::AutostartPath()));
    EXPECT_FALSE(QFile::exists(viewer_.OptionsPath)) << "the load creates no file";
}

// The default settings shipped with the program, as a first start reads them.
const QString ShippedDefaults = QStringLiteral(PICTAVO_SOURCE_DIR "/resources/DefaultOptions.xml");

TEST_F(Settings, NoFileReadsTheShippedDefaultsAndLeavesThemUnwritten)
{
    EXPECT_EQ(TCamViewer().DefaultsPath, QStringLiteral(PICTAVO_BIN_DIR "/DefaultOptions.xml"))
        << "the build puts the defaults beside the program";
    const QByteArray defaults = ReadAll(ShippedDefaults);
    ASSERT_FALSE(defaults.isEmpty());
    viewer_.DefaultsPath = ShippedDefaults;
    WriteAll(TCamViewer::AutostartPath(), "[Desktop Entry]\n");
    int opened = 0;
    viewer_.OnOpenViewer = [&](TCamWebcam*, bool) { ++opened; };

    EXPECT_EQ(viewer_.LoadOptions(), TLoadResult::Defaults);
    for (bool on : {viewer_.FirstLaunch, viewer_.Status, viewer_.PropResize, viewer_.SubDirectory,
                    viewer_.ScrollMosaic})
        EXPECT_TRUE(on);
    for (bool off : {viewer_.SaveImages, viewer_.Beep, viewer_.AlwaysOnTop, viewer_.LaunchWindows})
        EXPECT_FALSE(off);
    EXPECT_EQ(viewer_.ProxyPort(), 8000);
    EXPECT_EQ(CurrentProxySettings().Port, 8000) << "the proxy settings are published";
    EXPECT_EQ(viewer_.SavePath, TCamViewer::DefaultSavePath());
    EXPECT_TRUE(viewer_.Language.isEmpty() && viewer_.ProxyHost().isEmpty());
    EXPECT_EQ(viewer_.Root.Categories.Count() + viewer_.Root.Webcams.Count(), 0);
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(QFile::exists(TCamViewer::AutostartPath())) << "the defaults removed autostart";
    EXPECT_FALSE(QFile::exists(viewer_.OptionsPath)) << "the load creates no file";

    // The save goes to the user's file; the next start reads that one.
    ASSERT_TRUE(viewer_.SaveOptions());
    EXPECT_EQ(ReadAll(ShippedDefaults), defaults);
    TCamViewer next;
    next.OptionsPath = viewer_.OptionsPath;
    next.DefaultsPath = ShippedDefaults;
    EXPECT_EQ(next.LoadOptions(), TLoadResult::Loaded);
    EXPECT_FALSE(next.FirstLaunch) << "the notice shows at the first start only";
    EXPECT_TRUE(next.Status);
}

TEST_F(Settings, DefaultsAreReadOnlyWithoutASettingsFileAndOnlyWhenWhole)
{
    // A damaged settings file is handled as without defaults: what it holds before the fault.
    viewer_.DefaultsPath = ShippedDefaults;
    WriteAll(viewer_.OptionsPath, Wrap("<Category/><Beep>-1</Beep><Status>").chopped(4));
    EXPECT_EQ(viewer_.LoadOptions(), TLoadResult::Partial);
    EXPECT_TRUE(viewer_.Beep);
    EXPECT_FALSE(viewer_.Status || viewer_.FirstLaunch || viewer_.ScrollMosaic);
    EXPECT_EQ(viewer_.ProxyPort(), 0);

    // Damaged or missing defaults leave the built-in values.
    const QString cut = dir_.filePath("cut.xml");
    WriteAll(cut, ReadAll(ShippedDefaults).left(200));
    for (const QString& defaults : {cut, dir_.filePath("missing.xml"), dir_.path()}) {
        TCamViewer viewer;
        viewer.OptionsPath = dir_.filePath("none/Options.xml");
        viewer.DefaultsPath = defaults;
        EXPECT_EQ(viewer.LoadOptions(), TLoadResult::NoFile) << defaults.toStdString();
        ExpectConstructorValues(viewer);
    }
}

TEST_F(Settings, EmptyCategoryGivesEveryMissingDefault)
{
    WriteAll(viewer_.OptionsPath, Wrap("<Category/>"));
    std::vector<QString> opened;
    viewer_.OnOpenViewer = [&](TCamWebcam* webcam, bool) { opened.push_back(webcam->Url); };
    EXPECT_EQ(viewer_.LoadOptions(), TLoadResult::Loaded);
    for (bool flag :
         {viewer_.AlwaysOnTop, viewer_.SaveImages, viewer_.Beep, viewer_.PropResize, viewer_.Status,
          viewer_.SubDirectory, viewer_.FirstLaunch, viewer_.LaunchWindows, viewer_.ScrollMosaic})
        EXPECT_TRUE(flag);
    EXPECT_EQ(viewer_.SavePath, QDir::homePath() + QStringLiteral("/Webcams"));
    EXPECT_TRUE(viewer_.Language.isEmpty());
    EXPECT_EQ(viewer_.ProxyPort(), 8000);
    EXPECT_EQ(CurrentProxySettings().Port, 8000) << "the proxy settings are published";
    EXPECT_TRUE(opened.empty());
    // LaunchWindows true writes the autostart entry.
    EXPECT_EQ(ReadAll(TCamViewer::AutostartPath()), AutostartEntry(viewer_.ProgramPath).toUtf8());
}

TEST_F(Settings, WithoutCategoryNothingIsRead)
{
    WriteAll(viewer_.OptionsPath,
             Wrap("<AlwaysOnTop>-1</AlwaysOnTop><ProxyPort>9</ProxyPort>"
                  "<LaunchWindows>-1</LaunchWindows><LastUsed><Item>x</Item></LastUsed>"));
    viewer_.LoadOptions();
    ExpectConstructorValues(viewer_);
    EXPECT_FALSE(QFile::exists(TCamViewer::AutostartPath()));
}

TEST_F(Settings, ValueRules)
{
    struct Row
    {
        const char* Inner;
        bool Beep;
        int ProxyPort;
        const char* SavePath;
    };
    const Row rows[] = {
        {"<Beep>-1</Beep><ProxyPort>3128</ProxyPort><SavePath>/x</SavePath>", true, 3128, "/x"},
        {"<Beep>0</Beep><ProxyPort>abc</ProxyPort>", false, -1, nullptr},
        {"<Beep>maybe</Beep><ProxyPort></ProxyPort><SavePath/>", false, -1, ""},
        {"<Beep></Beep><ProxyPort>-2</ProxyPort>", true, -2, nullptr},
        {"<Beep>2</Beep>", true, 8000, nullptr},
        {"<BEEP>False</BEEP><proxyport>1</proxyport><savepath>/y</savepath>", false, 1, "/y"},
        {"<Beep>TRUE</Beep>", true, 8000, nullptr},
        {"<ProxyPort> 81</ProxyPort><SavePath>Webcams</SavePath>", true, -1, nullptr},
        {"<ProxyPort>+81</ProxyPort><SavePath>D:\\Images\\Cams</SavePath>", true, -1, nullptr},
        {"<SavePath>\\\\server\\share</SavePath>", true, 8000, nullptr},
    };
    for (const Row& row : rows) {
        TCamViewer viewer;
        viewer.OptionsPath = viewer_.OptionsPath;
        WriteAll(viewer.OptionsPath, Wrap(QByteArray(row.Inner) + "<Category/>"));
        EXPECT_EQ(viewer.LoadOptions(), TLoadResult::Loaded) << row.Inner;
        EXPECT_EQ(viewer.Beep, row.Beep) << row.Inner;
        EXPECT_EQ(viewer.ProxyPort(), row.ProxyPort) << row.Inner;
        const QString savePath =
            row.SavePath ? QString::fromLatin1(row.SavePath) : TCamViewer::DefaultSavePath();
        EXPECT_EQ(viewer.SavePath, savePath) << row.Inner;
    }
}

TEST_F(Settings, RootNameDoesNotMatterAndProxyIsPublished)
{
    WriteAll(viewer_.OptionsPath, "<Anything><Category/><ProxyHost>h</ProxyHost>"
                                  "<ProxyUser>u</ProxyUser><ProxyPass>EsEsEs</ProxyPass>"
                                  "<ProxyPort>81</ProxyPort></Anything>");
    EXPECT_EQ(viewer_.LoadOptions(), TLoadResult::Loaded);
    const TProxySettings expected{QStringLiteral("h"), 81, QStringLiteral("u"),
                                  QStringLiteral("abc")};
    EXPECT_EQ(viewer_.Proxy(), expected);
    EXPECT_EQ(CurrentProxySettings(), expected);

    const TProxySettings changed{QStringLiteral("other"), 1, QString(), QString()};
    viewer_.SetProxy(changed);
    EXPECT_EQ(CurrentProxySettings(), changed);
}

TEST_F(Settings, LaunchWindowsFalseRemovesTheAutostartEntry)
{
    WriteAll(TCamViewer::AutostartPath(), "[Desktop Entry]\n");
    WriteAll(viewer_.OptionsPath, Wrap("<LaunchWindows>0</LaunchWindows><Category/>"));
    viewer_.LoadOptions();
    EXPECT_FALSE(viewer_.LaunchWindows);
    EXPECT_FALSE(QFile::exists(TCamViewer::AutostartPath()));

    viewer_.SetLaunchWindows(true);
    EXPECT_TRUE(viewer_.LaunchWindows);
    EXPECT_TRUE(
        ReadAll(TCamViewer::AutostartPath()).contains("\nExec=\"/opt/pictavo/bin/pictavo\"\n"));
    viewer_.SetLaunchWindows(false);
    EXPECT_FALSE(QFile::exists(TCamViewer::AutostartPath()));
}

TEST(AutostartEntry, ExecQuoting)
{
    struct Row
    {
        const char* Path;
        const char* Exec;
    };
    const Row rows[] = {
        {"/usr/bin/pictavo", "Exec=\"/usr/bin/pictavo\""},
        {"/home/me/My Apps/pictavo", "Exec=\"/home/me/My Apps/pictavo\""},
        {"/a\"b", "Exec=\"/a\\\\\"b\""},
        {"/a$b`c", "Exec=\"/a\\\\$b\\\\`c\""},
        {"/a\\b", "Exec=\"/a\\\\\\\\b\""},
        {"/100%", "Exec=\"/100%%\""},
    };
    for (const Row& row : rows) {
        const QString entry = AutostartEntry(QString::fromLatin1(row.Path));
        EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n"))) << row.Path;
        EXPECT_TRUE(entry.contains(QStringLiteral("\n") + QString::fromLatin1(row.Exec) +
                                   QStringLiteral("\n")))
            << row.Path << "\n"
            << entry.toStdString();
    }
}

TEST_F(Settings, SettingsPathFollowsXdgConfigHome)
{
    // An Options.xml beside the executable wins (portable install).
    const QString configured =
        qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Pictavo/Options.xml");
    EXPECT_EQ(TCamViewer::OptionsPathFor(dir_.path()), configured);
    WriteAll(dir_.filePath("Options.xml"), "<Options/>");
    EXPECT_EQ(TCamViewer::OptionsPathFor(dir_.path()), dir_.filePath("Options.xml"));
    QDir(dir_.path()).mkpath("other/Options.xml"); // a folder of that name does not count
    EXPECT_EQ(TCamViewer::OptionsPathFor(dir_.filePath("other")), configured);

    EXPECT_EQ(TCamViewer::DefaultOptionsPath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Pictavo/Options.xml"));
    EXPECT_EQ(TCamViewer::AutostartPath(), qEnvironmentVariable("XDG_CONFIG_HOME") +
                                               QStringLiteral("/autostart/pictavo.desktop"));
}

// ---------------------------------------------------------------------------------------------
// Open viewers and the recently viewed list

TEST_F(Settings, OpenedCamsAreReopenedWithTheirSavedState)
{
    WriteAll(viewer_.OptionsPath,
             Wrap("<OpenedCams><Cam Url=\"b\"/><Other URL=\"gone\"/><Cam Url=\"a\"/></OpenedCams>"
                  "<Category><Cams><Cam Url=\"a\" UserState=\"1\"/><Cam Url=\"b\"/></Cams>"
                  "</Category>"
                  "<LastUsed><Item>z</Item><Whatever>y</Whatever></LastUsed>"));
    std::vector<std::pair<QString, bool>> opened;
    viewer_.OnOpenViewer = [&](TCamWebcam* webcam, bool apply) {
        opened.emplace_back(webcam->Url, apply);
        viewer_.AddLastUsed(*webcam); // as the tray window's OpenViewer does
    };
    viewer_.LoadOptions();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], std::make_pair(QStringLiteral("b"), true));
    EXPECT_EQ(opened[1], std::make_pair(QStringLiteral("a"), true));
    EXPECT_EQ(viewer_.Root.FindWebcam("a")->StartState, 1);
    EXPECT_EQ(viewer_.LastUsed, QStringList({"z", "y"})) << "the file's list, not the reopening's";
}

TEST_F(Settings, SaveWritesOpenViewersNewestFirstAndCopiesTheirWindowState)
{
    TCamWebcam* a = viewer_.Root.Webcams.Add();
    a->Url = "a";
    TCamWebcam* a2 = viewer_.Root.ForcePath("X")->Webcams.Add();
    a2->Url = "a";
    TCamWebcam viewerA;
    viewerA.Assign(*a);
    viewerA.Name = "not copied";
    viewerA.LastId = 99;
    viewerA.UserLeft = 10;
    viewerA.UserState = 2;
    viewerA.UserAlpha = 128;
    TCamWebcam orphan;
    orphan.Url = "no longer in the catalogue";
    viewer_.OnOpenViewers = [&] { return std::vector<TCamWebcam>{viewerA, orphan}; };

    ASSERT_TRUE(viewer_.SaveOptions());
    const QByteArray bytes = ReadAll(viewer_.OptionsPath);
    EXPECT_TRUE(bytes.contains(" <OpenedCams>\r\n"
                               "  <Cam Url=\"a\"/>\r\n"
                               "  <Cam Url=\"no longer in the catalogue\"/>\r\n"
                               " </OpenedCams>\r\n"));
    EXPECT_EQ(a->UserLeft, 10);
    EXPECT_EQ(a->UserState, 2);
    EXPECT_EQ(a->UserAlpha, 128);
    EXPECT_TRUE(a->Name.isEmpty()) << "only the window state travels";
    EXPECT_EQ(a->LastId, 0);
    EXPECT_EQ(a2->UserLeft, -1) << "only the first webcam with that Url";

    // Next time the orphan reopens nothing, and once no viewer is open it is dropped.
    TCamViewer next;
    next.OptionsPath = viewer_.OptionsPath;
    std::vector<QString> opened;
    next.OnOpenViewer = [&](TCamWebcam* webcam, bool) { opened.push_back(webcam->Url); };
    next.LoadOptions();
    EXPECT_EQ(opened, std::vector<QString>({"a"}));
    next.OnOpenViewers = [&] {
        std::vector<TCamWebcam> open;
        for (const QString& url : opened)
            open.push_back(*next.Root.FindWebcam(url));
        return open;
    };
    ASSERT_TRUE(next.SaveOptions());
    EXPECT_TRUE(ReadAll(next.OptionsPath)
                    .contains(" <OpenedCams>\r\n  <Cam Url=\"a\"/>\r\n </OpenedCams>"));
}

TEST_F(Settings, LastUsedKeepsElevenWithoutDuplicates)
{
    std::vector<TCamWebcam> webcams(12);
    for (int i = 0; i < 12; ++i)
        webcams[i].Url = QStringLiteral("u%1").arg(i);
    for (int i = 0; i < 11; ++i)
        viewer_.AddLastUsed(webcams[i]);
    EXPECT_EQ(viewer_.LastUsedCount(), 11);
    EXPECT_EQ(viewer_.LastUsed.front(), "u10");
    EXPECT_EQ(viewer_.LastUsed.back(), "u0");

    viewer_.AddLastUsed(webcams[11]);
    EXPECT_EQ(viewer_.LastUsedCount(), 11);
    EXPECT_EQ(viewer_.LastUsed.front(), "u11");
    EXPECT_FALSE(viewer_.LastUsed.contains("u0")) << "the oldest is gone";

    viewer_.AddLastUsed(webcams[5]);
    EXPECT_EQ(viewer_.LastUsedCount(), 11);
    EXPECT_EQ(viewer_.LastUsed.front(), "u5");
    EXPECT_EQ(viewer_.LastUsed.count("u5"), 1);

    // A longer list read from a file is cut to ten plus the new entry.
    viewer_.LastUsed.clear();
    for (int i = 0; i < 20; ++i)
        viewer_.LastUsed.append(QStringLiteral("f%1").arg(i));
    viewer_.AddLastUsed(webcams[0]);
    EXPECT_EQ(viewer_.LastUsedCount(), 11);
    EXPECT_EQ(viewer_.LastUsed[10], "f9");
}

TEST_F(Settings, LastUsedWebcamLooksUpTheCatalogue)
{
    TCamWebcam* webcam = viewer_.Root.ForcePath("A")->Webcams.Add();
    webcam->Url = "here";
    viewer_.LastUsed = {"gone", "here"};
    EXPECT_EQ(viewer_.LastUsedWebcam(0), nullptr);
    EXPECT_EQ(viewer_.LastUsedWebcam(1), webcam);
    EXPECT_EQ(viewer_.LastUsedWebcam(2), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Bad files and failed saves

TEST_F(Settings, BadFilesLoadWhatTheyCanAndStayUntouched)
{
    const QByteArray truncated = ExampleOptions.left(ExampleOptions.indexOf("<Cam "));
    struct Row
    {
        const char* Name;
        QByteArray Bytes;
        TLoadResult Result;
    };
    const Row rows[] = {
        {"empty", QByteArray(), TLoadResult::Partial},
        {"not XML", "\x89PNG\r\n\x1a\n binary garbage \x01\x02", TLoadResult::Partial},
        {"header only", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n",
         TLoadResult::Partial},
        {"truncated", truncated, TLoadResult::Partial},
    };
    for (const Row& row : rows) {
        TCamViewer viewer;
        viewer.OptionsPath = viewer_.OptionsPath;
        int opened = 0;
        viewer.OnOpenViewer = [&](TCamWebcam*, bool) {
            ++opened;
            viewer.SaveOptions();
        };
        WriteAll(viewer.OptionsPath, row.Bytes);
        QFile::remove(viewer.OptionsPath + ".damaged");
        EXPECT_EQ(viewer.LoadOptions(), row.Result) << row.Name;
        EXPECT_EQ(opened, 0) << row.Name;
        if (!row.Bytes.isEmpty()) {
            EXPECT_EQ(viewer.RefusedCopy, viewer.OptionsPath + ".damaged") << row.Name;
            EXPECT_EQ(ReadAll(viewer.RefusedCopy), row.Bytes)
                << row.Name << ": the load rewrote it";
        }
    }

    // The truncated file: the settings before the fault are read, the cut catalogue is there,
    // the rest keeps the constructor's values.
    TCamViewer viewer;
    viewer.OptionsPath = viewer_.OptionsPath;
    WriteAll(viewer.OptionsPath, truncated);
    viewer.LoadOptions();
    EXPECT_TRUE(viewer.AlwaysOnTop && viewer.Beep && viewer.ScrollMosaic);
    EXPECT_EQ(viewer.SavePath, TCamViewer::DefaultSavePath());
    EXPECT_EQ(viewer.ProxyPort(), 8000);
    ASSERT_EQ(viewer.Root.Categories.Count(), 1);
    EXPECT_EQ(viewer.Root.Categories.Items(0)->Name, "New Category");
    EXPECT_EQ(viewer.Root.Categories.Items(0)->Webcams.Count(), 0);
    EXPECT_TRUE(viewer.LastUsed.isEmpty());

    // Cut inside a setting's text: that setting keeps the constructor's value.
    TCamViewer cut;
    cut.OptionsPath = viewer_.OptionsPath;
    WriteAll(cut.OptionsPath, Wrap("<Category/><Beep>-1</Beep><ProxyPort>80").chopped(10));
    cut.LoadOptions();
    EXPECT_TRUE(cut.Beep);
    EXPECT_EQ(cut.ProxyPort(), 0);
    EXPECT_FALSE(cut.AlwaysOnTop) << "missing in a damaged file: not the default";
    EXPECT_TRUE(cut.SavePath.isEmpty());
}

TEST_F(Settings, UnreadableFileIsMovedAsideBeforeASaveCanReplaceIt)
{
    WriteAll(viewer_.OptionsPath, ExampleOptions);
    QFile::setPermissions(viewer_.OptionsPath, QFileDevice::WriteOwner);
    TLoadResult result = TLoadResult::Loaded;
    bool saved = false;
    {
        TWithoutFilePrivileges unprivileged;
        if (QFile(viewer_.OptionsPath).open(QIODevice::ReadOnly))
            GTEST_SKIP() << "file permissions are not enforced here";
        result = viewer_.LoadOptions();
        saved = viewer_.SaveOptions();
    }
    EXPECT_EQ(result, TLoadResult::Partial);
    EXPECT_EQ(viewer_.Root.Categories.Count(), 0);
    EXPECT_TRUE(saved);
    const QString aside = viewer_.OptionsPath + ".damaged";
    QFile::setPermissions(aside, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ReadAll(aside), ExampleOptions) << "the unreadable settings were lost";
}

TEST_F(Settings, RefusedFileIsKeptAsideAndNeverSavedOver)
{
    // Over the size limit (sparse: nothing is read), then a damaged file at the next start: each
    // is kept under its own name, and the saves write only the new file.
    {
        QFile file(viewer_.OptionsPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Wrap("<Category Name=\"\"/>"));
        ASSERT_TRUE(file.resize(MaxXmlFileSize + 1));
    }
    EXPECT_EQ(viewer_.LoadOptions(), TLoadResult::Partial);
    EXPECT_FALSE(viewer_.RefusedReason.isEmpty());
    const QString first = viewer_.OptionsPath + ".damaged";
    EXPECT_EQ(viewer_.RefusedCopy, first);
    EXPECT_FALSE(viewer_.SavesHeld());
    viewer_.Root.ForcePath("New");
    EXPECT_TRUE(viewer_.SaveOptions());
    EXPECT_EQ(QFileInfo(first).size(), MaxXmlFileSize + 1);

    const QByteArray damaged = ExampleOptions.left(ExampleOptions.indexOf("<Cam "));
    WriteAll(viewer_.OptionsPath, damaged);
    TCamViewer next;
    next.OptionsPath = viewer_.OptionsPath;
    EXPECT_EQ(next.LoadOptions(), TLoadResult::Partial);
    EXPECT_EQ(next.RefusedCopy, first + ".2");
    EXPECT_TRUE(next.SaveOptions());
    EXPECT_EQ(ReadAll(first + ".2"), damaged);
    EXPECT_EQ(QFileInfo(first).size(), MaxXmlFileSize + 1);

    // Where it cannot be moved aside it stays in place, and nothing is saved over it.
    WriteAll(viewer_.OptionsPath, damaged);
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    TCamViewer held;
    held.OptionsPath = viewer_.OptionsPath;
    {
        TWithoutFilePrivileges unprivileged;
        held.LoadOptions();
    }
    QFile::setPermissions(dir_.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (held.RefusedCopy != held.OptionsPath)
        GTEST_SKIP() << "file permissions are not enforced here";
    EXPECT_TRUE(held.SavesHeld());
    EXPECT_FALSE(held.SaveOptions());
    EXPECT_EQ(ReadAll(held.OptionsPath), damaged);
}

TEST_F(Settings, SettingsTheReaderWouldRefuseAreNotWritten)
{
    WriteAll(viewer_.OptionsPath, ExampleOptions);
    // Shared texts: 17,000 names of 4,000 characters cost little memory but 68 MB written.
    const QString name(MaxFieldLength - 96, u'n');
    TCamCategory* category = viewer_.Root.Categories.Add();
    for (int i = 0; i < 17000; ++i) {
        TCamWebcam* webcam = category->Webcams.Add();
        webcam->Name = name;
        webcam->Url = QStringLiteral("http://127.0.0.1/%1").arg(i);
    }
    EXPECT_FALSE(viewer_.SaveOptions());
    EXPECT_EQ(ReadAll(viewer_.OptionsPath), ExampleOptions);
    category->Webcams.Truncate(100);
    EXPECT_TRUE(viewer_.SaveOptions());
}

TEST_F(Settings, FailedSaveInReadOnlyFolderLeavesThePreviousFile)
{
    WriteAll(viewer_.OptionsPath, ExampleOptions);
    viewer_.Root.ForcePath("Changed");
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    bool saved = false;
    {
        // Root writes into read-only folders unless it lays down that privilege.
        TWithoutFilePrivileges unprivileged;
        saved = viewer_.SaveOptions();
    }
    QFile::setPermissions(dir_.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(viewer_.OptionsPath), ExampleOptions);
}

TEST_F(Settings, FailedSaveOnAFullDiskLeavesThePreviousFile)
{
    // A file size limit makes every write past it fail as a full disk does.
    WriteAll(viewer_.OptionsPath, ExampleOptions);
    for (int i = 0; i < 200; ++i)
        viewer_.Root.Webcams.Add()->Url = QStringLiteral("http://127.0.0.1/cam%1.jpg").arg(i);

    struct rlimit old
    {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = viewer_.SaveOptions();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(viewer_.OptionsPath).size(), ExampleOptions.size());
    EXPECT_EQ(ReadAll(viewer_.OptionsPath), ExampleOptions);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList({"Options.xml"}))
        << "no temporary file is left behind";
    EXPECT_TRUE(viewer_.SaveOptions()) << "works again without the limit";
}

TEST_F(Settings, TextsBeyondLatin1SurviveASaveAndLoad)
{
    const QString text =
        QString::fromUtf8("Z\xc3\xbcrich \xe2\x82\xac \xe6\x9d\xb1\xe4\xba\xac \"<&>'");
    TCamCategory* category = viewer_.Root.Categories.Add();
    category->Name = text;
    TCamWebcam* webcam = category->Webcams.Add();
    webcam->Name = text;
    webcam->Url = QStringLiteral("http://127.0.0.1/") + text;
    viewer_.SavePath = QStringLiteral("/home/") + text;
    viewer_.SetProxy(QStringLiteral("h"), 1, text, text);
    viewer_.AddLastUsed(*webcam);
    ASSERT_TRUE(viewer_.SaveOptions());
    const QByteArray bytes = ReadAll(viewer_.OptionsPath);
    EXPECT_TRUE(bytes.contains("Z\xfcrich &#8364; &#26481;&#20140; &#34;&#60;&#38;&#62;&#39;"));

    TCamViewer back;
    back.OptionsPath = viewer_.OptionsPath;
    EXPECT_EQ(back.LoadOptions(), TLoadResult::Loaded);
    ASSERT_EQ(back.Root.Categories.Count(), 1);
    EXPECT_EQ(back.Root.Categories.Items(0)->Name, text);
    EXPECT_EQ(back.LastUsedWebcam(0)->Name, text);
    EXPECT_EQ(back.SavePath, viewer_.SavePath);
    EXPECT_EQ(back.ProxyUser(), text);
    EXPECT_EQ(back.ProxyPass(), text);
}

// Every line of the settings table reads back what it writes, with a value other than the one
// it has (a save ends a first launch, so FirstLaunch alone comes back false), and a change is
// heard once, by name, whether it comes from SetValue or from a file.
TEST_F(Settings, EverySettingReadsBackWhatItWritesAndReportsItsChanges)
{
    const auto other = [](const TSettingValue& value, const QString& name) -> TSettingValue {
        if (const bool* on = std::get_if<bool>(&value))
            return !*on;
        if (const int* number = std::get_if<int>(&value))
            return *number + 3128;
        return QStringLiteral("/srv/%1 \u00e9 \u20ac <&>").arg(name);
    };
    QStringList heard;
    viewer_.OnSettingChanged = [&](const QString& name) { heard << name; };
    QStringList names;
    for (const TSettingDescriptor& setting : TCamViewer::Settings()) {
        const TSettingValue value = other(viewer_.Value(setting.Name), setting.Name);
        EXPECT_TRUE(viewer_.SetValue(setting.Name, value)) << setting.Name.toStdString();
        EXPECT_TRUE(viewer_.SetValue(setting.Name.toLower(), value)) << "the same value again";
        EXPECT_EQ(viewer_.Value(setting.Name), value) << setting.Name.toStdString();
        names << setting.Name;
    }
    EXPECT_EQ(heard.join(u',').toStdString(), names.join(u',').toStdString()) << "each change once";
    EXPECT_FALSE(viewer_.SetValue(u"AlwaysOnTop", QStringLiteral("yes"))) << "a text for a switch";
    EXPECT_FALSE(viewer_.SetValue(u"NoSuchSetting", true));
    ASSERT_TRUE(viewer_.SaveOptions());

    TCamViewer reread;
    reread.OptionsPath = viewer_.OptionsPath;
    QStringList changed;
    reread.OnSettingChanged = [&](const QString& name) { changed << name; };
    ASSERT_EQ(reread.LoadOptions(), TLoadResult::Loaded);
    for (const TSettingDescriptor& setting : TCamViewer::Settings())
        EXPECT_EQ(reread.Value(setting.Name), viewer_.Value(setting.Name))
            << setting.Name.toStdString();
    EXPECT_EQ(reread.Value(u"FirstLaunch"), TSettingValue(false));
    EXPECT_TRUE(changed.contains(QStringLiteral("ProxyPass")) &&
                !changed.contains(QStringLiteral("FirstLaunch")))
        << changed.join(u',').toStdString();
}
