// The WAV reader, as the AVI writer uses it: any bytes as the sound of a two-frame video (the
// first byte picks the frame time). A WAV file that cannot be used fails the writing with a
// message and leaves no file behind; one that can gives a whole AVI file with a sound stream
// of no more bytes than the WAV file holds.
#include "../tests/core/avi/RiffReader.h"
#include "FuzzUtil.h"
#include "core/avi/AviWriter.h"

#include <QDir>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::Scratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const std::uint32_t frameTimes[4] = {40, 100, 1000, 3000};
    const QString wav =
        Fuzz::WriteScratchFile(QStringLiteral("sound.wav"), Fuzz::Bytes(data + 1, size - 1));
    const QString avi = Fuzz::Scratch() + QStringLiteral("/video.avi");
    QFile::remove(avi);

    TBitmap first(5, 3), second(3, 5);
    first.Pixels.assign(first.Pixels.size(), 0x40);
    TAviWriter writer;
    writer.Width = 4;
    writer.Height = 4;
    writer.FrameTime = frameTimes[data[0] & 3];
    writer.FileName = avi;
    writer.SetWavFileName(wav);
    writer.Bitmaps = {&first, &second};
    bool written = true;
    try {
        writer.Write();
    } catch (const TAviError& error) {
        written = false;
        Fuzz::Check(!error.Message().isEmpty(), "a failed writing says why");
    }
    const QStringList left =
        QDir(Fuzz::Scratch()).entryList({QStringLiteral("video.avi*")}, QDir::Files);
    if (!written) {
        Fuzz::Check(left.isEmpty(), "a failed writing leaves no file");
        return 0;
    }
    Fuzz::Check(left == QStringList{QStringLiteral("video.avi")}, "a writing leaves its file only");
    const TAviView view(avi);
    Fuzz::Check(view.Ok() && view.Streams.size() == 2 && view.Count("00db") == 2,
                "the video reads back with its two frames and its sound stream");
    std::uint64_t sound = 0;
    for (const TMoviChunk& chunk : view.Chunks)
        if (chunk.Id == "01wb")
            sound += chunk.Size;
    Fuzz::Check(sound <= size - 1, "the sound stream holds no more than the WAV file");
    return 0;
}
