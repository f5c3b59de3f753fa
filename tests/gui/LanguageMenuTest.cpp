#include "app/FormAbout.h"
#include "app/FormMain.h"
#include "app/SiteAddresses.h"
#include "app/TrayMenus.h"
#include "base/Translator.h"
#include "base/Window.h"
#include "core/Versions.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "platform/Desktop.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList captions(const QMenu* menu)
{
    QStringList list;
    for (const QAction* action : menu->actions())
        list << action->text();
    return list;
}

std::unique_ptr<TfoCamMain> startTray()
{
    TStartup startup;
    startup.RegisterTypes = false;
    return std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
}

} // namespace

TEST(LanguageFolders, BesideTheProgramThenThePrefixThenTheUsersDataFolder)
{
    EXPECT_EQ(LanguageFolders("/opt/pv/bin", "/home/u/.local/share"),
              (QStringList{"/opt/pv/bin/Languages", "/opt/pv/share/pictavo/Languages",
                           "/home/u/.local/share/Pictavo/Languages"}));

    // Each folder's files by name; a name found in an earlier folder hides the later one; only
    // .xml files, in any letter case.
    QTemporaryDir dir;
    const QString a = dir.filePath("a"), b = dir.filePath("b");
    writeFile(a + "/German.xml", "<l/>");
    writeFile(a + "/French.XML", "<l/>");
    writeFile(a + "/notes.txt", "x");
    writeFile(b + "/german.xml", "<l/>");
    writeFile(b + "/Italian.xml", "<l/>");
    QStringList names;
    for (const QString& file : LanguageFiles({a, dir.filePath("missing"), b}))
        names << QDir(dir.path()).relativeFilePath(file);
    EXPECT_EQ(names, (QStringList{"a/French.XML", "a/German.xml", "b/Italian.xml"}));
}

TEST(SiteAddresses, RelativeSettingsOpenTheShippedManualOnly)
{
    EXPECT_EQ(SiteAddress("https://example.org/p", "/opt/bin"), "https://example.org/p");
    EXPECT_EQ(SiteAddress("manual/index.html#help", "/opt/bin"),
              "file:///opt/bin/manual/index.html#help");
    // The build put the manual beside the test program; the default addresses lead to it.
    EXPECT_TRUE(QFile::exists(QCoreApplication::applicationDirPath() + "/manual/index.html"));
    EXPECT_TRUE(SupportAddress().startsWith("file://"));
    // No other local file opens, nor a path that climbs out of the manual's folder.
    EXPECT_FALSE(OpenUrl("file:///etc/passwd"));
    EXPECT_FALSE(
        OpenUrl(SiteAddress("manual/../test_gui", QCoreApplication::applicationDirPath())));
    EXPECT_FALSE(OpenUrl("ftp://127.0.0.1/x"));
}

TEST(SiteAddresses, AnInstalledProgramOpensTheManualUnderThePrefix)
{
    QTemporaryDir dir;
    const QString bin = dir.filePath("bin");
    const QString data = dir.filePath("share/pictavo");
    QDir().mkpath(bin);
    writeFile(data + "/manual/index.html", "<html/>");
    writeFile(data + "/DefaultOptions.xml", "<Options/>");

    QUrl manual = QUrl::fromLocalFile(data + "/manual/index.html");
    manual.setFragment("help");
    EXPECT_EQ(ShippedSiteAddress("manual/index.html#help", bin), manual.toString());
    EXPECT_EQ(ShippedSiteAddress("mailto:a@b.c", bin), "mailto:a@b.c");
    EXPECT_TRUE(IsShippedManual(manual, bin));
    // Beside the manual, or climbing out of it, is not the manual.
    EXPECT_FALSE(IsShippedManual(QUrl::fromLocalFile(data + "/DefaultOptions.xml"), bin));
    EXPECT_FALSE(IsShippedManual(QUrl::fromLocalFile(data + "/manual/../DefaultOptions.xml"), bin));
    EXPECT_FALSE(IsShippedManual(QUrl::fromLocalFile(data + "/manual/missing.html"), bin));
    // The build tree's program has its manual beside it.
    EXPECT_TRUE(IsShippedManual(QUrl(SupportAddress())));
}

