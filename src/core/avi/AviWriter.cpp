#include "core/avi/AviWriter.h"

#include "core/Log.h"
#include "core/avi/WavSound.h"
#include "core/image/JpegCodec.h"
#include "platform/io/NativeFile.h"

#include <QFile>
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

std::uint32_t Clamp32(std::uint64_t v)
{
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

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
