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

qint64 TimeLeft(int done, int total, qint64 elapsedMs)
{
    if (done <= 0 || total <= 0 || elapsedMs < 0)
        return -1;
    if (done >= total)
        return 0;
    return elapsedMs * (total - done) / done;
}

QString DurationText(qint64 ms)
{
    const qint64 seconds = (std::max<qint64>(ms, 0) + 999) / 1000;
    const qint64 s = seconds % 60;
    const qint64 m = seconds / 60 % 60;
    const qint64 h = seconds / 3600;
    const QChar zero(QLatin1Char('0'));
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, zero).arg(s, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, zero);
}

QString SizeText(qint64 bytes)
{
    if (bytes < 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1000;
    int unit = 0;
    // 999.96 KB shows as 1.0 MB, not as 1000.0 KB.
    while (value >= 999.95 && unit < 3) {
        value /= 1000;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QStringList NewEntries(const QStringList& list, const QStringList& files, QStringList* duplicates)
{
    const auto key = [](const QString& path) {
        const QFileInfo info(path);
        const QString canonical = info.canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    };
    QSet<QString> seen;
    for (const QString& path : list)
        seen.insert(key(path));
    QStringList fresh;
    for (const QString& path : files) {
        if (seen.contains(key(path))) {
            if (duplicates)
                *duplicates << path;
            continue;
        }
        seen.insert(key(path));
        fresh << path;
    }
    return fresh;
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
        writer.Fit = Fit;
        writer.Codec = Codec;

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
        result.Report = writer.Report;
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
