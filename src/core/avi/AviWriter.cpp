#include "core/avi/AviWriter.h"

#include "core/Log.h"
#include "core/image/BitmapScale.h"
#include "core/image/JpegCodec.h"
#include "platform/io/NativeFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

// File layout. The first part is a plain AVI file that every reader understands:
//
//   RIFF 'AVI '
//     LIST 'hdrl'  avih, LIST 'strl' (strh, strf, indx) per stream, LIST 'odml' (dmlh)
//     LIST 'movi'  00db (uncompressed) or 00dc (JPEG) frame chunks, 01wb sound chunks in time order
//     idx1         one entry per chunk of this part
//
// When adding a chunk would take the part past PartLimit, the part is closed and the file goes on
// with 'RIFF AVIX' parts holding only a 'LIST movi'. Every part of such a file ends its movi list
// with one standard index per stream (ix00, ix01), and the 'indx' super index of each stream lists
// them. A file that stays in one part keeps the super index space as JUNK.

namespace {

constexpr std::uint32_t KeyFrame = 0x10;           // idx1 flag
constexpr std::uint32_t HasIndex = 0x10;           // avih flag
constexpr std::uint32_t IsInterleaved = 0x100;     // avih flag
constexpr std::int64_t MaxChunksPerPart = 1 << 18; // bounds the index memory of a part
constexpr int SuperIndexHeader = 24;
constexpr int StdIndexHeader = 24;

const char* const MsgNoBitmaps = "No bitmaps on the Bitmaps list";
const char* const MsgWavExtension = "WavFileName must name a file with the .wav extension";
const char* const MsgInvalidBitmap = "Invalid bitmap";
const char* const MsgWriteOutput = "Unable to write output file";
const char* const MsgWavFormat =
    "The file could not be read, indicating a corrupt file or an unrecognized format.";
const char* const MsgWavRead = "A disk error occurred while reading the audio file.";
const char* const MsgWavOpen = "A disk error occurred while opening the audio file.";
const char* const MsgWavNoStream = "Unable to get audio stream";
const char* const MsgWavNotFile = "The audio file is not a regular file.";

[[noreturn]] void Fail(const std::string& message)
{
    throw TAviError(message);
}

// Little-endian bytes built in memory, with patches at remembered offsets.
class TBytes
{
public:
    std::vector<std::uint8_t> Data;

