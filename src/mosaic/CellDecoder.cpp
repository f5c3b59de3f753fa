#include "mosaic/CellDecoder.h"

#include "core/Log.h"
#include "core/image/JpegCodec.h"
#include "core/net/FetchEngine.h"
#include "core/net/WorkPool.h"

#include <deque>
#include <exception>
#include <mutex>

// What the decoder's pool job shares with the owner: the cells waiting, and whether a job is
// draining them. The job holds it, never the decoder, so the decoder may go while a decode runs.
struct TCellDecoder::TShared
{
    std::mutex Mutex;
    std::deque<TJob> Jobs;
    qreal Ratio = 1;
    // A pool job drains Jobs, started by Want when none does: one at a time, the screen's cells
    // first, and the pool's other threads stay free for the feeds.
    bool Running = false;
    bool Stopped = false;
    TDecoded OnDecoded; // set once, before any job runs
};

namespace {

void DecodeOne(const TCellDecoder::TJob& job, qreal ratio, const std::shared_ptr<TPostBox>& box,
               const TCellDecoder::TDecoded& onDecoded)
{
    TBitmap small;
    QString error;
    if (!JpegCodec::Decode(job.Jpeg, small, 1, &error)) {
        qCInfo(lcImage) << "mosaic cell" << job.Index << "not decoded:" << error;
        return;
    }
    QImage picture = TCellDecoder::ScreenImage(small, ratio);
    box->Post([onDecoded, index = job.Index, generation = job.Generation,
               picture = std::move(picture)]() mutable {
        onDecoded(index, generation, std::move(picture));
    });
}

} // namespace

TCellDecoder::TCellDecoder(TWorkPool* pool, TDecoded onDecoded)
    : Shared(std::make_shared<TShared>()), Box(std::make_shared<TPostBox>()), Pool(pool)
{
    Shared->OnDecoded = std::move(onDecoded);
}

TCellDecoder::~TCellDecoder()
{
    Stop();
}

QImage TCellDecoder::ScreenImage(const TBitmap& picture, qreal pixelRatio)
{
    if (picture.IsEmpty())
        return {};
    QImage image = QImage(picture.Pixels.data(), picture.Width, picture.Height, picture.Stride,
                          QImage::Format_RGB888)
                       .convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(pixelRatio);
    return image;
}

void TCellDecoder::Want(std::vector<TJob> jobs, qreal pixelRatio)
{
    {
        std::lock_guard lock(Shared->Mutex);
        if (Shared->Stopped)
            return;
        Shared->Jobs.assign(std::make_move_iterator(jobs.begin()),
                            std::make_move_iterator(jobs.end()));
        Shared->Ratio = pixelRatio;
        if (Shared->Running || Shared->Jobs.empty())
            return;
        Shared->Running = true;
    }
    Pool->Start([shared = Shared, box = Box] { Drain(shared, box); });
}

void TCellDecoder::Drain(const std::shared_ptr<TShared>& shared,
                         const std::shared_ptr<TPostBox>& box)
{
    for (;;) {
        TJob job;
        qreal ratio = 1;
        {
            std::lock_guard lock(shared->Mutex);
            if (shared->Stopped || shared->Jobs.empty()) {
                shared->Running = false;
                return;
            }
            job = std::move(shared->Jobs.front());
            shared->Jobs.pop_front();
            ratio = shared->Ratio;
        }
        // One cell that fails, even by running out of memory, leaves the others to decode.
        try {
            DecodeOne(job, ratio, box, shared->OnDecoded);
        } catch (const std::exception& e) {
            qCWarning(lcImage) << "mosaic cell" << job.Index << "not decoded:" << e.what();
        } catch (...) {
            qCWarning(lcImage) << "mosaic cell" << job.Index << "not decoded";
        }
    }
}

void TCellDecoder::Stop()
{
    {
        std::lock_guard lock(Shared->Mutex);
        Shared->Stopped = true;
        Shared->Jobs.clear();
    }
    // Pictures posted and not handed over yet go with the box.
    Box->Detach();
}
