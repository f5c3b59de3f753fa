#pragma once

#include "core/avi/AviWriter.h"
#include "core/io/Worker.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>

// Rules of the AVI creator's file list, pure functions.
namespace AviCreatorRules {

// The entry a drop on the list targets: the entry under the pointer (row), or the last entry when
// the pointer is over the empty space below the entries (row -1). -1 when the list is empty.
int DropTarget(int row, int count);

// Exchanges the entries current and target; the others stay where they are. False when nothing
// changes (an entry dropped on itself, an index out of range).
bool ExchangeEntries(QStringList& files, int current, int target);

// The file a production writes for the name chosen in the save dialog: ".avi" is added to a name
// without an extension.
QString TargetFileName(const QString& chosen);

// The time a production still needs, in milliseconds, from the entries done of total in elapsed
// milliseconds; -1 while nothing is done to measure by.
qint64 TimeLeft(int done, int total, qint64 elapsedMs);
// A duration for the user: "m:ss", or "h:mm:ss" from an hour on (rounded up to whole seconds).
QString DurationText(qint64 ms);
// A file size for the user in decimal units: "512 bytes", "12.3 KB", "123.0 MB", "1.2 GB".
QString SizeText(qint64 bytes);

// The entries of files that are not in list (nor earlier in files): the same file under another
// spelling of its path (., .., links) counts as the same. duplicates, when given, receives the
// others.
QStringList NewEntries(const QStringList& list, const QStringList& files,
                       QStringList* duplicates = nullptr);

} // namespace AviCreatorRules

// How a production ended.
struct TAviProductionResult
{
    enum TKind
    {
        Done,
        Failed,
        Cancelled
    };
    TKind Kind = Failed;
    QString Message;        // the writer's message when Failed
    TAviWriteReport Report; // when Done
};

// Produces one AVI file from JPEG files on a worker thread, one frame at a time. The frame size is
// that of the first file of the list; when that file cannot be read, the writer's default (a tenth
// of the screen's size) applies. Files that cannot be read give no frame. Pictures of another size
// are drawn unscaled at the top left (Stretch off) unless Fit is set; the JPEG format always fits
// them.
//
// Events run on the UI thread through the dispatcher: OnProgress after each file (at most once per
// ProgressInterval, and always for the last), OnDone once at the end. The owner stops a production
// with Terminate(): it ends after the current frame and leaves neither the target nor a temporary
// file; OnDone then reports Cancelled. An owner that goes away clears the event slots first.
//
// While a production runs, its target is taken: a second production of the same file in this
// process is refused (Create returns null) until the first has ended.
class TAviProduction : public TWorkerThread
{
public:
    // Null when another production writes fileName now.
    static std::shared_ptr<TAviProduction> Create(const QStringList& files, const QString& fileName,
                                                  std::uint32_t frameTime, int screenWidth,
                                                  int screenHeight,
                                                  std::shared_ptr<TDispatcher> dispatcher = {});
    ~TAviProduction() override;

    // Whether a production of this process writes fileName now.
    static bool IsWriting(const QString& fileName);

    std::function<void(int done, int total)> OnProgress;
    std::function<void(const TAviProductionResult& result)> OnDone;
    std::chrono::milliseconds ProgressInterval{40};
    // Set before Start.
    TAviCodec Codec = TAviCodec::Raw;
    bool Fit = false;

protected:
    void Execute() override;

private:
    TAviProduction(const QStringList& files, const QString& fileName, std::uint32_t frameTime,
                   int screenWidth, int screenHeight, std::shared_ptr<TDispatcher> dispatcher);
    void ReleaseTarget();

    const QStringList Files;
    const QString FileName;
    const QString TargetKey;
    const std::uint32_t FrameTime;
    const int ScreenWidth;
    const int ScreenHeight;
    bool Claimed = false; // guarded by the target registry's mutex
};