TEST(FileTypes, AnInstalledProgramHasItsDesktopEntryUnderThePrefix)
{
    QTemporaryDir dir;
    const QString bin = dir.filePath("bin");
    QDir().mkpath(bin);
    EXPECT_EQ(InstalledDesktopEntry(bin), QString());
    const QString entry = dir.filePath("share/applications/org.pictavo.Pictavo.desktop");
    writeFile(entry, "[Desktop Entry]\n");
    EXPECT_EQ(InstalledDesktopEntry(bin), entry);
    // The build tree is no installation: its program registers the file types itself.
    EXPECT_EQ(InstalledDesktopEntry(), QString());
}

TEST(LanguageMenu, ListsTheShippedFilesAppliesTheChoiceAndAppliesItAgainAtStart)
{
    QFile::remove(TCamViewer::DefaultOptionsPath());
    auto main = startTray();
    const QStringList languages = captions(main->findChild<QMenu*>("Language1"));
    ASSERT_TRUE(languages.contains("French") && languages.contains("German")) << languages.size();
    QAction* frenchItem =
        main->findChild<QMenu*>("Language1")->actions().at(languages.indexOf("French"));
    QAction* germanItem =
        main->findChild<QMenu*>("Language1")->actions().at(languages.indexOf("German"));
    EXPECT_TRUE(main->findChild<QMenu*>("Language1")->menuAction()->isEnabled());
    QAction* exit = main->findChild<QMenu*>("TrayPopup")->actions().last();
    ASSERT_EQ(exit->text(), "&Exit");

    germanItem->trigger();
    EXPECT_EQ(exit->text(), "&Beenden");
    EXPECT_EQ(NoWindow, "Kein Fenster");
    EXPECT_TRUE(CamViewer->Language.endsWith("/Languages/German.xml"));
    // French over German: what both name is French now.
    frenchItem->trigger();
    EXPECT_EQ(exit->text(), "&Quitter");
    germanItem->trigger();
    ASSERT_TRUE(CamViewer->SaveOptions());
    main.reset();
    RestoreMessageDefaults();
    PvTranslator().Clear();

    main = startTray();
    EXPECT_EQ(main->findChild<QMenu*>("TrayPopup")->actions().last()->text(), "&Beenden");
    EXPECT_EQ(EmptyCat, "Leere Kategorie");

    // A saved language whose file is gone leaves the English texts.
    CamViewer->Language = "/no/such/Klingon.xml";
    ASSERT_TRUE(CamViewer->SaveOptions());
    main.reset();
    RestoreMessageDefaults();
    PvTranslator().Clear();
    main = startTray();
    EXPECT_EQ(main->findChild<QMenu*>("TrayPopup")->actions().last()->text(), "&Exit");
    main.reset();
    QFile::remove(TCamViewer::DefaultOptionsPath());
    EXPECT_TRUE(TFormList::Windows().isEmpty());
}

