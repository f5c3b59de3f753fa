#include "app/StateDump.h"

#include "core/Log.h"
#include "viewer/FormViewer.h"

#include <QSaveFile>
#include <QTimer>

namespace {
// A text as one line without double quotes.
QByteArray oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('"'), QLatin1Char('\''));
    return text.toUtf8();
}

QByteArray viewerLine(const TfoViewer& viewer)
{
    return "viewer name=\"" + viewer.objectName().toUtf8() + "\" title=\"" +
           viewer.windowTitle().toUtf8() + "\" visible=" + QByteArray::number(viewer.isVisible()) +
           " images=" + QByteArray::number(viewer.ImageCount()) + " countdown=\"" +
           viewer.CountdownText().toUtf8() + "\" geometry=" + QByteArray::number(viewer.x()) + "," +
           QByteArray::number(viewer.y()) + "," + QByteArray::number(viewer.width()) + "," +
           QByteArray::number(viewer.height()) + " failure=\"" + oneLine(viewer.FailureHint()) +
           "\"\n";
}
} // namespace

void StartStateDump(QObject* owner)
{
    const QString path = qEnvironmentVariable("PICTAVO_STATE_DUMP");
    if (path.isEmpty())
        return;
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, [path] {
        QByteArray text;
        for (const TfoViewer* viewer : TfoViewer::Viewers())
            text += viewerLine(*viewer);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            qCInfo(lcUi) << "state dump not written to" << path << file.errorString();
    });
    timer->start(200);
}
