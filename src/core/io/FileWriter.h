#pragma once

#include "core/io/Worker.h"

#include <QByteArray>
#include <QString>
#include <memory>

// What a file writer hands back: the file, whether it was written whole, and the system's reason
// when it was not.
struct TFileWritten
{
    QString Path;
    bool Written = false;
    QString Error;
};

// Writes one document to a file on its own thread, atomically (the whole file or the previous
// one), then hands the outcome to OnDone on the user-interface thread. The owner clears OnDone
// (ClearEvents) when it goes; the writer finishes the file anyway.
class TFileWriter final : public TWorkerJob<TFileWritten>
{
public:
    static std::shared_ptr<TFileWriter> Create(QString path, QByteArray document,
                                               std::shared_ptr<TDispatcher> dispatcher = {});

protected:
    std::optional<TFileWritten> Work() override;

private:
    TFileWriter(QString path, QByteArray document, std::shared_ptr<TDispatcher> dispatcher);
    const QString Path;
    QByteArray Document;
};
