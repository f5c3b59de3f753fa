// Test entry point: every test process runs on its own throwaway HOME and XDG folders, never on
// the user's, and with a Qt application object so that Qt's event loop and sockets are usable.
#include "core/TimeZone.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef QT_WIDGETS_LIB
#include <QApplication>
using TestApp = QApplication;
#else
using TestApp = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    PrepareTimeZone();
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    const QByteArray root = home.path().toLocal8Bit();
    for (const char* sub : {"config", "data", "cache", "runtime"})
        QDir(home.path()).mkpath(sub);
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    QFile::setPermissions(home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    TestApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
