#include "core/image/JpegCodec.h"

#include <QSaveFile>
#include <QtGlobal>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jerror.h>
#include <jpeglib.h>
#include <memory>
#include <new>
#include <type_traits>

// libjpeg reports a fatal error by calling error_exit, which must not return; ours jumps back to
// RunGuarded, the one function that calls setjmp. The work it runs keeps every piece of state in
// a job struct owned by its caller and has no locals with destructors, so nothing is skipped when
// libjpeg jumps over it.

namespace JpegCodec {
namespace {

struct ErrorManager
{
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    // Without a backing store, libjpeg fails so when its arrays would pass max_memory_to_use.
    if (cinfo->err->msg_code == JERR_NO_BACKING_STORE)
        std::snprintf(err->Message, sizeof err->Message, "JPEG image needs too much memory");
    else
        (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

// Warnings are counted silently. The two warnings for missing data are fatal for us: at the end
// of the file or of a scan's data libjpeg would go on and fill the rest of the picture with grey.
// Other warnings (stray bytes between markers) leave a complete picture and are tolerated.
void EmitMessage(j_common_ptr cinfo, int msgLevel)
{
    if (msgLevel >= 0)
        return; // trace messages
    cinfo->err->num_warnings++;
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->Message, sizeof err->Message, "Truncated JPEG image");
        std::longjmp(err->Jump, 1);
    }
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err, jpeg_error_mgr*& slot)
{
    slot = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = ErrorExit;
    err.Pub.emit_message = EmitMessage;
    err.Pub.output_message = OutputMessage;
    err.Message[0] = '\0';
}

void Create(jpeg_decompress_struct& info)
{
    jpeg_create_decompress(&info);
}

void Create(jpeg_compress_struct& info)
{
    jpeg_create_compress(&info);
}

void Destroy(jpeg_decompress_struct& info)
{
    jpeg_destroy_decompress(&info);
}

void Destroy(jpeg_compress_struct& info)
{
    jpeg_destroy_compress(&info);
}

// The set-up every job shares: the error manager in place, the libjpeg object created, work(info)
// run, and the object destroyed whether the work ended, failed or libjpeg jumped out of it. Only
// this function calls setjmp: work and what it calls keep no locals with destructors.
template <class TInfo, class TWork> bool RunGuarded(TInfo& info, ErrorManager& err, TWork&& work)
{
    InstallErrorManager(err, info.err);
    if (setjmp(err.Jump)) {
        Destroy(info);
        return false;
    }
    Create(info);
    const bool done = work(info);
    Destroy(info);
    return done;
}

// Scanlines go to and from libjpeg in batches of up to RowBatch rows: the rows of the batch that
// starts at row first of height.
constexpr unsigned RowBatch = 16;

unsigned BatchRows(unsigned first, unsigned height)
{
    return std::min(RowBatch, height - first);
}

void SetError(QString* error, const char* message)
{
    if (error)
        *error = QString::fromLatin1(message);
}

// The size limits of Decode that the declared size alone shows: more pixels than it takes at all,
// or than the bytes can carry (every pixel has at least one sample).
bool TooManyPixels(long long width, long long height, unsigned long bytes)
{
    const long long pixels = width * height;
    return pixels > MaxPixels || pixels > MaxSamplesPerByte * static_cast<long long>(bytes);
}

bool ValidScale(int scaleDenom)
{
    return scaleDenom == 1 || scaleDenom == 2 || scaleDenom == 4 || scaleDenom == 8;
}

// ---- decoding ---------------------------------------------------------------------------------

// Watches the scans as libjpeg reads them: it is called at least once per scan, before each row
// of blocks it reads, and ends the decode once the scans exceed MaxScans or their passes over the
// picture's blocks MaxScanPasses. Each repeat of a scan counts, though libjpeg only warns of it.
struct ScanMonitor
{
    jpeg_progress_mgr Pub{};
    int LastScan = 0;
    long long BlocksRead = 0;
    long long BlockLimit = 0;
};

struct DecodeJob
{
    const unsigned char* Data = nullptr;
    unsigned long Size = 0;
    int ScaleDenom = 1;
    TBitmap* Out = nullptr;      // a 24-bit bitmap, or
    TPicture* Picture = nullptr; // a 32-bit picture
    jpeg_decompress_struct Info;
    ErrorManager Err;
    ScanMonitor Monitor;
};

void MonitorScans(j_common_ptr common)
{
    auto* info = reinterpret_cast<j_decompress_ptr>(common);
    auto* monitor = reinterpret_cast<ScanMonitor*>(info->progress);
    if (info->input_scan_number == monitor->LastScan)
        return;
    monitor->LastScan = info->input_scan_number;
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (info->input_scan_number > MaxScans) {
        std::snprintf(err->Message, sizeof err->Message, "JPEG image of more than %d scans",
                      MaxScans);
        std::longjmp(err->Jump, 1);
    }
    for (int i = 0; i < info->comps_in_scan; ++i) {
        const jpeg_component_info* component = info->cur_comp_info[i];
        monitor->BlocksRead +=
            static_cast<long long>(component->width_in_blocks) * component->height_in_blocks;
    }
    if (monitor->BlocksRead > monitor->BlockLimit) {
        std::snprintf(err->Message, sizeof err->Message,
                      "JPEG image whose scans pass over it more than %d times", MaxScanPasses);
        std::longjmp(err->Jump, 1);
    }
}

// What the decode will allocate besides libjpeg's small buffers: the output, and the whole
// picture's coefficients when the image comes in several scans. Checked against the budget before
// anything is allocated.
struct DecodeCost
{
    long long Samples = 0;          // of all components, at their sampling
    long long Blocks = 0;           // 8 x 8 blocks of all components
    long long CoefficientBytes = 0; // 0 for an image of one interleaved scan
    long long OutputBytes = 0;
};

DecodeCost CostOf(const jpeg_decompress_struct& info, int bytesPerPixel)
{
    DecodeCost cost;
    // One scan that holds every component decodes row by row; anything else buffers the whole
    // picture's coefficients (libjpeg rounds each component up to whole sampling units).
    const bool buffered = info.progressive_mode || info.comps_in_scan < info.num_components;
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& component = info.comp_info[i];
        const long long blocks =
            static_cast<long long>(component.width_in_blocks) * component.height_in_blocks;
        cost.Blocks += blocks;
        cost.Samples += blocks * DCTSIZE2;
        if (buffered) {
            const long long h = component.h_samp_factor, v = component.v_samp_factor;
            const long long wide = (component.width_in_blocks + h - 1) / h * h;
            const long long high = (component.height_in_blocks + v - 1) / v * v;
            cost.CoefficientBytes += wide * high * static_cast<long long>(sizeof(JBLOCK));
        }
    }
    cost.OutputBytes =
        static_cast<long long>(info.output_width) * info.output_height * bytesPerPixel;
    return cost;
}

// Adobe writes CMYK inverted (0 = full ink); other writers store plain ink values.
void CmykRowToRgb(const JSAMPLE* cmyk, std::uint8_t* rgb, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        rgb[0] = static_cast<std::uint8_t>((c * k + 127) / 255);
        rgb[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        rgb[2] = static_cast<std::uint8_t>((y * k + 127) / 255);
    }
}

void CmykRowToPicture(const JSAMPLE* cmyk, std::uint32_t* out, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4) {
        std::uint8_t rgb[3];
        CmykRowToRgb(cmyk, rgb, 1, inverted);
        out[x] =
            0xff000000u | (std::uint32_t(rgb[0]) << 16) | (std::uint32_t(rgb[1]) << 8) | rgb[2];
    }
}