TEST(SiteAddresses, HelpAndAboutOpenTheProgramsOwnAddressesWhateverALanguageFileSays)
{
    QStringList opened;
    SetUrlOpener([&opened](const QUrl& url) {
        opened << url.toString();
        return true;
    });
    QFile::remove(TCamViewer::DefaultOptionsPath());
    auto main = startTray();
    ASSERT_TRUE(PvTranslator().TranslateBytes(R"(<l>
 <foCamMain>
  <actSiteNorvane Caption="Hersteller" Hint="mailto:x@example.org?attach=/home/user/.ssh/id_rsa"/>
  <actSitePictavo Hint="http://127.0.0.1:1/elsewhere"/>
  <actSiteSupport Hint="https://127.0.0.1:1/support"/>
  <NorvaneHomePage1 Hint="http://127.0.0.1:1/item"/>
 </foCamMain>
 <foAbout>
  <Label2 Caption="http://127.0.0.1:1/a" Hint="http://127.0.0.1:1/a"/>
  <Label3 Hint="mailto:x@example.org?attach=/etc/passwd"/>
 </foAbout>
</l>)"));
    for (const char* item : {"NorvaneHomePage1", "PictavoHomePage1", "SupportHomePage1"})
        main->findChild<QAction*>(item)->trigger();
    auto* about = CreateForm<TfoAbout>();
    about->show();
    for (const char* name : {"Label2", "Label3"}) {
        auto* label = about->findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr);
        const QPointF at = label->rect().center();
        QMouseEvent click(QEvent::MouseButtonRelease, at, label->mapToGlobal(at), Qt::LeftButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &click);
    }
    const auto address = [](const QString& a) { return QUrl(a).toString(); };
    EXPECT_EQ(opened, (QStringList{address(MakerAddress()), address(ProductAddress()),
                                   address(SupportAddress()), address(MakerAddress()),
                                   address(ProductAddress())}));
    SetUrlOpener(nullptr);
    delete about;
    main.reset();
    RestoreMessageDefaults();
    PvTranslator().Clear();
    QFile::remove(TCamViewer::DefaultOptionsPath());
}

TEST(LanguageMenu, MarksTheLanguageShownAndEnglishBringsBackQtsTextsDatesAndTheManual)
{
    QFile::remove(TCamViewer::DefaultOptionsPath());
    auto main = startTray();
    auto* menu = main->findChild<QMenu*>("Language1");
    const QStringList languages = captions(menu);
    ASSERT_TRUE(languages.contains("English") && languages.contains("German") &&
                languages.contains("French"));
    const auto item = [&](const char* name) { return menu->actions().at(languages.indexOf(name)); };
    const auto marked = [menu] {
        QStringList names;
        for (const QAction* action : menu->actions())
            if (action->isChecked())
                names << action->text();
        return names;
    };
    const auto shortcut = [] {
        return QKeySequence(Qt::CTRL | Qt::Key_S).toString(QKeySequence::NativeText);
    };
    // No language chosen: the built-in texts are the English file's.
    EXPECT_EQ(marked(), QStringList{"English"});
    EXPECT_TRUE(item("English")->actionGroup() && item("English")->actionGroup()->isExclusive());
    EXPECT_EQ(shortcut(), "Ctrl+S");
    EXPECT_TRUE(SupportAddress().endsWith("/manual/index.html#help"));

    // German: marked, Qt's own texts (shortcut names, file dialogs) and dates in German, the
    // German manual.
    item("German")->trigger();
    EXPECT_EQ(marked(), QStringList{"German"});
    EXPECT_EQ(shortcut(), "Strg+S");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), "&Öffnen");
    EXPECT_EQ(QLocale().toString(QDate(2026, 12, 9), "d MMMM"), "9 Dezember");
    EXPECT_TRUE(SupportAddress().endsWith("/manual/de/index.html#help"))
        << SupportAddress().toStdString();
    // The Help items' hints name the page opened, in the language shown.
    const auto hint = [&main] { return main->findChild<QAction*>("SupportHomePage1")->toolTip(); };
    EXPECT_TRUE(hint().endsWith("/manual/de/index.html")) << hint().toStdString();
    item("French")->trigger();
    EXPECT_EQ(marked(), QStringList{"French"});
    EXPECT_EQ(QLocale().toString(QDate(2026, 12, 9), "d MMMM"), "9 décembre");
    EXPECT_TRUE(SupportAddress().endsWith("/manual/fr/index.html#help"));
    EXPECT_EQ(main->findChild<QMenu*>("TrayPopup")->actions().last()->text(), "&Quitter");

    // English again: every text back, Qt's too.
    item("English")->trigger();
    EXPECT_EQ(marked(), QStringList{"English"});
    EXPECT_EQ(main->findChild<QMenu*>("TrayPopup")->actions().last()->text(), "&Exit");
    EXPECT_EQ(NoWindow, "No Window");
    EXPECT_EQ(shortcut(), "Ctrl+S");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), "&Open");
    EXPECT_TRUE(SupportAddress().endsWith("/manual/index.html#help"));
    EXPECT_TRUE(hint().endsWith("/manual/index.html") && !hint().contains("file:"));

    // A file that cannot be read leaves the mark where the language shown is.
    QTemporaryDir dir;
    writeFile(dir.filePath("Broken.xml"), "<not xml");
    emit main->findChild<TTrayMenus*>("TrayMenus")->LanguageChosen(dir.filePath("Broken.xml"));
    EXPECT_EQ(marked(), QStringList{"English"});
    EXPECT_EQ(main->findChild<QMenu*>("TrayPopup")->actions().last()->text(), "&Exit");
    main.reset();
    RestoreMessageDefaults();
    PvTranslator().Clear();
    QFile::remove(TCamViewer::DefaultOptionsPath());
}

