#include "core/avi/AviProduction.h"

#include "core/Log.h"
#include "core/avi/AviJpegSource.h"
#include "core/avi/AviWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <mutex>
#include <thread>

namespace AviCreatorRules {

int DropTarget(int row, int count)
{
    if (count <= 0)
        return -1;
    if (row < 0 || row >= count)
        return count - 1;
    return row;
}

bool ExchangeEntries(QStringList& files, int current, int target)
{
    const int count = static_cast<int>(files.size());
    if (current < 0 || target < 0 || current >= count || target >= count || current == target)
        return false;
    files.swapItemsAt(current, target);
    return true;
}

QString TargetFileName(const QString& chosen)
{
    if (chosen.isEmpty() || !AviRules::FileExtension(chosen).isEmpty())
        return chosen;
    return chosen + QStringLiteral(".avi");
}

} // namespace AviCreatorRules

namespace {

// The targets of the productions that run, by TargetKey.
struct TTargets
{
    std::mutex Mutex;
    QSet<QString> Names;
};

TTargets& Targets()
{
    static auto* targets = new TTargets; // productions may outlive static destruction
    return *targets;
}

// One name for one file: the folder resolved through its links, so that two spellings of a path
// are one target.
QString TargetKeyOf(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return QDir::cleanPath(info.absoluteFilePath());
    return QDir(folder).filePath(info.fileName());
}

} // namespace

TAviProduction::TAviProduction(const QStringList& files, const QString& fileName,
                               std::uint32_t frameTime, int screenWidth, int screenHeight,
                               std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerThread(std::move(dispatcher)), Files(files), FileName(fileName),
      TargetKey(TargetKeyOf(fileName)), FrameTime(frameTime), ScreenWidth(screenWidth),
      ScreenHeight(screenHeight)
{
}

std::shared_ptr<TAviProduction>
TAviProduction::Create(const QStringList& files, const QString& fileName, std::uint32_t frameTime,
                       int screenWidth, int screenHeight, std::shared_ptr<TDispatcher> dispatcher)
{
    std::shared_ptr<TAviProduction> production(new TAviProduction(
        files, fileName, frameTime, screenWidth, screenHeight, std::move(dispatcher)));
    TTargets& targets = Targets();
    std::lock_guard lock(targets.Mutex);
    if (targets.Names.contains(production->TargetKey)) {
        qCInfo(lcAvi) << "refused: another production writes" << fileName;
        return nullptr;
    }
    targets.Names.insert(production->TargetKey);
    production->Claimed = true;
    return production;
}

TAviProduction::~TAviProduction()
{
    ReleaseTarget();
}

bool TAviProduction::IsWriting(const QString& fileName)
{
    const QString key = TargetKeyOf(fileName);
    TTargets& targets = Targets();
    std::lock_guard lock(targets.Mutex);
    return targets.Names.contains(key);
}

void TAviProduction::ReleaseTarget()
{
    TTargets& targets = Targets();
    std::lock_guard lock(targets.Mutex);
    if (Claimed)
        targets.Names.remove(TargetKey);
    Claimed = false;
}

void TAviProduction::Execute()
{
    TAviProductionResult result;
    try {
        TAviWriter writer(ScreenWidth, ScreenHeight);
        writer.FileName = FileName;
        writer.FrameTime = FrameTime;
        writer.Stretch = false;

        // Decoding runs ahead on the other cores while this thread writes, as in pictavo-avi.
        const int cores = static_cast<int>(std::thread::hardware_concurrency());
        TAviJpegSource source(Files, std::clamp(cores - 1, 1, 3));
        source.OnSkip = [](const QString& path, const QString& error) {
            qCInfo(lcAvi) << "skipping" << path << ":" << error;
        };
        // The frame size is the first file's; it is decoded once.
        if (!Files.isEmpty()) {
            TBitmap first;
            QString error;
            if (TAviJpegSource::ReadFile(Files.first(), first, &error)) {
                writer.Width = first.Width;
                writer.Height = first.Height;
                source.Prime(0, std::move(first));
            } else {
                qCInfo(lcAvi) << "first file unreadable, default frame size:" << Files.first()
                              << ":" << error;
            }
        }

        auto lastReport = std::chrono::steady_clock::now() - ProgressInterval;
        writer.OnProgress = [this, &lastReport](int done, int total) {
            if (Terminated())
                throw TAviError("cancelled");
            const auto now = std::chrono::steady_clock::now();
            if (done < total && now - lastReport < ProgressInterval)
                return;
            lastReport = now;
            Synchronize([this, done, total] {
                if (OnProgress)
                    OnProgress(done, total);
            });
        };
        writer.Write(source);
        result.Kind = TAviProductionResult::Done;
    } catch (const std::exception& e) {
        result.Kind = Terminated() ? TAviProductionResult::Cancelled : TAviProductionResult::Failed;
        result.Message = QString::fromUtf8(e.what());
    } catch (...) {
        qCInfo(lcAvi) << "production of" << FileName << "failed without a message";
        result.Kind = TAviProductionResult::Failed;
        result.Message = QStringLiteral("Unable to write output file");
    }
    // The file is complete or gone: another production may take the name.
    ReleaseTarget();
    Synchronize([this, result] {
        if (OnDone)
            OnDone(result);
    });
}
