#pragma once

#include "core/io/Worker.h"

#include <QByteArray>
#include <QString>
#include <memory>

// The viewer's Save after its dialog: the kept image decoded at its full size, encoded as a
// quality-90 JPEG file and written, off the UI thread (a failed write leaves no partial file).
// Then OnDone receives the outcome on the UI thread: an empty text when the file was written,
// otherwise the reason. Started like the fetch threads; nobody waits for it, and an OnDone
// cleared meanwhile (the window went) is skipped.
class TImageSaveJob final : public TWorkerJob<QString>
{
public:
    static std::shared_ptr<TImageSaveJob> Create(QByteArray body, QString path,
                                                 std::shared_ptr<TDispatcher> dispatcher = {});

    QString Path() const { return FPath; }

protected:
    std::optional<QString> Work() override;

private:
    TImageSaveJob(QByteArray body, QString path, std::shared_ptr<TDispatcher> dispatcher);
    const QByteArray Body;
    const QString FPath;
};
