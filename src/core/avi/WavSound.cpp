#include "core/avi/WavSound.h"

#include "core/Log.h"
#include "core/avi/AviError.h"
#include "platform/io/NativeFile.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {

const char* const MsgWavFormat =
    "The file could not be read, indicating a corrupt file or an unrecognized format.";
const char* const MsgWavRead = "A disk error occurred while reading the audio file.";
const char* const MsgWavOpen = "A disk error occurred while opening the audio file.";
const char* const MsgWavNoStream = "Unable to get audio stream";
const char* const MsgWavNotFile = "The audio file is not a regular file.";

[[noreturn]] void Fail(const char* message)
{
    throw TAviError(message);
}

std::uint32_t Get32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

} // namespace

void TWavSound::Open(const QString& path)
{
    QString reason;
    if (!OpenRegularFile(FFile, path, &reason)) {
        qCInfo(lcAvi) << "cannot open the audio file" << path << ":" << reason;
        // A pipe or a device would block the writing or never end.
        Fail(QFileInfo::exists(path) && !QFileInfo(path).isFile() ? MsgWavNotFile : MsgWavOpen);
    }
    std::uint8_t head[12];
    ReadExact(head, 12, MsgWavFormat);
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        Fail(MsgWavFormat);
    const std::int64_t fileSize = FFile.size();
    std::int64_t pos = 12;
    bool haveData = false;
    std::int64_t dataPos = 0;
    while (pos + 8 <= fileSize && !(haveData && !Format.empty())) {
        std::uint8_t ck[8];
        if (!FFile.seek(pos))
            Fail(MsgWavRead);
        ReadExact(ck, 8, MsgWavFormat);
        const std::int64_t size = Get32(ck + 4);
        const std::int64_t body = pos + 8;
        if (std::memcmp(ck, "fmt ", 4) == 0 && Format.empty()) {
            if (size < 16 || size > 65536 || body + size > fileSize)
                Fail(MsgWavFormat);
            Format.resize(static_cast<std::size_t>(size));
            ReadExact(Format.data(), Format.size(), MsgWavFormat);
        } else if (std::memcmp(ck, "data", 4) == 0 && !haveData) {
            haveData = true;
            dataPos = body;
            // A size beyond the end of the file (a recording that was never closed) gives the
            // samples that are there.
            DataBytes = std::min(size, fileSize - body);
        }
        pos = body + size + (size & 1);
    }
    if (Format.empty())
        Fail(MsgWavFormat);
    const int channels = Format[2] | (Format[3] << 8);
    const std::uint32_t sampleRate = Get32(&Format[4]);
    AvgBytesPerSec = Get32(&Format[8]);
    BlockAlign = Format[12] | (Format[13] << 8);
    if (channels < 1 || sampleRate < 1 || AvgBytesPerSec < 1 || BlockAlign < 1)
        Fail(MsgWavFormat);
    if (!haveData)
        Fail(MsgWavNoStream);
    DataBytes -= DataBytes % BlockAlign;
    if (!FFile.seek(dataPos))
        Fail(MsgWavRead);
}

void TWavSound::Read(std::uint8_t* out, std::int64_t n)
{
    ReadExact(out, n, MsgWavRead);
}

void TWavSound::ReadExact(std::uint8_t* out, std::int64_t n, const char* shortMessage)
{
    const qint64 got = FFile.read(reinterpret_cast<char*>(out), n);
    if (got < 0)
        Fail(MsgWavRead);
    if (got != n)
        Fail(shortMessage);
}
