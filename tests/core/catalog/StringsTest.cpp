#include "core/catalog/Strings.h"

#include "core/catalog/XmlDocument.h"

#include <gtest/gtest.h>

namespace {

class MessageTexts : public ::testing::Test
{
protected:
    void SetUp() override { RestoreMessageDefaults(); }
    void TearDown() override { RestoreMessageDefaults(); }
};

} // namespace

TEST_F(MessageTexts, SeventeenKeysInOrderWithTheirDefaults)
{
    TVariables variables;
    RegisterMessageVariables(variables);
    const QStringList keys = {"EmptyCat",     "TimeLeft",       "TimeLeftOne", "TestingRefresh",
                              "RefreshTitle", "RefreshCaption", "NoWindow",    "AviGenerated",
                              "StartText",    "StartTitle",     "Refreshing",  "NewCat",
                              "NewCam",       "ImportedCat",    "CamHint",     "Unknow",
                              "OnlineText"};
    // The failure texts come after the seventeen.
    EXPECT_EQ(variables.Keys().mid(0, 17), keys);

    const std::pair<QString*, const char*> defaults[] = {
        {&EmptyCat, "Empty Category"},
        {&TimeLeft, "%d seconds"},
        {&TimeLeftOne, "1 second"},
        {&TestingRefresh, "Checking..."},
        {&RefreshTitle, "Refresh"},
        {&RefreshCaption, "Enter value for refresh interval, in seconds"},
        {&NoWindow, "No Window"},
        {&AviGenerated, "AVI Generation Complete"},
        {&StartText, "Right click on this icon and select a webcam you want to watch."},
        {&StartTitle, "First Launch of "},
        {&Refreshing, "Refreshing "},
        {&NewCat, "New Category"},
        {&NewCam, "New Webcam"},
        {&ImportedCat, "Imported"},
        {&CamHint, "Name: %name%\r\nUrl: %url%\r\nEmail: %email%\r\nHomepage: %home%\r\n"
                   "Last Updated: %date%"},
        {&Unknow, "Unknown"},
        {&OnlineText, " (online)"},
    };
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(*defaults[i].first, QString::fromLatin1(defaults[i].second)) << i;
        EXPECT_EQ(variables.Find(keys[i]), defaults[i].first) << keys[i].toStdString();
    }
}

TEST_F(MessageTexts, SettingThroughTheTable)
{
    TVariables variables;
    RegisterMessageVariables(variables);

    EXPECT_TRUE(variables.SetValue(QStringLiteral("emptycat"), QStringLiteral("Leer")));
    EXPECT_EQ(EmptyCat, QStringLiteral("Leer"));
    EXPECT_TRUE(variables.SetValue(QStringLiteral("CAMHINT"), QStringLiteral("a\\nb\\nc")));
    EXPECT_EQ(CamHint, QStringLiteral("a\r\nb\r\nc"));
    EXPECT_TRUE(variables.SetValue(QStringLiteral("OnlineText"), QStringLiteral(" (en ligne)")));
    EXPECT_EQ(OnlineText, QStringLiteral(" (en ligne)"));

    const QString before = NewCam;
    EXPECT_FALSE(variables.SetValue(QStringLiteral("NoSuchKey"), QStringLiteral("x")));
    EXPECT_EQ(NewCam, before);
    EXPECT_EQ(variables.Find(QStringLiteral("NoSuchKey")), nullptr);

    // A variable registered by hand is written through its pointer.
    QString own = QStringLiteral("own");
    variables.RegisterVariable(QStringLiteral("Own"), &own);
    EXPECT_TRUE(variables.SetValue(QStringLiteral("OWN"), QStringLiteral("changed")));
    EXPECT_EQ(own, QStringLiteral("changed"));
    EXPECT_EQ(variables.Count(), 18 + 55);
}

TEST_F(MessageTexts, VariablesElementOfALanguageFile)
{
    TVariables variables;
    RegisterMessageVariables(variables);
    const TXmlDocument document =
        ReadXml("<Variables><Item Name=\"emptycat\" Value=\"Vide\"/>"
                "<Anything name=\"TIMELEFT\" value=\"%d secondes\\nrestantes\"/>"
                "<Item Name=\"Missing\" Value=\"x\"/><Item Value=\"no key\"/></Variables>");
    ASSERT_TRUE(document.IsOk());
    EXPECT_EQ(variables.LoadFromXml(*document.Root), 2);
    EXPECT_EQ(EmptyCat, QStringLiteral("Vide"));
    EXPECT_EQ(TimeLeft, QStringLiteral("%d secondes\r\nrestantes"));
    EXPECT_EQ(NewCam, QStringLiteral("New Webcam"));
}
