#pragma once

#include <QFile>
#include <QString>
#include <cstdint>
#include <vector>

// The sound of a PCM WAV file as the AVI writer takes it: its format block and where its samples
// lie. The samples are read piece by piece while the video is written. Every failure throws
// TAviError with a fixed English message; a file that is not a regular file (a pipe, a device) is
// refused without being waited on.
class TWavSound
{
public:
    std::vector<std::uint8_t> Format; // WAVEFORMAT(EX) as stored in the file
    int BlockAlign = 0;               // at least 1 once opened
    std::uint32_t AvgBytesPerSec = 0; // at least 1 once opened
    // Bytes of whole blocks of samples, at most what the file holds after the data chunk's start.
    std::int64_t DataBytes = 0;

    void Open(const QString& path);
    // The next n bytes of the samples.
    void Read(std::uint8_t* out, std::int64_t n);

private:
    QFile FFile;

    void ReadExact(std::uint8_t* out, std::int64_t n, const char* shortMessage);
};
