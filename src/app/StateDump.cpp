#include "app/StateDump.h"

#include "core/Log.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"
#include "viewer/FormViewer.h"

#include <QApplication>
#include <QGuiApplication>
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
           QByteArray::number(viewer.height()) +
           " picture=" + QByteArray::number(viewer.PictureSize().width()) + "x" +
           QByteArray::number(viewer.PictureSize().height()) + " failure=\"" +
           oneLine(viewer.FailureHint()) + "\" size=\"" + oneLine(viewer.SizeCaption()) + "\"\n";
}
// The mosaic: whether its thread runs, and its cells' pictures as one number that changes with
// any new picture.
QByteArray mosaicLine(const TfoMire& mosaic)
{
    int shown = 0;
    size_t pictures = 0;
    for (int i = 0; i < int(mosaic.List().size()); ++i) {
        const QImage& cell = mosaic.CellImage(i);
        if (cell.isNull())
            continue;
        ++shown;
        pictures = qHashMulti(pictures, cell.cacheKey());
    }
    return "mosaic visible=" + QByteArray::number(mosaic.isVisible()) +
           " fetching=" + QByteArray::number(mosaic.IsFetching()) +
           " webcams=" + QByteArray::number(qsizetype(mosaic.List().size())) +
           " shown=" + QByteArray::number(shown) + " pictures=" + QByteArray::number(pictures) +
           "\n";
}

QByteArray chooserLine(const TfoChoose& chooser)
{
    return "chooser visible=" + QByteArray::number(chooser.isVisible()) +
           " fetching=" + QByteArray::number(chooser.IsFetching()) +
           " thumbnails=" + QByteArray::number(chooser.CamImages().size()) + "\n";
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
        QByteArray mosaic, chooser;
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            if (const auto* form = qobject_cast<const TfoMire*>(window))
                mosaic = mosaicLine(*form);
            else if (const auto* form = qobject_cast<const TfoChoose*>(window))
                chooser = chooserLine(*form);
        }
        text += mosaic + chooser;
        text += "app platform=" + QGuiApplication::platformName().toUtf8() + "\n";
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            qCInfo(lcUi) << "state dump not written to" << path << file.errorString();
    });
    timer->start(200);
}
