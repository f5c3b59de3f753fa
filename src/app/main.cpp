// Program entry: one instance per user; a second start hands its file to the running instance and
// ends. The first instance creates the hidden tray window and runs until Exit, SIGTERM or SIGINT.
#include "app/FormMain.h"
#include "app/StateDump.h"
#include "base/ProgramIcon.h"
#include "core/Log.h"
#include "core/TimeZone.h"
#include "core/catalog/Product.h"
#include "core/net/ExitSequence.h"
#include "core/rules/DisplayPlatform.h"
#include "platform/Signals.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    // Before anything can log: a password in a webcam's address is masked in every message.
    InstallLogMasking();
    PrepareTimeZone();

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);

    const QString runtimeFolder = RuntimeFolder();
    TInstanceLock lock(runtimeFolder);
    const bool locked = lock.TryLock();
    if (!locked && lock.HeldByAnother()) {
        // Another instance runs: it imports the first argument (made absolute, since its working
        // folder is not ours) before this process ends. Without one, it shows its chooser, as a
        // launcher click asks.
        SendHandOver(arguments.isEmpty() ? QString()
                                         : QFileInfo(arguments.first()).absoluteFilePath(),
                     runtimeFolder);
        return 0;
    }
    if (!locked)
        std::fprintf(stderr, "pictavo: no single-instance lock in %s; running on its own\n",
                     qPrintable(runtimeFolder));

    // A Wayland session with XWayland: the program runs on X11, where windows have global
    // coordinates (places, magnet, drag-move, always on top).
    if (const QByteArray platform = ChooseDisplayPlatform(CurrentDisplayEnvironment());
        !platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform);
        qCInfo(lcUi) << "Wayland session with XWayland: running on" << platform;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(ProductName);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());

    // Listen before the tray window is created: a second start during the creation waits in the
    // queue and is answered once the event loop runs.
    THandOverServer handOver;
    handOver.Listen(runtimeFolder);

    // SIGTERM and SIGINT from now on wait for the event loop, where they run Exit.
    TSignalWatcher signalWatcher;

    TStartup startup;
    startup.Arguments = arguments;
    startup.ChooserWithoutTray = true;
    startup.ChooserWhenEmpty = true;
    const std::unique_ptr<TfoCamMain> foCamMain(CreateForm<TfoCamMain>(startup));
    StartStateDump(foCamMain.get());
    handOver.SetHandler([tray = foCamMain.get()](const QString& path) { tray->WMCopyData(path); });
    QObject::connect(&signalWatcher, &TSignalWatcher::Terminate, foCamMain.get(),
                     &TfoCamMain::actExitExecute);

    app.exec();

    // Windows first (each viewer lets go of its fetch thread), then the controller; then the fetch
    // threads are told to end, their transfers aborted, and awaited for a bounded time before the
    // HTTP library is cleaned up.
    foCamMain->ShutDown();
    if (!ShutdownWorkers(std::chrono::milliseconds(1400))) {
        // A fetch thread is still inside the HTTP library (a name lookup or a connect that no
        // abort reaches). The library's exit handlers would pull its state away under it: the
        // settings are written, so end here. The next start takes over the lock and the socket.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}