    int Pos() const { return static_cast<int>(Data.size()); }
    void U8(std::uint8_t v) { Data.push_back(v); }
    void U16(std::uint16_t v)
    {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(std::uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void U64(std::uint64_t v)
    {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Four(const char* id) { Data.insert(Data.end(), id, id + 4); }
    void Zeros(std::size_t n) { Data.insert(Data.end(), n, 0); }
    void Append(const std::uint8_t* p, std::size_t n) { Data.insert(Data.end(), p, p + n); }
    // 'LIST' size type: returns the offset of the size field for EndList.
    int BeginList(const char* list, const char* type)
    {
        Four(list);
        const int at = Pos();
        U32(0);
        Four(type);
        return at;
    }
    void EndList(int sizeAt) { Patch32(sizeAt, static_cast<std::uint32_t>(Pos() - sizeAt - 4)); }
    void Patch32(int at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            Data[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
};

void Put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

std::uint32_t Clamp32(std::uint64_t v)
{
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

// The sound of a WAV file: its format block and where its samples lie. The samples are read
// piece by piece while the video is written.
class TWavSound
{
public:
    std::vector<std::uint8_t> Format; // WAVEFORMAT(EX) as stored in the file
    int BlockAlign = 0;
    std::uint32_t AvgBytesPerSec = 0;
    std::int64_t DataBytes = 0;

    void Open(const QString& path)
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

    // The next n bytes of the samples.
    void Read(std::uint8_t* out, std::int64_t n) { ReadExact(out, n, MsgWavRead); }

private:
    QFile FFile;

    void ReadExact(std::uint8_t* out, std::int64_t n, const char* shortMessage)
    {
        const qint64 got = FFile.read(reinterpret_cast<char*>(out), n);
        if (got < 0)
            Fail(MsgWavRead);
        if (got != n)
            Fail(shortMessage);
    }
};

// The frames of the Bitmaps list.
class TBitmapListSource : public TAviFrameSource
{
public:
    explicit TBitmapListSource(const std::vector<const TBitmap*>& list) : FList(list) {}
    int Count() const override { return static_cast<int>(FList.size()); }
    const TBitmap* Frame(int index) override { return FList[static_cast<std::size_t>(index)]; }

private:
    const std::vector<const TBitmap*>& FList;
};

struct TSettings
{
    QString FileName;
    int Width = 0;
    int Height = 0;
    std::uint32_t FrameTime = 0;
    bool Stretch = true;
    bool Fit = false;
    TAviCodec Codec = TAviCodec::Raw;
    std::int64_t PartLimit = 0;
    std::function<void(int, int)> OnProgress;
};

// One stream's index state.
struct TStream
{
    const char* ChunkId = nullptr; // "00db" or "00dc" / "01wb"
    const char* IndexId = nullptr; // "ix00" / "ix01"
    struct TEntry
    {
        std::uint64_t Offset; // of the chunk's data
        std::uint32_t Size;
    };
    std::vector<TEntry> PartEntries;
    std::uint32_t PartDuration = 0;
    struct TSuper
    {
        std::uint64_t Offset;
        std::uint32_t Size;
        std::uint32_t Duration;
    };
    std::vector<TSuper> Super;
    int SuperAt = 0;  // header offset of the reserved super index chunk
    int LengthAt = 0; // header offset of strh dwLength
    int BufferAt = 0; // header offset of strh dwSuggestedBufferSize
    std::uint64_t Length = 0;
    std::uint32_t MaxChunk = 0;
};

// Writes one file, under a unique temporary name beside the target ("<target>.XXXXXX.part"),
// created exclusively. The descriptor belongs to this object; unless the file has been renamed
// into place, the destructor removes the temporary file.
class TAviFileWriter
{
public:
    TAviFileWriter(const TSettings& settings, TWavSound* sound)
        : S(settings), Sound(sound), Jpeg(settings.Codec == TAviCodec::Mjpeg),
          FrameBytes(AviRules::FrameBytes(settings.Width, settings.Height))
    {
    }

    TAviWriteReport Report;

    ~TAviFileWriter()
    {
        File.Close();
        if (!Committed && !File.Path().isEmpty())
            QFile::remove(File.Path());
    }

    void Run(TAviFrameSource& source)
    {
        const int count = source.Count();
        if (S.FileName.isEmpty())
            Fail(MsgWriteOutput);
        // Two writers of one target each write their own file; the last to finish wins, whole.
        QString reason;
        if (!File.CreateUnique(S.FileName + QLatin1Char('.'), QStringLiteral(".part"), &reason)) {
            qCInfo(lcAvi) << "cannot create a file beside" << S.FileName << ":" << reason;
            Fail(MsgWriteOutput);
        }

        Video.ChunkId = Jpeg ? "00dc" : "00db";
        Video.IndexId = "ix00";
        Audio.ChunkId = "01wb";
        Audio.IndexId = "ix01";
        AudioCap = 0;
        if (Sound) {
            // Sound chunks hold at most about a second, whole blocks.
            const std::int64_t second = std::clamp<std::int64_t>(Sound->AvgBytesPerSec, 1, 1 << 20);
            AudioCap =
                std::max<std::int64_t>(second - second % Sound->BlockAlign, Sound->BlockAlign);
        }

        WriteHeader(count);

        // A JPEG frame's buffer grows to the largest picture; an uncompressed one is one frame.
        std::vector<std::uint8_t> frame(Jpeg ? 0 : static_cast<std::size_t>(8 + FrameBytes));
        std::vector<std::uint8_t> audio(Sound ? static_cast<std::size_t>(8 + AudioCap + 1) : 0);
        TBitmap fitted;
        std::int64_t frames = 0;
        for (int i = 0; i < count; ++i) {
            std::uint32_t size = 0;
            if (Jpeg) {
                const TAviJpegFrame jpeg = source.JpegFrame(i, S.Width, S.Height);
                if (jpeg.Data) {
                    if (jpeg.Data->isEmpty() || jpeg.Data->size() > AviRules::MaxJpegFrameBytes)
                        Fail(MsgInvalidBitmap);
                    size = static_cast<std::uint32_t>(jpeg.Data->size());
                    if (frame.size() < 8 + std::size_t(size) + 1)
                        frame.resize(8 + std::size_t(size) + 1);
                    std::memcpy(frame.data() + 8, jpeg.Data->constData(), size);
                    Report.Resized += jpeg.Fitted;
                }
            } else if (const TBitmap* bitmap = source.Frame(i)) {
                const bool other = bitmap->Width != S.Width || bitmap->Height != S.Height;
                if (other && S.Fit) {
                    AviRules::FitPicture(*bitmap, S.Width, S.Height, fitted);
                    bitmap = &fitted;
                }
                AviRules::DrawFrame(*bitmap, S.Width, S.Height, S.Stretch, frame.data() + 8);
                size = static_cast<std::uint32_t>(FrameBytes);
                Report.Resized += other;
            }
            if (size > 0) {
                if (Sound)
                    WriteSound(audio, AviRules::AudioBytesUntil(
                                          frames + 1, S.FrameTime, Sound->AvgBytesPerSec,
                                          Sound->BlockAlign, Sound->DataBytes));
                AddChunk(Video, frame.data(), size, 1, true);
                ++frames;
            } else {
                ++Report.Skipped;
            }
            if (S.OnProgress)
                S.OnProgress(i + 1, count);
        }
        if (frames == 0)
            Fail(MsgNoBitmaps);
        Report.Frames = static_cast<int>(frames);
        if (Sound)
            WriteSound(audio, Sound->DataBytes);
        ClosePart(true);
        Finish();
    }

private:
    const TSettings& S;
    TWavSound* Sound;
    const bool Jpeg;
    const std::int64_t FrameBytes;
    TNativeFile File;
    bool Committed = false;
    TBytes Header;
    TStream Video;
    TStream Audio;
    std::int64_t AudioCap = 0;
    std::int64_t AudioWritten = 0;
    std::uint64_t Pos = 0; // file position
    int Part = 0;
    std::uint64_t PartStart = 0;
    std::uint64_t MoviAt = 0; // position of the movi list's 'LIST'
    std::int64_t PartChunks = 0;
    std::uint32_t FirstPartFrames = 0;
    struct TIdx1
    {
        const char* Id;
        std::uint32_t Offset;
        std::uint32_t Size;
    };
    std::vector<TIdx1> Idx1;
    int AvihTotalFramesAt = 0;
    int AvihMaxBytesAt = 0;
    int AvihBufferAt = 0;
    int DmlhAt = 0;
    int Reserved = 0; // super index entries reserved per stream

    void WriteAll(const void* data, std::size_t n, bool frame = false)
    {
        if (!File.Append(data, n)) {
            if (frame) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(File.Error()));
                Fail(std::string("Failed to add frame to AVI. Err=") + hex);
            }
            Fail(MsgWriteOutput);
        }
        Pos += n;
    }

    void PatchAt(std::uint64_t at, const void* data, std::size_t n)
    {
        if (!File.WriteAt(at, data, n))
            Fail(MsgWriteOutput);
    }

    void Patch32(std::uint64_t at, std::uint32_t v)
    {
        std::uint8_t b[4];
        Put32(b, v);
        PatchAt(at, b, 4);
    }

    // Super index entries to reserve per stream: a safe upper bound of the number of parts.
    int EstimateParts(int count) const
    {
        std::int64_t chunks = count;
        // A JPEG frame may take up to its limit: the reservation holds for the largest.
        std::int64_t biggest = 8 + (Jpeg ? AviRules::MaxJpegFrameBytes + 1 : FrameBytes);
        if (Sound) {
            chunks += count + Sound->DataBytes / AudioCap + 2;
            biggest = std::max<std::int64_t>(biggest, 8 + AudioCap + 1);
        }
        // A part takes chunks until the next one would pass the limit, counting the index entries
        // (16 bytes in idx1, 8 in the standard index) and the index headers.
        const std::int64_t room = S.PartLimit - 4096 - 2 * (8 + StdIndexHeader);
        std::int64_t perPart = room > 0 ? room / (biggest + 24) : 1;
        perPart = std::clamp<std::int64_t>(perPart, 1, MaxChunksPerPart);
        const std::int64_t parts = (chunks + perPart - 1) / perPart + 2;
        return static_cast<int>(std::clamp<std::int64_t>(parts, 16, 1 << 26));
    }

    void WriteSuperIndexSpace(TStream& stream)
    {
        stream.SuperAt = Header.Pos();
        Header.Four("JUNK");
        Header.U32(static_cast<std::uint32_t>(SuperIndexHeader + 16 * Reserved));
        Header.Zeros(static_cast<std::size_t>(SuperIndexHeader + 16 * Reserved));
    }

    void WriteHeader(int count)
    {
        Reserved = EstimateParts(count);
        const int streams = Sound ? 2 : 1;
        TBytes& h = Header;
        h.BeginList("RIFF", "AVI "); // its size is set when the part closes
        const int hdrlAt = h.BeginList("LIST", "hdrl");

        h.Four("avih");
        h.U32(56);
        h.U32(Clamp32(std::uint64_t(S.FrameTime) * 1000)); // microseconds per frame
        AvihMaxBytesAt = h.Pos();
        h.U32(0);
        h.U32(0); // padding granularity
        h.U32(HasIndex | (Sound ? IsInterleaved : 0));
        AvihTotalFramesAt = h.Pos();
        h.U32(0);
        h.U32(0); // initial frames
        h.U32(static_cast<std::uint32_t>(streams));
        AvihBufferAt = h.Pos();
        h.U32(0);
        h.U32(static_cast<std::uint32_t>(S.Width));
        h.U32(static_cast<std::uint32_t>(S.Height));
        h.Zeros(16);

        int strlAt = h.BeginList("LIST", "strl");
        h.Four("strh");
        h.U32(56);
        h.Four("vids");
        if (Jpeg)
            h.Four("MJPG"); // handler
        else
            h.U32(0);
        h.U32(0);           // flags
        h.U16(0);           // priority
        h.U16(0);           // language
        h.U32(0);           // initial frames
        h.U32(S.FrameTime); // scale
        h.U32(1000);        // rate
        h.U32(0);           // start
        Video.LengthAt = h.Pos();
        h.U32(0);
        Video.BufferAt = h.Pos();
        h.U32(0);
        h.U32(0); // quality
        h.U32(0); // sample size
        h.U16(0);
        h.U16(0);
        h.U16(static_cast<std::uint16_t>(std::min(S.Width, 32767)));
        h.U16(static_cast<std::uint16_t>(std::min(S.Height, 32767)));
        h.Four("strf");
        h.U32(40);
        h.U32(40);
        h.U32(static_cast<std::uint32_t>(S.Width));
        h.U32(static_cast<std::uint32_t>(S.Height)); // positive: rows bottom-up
        h.U16(1);                                    // planes
        h.U16(24);                                   // bits per pixel
        if (Jpeg)
            h.Four("MJPG"); // compression
        else
            h.U32(0); // BI_RGB
        // The size of the picture once decoded, as readers expect it for both formats.
        h.U32(static_cast<std::uint32_t>(Jpeg ? std::int64_t(S.Width) * S.Height * 3 : FrameBytes));
        h.Zeros(16);
        WriteSuperIndexSpace(Video);
        h.EndList(strlAt);

        if (Sound) {
            strlAt = h.BeginList("LIST", "strl");
            h.Four("strh");
            h.U32(56);
            h.Four("auds");
            h.U32(0);
            h.U32(0);
            h.U16(0);
            h.U16(0);
            h.U32(0);
            h.U32(static_cast<std::uint32_t>(Sound->BlockAlign)); // scale
            h.U32(Sound->AvgBytesPerSec);                         // rate
            h.U32(0);
            Audio.LengthAt = h.Pos();
            h.U32(0);
            Audio.BufferAt = h.Pos();
            h.U32(0);
            h.U32(0);
            h.U32(static_cast<std::uint32_t>(Sound->BlockAlign)); // sample size
            h.Zeros(8);
            h.Four("strf");
            h.U32(static_cast<std::uint32_t>(Sound->Format.size()));
            h.Append(Sound->Format.data(), Sound->Format.size());
            if (Sound->Format.size() & 1)
                h.U8(0);
            WriteSuperIndexSpace(Audio);
            h.EndList(strlAt);
        }

        const int odmlAt = h.BeginList("LIST", "odml");
        h.Four("dmlh");
        h.U32(248);
        DmlhAt = h.Pos();
        h.Zeros(248);
        h.EndList(odmlAt);
        h.EndList(hdrlAt);

        MoviAt = static_cast<std::uint64_t>(h.Pos());
        h.Four("LIST");
        h.U32(0);
        h.Four("movi");
        PartStart = 0;
        WriteAll(h.Data.data(), h.Data.size());
    }

    std::uint64_t IndexBytes(std::int64_t extra) const
    {
        std::uint64_t bytes = 0;
        const std::uint64_t chunks = Video.PartEntries.size() + Audio.PartEntries.size() + extra;
        if (Part == 0)
            bytes += 8 + 16 * chunks;
        bytes += 2 * (8 + StdIndexHeader) + 8 * chunks;
        return bytes;
    }

    // buffer: 8 free bytes, then size bytes of data, then room for a pad byte.
    void AddChunk(TStream& stream, std::uint8_t* buffer, std::uint32_t size, std::uint32_t duration,
                  bool frame)
    {
        const std::uint64_t total = 8 + size + (size & 1);
        if (PartChunks > 0 &&
            (Pos - PartStart + total + IndexBytes(1) > static_cast<std::uint64_t>(S.PartLimit) ||
             PartChunks >= MaxChunksPerPart)) {
            ClosePart(false);
            OpenPart();
        }
        std::memcpy(buffer, stream.ChunkId, 4);
        Put32(buffer + 4, size);
        if (size & 1)
            buffer[8 + size] = 0;
        const std::uint64_t at = Pos;
        WriteAll(buffer, static_cast<std::size_t>(total), frame);
        stream.PartEntries.push_back({at + 8, size});
        stream.PartDuration += duration;
        stream.Length += duration;
        stream.MaxChunk = std::max(stream.MaxChunk, size);
        if (Part == 0) {
            Idx1.push_back({stream.ChunkId, static_cast<std::uint32_t>(at - (MoviAt + 8)), size});
            if (&stream == &Video)
                ++FirstPartFrames;
        }
        ++PartChunks;
    }

    void WriteSound(std::vector<std::uint8_t>& buffer, std::int64_t until)
    {
        while (AudioWritten < until) {
            const std::int64_t n = std::min(until - AudioWritten, AudioCap);
            Sound->Read(buffer.data() + 8, n);
            AddChunk(Audio, buffer.data(), static_cast<std::uint32_t>(n),
                     static_cast<std::uint32_t>(n / Sound->BlockAlign), false);
            AudioWritten += n;
        }
    }

    void WriteStdIndex(TStream& stream)
    {
        if (stream.PartEntries.empty())
            return;
        if (static_cast<int>(stream.Super.size()) >= Reserved)
            Fail(MsgWriteOutput); // cannot happen: the reservation is an upper bound
        TBytes ix;
        const std::uint64_t base = MoviAt;
        ix.Four(stream.IndexId);
        ix.U32(static_cast<std::uint32_t>(StdIndexHeader + 8 * stream.PartEntries.size()));
        ix.U16(2); // longs per entry
        ix.U8(0);  // sub type
        ix.U8(1);  // index of chunks
        ix.U32(static_cast<std::uint32_t>(stream.PartEntries.size()));
        ix.Four(stream.ChunkId);
        ix.U64(base);
        ix.U32(0);
        for (const TStream::TEntry& e : stream.PartEntries) {
            ix.U32(static_cast<std::uint32_t>(e.Offset - base));
            ix.U32(e.Size); // top bit clear: every chunk is a key frame
        }
        stream.Super.push_back(
            {Pos, static_cast<std::uint32_t>(ix.Data.size()), stream.PartDuration});
        WriteAll(ix.Data.data(), ix.Data.size());
    }

    void ClosePart(bool last)
    {
        if (!last || Part > 0) {
            WriteStdIndex(Video);
            WriteStdIndex(Audio);
        }
        Patch32(MoviAt + 4, static_cast<std::uint32_t>(Pos - (MoviAt + 8)));
        if (Part == 0) {
            TBytes idx;
            idx.Four("idx1");
            idx.U32(static_cast<std::uint32_t>(16 * Idx1.size()));
            for (const TIdx1& e : Idx1) {
                idx.Four(e.Id);
                idx.U32(KeyFrame);
                idx.U32(e.Offset);
                idx.U32(e.Size);
            }
            WriteAll(idx.Data.data(), idx.Data.size());
            Idx1.clear();
            Idx1.shrink_to_fit();
        }
        Patch32(PartStart + 4, static_cast<std::uint32_t>(Pos - (PartStart + 8)));
        for (TStream* s : {&Video, &Audio}) {
            s->PartEntries.clear();
            s->PartDuration = 0;
        }
        PartChunks = 0;
    }

    void OpenPart()
    {
        ++Part;
        PartStart = Pos;
        MoviAt = Pos + 12;
        TBytes h;
        h.Four("RIFF");
        h.U32(0);
        h.Four("AVIX");
        h.Four("LIST");
        h.U32(0);
        h.Four("movi");
        WriteAll(h.Data.data(), h.Data.size());
    }

    void PatchSuperIndex(const TStream& stream)
    {
        TBytes ix;
        ix.Four("indx");
        ix.U32(static_cast<std::uint32_t>(SuperIndexHeader + 16 * Reserved));
        ix.U16(4); // longs per entry
        ix.U8(0);
        ix.U8(0); // index of indexes
        ix.U32(static_cast<std::uint32_t>(stream.Super.size()));
        ix.Four(stream.ChunkId);
        ix.Zeros(12);
        for (const TStream::TSuper& e : stream.Super) {
            ix.U64(e.Offset);
            ix.U32(e.Size);
            ix.U32(e.Duration);
        }
        PatchAt(static_cast<std::uint64_t>(stream.SuperAt), ix.Data.data(), ix.Data.size());
    }

    void Finish()
    {
        const std::uint32_t biggest = std::max(Video.MaxChunk, Audio.MaxChunk);
        std::uint64_t perSecond = 0;
        if (S.FrameTime > 0)
            perSecond = std::uint64_t(Jpeg ? Video.MaxChunk : FrameBytes) * 1000 / S.FrameTime;
        if (Sound)
            perSecond += Sound->AvgBytesPerSec;
        Patch32(AvihMaxBytesAt, Clamp32(perSecond));
        Patch32(AvihTotalFramesAt, FirstPartFrames);
        Patch32(AvihBufferAt, biggest);
        Patch32(DmlhAt, Clamp32(Video.Length));
        for (TStream* s : {&Video, &Audio}) {
            if (s == &Audio && !Sound)
                continue;
            Patch32(s->LengthAt, Clamp32(s->Length));
            Patch32(s->BufferAt, s->MaxChunk);
            if (Part > 0)
                PatchSuperIndex(*s);
        }
        // On the disk before the name: a crash after the rename cannot leave a cut file there.
        if (!File.Sync() || !File.Close()) {
            qCInfo(lcAvi) << "cannot sync or close" << File.Path() << ":" << File.ErrorText();
            Fail(MsgWriteOutput);
        }
        if (std::rename(QFile::encodeName(File.Path()).constData(),
                        QFile::encodeName(S.FileName).constData()) != 0) {
            qCInfo(lcAvi) << "cannot rename" << File.Path() << "to" << S.FileName << ":"
                          << qt_error_string(errno);
            Fail(MsgWriteOutput);
        }
        Committed = true;
        Report.FileBytes = static_cast<qint64>(Pos);
    }
};

} // namespace

namespace AviRules {

std::int64_t RowBytes(int width)
{
    return (std::int64_t(width) * 3 + 3) & ~std::int64_t(3);
}

std::int64_t FrameBytes(int width, int height)
{
    if (width < 1 || height < 1)
        return 0;
    const std::int64_t bytes = RowBytes(width) * height;
    return bytes > MaxFrameBytes ? 0 : bytes;
}

QString FileExtension(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return QString();
    return path.mid(dot);
}

namespace {

void CopyRow(const std::uint8_t* s, std::uint8_t* d, int pixels)
{
    for (int x = 0; x < pixels; ++x, s += 3, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
    }
}

void FillRow(std::uint8_t* d, int pixels, const std::uint8_t bgr[3])
{
    for (int x = 0; x < pixels; ++x, d += 3) {
        d[0] = bgr[0];
        d[1] = bgr[1];
        d[2] = bgr[2];
    }
}

} // namespace

void DrawFrame(const TBitmap& source, int width, int height, bool stretch, std::uint8_t* out)
{
    const std::int64_t row = RowBytes(width);
    const int pad = static_cast<int>(row - std::int64_t(width) * 3);
    // A bitmap whose rows do not fit its pixels is drawn as an empty one.
    const bool empty = source.IsEmpty() ||
                       std::int64_t(source.Stride) < std::int64_t(source.Width) * 3 ||
                       source.Pixels.size() < std::size_t(source.Stride) * source.Height;
    if (stretch && !empty) {
        std::vector<int> columns(static_cast<std::size_t>(width));
        for (int x = 0; x < width; ++x)
            columns[x] =
                static_cast<int>((2 * std::int64_t(x) + 1) * source.Width / (2 * width)) * 3;
        for (int y = 0; y < height; ++y) {
            const int sy =
                static_cast<int>((2 * std::int64_t(y) + 1) * source.Height / (2 * height));
            const std::uint8_t* s = source.Row(sy);
            std::uint8_t* d = out + (height - 1 - y) * row;
            if (source.Width == width) {
                CopyRow(s, d, width);
            } else {
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t* p = s + columns[x];
                    d[3 * x] = p[2];
                    d[3 * x + 1] = p[1];
                    d[3 * x + 2] = p[0];
                }
            }
            std::memset(d + 3 * std::int64_t(width), 0, static_cast<std::size_t>(pad));
        }
        return;
    }
    std::uint8_t colour[3] = {0, 0, 0};
    int copyWidth = 0;
    int copyHeight = 0;
    if (!empty) {
        const std::uint8_t* p = source.Row(0);
        colour[0] = p[2];
        colour[1] = p[1];
        colour[2] = p[0];
        copyWidth = std::min(width, source.Width);
        copyHeight = std::min(height, source.Height);
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* d = out + (height - 1 - y) * row;
        if (y < copyHeight) {
            CopyRow(source.Row(y), d, copyWidth);
            FillRow(d + 3 * std::int64_t(copyWidth), width - copyWidth, colour);
        } else {
            FillRow(d, width, colour);
        }
        std::memset(d + 3 * std::int64_t(width), 0, static_cast<std::size_t>(pad));
    }
}

TFitRect FitRect(int width, int height, int frameWidth, int frameHeight)
{
    if (width < 1 || height < 1 || frameWidth < 1 || frameHeight < 1)
        return {};
    TFitRect r;
    // Compare frameWidth / width with frameHeight / height without division; round to the
    // nearest pixel, at least one.
    if (std::int64_t(frameWidth) * height <= std::int64_t(frameHeight) * width) {
        r.Width = frameWidth;
        r.Height = static_cast<int>(std::max<std::int64_t>(
            1, (std::int64_t(height) * frameWidth * 2 + width) / (2 * std::int64_t(width))));
    } else {
        r.Height = frameHeight;
        r.Width = static_cast<int>(std::max<std::int64_t>(
            1, (std::int64_t(width) * frameHeight * 2 + height) / (2 * std::int64_t(height))));
    }
    r.X = (frameWidth - r.Width) / 2;
    r.Y = (frameHeight - r.Height) / 2;
    return r;
}

void FitPicture(const TBitmap& source, int frameWidth, int frameHeight, TBitmap& out)
{
    out.Resize(frameWidth, frameHeight); // black
    const TFitRect r = FitRect(source.Width, source.Height, frameWidth, frameHeight);
    if (r.Width < 1)
        return;
    const TBitmap scaled = (r.Width == source.Width && r.Height == source.Height)
                               ? TBitmap()
                               : BitmapScale::Resample(source, r.Width, r.Height);
    const TBitmap& picture = scaled.IsEmpty() ? source : scaled;
    for (int y = 0; y < r.Height; ++y)
        std::memcpy(out.Row(r.Y + y) + 3 * r.X, picture.Row(y), std::size_t(r.Width) * 3);
}

TJpegShape ReadJpegShape(const QByteArray& data)
{
    TJpegShape shape;
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData());
    const qsizetype n = data.size();
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return shape;
    bool sequential = false;
    bool tables = false;
    qsizetype pos = 2;
    // The segments up to the scan: each a marker and a length.
    for (;;) {
        if (pos + 4 > n || p[pos] != 0xFF)
            return shape;
        while (pos + 4 <= n && p[pos + 1] == 0xFF) // fill bytes
            ++pos;
        if (pos + 4 > n)
            return shape;
        const std::uint8_t marker = p[pos + 1];
        const int length = (p[pos + 2] << 8) | p[pos + 3];
        if (length < 2 || pos + 2 + length > n)
            return shape;
        const std::uint8_t* body = p + pos + 4;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            if (length < 8)
                return shape;
            shape.Height = (body[1] << 8) | body[2];
            shape.Width = (body[3] << 8) | body[4];
            sequential = (marker == 0xC0 || marker == 0xC1) && body[0] == 8 &&
                         (body[5] == 1 || body[5] == 3);
        } else if (marker == 0xC4) {
            tables = true;
        } else if (marker == 0xDA) {
            pos += 2 + length;
            break;
        } else if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7) ||
                   marker == 0x01) {
            return shape; // markers without a length do not belong here
        }
        pos += 2 + length;
    }
    // The scan: in its bytes 0xFF is followed only by a stuffed 0, a restart marker or more 0xFF;
    // any other marker ends it, and only the end marker ends a single-scan picture.
    while (pos + 1 < n) {
        const void* ff = std::memchr(p + pos, 0xFF, static_cast<std::size_t>(n - pos - 1));
        if (!ff)
            break;
        pos = static_cast<const std::uint8_t*>(ff) - p;
        const std::uint8_t next = p[pos + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
            pos += next == 0xFF ? 1 : 2;
            continue;
        }
        if (next != 0xD9)
            break; // another scan or table: not stored as it is
        shape.End = pos + 2;
        shape.Storable = sequential && tables && shape.Width > 0 && shape.Height > 0;
        return shape;
    }
    return shape;
}

