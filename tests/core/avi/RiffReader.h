#pragma once

// A small independent RIFF reader for the tests: it reads a whole file and walks its chunk tree the
// way a player does, without sharing code with the writer.

#include <QFile>
#include <QString>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TRiffChunk
{
    std::string Id;       // "RIFF", "LIST", "avih", "00db" ...
    std::string Type;     // form or list type for RIFF and LIST ("AVI ", "movi" ...)
    std::uint64_t At = 0; // position of the chunk's id
    std::uint32_t Size = 0;
    std::vector<TRiffChunk> Children;

    std::uint64_t DataAt() const { return At + (Type.empty() ? 8 : 12); }

    const TRiffChunk* Find(const std::string& id, const std::string& type = {}) const
    {
        for (const TRiffChunk& c : Children)
            if (c.Id == id && (type.empty() || c.Type == type))
                return &c;
        return nullptr;
    }
    std::vector<const TRiffChunk*> All(const std::string& id, const std::string& type = {}) const
    {
        std::vector<const TRiffChunk*> found;
        for (const TRiffChunk& c : Children)
            if (c.Id == id && (type.empty() || c.Type == type))
                found.push_back(&c);
        return found;
    }
};

class TRiffFile
{
public:
    std::vector<std::uint8_t> Bytes;
    std::vector<TRiffChunk> Top; // the RIFF forms, in file order
    bool Ok = false;
    std::string Error;

    explicit TRiffFile(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            Error = "cannot open";
            return;
        }
        const QByteArray all = f.readAll();
        Bytes.assign(all.begin(), all.end());
        Ok = Parse(0, Bytes.size(), Top);
    }

    std::uint16_t U16(std::uint64_t at) const { return Bytes[at] | (Bytes[at + 1] << 8); }
    std::uint32_t U32(std::uint64_t at) const
    {
        return Bytes[at] | (Bytes[at + 1] << 8) | (Bytes[at + 2] << 16) |
               (std::uint32_t(Bytes[at + 3]) << 24);
    }
    std::uint64_t U64(std::uint64_t at) const
    {
        return U32(at) | (std::uint64_t(U32(at + 4)) << 32);
    }
    std::string Four(std::uint64_t at) const
    {
        return std::string(reinterpret_cast<const char*>(&Bytes[at]), 4);
    }
    const std::uint8_t* Data(const TRiffChunk& c) const { return &Bytes[c.DataAt()]; }

private:
    bool Parse(std::uint64_t from, std::uint64_t end, std::vector<TRiffChunk>& out)
    {
        std::uint64_t pos = from;
        while (pos + 8 <= end) {
            TRiffChunk c;
            c.At = pos;
            c.Id = Four(pos);
            c.Size = U32(pos + 4);
            const std::uint64_t dataEnd = pos + 8 + c.Size;
            if (dataEnd > end) {
                Error = "chunk " + c.Id + " runs past its parent";
                return false;
            }
            if (c.Id == "RIFF" || c.Id == "LIST") {
                if (c.Size < 4) {
                    Error = "short list";
                    return false;
                }
                c.Type = Four(pos + 8);
                if (!Parse(pos + 12, dataEnd, c.Children))
                    return false;
            }
            pos = dataEnd + (c.Size & 1);
            out.push_back(std::move(c));
        }
        if (pos != end) {
            Error = "trailing bytes";
            return false;
        }
        return true;
    }
};

// The streams and chunks of an AVI file as a reader sees them.
struct TStreamView
{
    std::string Type;
    std::uint32_t Scale = 0, Rate = 0, Length = 0, SampleSize = 0;
    const TRiffChunk* Strf = nullptr;
    const TRiffChunk* Indx = nullptr; // null when the space is JUNK
};

struct TMoviChunk
{
    std::string Id;
    std::uint64_t DataAt;
    std::uint32_t Size;
    int Part;
};

// The parts of a written file as a reader sees them.
struct TAviView
{
    TRiffFile File;
    const TRiffChunk* Hdrl = nullptr;
    std::vector<TStreamView> Streams;
    std::vector<TMoviChunk> Chunks; // every data chunk of every part, index chunks left out
    std::vector<const TRiffChunk*> IndexChunks;

    explicit TAviView(const QString& path) : File(path)
    {
        if (!File.Ok || File.Top.empty() || File.Top[0].Type != "AVI ")
            return;
        Hdrl = File.Top[0].Find("LIST", "hdrl");
        if (!Hdrl)
            return;
        for (const TRiffChunk* strl : Hdrl->All("LIST", "strl")) {
            TStreamView s;
            const TRiffChunk* strh = strl->Find("strh");
            const std::uint64_t at = strh->DataAt();
            s.Type = File.Four(at);
            s.Scale = File.U32(at + 20);
            s.Rate = File.U32(at + 24);
            s.Length = File.U32(at + 32);
            s.SampleSize = File.U32(at + 44);
            s.Strf = strl->Find("strf");
            s.Indx = strl->Find("indx");
            Streams.push_back(s);
        }
        for (std::size_t p = 0; p < File.Top.size(); ++p) {
            const TRiffChunk* movi = File.Top[p].Find("LIST", "movi");
            if (!movi)
                continue;
            for (const TRiffChunk& c : movi->Children) {
                if (c.Id.rfind("ix", 0) == 0)
                    IndexChunks.push_back(&c);
                else
                    Chunks.push_back({c.Id, c.DataAt(), c.Size, static_cast<int>(p)});
            }
        }
    }
    bool Ok() const { return Hdrl != nullptr; }
    std::uint32_t Avih(int field) const
    {
        return File.U32(Hdrl->Find("avih")->DataAt() + 4 * field);
    }
    int Count(const std::string& id) const
    {
        int n = 0;
        for (const TMoviChunk& c : Chunks)
            n += c.Id == id;
        return n;
    }
    // The pixel at x, y (top-down) of frame chunk c, as r, g, b.
    std::array<int, 3> Pixel(const TMoviChunk& c, int width, int height, int x, int y) const
    {
        const std::uint64_t row = (std::uint64_t(width) * 3 + 3) / 4 * 4;
        const std::uint8_t* p = &File.Bytes[c.DataAt + (height - 1 - y) * row + 3 * x];
        return {p[2], p[1], p[0]};
    }
};