// The 32-bit output whose bytes in memory make the words 0xffRRGGBB of TPicture.
constexpr J_COLOR_SPACE PictureColorSpace =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

bool DecodeWork(DecodeJob& job, jpeg_decompress_struct& info)
{
    jpeg_mem_src(&info, job.Data, job.Size);
    jpeg_read_header(&info, TRUE);

    const long long pixels = static_cast<long long>(info.image_width) * info.image_height;
    if (pixels > MaxPixels) {
        std::snprintf(job.Err.Message, sizeof job.Err.Message,
                      "JPEG image too large (%u x %u pixels)", info.image_width, info.image_height);
        return false;
    }

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : job.Picture ? PictureColorSpace : JCS_RGB;
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(job.ScaleDenom);
    jpeg_calc_output_dimensions(&info);

    const DecodeCost cost = CostOf(info, job.Picture ? 4 : 3);
    if (cost.Samples > MaxSamplesPerByte * static_cast<long long>(job.Size)) {
        std::snprintf(job.Err.Message, sizeof job.Err.Message,
                      "JPEG image of %u x %u pixels in %d components in only %lu bytes",
                      info.image_width, info.image_height, info.num_components, job.Size);
        return false;
    }
    if (cost.OutputBytes + cost.CoefficientBytes > MaxDecodeBytes) {
        std::snprintf(job.Err.Message, sizeof job.Err.Message,
                      "JPEG image of %u x %u pixels would need %lld MB to decode", info.image_width,
                      info.image_height, (cost.OutputBytes + cost.CoefficientBytes) >> 20);
        return false;
    }
    // libjpeg asks its memory manager before it allocates the coefficients; over this it fails
    // with an error (it has no backing store to fall back on) instead of allocating.
    info.mem->max_memory_to_use = static_cast<long>(MaxDecodeBytes - cost.OutputBytes);
    job.Monitor.Pub.progress_monitor = MonitorScans;
    job.Monitor.BlockLimit = cost.Blocks * MaxScanPasses;
    info.progress = &job.Monitor.Pub;

    // A progressive image is read whole here, all its scans, before any pixel memory exists.
    jpeg_start_decompress(&info);

    // The caller's pixel buffer is reused when it is large enough (repeated decodes of one
    // webcam's images of one size allocate nothing); every byte is written below.
    try {
        if (job.Picture) {
            TPicture& picture = *job.Picture;
            picture.Width = static_cast<int>(info.output_width);
            picture.Height = static_cast<int>(info.output_height);
            picture.Pixels.resize(static_cast<std::size_t>(picture.Width) * picture.Height);
        } else {
            TBitmap& out = *job.Out;
            out.Width = static_cast<int>(info.output_width);
            out.Height = static_cast<int>(info.output_height);
            out.Stride = TBitmap::StrideFor(out.Width);
            out.Pixels.resize(static_cast<std::size_t>(out.Stride) * out.Height);
        }
    } catch (const std::bad_alloc&) {
        std::snprintf(job.Err.Message, sizeof job.Err.Message, "Out of memory");
        return false;
    }

    if (cmyk) {
        // A row buffer from libjpeg's own pool: jpeg_destroy frees it even after a jump.
        JSAMPARRAY buffer = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info),
                                                      JPOOL_IMAGE, info.output_width * 4, 1);
        const bool inverted = info.saw_Adobe_marker;
        while (info.output_scanline < info.output_height) {
            const int y = static_cast<int>(info.output_scanline);
            if (jpeg_read_scanlines(&info, buffer, 1) != 1)
                break;
            if (job.Picture)
                CmykRowToPicture(buffer[0], job.Picture->Row(y), job.Picture->Width, inverted);
            else
                CmykRowToRgb(buffer[0], job.Out->Row(y), job.Out->Width, inverted);
        }
    } else {
        JSAMPROW rows[RowBatch];
        while (info.output_scanline < info.output_height) {
            const unsigned first = info.output_scanline;
            const unsigned count = BatchRows(first, info.output_height);
            for (unsigned i = 0; i < count; ++i) {
                const int y = static_cast<int>(first + i);
                rows[i] =
                    job.Picture ? reinterpret_cast<JSAMPROW>(job.Picture->Row(y)) : job.Out->Row(y);
            }
            if (jpeg_read_scanlines(&info, rows, count) == 0)
                break;
        }
    }
    jpeg_finish_decompress(&info);
    if (job.Picture)
        return true;
    TBitmap& out = *job.Out;
    const int used = out.Width * 3;
    if (out.Stride > used) {
        for (int y = 0; y < out.Height; ++y)
            std::memset(out.Row(y) + used, 0, static_cast<std::size_t>(out.Stride - used));
    }
    return true;
}

