#include "viewer/ImageSaveJob.h"

#include "core/Log.h"
#include "core/net/ViewerFeed.h"

std::shared_ptr<TImageSaveJob> TImageSaveJob::Create(QByteArray body, QString path,
                                                     std::shared_ptr<TDispatcher> dispatcher)
{
    return std::shared_ptr<TImageSaveJob>(
        new TImageSaveJob(std::move(body), std::move(path), std::move(dispatcher)));
}

TImageSaveJob::TImageSaveJob(QByteArray body, QString path, std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerJob(std::move(dispatcher)), Body(std::move(body)), FPath(std::move(path))
{
}

std::optional<QString> TImageSaveJob::Work()
{
    QString error;
    if (!SaveViewerImage(Body, FPath, &error)) {
        if (error.isEmpty())
            error = QStringLiteral("the file could not be written");
        qCInfo(lcImage) << "the picture could not be saved to" << FPath << ":" << error;
    }
    return error;
}
