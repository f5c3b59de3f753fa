#include "base/Translator.h"

#include "base/ActionLink.h"
#include "base/StatusBar.h"
#include "core/catalog/Strings.h"
#include "core/rules/LanguageValues.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A small window as the program builds them: components with layout names, some on a tab page,
// a menu with an item linked to an action, a status bar with panels.
struct TTestWindow
{
    TTestWindow()
    {
        Window = std::make_unique<QWidget>();
        Window->setObjectName("foOptions");
        Window->setWindowTitle("Options");
        auto* tabs = new QTabWidget(Window.get());
        auto* page = new QWidget;
        page->setObjectName("TabSheet1");
        tabs->addTab(page, "Viewer");
        Tabs = tabs;
        Box = new QCheckBox("Always on top", page);
        Box->setObjectName("AlwaysBox");
        Ok = new QPushButton("&Ok", Window.get());
        Ok->setObjectName("OkButton");
        Action = new QAction("&Exit", Window.get());
        Action->setObjectName("actExit");
        Menu = new QMenu(Window.get());
        Menu->setObjectName("TrayPopup");
        Item = AddLinkedItem(Menu, "Exit1", Action);
        Bar = new TStatusBar(Window.get());
        Bar->AddPanel(40, "one");
        Bar->AddPanel(-1, "two");
        Combo = new QComboBox(Window.get());
        Combo->setObjectName("Choice");
        Combo->addItems({"a", "b"});
    }

    std::unique_ptr<QWidget> Window;
    QTabWidget* Tabs = nullptr;
    QCheckBox* Box = nullptr;
    QPushButton* Ok = nullptr;
    QAction* Action = nullptr;
    QMenu* Menu = nullptr;
    QAction* Item = nullptr;
    TStatusBar* Bar = nullptr;
    QComboBox* Combo = nullptr;
};

class Translator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RestoreMessageDefaults();
        RegisterMessageVariables(Variables);
        T.SetVariables(W.Window.get(), &Variables);
    }
    void TearDown() override { RestoreMessageDefaults(); }

    // Loads a document and applies it to the test window (which is not a top-level window
    // that Apply would find by itself when other tests' windows share its name).
    bool Load(const QByteArray& xml)
    {
        if (!T.TranslateBytes(xml))
            return false;
        T.TranslateForm(W.Window.get());
        return true;
    }

    TPvTranslator T;
    TVariables Variables;
    TTestWindow W;
};

} // namespace