std::int64_t AudioBytesUntil(std::int64_t frames, std::uint32_t frameTime,
                             std::uint32_t avgBytesPerSec, int blockAlign, std::int64_t totalBytes)
{
    if (frames <= 0 || blockAlign < 1)
        return 0;
    const unsigned __int128 bytes =
        static_cast<unsigned __int128>(frames) * frameTime * avgBytesPerSec / 1000;
    if (bytes >= static_cast<unsigned __int128>(totalBytes))
        return totalBytes - totalBytes % blockAlign;
    const auto b = static_cast<std::int64_t>(bytes);
    return b - b % blockAlign;
}

} // namespace AviRules

TAviWriter::TAviWriter(int screenWidth, int screenHeight)
    : Height(AviRules::DefaultFrameSide(screenHeight)),
      Width(AviRules::DefaultFrameSide(screenWidth))
{
}

void TAviWriter::SetWavFileName(const QString& value)
{
    if (value.toLower() == FWavFileName.toLower())
        return;
    // An empty value takes the sound track away.
    if (value.isEmpty()) {
        FWavFileName.clear();
        return;
    }
    if (AviRules::FileExtension(value).toLower() != QLatin1String(".wav"))
        Fail(MsgWavExtension);
    FWavFileName = value;
}

void TAviWriter::Write()
{
    try {
        if (Bitmaps.empty())
            Fail(MsgNoBitmaps);
        for (std::size_t i = 0; i < Bitmaps.size(); ++i)
            if (!Bitmaps[i])
                Fail("Bitmaps[" + std::to_string(i) + "] is not a TBitmap");
        TBitmapListSource source(Bitmaps);
        WriteFrom(source);
    } catch (const std::exception& e) {
        qCInfo(lcAvi) << "no AVI written to" << FileName << ":" << e.what();
        throw;
    }
}

