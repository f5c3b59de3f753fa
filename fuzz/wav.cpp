// The WAV reader of the AVI writer, on its own: any bytes after the first as a WAV file, read
// back in pieces of a size the first byte picks. A file that cannot be used fails with a message;
// one that can gives a format block, whole blocks of samples no longer than the file, and every
// one of those bytes when read.
#include "FuzzUtil.h"
#include "core/avi/AviError.h"
#include "core/avi/WavSound.h"

#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::Scratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const std::int64_t pieces[4] = {1, 7, 4096, 1 << 20};
    const std::int64_t piece = pieces[data[0] & 3];
    const QString path =
        Fuzz::WriteScratchFile(QStringLiteral("sound.wav"), Fuzz::Bytes(data + 1, size - 1));
    TWavSound sound;
    try {
        sound.Open(path);
    } catch (const TAviError& error) {
        Fuzz::Check(!error.Message().isEmpty(), "a WAV file that cannot be used says why");
        return 0;
    }
    Fuzz::Check(sound.Format.size() >= 16 && sound.BlockAlign >= 1 && sound.AvgBytesPerSec >= 1,
                "an opened WAV file has a usable format");
    Fuzz::Check(sound.DataBytes >= 0 && sound.DataBytes % sound.BlockAlign == 0 &&
                    sound.DataBytes <= std::int64_t(size - 1),
                "the samples are whole blocks within the file");
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(piece, sound.DataBytes)));
    try {
        for (std::int64_t done = 0; done < sound.DataBytes; done += piece)
            sound.Read(buffer.data(), std::min(piece, sound.DataBytes - done));
    } catch (const TAviError&) {
        Fuzz::Check(false, "every sample byte the reader announced can be read");
    }
    return 0;
}
