// pictavo-avi: turns JPEG files (an archive of webcam images, say) into an AVI timelapse, one file
// per frame, uncompressed or with the JPEG pictures stored as they are, with an optional WAV sound
// track.

#include "core/TimeZone.h"
#include "core/avi/AviJpegSource.h"
#include "core/avi/AviWriter.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <malloc.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Set by Ctrl+C or a termination request: the writing stops after the current frame and removes
// its .part file, so that an interrupted run leaves nothing behind.
std::atomic<int> StopSignal{0};

extern "C" void OnStopSignal(int sig)
{
    StopSignal = sig;
}

const char* const Usage =
    "Usage: pictavo-avi -o OUT.avi [--codec raw|mjpeg] [--pause MS] [--wav FILE]\n"
    "                   [--stretch | --fit] JPEG...\n"
    "\n"
    "Writes the JPEG files, in the order given, as the frames of an AVI video.\n"
    "The frame size is that of the first file that can be read; files that cannot be read are\n"
    "skipped with a warning.\n"
    "\n"
    "  --codec raw        uncompressed 24-bit frames (the default)\n"
    "  --codec mjpeg      each frame the JPEG picture as it is ('MJPG'), several times smaller;\n"
    "                     pictures of another size are fitted to the frame and encoded again\n"
    "  -o, --output FILE  the AVI file to write (written beside it as FILE.XXXXXX.part, renamed\n"
    "                     when complete)\n"
    "  --pause MS         milliseconds each frame is shown, 1 to 10000000 (default 500)\n"
    "  --wav FILE         a PCM WAV file (.wav) whose sound becomes the video's sound track\n"
    "  --stretch          stretch pictures of another size to the frame; without it they are\n"
    "                     drawn unscaled at the top left, cut or padded with their corner colour\n"
    "  --fit              fit pictures of another size to the frame, proportions kept, centred\n"
    "                     on black\n"
    "  -h, --help         show this help\n";

int UsageError(const char* message, const char* arg = nullptr)
{
    if (arg)
        std::fprintf(stderr, "pictavo-avi: %s: %s\n", message, arg);
    else
        std::fprintf(stderr, "pictavo-avi: %s\n", message);
    std::fprintf(stderr, "Try 'pictavo-avi --help'.\n");
    return 2;
}

bool ParsePause(const char* text, std::uint32_t& pause)
{
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    // Every frame lasts at least a millisecond: a pause of 0 gives a video that no player can
    // time.
    if (errno != 0 || end == text || *end != '\0' || v < 1 || v > 10000000)
        return false;
    pause = static_cast<std::uint32_t>(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    PrepareTimeZone();

    // Frames come and go a thousand times: keep their memory in the heap for the next frame
    // instead of mapping and zeroing fresh pages from the system for each one.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    QString output;
    QString wav;
    std::uint32_t pause = 500;
    bool stretch = false;
    bool fit = false;
    TAviCodec codec = TAviCodec::Raw;
    QStringList files;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                UsageError("missing value for", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            files << QFile::decodeName(argv[i]);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "-o" || arg == "--output") {
            const char* v = value(argv[i]);
            if (!v)
                return 2;
            output = QFile::decodeName(v);
        } else if (arg == "--pause") {
            const char* v = value(argv[i]);
            if (!v)
                return 2;
            if (!ParsePause(v, pause))
                return UsageError("the pause must be a whole number of milliseconds from 1 to "
                                  "10000000",
                                  v);
        } else if (arg == "--wav") {
            const char* v = value(argv[i]);
            if (!v)
                return 2;
            wav = QFile::decodeName(v);
        } else if (arg == "--stretch") {
            stretch = true;
        } else if (arg == "--fit") {
            fit = true;
        } else if (arg == "--codec") {
            const char* v = value(argv[i]);
            if (!v)
                return 2;
            if (std::string(v) == "raw")
                codec = TAviCodec::Raw;
            else if (std::string(v) == "mjpeg")
                codec = TAviCodec::Mjpeg;
            else
                return UsageError("the codec must be raw or mjpeg", v);
        } else {
            return UsageError("unknown option", argv[i]);
        }
    }
    if (output.isEmpty())
        return UsageError("no output file (-o OUT.avi)");

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    bool progressShown = false;
    auto warn = [&](const QString& path, const QString& error) {
        if (progressShown)
            std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "pictavo-avi: warning: skipping %s: %s\n",
                     QFile::encodeName(path).constData(), error.toLocal8Bit().constData());
    };

    try {
        TAviWriter writer;
        writer.FileName = output;
        writer.FrameTime = pause;
        writer.Stretch = stretch;
        writer.Fit = fit;
        writer.Codec = codec;
        writer.SetWavFileName(wav); // empty: no sound track

        // The frame size is that of the first file that can be read; the files before it give no
        // frame and need not be read again, and the first frame is not decoded twice.
        qsizetype first = 0;
        TBitmap firstFrame;
        for (; first < files.size(); ++first) {
            QString error;
            if (TAviJpegSource::ReadFile(files[first], firstFrame, &error)) {
                writer.Width = firstFrame.Width;
                writer.Height = firstFrame.Height;
                break;
            }
            warn(files[first], error);
        }
        // Decoding runs ahead on the other cores, up to three files, while this thread writes;
        // the source takes fewer when the frames are big.
        const int cores = static_cast<int>(std::thread::hardware_concurrency());
        TAviJpegSource source(files.mid(first), std::clamp(cores - 1, 1, 3));
        source.OnSkip = warn;
        if (first < files.size())
            source.Prime(0, std::move(firstFrame));
        writer.OnProgress = [&](int done, int total) {
            if (StopSignal != 0)
                throw TAviError("interrupted");
            if (terminal) {
                std::fprintf(stderr, "\rpictavo-avi: frame %d of %d", done, total);
                progressShown = true;
            }
        };
        std::signal(SIGINT, OnStopSignal);
        std::signal(SIGTERM, OnStopSignal);
        writer.Write(source);
        if (progressShown)
            std::fputs("\n", stderr);
    } catch (const std::exception& e) {
        if (progressShown)
            std::fputs("\n", stderr);
        std::fprintf(stderr, "pictavo-avi: %s\n", e.what());
        return StopSignal != 0 ? 128 + StopSignal : 1;
    }
    return 0;
}