void TAviWriter::Write(TAviFrameSource& source)
{
    try {
        WriteFrom(source);
    } catch (const std::exception& e) {
        qCInfo(lcAvi) << "no AVI written to" << FileName << ":" << e.what();
        throw;
    }
}

void TAviWriter::WriteFrom(TAviFrameSource& source)
{
    if (source.Count() <= 0)
        Fail(MsgNoBitmaps);
    if (AviRules::FrameBytes(Width, Height) == 0)
        Fail(MsgInvalidBitmap);
    TWavSound sound;
    const bool withSound = !FWavFileName.isEmpty();
    if (withSound)
        sound.Open(FWavFileName);
    TSettings settings;
    settings.FileName = FileName;
    settings.Width = Width;
    settings.Height = Height;
    settings.FrameTime = FrameTime;
    settings.Stretch = Stretch;
    settings.Fit = Fit;
    settings.Codec = Codec;
    settings.PartLimit = std::clamp<std::int64_t>(PartLimit, 4096, std::int64_t(1) << 31);
    settings.OnProgress = OnProgress;
    TAviFileWriter writer(settings, withSound ? &sound : nullptr);
    writer.Run(source);
    Report = writer.Report;
}

TAviJpegFrame TAviFrameSource::JpegFrame(int index, int width, int height)
{
    const TBitmap* bitmap = Frame(index);
    if (!bitmap)
        return {};
    TAviJpegFrame frame;
    TBitmap fitted;
    if (bitmap->Width != width || bitmap->Height != height) {
        AviRules::FitPicture(*bitmap, width, height, fitted);
        bitmap = &fitted;
        frame.Fitted = true;
    }
    QString error;
    FEncoded = JpegCodec::Encode(*bitmap, 90, &error);
    if (FEncoded.isEmpty())
        Fail("Failed to add frame to AVI: " + error.toStdString());
    frame.Data = &FEncoded;
    return frame;
}