TEST_F(Translator, NamesOfWindowsComponentsPropertiesAndKeysMatchInAnyCase)
{
    ASSERT_TRUE(Load(R"(<?xml version="1.0"?>
<lang>
 <FOOPTIONS caption="Réglages">
  <tabsheet1 CAPTION="Affichage" hint="Onglet"/>
  <alwaysbox Caption="Toujours devant"/>
  <OKBUTTON Text="D&#39;accord"/>
  <ACTEXIT Caption="&amp;Quitter" ShortCut="Ctrl+Q"/>
  <variables><X name="emptycat" VALUE="Vide"/><X Name="NoSuchKey" Value="x"/></variables>
  <NoSuchComponent Caption="x"/>
  <AlwaysBox NoSuchProperty="1" Checked="maybe"/>
 </FOOPTIONS>
</lang>)"));
    EXPECT_EQ(W.Window->windowTitle(), "Réglages");
    EXPECT_EQ(W.Tabs->tabText(0), "Affichage");
    EXPECT_EQ(W.Tabs->tabToolTip(0), "Onglet");
    EXPECT_EQ(W.Box->text(), "Toujours devant");
    EXPECT_EQ(W.Ok->text(), "D'accord");
    EXPECT_EQ(W.Action->text(), "&Quitter");
    EXPECT_EQ(W.Action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    // The linked menu item follows its action.
    EXPECT_EQ(W.Item->text(), "&Quitter");
    EXPECT_EQ(EmptyCat, "Vide");
    EXPECT_EQ(NoWindow, "No Window");
}

TEST_F(Translator, BackslashNInCaptionsOnceAndInMessagesEverywhere)
{
    ASSERT_TRUE(Load(R"(<l><foOptions><AlwaysBox Caption="a\nb\nc"/><Variables>
        <V Name="StartTitle" Value="x\ny\nz "/></Variables></foOptions></l>)"));
    EXPECT_EQ(W.Box->text(), "a\nb\\nc");
    EXPECT_EQ(StartTitle, "x" + MessageLineBreak + "y" + MessageLineBreak + "z ");
}

TEST_F(Translator, LanguageBOverAKeepsWhatBLeavesOutAndABrokenFileChangesNothing)
{
    ASSERT_TRUE(Load(R"(<A><foOptions><AlwaysBox Caption="A box"/><OkButton Caption="A ok"/>
        <Variables><V Name="NewCam" Value="A cam"/></Variables></foOptions></A>)"));
    ASSERT_TRUE(Load(R"(<B><foOptions><OkButton Caption="B ok"/></foOptions></B>)"));
    EXPECT_EQ(W.Box->text(), "A box");
    EXPECT_EQ(W.Ok->text(), "B ok");
    EXPECT_EQ(NewCam, "A cam");

    // Cut short, not XML, and empty: nothing changes, and the document stays B's, so a window
    // created later is still translated from B.
    for (const QByteArray& broken : {QByteArray("<C><foOptions><OkButton Caption=\"C\"/>"),
                                     QByteArray("not xml at all"), QByteArray()}) {
        EXPECT_FALSE(Load(broken));
        EXPECT_EQ(W.Ok->text(), "B ok");
    }
    TTestWindow later;
    T.TranslateForm(later.Window.get());
    EXPECT_EQ(later.Ok->text(), "B ok");
    EXPECT_EQ(later.Box->text(), "Always on top");
}

TEST_F(Translator, ALanguageReachesEveryOpenWindowOfAKindButNotAnUnownedOne)
{
    TTestWindow second;
    second.Window->setObjectName("foOptions_1");
    TTestWindow unowned;
    unowned.Window->setObjectName("foOptions_2");
    unowned.Window->setProperty(TPvTranslator::UnownedProperty, true);
    ASSERT_TRUE(T.TranslateBytes("<l><foOptions><OkButton Caption=\"Fine\"/></foOptions></l>"));
    EXPECT_EQ(W.Ok->text(), "Fine");
    EXPECT_EQ(second.Ok->text(), "Fine");
    EXPECT_EQ(unowned.Ok->text(), "&Ok");
    // Created later, it is translated from the document of its kind.
    T.TranslateForm(unowned.Window.get());
    EXPECT_EQ(unowned.Ok->text(), "Fine");
}

TEST_F(Translator, LinkedItemKeepsItsOwnTranslatedCaptionWhenTheActionChangesLater)
{
    ASSERT_TRUE(Load("<l><foOptions><Exit1 Caption=\"Sortie\"/></foOptions></l>"));
    EXPECT_EQ(W.Item->text(), "Sortie");
    W.Action->setEnabled(false); // any change of the action re-sends its state
    EXPECT_EQ(W.Item->text(), "Sortie");
    EXPECT_FALSE(W.Item->isEnabled());
}

TEST_F(Translator, ObjectValuedPropertiesAndCollections)
{
    ASSERT_TRUE(Load(R"(<l><foOptions>
  <AlwaysBox><Font Name="Courier" Size="14" Style="[fsBold,fsItalic]"/></AlwaysBox>
  <OkButton><Font><Style>[fsUnderline]</Style><Size>9</Size></Font></OkButton>
  <StatusBar><Panels>
    <Item Index="1" Text="zwei"/><Item Index="7" Text="none"/><Item Text="no index"/>
    <Item Index="0" Width="55" Caption="eins"/>
  </Panels></StatusBar>
  <Choice><Items><L Index="1" Value="B"/><L Index="2" Value="past the end"/></Items></Choice>
 </foOptions></l>)"));
    EXPECT_EQ(W.Box->font().family(), "Courier");
    EXPECT_EQ(W.Box->font().pointSize(), 14);
    EXPECT_TRUE(W.Box->font().bold());
    EXPECT_TRUE(W.Box->font().italic());
    EXPECT_TRUE(W.Ok->font().underline());
    EXPECT_FALSE(W.Ok->font().bold());
    EXPECT_EQ(W.Ok->font().pointSize(), 9);
    EXPECT_EQ(W.Bar->Panel(0)->text(), "eins");
    EXPECT_EQ(W.Bar->Panel(0)->Width(), 55);
    EXPECT_EQ(W.Bar->Panel(1)->text(), "zwei");
    EXPECT_EQ(W.Combo->count(), 2);
    EXPECT_EQ(W.Combo->itemText(0), "a");
    EXPECT_EQ(W.Combo->itemText(1), "B");
}

TEST_F(Translator, TreeNodesInOverallOrderAndListViewItemsByColumn)
{
    auto* tree = new QTreeWidget(W.Window.get());
    tree->setObjectName("Tree");
    auto* parent = new QTreeWidgetItem(tree, {"p"});
    new QTreeWidgetItem(parent, {"child"});
    new QTreeWidgetItem(tree, {"second"});
    auto* list = new QTreeWidget(W.Window.get());
    list->setObjectName("List");
    list->setRootIsDecorated(false);
    list->setColumnCount(2);
    new QTreeWidgetItem(list, {"cap", "sub"});
    ASSERT_TRUE(Load(R"(<l><foOptions>
  <Tree><Items><N Index="1" Value="enfant"/><N Index="2" Value="deux"/></Items></Tree>
  <List><Items><I Index="0" Column="1" Value="sous"/><I Index="0" Value="no column"/>
    <I Index="0" Column="5" Value="no such sub-item"/></Items>
    <Columns><C Index="0" Caption="Nom"/></Columns></List>
 </foOptions></l>)"));
    EXPECT_EQ(parent->child(0)->text(0), "enfant");
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "deux");
    EXPECT_EQ(list->topLevelItem(0)->text(0), "cap");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "sous");
    EXPECT_EQ(list->headerItem()->text(0), "Nom");
}

TEST(LanguageProperty, EnumerationsSetsAndValuesThatDoNotFit)
{
    QLabel label("x");
    EXPECT_TRUE(SetLanguageProperty(&label, "layoutDirection", "RightToLeft"));
    EXPECT_EQ(label.layoutDirection(), Qt::RightToLeft);
    // A name that is no member gives the first member.
    EXPECT_TRUE(SetLanguageProperty(&label, "LAYOUTDIRECTION", "Bogus"));
    EXPECT_EQ(label.layoutDirection(), Qt::LeftToRight);
    EXPECT_TRUE(SetLanguageProperty(&label, "alignment", "[AlignRight, AlignBottom]"));
    EXPECT_EQ(label.alignment(), Qt::AlignRight | Qt::AlignBottom);
    EXPECT_FALSE(SetLanguageProperty(&label, "alignment", "[AlignRight, Nowhere]"));
    EXPECT_EQ(label.alignment(), Qt::AlignRight | Qt::AlignBottom);

    QAction action("a");
    EXPECT_FALSE(SetLanguageProperty(&action, "ShortCut", "Ctrl+Nonsense"));
    EXPECT_TRUE(SetLanguageProperty(&action, "ShortCut", "Shift+Esc"));
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Escape));
}

namespace {
// The warnings of the language category while it lives.
class TLanguageWarnings
{
public:
    TLanguageWarnings() { Previous = qInstallMessageHandler(&TLanguageWarnings::Handle); }
    ~TLanguageWarnings()
    {
        qInstallMessageHandler(Previous);
        Seen().clear();
    }
    static QStringList& Seen()
    {
        static QStringList seen;
        return seen;
    }
    bool Mention(const QString& text) const
    {
        return std::any_of(Seen().cbegin(), Seen().cend(),
                           [&text](const QString& line) { return line.contains(text); });
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg && QLatin1String(context.category) == "pictavo.language")
            Seen() << message;
    }
    QtMessageHandler Previous = nullptr;
};
} // namespace

TEST_F(Translator, OnlyWhatTranslationNeedsIsSetAndTheRestIsRefusedAndLogged)
{
    TLanguageWarnings warnings;
    const QSize minimum = W.Window->minimumSize();
    ASSERT_TRUE(Load(R"(<l>
 <foOptions minimumWidth="16777215" minimumHeight="16777215" Caption="Fenster">
  <AlwaysBox Checked="True" Enabled="False" Visible="False" styleSheet="min-width: 9999px"
             objectName="Renamed" Caption="Immer"/>
  <OkButton minimumWidth="16777215" Hint="Fertig"/>
  <actExit Visible="False" Enabled="False" Checkable="True" Caption="Ende"/>
  <StatusBar><Panels><Item Index="0" Width="16777215" Text="eins"/><Item Index="1" Width="60"/>
  </Panels></StatusBar>
  <OkButton><Font Size="16777215" Name="Sans"/></OkButton>
  <AlwaysBox><Font Height="-100000"/></AlwaysBox>
 </foOptions>
</l>)"));
    // The texts are translated ...
    EXPECT_EQ(W.Window->windowTitle(), "Fenster");
    EXPECT_EQ(W.Box->text(), "Immer");
    EXPECT_EQ(W.Ok->toolTip(), "Fertig");
    EXPECT_EQ(W.Action->text(), "Ende");
    EXPECT_EQ(W.Bar->Panel(0)->text(), "eins");
    EXPECT_EQ(W.Bar->Panel(1)->Width(), 60);
    EXPECT_EQ(W.Ok->font().family(), "Sans");
    // ... and nothing else: sizes, states, style and names stay as the program made them.
    EXPECT_EQ(W.Window->minimumSize(), minimum);
    EXPECT_EQ(W.Ok->minimumWidth(), 0);
    EXPECT_FALSE(W.Box->isChecked());
    EXPECT_TRUE(W.Box->isEnabled());
    EXPECT_FALSE(W.Box->isHidden());
    EXPECT_TRUE(W.Box->styleSheet().isEmpty());
    EXPECT_EQ(W.Box->objectName(), "AlwaysBox");
    EXPECT_TRUE(W.Action->isVisible());
    EXPECT_TRUE(W.Action->isEnabled());
    EXPECT_FALSE(W.Action->isCheckable());
    EXPECT_EQ(W.Bar->Panel(0)->Width(), 40);
    EXPECT_LE(W.Ok->font().pointSize(), MaxLanguageFontPoints);
    EXPECT_LE(W.Box->font().pixelSize(), MaxLanguageFontPixels);
    for (const char* refused : {"minimumWidth", "minimumHeight", "Checked", "Enabled", "Visible",
                                "styleSheet", "objectName", "Checkable", "Width"})
        EXPECT_TRUE(warnings.Mention(refused)) << refused;
    EXPECT_TRUE(warnings.Mention("font size refused"));
    EXPECT_TRUE(warnings.Mention("font height refused"));
}

TEST_F(Translator, OverLongTextsAndOverLargeFilesAreRefused)
{
    TLanguageWarnings warnings;
    const QString giant(MaxLanguageTextLength + 1, QLatin1Char('x'));
    ASSERT_TRUE(Load(QString("<l><foOptions><OkButton Caption=\"%1\"/><AlwaysBox Caption=\"fits\"/>"
                             "<Choice><Items><I Index=\"0\" Value=\"%1\"/></Items></Choice>"
                             "<Variables><V Name=\"EmptyCat\" Value=\"%1\"/>"
                             "<V Name=\"NewCam\" Value=\"Neu\"/></Variables></foOptions></l>")
                         .arg(giant)
                         .toUtf8()));
    EXPECT_EQ(W.Ok->text(), "&Ok");
    EXPECT_EQ(W.Box->text(), "fits");
    EXPECT_EQ(W.Combo->itemText(0), "a");
    EXPECT_EQ(EmptyCat, "Empty Category");
    EXPECT_EQ(NewCam, "Neu");

    // Too large, or too many elements: refused whole, the document stays the last good one.
    QByteArray large = "<l><foOptions><OkButton Caption=\"Large\"/></foOptions><!--";
    large += QByteArray(int(MaxLanguageFileSize), ' ') + "--></l>";
    EXPECT_FALSE(Load(large));
    QTemporaryDir dir;
    QFile file(dir.filePath("Large.xml"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(large);
    file.close();
    EXPECT_FALSE(T.Translate(file.fileName()));
    QByteArray many = "<l><foOptions>";
    for (int i = 0; i < MaxLanguageElements; ++i)
        many += "<OkButton Caption=\"Many\"/>";
    EXPECT_FALSE(Load(many + "</foOptions></l>"));
    EXPECT_EQ(W.Ok->text(), "&Ok");
    T.TranslateForm(W.Window.get());
    EXPECT_EQ(W.Box->text(), "fits");
    EXPECT_TRUE(warnings.Mention("larger than"));
    EXPECT_TRUE(warnings.Mention("elements"));
}
