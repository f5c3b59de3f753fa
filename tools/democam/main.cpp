// democam: a few synthetic webcams over HTTP on 127.0.0.1.
//
//   democam PORT [--write-cal FILE] [--header-gap MS] [--slow-ms MS] [--soak] [--vanish-ms MS]
//
// PORT 0 picks a free port. The base address is printed on the first line of standard output
// (http://127.0.0.1:PORT/). --write-cal writes a .cal file listing the webcams, ready to import.
// --header-gap: see TDemoServer::HeaderGapMs. --slow-ms: how long the slow webcam takes to send
// its body (3000 by default). --soak adds troubled webcams for a soak run: one that changes size,
// one that stalls, one that sends garbage and one that vanishes every MS milliseconds (40000 by
// default) for as long.
#include "DemoServer.h"
#include "core/TimeZone.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstdio>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: democam PORT [--write-cal FILE] [--header-gap MS] [--slow-ms MS] "
                         "[--soak] [--vanish-ms MS]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    PrepareTimeZone();

    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return Usage();
    bool ok = false;
    const uint port = args[0].toUInt(&ok);
    if (!ok || port > 65535)
        return Usage();
    QString calPath;
    int headerGap = 0;
    int slowMs = 3000;
    bool soak = false;
    int vanishMs = 40000;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--write-cal") && i + 1 < args.size())
            calPath = args[++i];
        else if (args[i] == QLatin1String("--header-gap") && i + 1 < args.size())
            headerGap = args[++i].toInt();
        else if (args[i] == QLatin1String("--slow-ms") && i + 1 < args.size())
            slowMs = std::max(0, args[++i].toInt());
        else if (args[i] == QLatin1String("--soak"))
            soak = true;
        else if (args[i] == QLatin1String("--vanish-ms") && i + 1 < args.size())
            vanishMs = std::max(1, args[++i].toInt());
        else
            return Usage();
    }

    TDemoServer server;
    server.HeaderGapMs = headerGap;
    server.SlowMs = slowMs;
    server.VanishMs = vanishMs;
    if (soak)
        server.AddSoakCams();
    if (!server.Listen(quint16(port))) {
        std::fprintf(stderr, "democam: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    if (!calPath.isEmpty()) {
        QSaveFile file(calPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(server.CalFile()) < 0 ||
            !file.commit()) {
            std::fprintf(stderr, "democam: cannot write %s\n", qPrintable(calPath));
            return 1;
        }
    }
    std::printf("http://127.0.0.1:%u/\n", unsigned(server.Port()));
    std::fflush(stdout);
    return app.exec();
}
