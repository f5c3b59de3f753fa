#include "app/FormOptions.h"

#include "GuiTestUtil.h"
#include "app/FormAbout.h"
#include "app/FormMain.h"
#include "base/FormList.h"
#include "base/Window.h"
#include "core/catalog/Settings.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

void pressKey(QWidget* widget, int key, const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &release);
}

class OptionsDialog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::remove(TCamViewer::DefaultOptionsPath());
        QFile::remove(TCamViewer::AutostartPath());
        TStartup startup;
        startup.RegisterTypes = false;
        Main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
        ASSERT_NE(CamViewer, nullptr);
    }
    void TearDown() override
    {
        Main.reset();
        drainDeletes();
        EXPECT_TRUE(TFormList::Windows().isEmpty());
        QFile::remove(TCamViewer::DefaultOptionsPath());
        QFile::remove(TCamViewer::AutostartPath());
    }

    TfoOptions* Open()
    {
        Main->findChild<QAction*>("actOptions")->trigger();
        const QList<TfoOptions*> dialogs = TFormList::Of<TfoOptions>();
        return dialogs.size() == 1 ? dialogs.first() : nullptr;
    }
    template <class T> static T* Control(TfoOptions* dialog, const char* name)
    {
        return dialog->findChild<T*>(QLatin1String(name));
    }
    // Types into the port field as a user would: select all, type, leave the field.
    static void TypePort(TfoOptions* dialog, const QString& text)
    {
        auto* port = Control<QSpinBox>(dialog, "ProxyPort");
        port->selectAll();
        for (QChar c : text)
            pressKey(port, c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_A, QString(c));
    }

    std::unique_ptr<TfoCamMain> Main;
};

} // namespace

TEST_F(OptionsDialog, SecondCommandBringsTheOpenDialogToTheFrontAndCloseFreesTheSlot)
{
    TfoOptions* first = Open();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(Control<QTabWidget>(first, "PageControl1")->currentIndex(), 0);
    Control<QTabWidget>(first, "PageControl1")->setCurrentIndex(2);
    EXPECT_EQ(Open(), first);
    EXPECT_EQ(TFormList::Of<TfoOptions>().size(), 1);

    Control<QPushButton>(first, "CancelButton")->click();
    drainDeletes();
    EXPECT_TRUE(TFormList::Of<TfoOptions>().isEmpty());
    TfoOptions* fresh = Open();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(Control<QTabWidget>(fresh, "PageControl1")->currentIndex(), 0);
}

TEST_F(OptionsDialog, CancelLeavesTheAutostartEntryAndSettingsAloneOkWritesThemAtOnce)
{
    TfoOptions* dialog = Open();
    ASSERT_NE(dialog, nullptr);
    Control<QCheckBox>(dialog, "LaunchWindows")->setChecked(true);
    Control<QCheckBox>(dialog, "BeepBox")->setChecked(true);
    Control<QLineEdit>(dialog, "ProxyHost")->setText("proxy.local");
    // Escape from any control is Cancel.
    pressKey(Control<QCheckBox>(dialog, "BeepBox"), Qt::Key_Escape);
    EXPECT_FALSE(QFile::exists(TCamViewer::AutostartPath()));
    EXPECT_FALSE(CamViewer->Beep);
    EXPECT_EQ(CamViewer->ProxyHost(), "");
    drainDeletes();

    dialog = Open();
    ASSERT_NE(dialog, nullptr);
    Control<QCheckBox>(dialog, "LaunchWindows")->setChecked(true);
    Control<QCheckBox>(dialog, "BeepBox")->setChecked(true);
    Control<QLineEdit>(dialog, "ProxyHost")->setText("proxy.local");
    Control<QLineEdit>(dialog, "Directory")->setText("/no/such/folder");
    pressKey(Control<QLineEdit>(dialog, "ProxyHost"), Qt::Key_Return, "\r");
    EXPECT_TRUE(QFile::exists(TCamViewer::AutostartPath()));
    EXPECT_TRUE(CamViewer->LaunchWindows);
    EXPECT_TRUE(CamViewer->Beep);
    EXPECT_EQ(CamViewer->ProxyHost(), "proxy.local");
    EXPECT_EQ(CamViewer->SavePath, "/no/such/folder");
    // OK saves through the tray window.
    EXPECT_TRUE(QFile::exists(TCamViewer::DefaultOptionsPath()));
    drainDeletes();
    EXPECT_TRUE(TFormList::Of<TfoOptions>().isEmpty());

    // The dialog shows what is stored; unticking removes the entry on OK.
    dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Control<QCheckBox>(dialog, "LaunchWindows")->isChecked());
    EXPECT_EQ(Control<QLineEdit>(dialog, "ProxyHost")->text(), "proxy.local");
    Control<QCheckBox>(dialog, "LaunchWindows")->setChecked(false);
    Control<QPushButton>(dialog, "OkButton")->click();
    EXPECT_FALSE(QFile::exists(TCamViewer::AutostartPath()));
}

TEST_F(OptionsDialog, PortFieldBringsTypedTextIntoRange)
{
    CamViewer->SetProxy("", 0, "", "");
    TfoOptions* dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Control<QSpinBox>(dialog, "ProxyPort")->value(), 1);

    const std::pair<const char*, int> typed[] = {
        {"0", 1}, {"65536", 65535}, {"2000000", 65535}, {"letters", 1}, {"8080", 8080}};
    for (const auto& [text, stored] : typed) {
        dialog = Open();
        ASSERT_NE(dialog, nullptr);
        TypePort(dialog, QString::fromLatin1(text));
        Control<QPushButton>(dialog, "OkButton")->click();
        EXPECT_EQ(CamViewer->ProxyPort(), stored) << text;
        drainDeletes();
    }
}

TEST_F(OptionsDialog, EachAboutCommandOpensOneMoreListedAboutBox)
{
    QAction* about = Main->findChild<QAction*>("actAbout");
    ASSERT_TRUE(about->isEnabled());
    about->trigger();
    about->trigger();
    const QList<TfoAbout*> boxes = TFormList::Of<TfoAbout>();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0]->windowTitle(), "Pictavo 1.3");
    EXPECT_EQ(boxes[0]->findChild<QLabel*>("NameLabel")->text(), "Pictavo 1.3");

    Main->actWindowExecute();
    QStringList listed;
    for (QAction* item : Main->findChild<QMenu*>("Windows1")->actions().mid(6))
        listed << item->text();
    EXPECT_EQ(listed, (QStringList{"Pictavo 1.3", "Pictavo 1.3"}));

    // A link turns red and underlined under the mouse and back to blue without underline.
    auto* link = boxes[0]->findChild<QLabel*>("Label2");
    ASSERT_NE(link, nullptr);
    // It says what it opens; its hint says where.
    EXPECT_EQ(link->text(), "Norvane Home Page");
    EXPECT_FALSE(link->toolTip().isEmpty());
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(link, &enter);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(link->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_FALSE(link->font().underline());

    boxes[0]->findChild<QPushButton*>("OkButton")->click();
    drainDeletes();
    EXPECT_EQ(TFormList::Of<TfoAbout>().size(), 1);
    // Escape closes a box too, from whichever control has the focus.
    pressKey(boxes[1]->findChild<QLabel*>("Label3"), Qt::Key_Escape);
    drainDeletes();
    EXPECT_TRUE(TFormList::Of<TfoAbout>().isEmpty());
}