bool RunDecode(DecodeJob& job)
{
    return RunGuarded(job.Info, job.Err,
                      [&job](jpeg_decompress_struct& info) { return DecodeWork(job, info); });
}

// ---- header only ------------------------------------------------------------------------------

struct HeaderJob
{
    const unsigned char* Data = nullptr;
    unsigned long Size = 0;
    int Width = 0;
    int Height = 0;
    jpeg_decompress_struct Info;
    ErrorManager Err;
};

bool RunReadHeader(HeaderJob& job)
{
    return RunGuarded(job.Info, job.Err, [&job](jpeg_decompress_struct& info) {
        jpeg_mem_src(&info, job.Data, job.Size);
        jpeg_read_header(&info, TRUE);
        job.Width = static_cast<int>(info.image_width);
        job.Height = static_cast<int>(info.image_height);
        return true;
    });
}

// ---- encoding ---------------------------------------------------------------------------------

struct EncodeJob
{
    const TBitmap* Bitmap = nullptr;
    int Quality = 90;
    unsigned char* Buffer = nullptr; // malloc'ed by libjpeg, freed by the caller
    unsigned long Size = 0;
    jpeg_compress_struct Info;
    ErrorManager Err;
};

bool EncodeWork(EncodeJob& job, jpeg_compress_struct& info)
{
    jpeg_mem_dest(&info, &job.Buffer, &job.Size);
    const TBitmap& bitmap = *job.Bitmap;
    info.image_width = static_cast<JDIMENSION>(bitmap.Width);
    info.image_height = static_cast<JDIMENSION>(bitmap.Height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info); // baseline sequential, Huffman tables of the standard
    jpeg_set_quality(&info, job.Quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    JSAMPROW rows[RowBatch];
    while (info.next_scanline < info.image_height) {
        const unsigned first = info.next_scanline;
        const unsigned count = BatchRows(first, info.image_height);
        for (unsigned i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(bitmap.Row(static_cast<int>(first + i)));
        jpeg_write_scanlines(&info, rows, count);
    }
    jpeg_finish_compress(&info);
    return true;
}

bool RunEncode(EncodeJob& job)
{
    return RunGuarded(job.Info, job.Err,
                      [&job](jpeg_compress_struct& info) { return EncodeWork(job, info); });
}

} // namespace

namespace {

// Decodes into a 24-bit bitmap or a 32-bit picture; a failure leaves out empty.
template <class TOut>
bool DecodeTo(const QByteArray& data, TOut& out, int scaleDenom, QString* error)
{
    if (data.isEmpty() || !ValidScale(scaleDenom)) {
        out = TOut();
        SetError(error, data.isEmpty() ? "No image data" : "Unsupported scale");
        return false;
    }
    auto job = std::make_unique<DecodeJob>();
    job->Data = reinterpret_cast<const unsigned char*>(data.constData());
    job->Size = static_cast<unsigned long>(data.size());
    job->ScaleDenom = scaleDenom;
    if constexpr (std::is_same_v<TOut, TPicture>)
        job->Picture = &out;
    else
        job->Out = &out;
    if (!RunDecode(*job)) {
        out = TOut();
        SetError(error, job->Err.Message);
        return false;
    }
    return true;
}

} // namespace

bool Decode(const QByteArray& data, TBitmap& out, int scaleDenom, QString* error)
{
    return DecodeTo(data, out, scaleDenom, error);
}

bool Decode(const QByteArray& data, TPicture& out, int scaleDenom, QString* error)
{
    return DecodeTo(data, out, scaleDenom, error);
}

TRefusal RefusalOf(const QByteArray& data)
{
    TRefusal refusal;
    if (!ReadSize(data, refusal.Width, refusal.Height))
        return refusal;
    refusal.Kind =
        TooManyPixels(refusal.Width, refusal.Height, static_cast<unsigned long>(data.size()))
            ? TRefusal::TooLarge
            : TRefusal::Damaged;
    return refusal;
}

bool ReadSize(const QByteArray& data, int& width, int& height)
{
    width = 0;
    height = 0;
    if (data.isEmpty())
        return false;
    auto job = std::make_unique<HeaderJob>();
    job->Data = reinterpret_cast<const unsigned char*>(data.constData());
    job->Size = static_cast<unsigned long>(data.size());
    if (!RunReadHeader(*job))
        return false;
    width = job->Width;
    height = job->Height;
    return true;
}

QByteArray Encode(const TBitmap& bitmap, int quality, QString* error)
{
    if (bitmap.IsEmpty() || bitmap.Stride < bitmap.Width * 3 ||
        bitmap.Pixels.size() < static_cast<std::size_t>(bitmap.Stride) * bitmap.Height) {
        SetError(error, "No picture to encode");
        return {};
    }
    auto job = std::make_unique<EncodeJob>();
    job->Bitmap = &bitmap;
    job->Quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    const bool ok = RunEncode(*job);
    QByteArray result;
    if (ok && job->Buffer && job->Size > 0) {
        try {
            result = QByteArray(reinterpret_cast<const char*>(job->Buffer),
                                static_cast<qsizetype>(job->Size));
        } catch (const std::bad_alloc&) {
            result.clear();
        }
    }
    std::free(job->Buffer);
    if (result.isEmpty())
        SetError(error, ok ? "Out of memory" : job->Err.Message);
    return result;
}

bool SaveToFile(const TBitmap& bitmap, const QString& path, int quality, QString* error)
{
    const QByteArray jpeg = Encode(bitmap, quality, error);
    if (jpeg.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

int ScaleDenomFor(int width, int height, int boxWidth, int boxHeight)
{
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0)
        return 1;
    for (int denom : {8, 4, 2}) {
        const int w = (width + denom - 1) / denom;
        const int h = (height + denom - 1) / denom;
        if (w >= boxWidth || h >= boxHeight)
            return denom;
    }
    return 1;
}

} // namespace JpegCodec