TEST(SiteAddresses, TheManualOpensInTheLanguageShownWhereItHasThePage)
{
    QTemporaryDir dir;
    const QString bin = dir.filePath("bin");
    writeFile(bin + "/manual/index.html", "<html/>");
    writeFile(bin + "/manual/de/index.html", "<html/>");
    const auto page = [&bin](const QString& path) {
        return QUrl::fromLocalFile(bin + path).toString();
    };
    EXPECT_EQ(ManualSiteAddress("manual/index.html#help", "de", bin),
              page("/manual/de/index.html") + "#help");
    // A language without the page, English, and odd codes open the English page.
    EXPECT_EQ(ManualSiteAddress("manual/index.html", "it", bin), page("/manual/index.html"));
    EXPECT_EQ(ManualSiteAddress("manual/index.html", "en", bin), page("/manual/index.html"));
    EXPECT_EQ(ManualSiteAddress("manual/index.html", "../de", bin), page("/manual/index.html"));
    EXPECT_EQ(ManualSiteAddress("https://example.org/", "de", bin), "https://example.org/");
}

TEST(AboutBox, ShowsTheVersionsInUseTheLicenceAndReadableLinksInTheLanguageShown)
{
    const auto texts = [](const TfoAbout* about) {
        QStringList list;
        for (const QLabel* label : about->findChildren<QLabel*>())
            list << label->text();
        return list.join('\n');
    };
    auto* about = CreateForm<TfoAbout>();
    const QString english = texts(about);
    // No raw file:/// address; the links say what they open and their hints where.
    EXPECT_FALSE(english.contains("file:")) << english.toStdString();
    EXPECT_EQ(about->findChild<QLabel*>("Label3")->text(), "Pictavo Home Page");
    EXPECT_FALSE(about->findChild<QLabel*>("Label3")->toolTip().contains("file:"));
    // The versions of the libraries as they run.
    const QString libraries = about->findChild<QLabel*>("LibrariesLabel")->text();
    EXPECT_TRUE(libraries.contains(QString("Qt ") + qVersion())) << libraries.toStdString();
    EXPECT_TRUE(libraries.contains("libcurl " + CurlVersion()));
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+").match(CurlVersion()).hasMatch());
    EXPECT_TRUE(libraries.contains("libjpeg-turbo " + JpegVersion()));
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+").match(JpegVersion()).hasMatch());
    EXPECT_EQ(about->findChild<QLabel*>("VersionLabel")->text(), "Version 1.3");
    EXPECT_TRUE(about->findChild<QLabel*>("LicenceLabel")->text().startsWith("Licence: "));
    EXPECT_FALSE(english.contains('%'));
    delete about;

    // In French the lines are French, with the same values.
    ASSERT_TRUE(PvTranslator().Translate(PICTAVO_SOURCE_DIR "/resources/Languages/French.xml"));
    about = CreateForm<TfoAbout>();
    EXPECT_EQ(about->findChild<QLabel*>("VersionLabel")->text(), "Version 1.3");
    EXPECT_TRUE(about->findChild<QLabel*>("LicenceLabel")->text().startsWith("Licence : "));
    EXPECT_EQ(about->findChild<QLabel*>("Label3")->text(), "Site de Pictavo");
    EXPECT_FALSE(texts(about).contains('%'));
    delete about;
    RestoreMessageDefaults();
    PvTranslator().Clear();
}
