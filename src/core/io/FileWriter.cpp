#include "core/io/FileWriter.h"

#include "core/Log.h"
#include "core/io/AtomicFile.h"

std::shared_ptr<TFileWriter> TFileWriter::Create(QString path, QByteArray document,
                                                 std::shared_ptr<TDispatcher> dispatcher)
{
    return std::shared_ptr<TFileWriter>(
        new TFileWriter(std::move(path), std::move(document), std::move(dispatcher)));
}

TFileWriter::TFileWriter(QString path, QByteArray document, std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerJob(std::move(dispatcher)), Path(std::move(path)), Document(std::move(document))
{
}

std::optional<TFileWritten> TFileWriter::Work()
{
    TFileWritten result;
    result.Path = Path;
    result.Written = WriteFileAtomically(Path, Document, {}, &result.Error);
    Document = QByteArray();
    if (!result.Written)
        qCInfo(lcExchange) << "cannot write" << Path << ":" << result.Error;
    return result;
}
