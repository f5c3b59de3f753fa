#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Shared by the fuzz targets: the input as bytes, a private HOME and scratch folder, and a check
// that ends the run (libFuzzer then keeps the input) when a property of the code does not hold.
namespace Fuzz {

inline QByteArray Bytes(const std::uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A throwaway folder for the run, on /dev/shm when there is one (the targets write a file per
// input). HOME and the XDG folders point into it, so no target ever touches the user's files.
inline const QString& Scratch()
{
    static const QString path = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        static QTemporaryDir dir(base + QStringLiteral("/pictavo-fuzz-XXXXXX"));
        QTemporaryDir* d = &dir;
        if (!d->isValid())
            std::abort();
        const QByteArray root = d->path().toLocal8Bit();
        for (const char* sub : {"config", "data", "cache", "runtime"})
            QDir(d->path()).mkpath(QString::fromLatin1(sub));
        qputenv("HOME", root);
        qputenv("XDG_CONFIG_HOME", root + "/config");
        qputenv("XDG_DATA_HOME", root + "/data");
        qputenv("XDG_CACHE_HOME", root + "/cache");
        qputenv("XDG_RUNTIME_DIR", root + "/runtime");
        return d->path();
    }();
    return path;
}

// Writes bytes to a file of the scratch folder and returns its path.
inline QString WriteScratchFile(const QString& name, const QByteArray& bytes)
{
    const QString path = Scratch() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    return path;
}

// A property that must hold for every input.
inline void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// The application object some code needs (QCoreApplication::applicationDirPath and the like).
inline void EnsureCoreApp()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "pictavo-fuzz";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

} // namespace Fuzz
