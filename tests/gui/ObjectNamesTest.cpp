// A language file reaches a window's components by object name: within one window a name that two
// objects carry reaches only the first of them, so every window the program opens must give each
// name to one object only.
#include "app/FormMain.h"
#include "base/FormList.h"
#include "base/Window.h"
#include "core/catalog/Settings.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

// "name: first object's class, second object's class" for every name given twice below owner.
QStringList duplicateNames(const QObject* owner)
{
    QHash<QString, const QObject*> seen;
    QStringList duplicates;
    const QList<QObject*> all = owner->findChildren<QObject*>();
    for (const QObject* object : all) {
        const QString name = object->objectName().toLower();
        // Qt names the inner parts of its controls itself ("qt_scrollarea_viewport").
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        if (const QObject* first = seen.value(name)) {
            duplicates << QStringLiteral("%1: %2 and %3")
                              .arg(object->objectName(),
                                   QLatin1String(first->metaObject()->className()),
                                   QLatin1String(object->metaObject()->className()));
        } else {
            seen.insert(name, object);
        }
    }
    return duplicates;
}

} // namespace

TEST(ObjectNames, EveryWindowTheProgramOpensNamesEachComponentOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TCamViewer settings;
    settings.OptionsPath = dir.filePath("Options.xml");
    TCamViewer* previous = CamViewer;
    CamViewer = &settings;
    TCamWebcam* cam = settings.Root.Webcams.Add();
    cam->Name = QStringLiteral("Names");
    cam->Url = QStringLiteral("http://127.0.0.1:9/names.jpg");

    TStartup startup;
    startup.RegisterTypes = false;
    auto main = std::unique_ptr<TfoCamMain>(CreateForm<TfoCamMain>(startup));
    // Every window through the command that opens it, as the user would.
    main->OpenViewer(cam, false);
    main->actOptionsExecute();
    main->actAboutExecute();
    main->actAviCreatorExecute();
    main->actEditExecute();
    // The Windows sub-menu lists the open windows.
    main->actWindowExecute();

    QList<QPointer<QWidget>> windows{main.get()};
    for (QWidget* window : TFormList::Windows())
        windows.append(window);
    QStringList kinds;
    for (const QPointer<QWidget>& window : windows) {
        ASSERT_TRUE(window);
        kinds << window->objectName();
        const QStringList duplicates = duplicateNames(window);
        EXPECT_TRUE(duplicates.isEmpty()) << window->objectName().toStdString() << ": "
                                          << duplicates.join(QLatin1String("; ")).toStdString();
    }
    for (const char* kind :
         {"foCamMain", "foViewer", "foOptions", "foAbout", "foAviCreator", "foEditCams"})
        EXPECT_TRUE(kinds.contains(QLatin1String(kind))) << kind << " was not opened";

    TFormList::SetShuttingDown(true);
    for (const QPointer<QWidget>& window : windows.mid(1))
        delete window;
    TFormList::SetShuttingDown(false);
    main.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CamViewer = previous;
}
