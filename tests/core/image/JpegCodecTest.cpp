#include "core/image/JpegCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <vector>

namespace {

// A smooth picture with a few flat colour blocks: compresses like a photo, and the blocks give
// colours that must survive a round trip.
TBitmap MakePicture(int width, int height)
{
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = row + x * 3;
            if (x < width / 4 && y < height / 2) { // red block
                p[0] = 220, p[1] = 30, p[2] = 30;
            } else if (x >= width * 3 / 4 && y < height / 2) { // blue block
                p[0] = 20, p[1] = 40, p[2] = 200;
            } else {
                p[0] = static_cast<std::uint8_t>(x * 255 / width);
                p[1] = static_cast<std::uint8_t>(y * 255 / height);
                p[2] = 128;
            }
        }
    }
    return b;
}

// Mean of one channel over a rectangle.
double Mean(const TBitmap& b, int x0, int y0, int x1, int y1, int channel)
{
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            sum += b.Row(y)[x * 3 + channel];
    return sum / ((x1 - x0) * (y1 - y0));
}

QByteArray ValidJpeg(int width = 64, int height = 48)
{
    return JpegCodec::Encode(MakePicture(width, height));
}

// Baseline header of a 3-component picture whose frame announces width x height pixels,
// followed by the start of scan and almost no data.
QByteArray HeaderAnnouncing(int width, int height)
{
    QByteArray jpeg = ValidJpeg(16, 16);
    const int sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    EXPECT_GT(sof, 0);
    // SOF0: FF C0, length (2), precision (1), height (2), width (2)
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

// A 32 x 16 picture of one colour in the given colour space, written straight with libjpeg
// (our encoder writes RGB only).
QByteArray EncodeRaw(J_COLOR_SPACE space, std::vector<JSAMPLE> colour, bool adobeMarker,
                     bool progressive = false, int width = 32, int height = 16,
                     bool arithmetic = false)
{
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = static_cast<int>(colour.size());
    // YCCK input is given as CMYK; libjpeg converts it when told to write YCCK.
    info.in_color_space = space == JCS_YCCK ? JCS_CMYK : space;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, space);
    info.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&info, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    info.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), colour.begin(), colour.end());
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray result(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return result;
}

} // namespace

TEST(JpegCodec, RoundTripKeepsSizeAndColours)
{
    for (auto [w, h] :
         {std::pair{64, 48}, std::pair{1, 1}, std::pair{101, 37}, std::pair{640, 480}}) {
        const TBitmap original = MakePicture(w, h);
        QString error;
        const QByteArray jpeg = JpegCodec::Encode(original, 90, &error);
        ASSERT_FALSE(jpeg.isEmpty()) << error.toStdString();
        EXPECT_EQ(jpeg.left(2), QByteArray("\xFF\xD8", 2));
        EXPECT_TRUE(jpeg.contains(QByteArray("\xFF\xC0", 2))) << "baseline frame expected";
        EXPECT_FALSE(jpeg.contains(QByteArray("\xFF\xC2", 2))) << "not progressive";

        int rw = 0, rh = 0;
        EXPECT_TRUE(JpegCodec::ReadSize(jpeg, rw, rh));
        EXPECT_EQ(rw, w);
        EXPECT_EQ(rh, h);

        TBitmap decoded;
        ASSERT_TRUE(JpegCodec::Decode(jpeg, decoded, 1, &error)) << error.toStdString();
        EXPECT_EQ(decoded.Width, w);
        EXPECT_EQ(decoded.Height, h);
        EXPECT_EQ(decoded.Stride, TBitmap::StrideFor(w));
        if (w < 64)
            continue;
        // Inside the blocks (away from their edges) the colours come back within a few levels.
        const int bx = w / 4, by = h / 2;
        EXPECT_NEAR(Mean(decoded, 4, 4, bx - 4, by - 4, 0), 220, 6);
        EXPECT_NEAR(Mean(decoded, 4, 4, bx - 4, by - 4, 1), 30, 6);
        EXPECT_NEAR(Mean(decoded, 4, 4, bx - 4, by - 4, 2), 30, 6);
        EXPECT_NEAR(Mean(decoded, w - bx + 4, 4, w - 4, by - 4, 2), 200, 6);
        // The gradient too.
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(Mean(decoded, 0, by, w, h, c), Mean(original, 0, by, w, h, c), 3) << c;
    }
}

TEST(JpegCodec, QualityChangesTheSize)
{
    const TBitmap picture = MakePicture(320, 240);
    const QByteArray low = JpegCodec::Encode(picture, 20);
    const QByteArray high = JpegCodec::Encode(picture, 90);
    ASSERT_FALSE(low.isEmpty());
    ASSERT_FALSE(high.isEmpty());
    EXPECT_LT(low.size(), high.size());
}

TEST(JpegCodec, EncodeRefusesAnEmptyOrInconsistentBitmap)
{
    QString error;
    EXPECT_TRUE(JpegCodec::Encode(TBitmap(), 90, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    TBitmap broken(10, 10);
    broken.Pixels.resize(20);
    EXPECT_TRUE(JpegCodec::Encode(broken).isEmpty());
    // Wider than a JPEG frame can be: libjpeg's error comes back as an empty result.
    TBitmap tooWide(70000, 1);
    error.clear();
    EXPECT_TRUE(JpegCodec::Encode(tooWide, 90, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(JpegCodec, BadDataIsRefusedWithoutEndingTheProcess)
{
    const QByteArray valid = ValidJpeg(200, 150);
    QByteArray garbage(4000, '\0');
    std::srand(7);
    for (char& c : garbage)
        c = static_cast<char>(std::rand());
    QByteArray lossless = valid; // a JPEG process libjpeg does not decode
    lossless[lossless.indexOf(QByteArray("\xFF\xC0", 2)) + 1] = '\xC3';
    QByteArray strayBytes = valid; // a tolerated fault: libjpeg skips to the next marker
    strayBytes[2] = 'x';
    const QByteArray onlySoi("\xFF\xD8", 2);

    struct Case
    {
        const char* name;
        QByteArray data;
    };
    const Case cases[] = {
        {"empty", QByteArray()},
        {"garbage", garbage},
        {"text", QByteArray("<html>404 Not Found</html>")},
        {"soi only", onlySoi},
        {"unsupported process", lossless},
        {"cut in the header", valid.left(100)},
        {"cut after half the data", valid.left(valid.size() / 2)},
        {"cut before the end marker", valid.left(valid.size() - 2)},
        {"scan data cut, end marker kept", valid.left(valid.size() / 2) + valid.right(2)},
    };
    for (const Case& c : cases) {
        TBitmap out(3, 3);
        QString error;
        EXPECT_FALSE(JpegCodec::Decode(c.data, out, 1, &error)) << c.name;
        EXPECT_TRUE(out.IsEmpty()) << c.name;
        EXPECT_TRUE(out.Pixels.empty()) << c.name;
        EXPECT_FALSE(error.isEmpty()) << c.name;
        // Scaled decodes refuse the same data.
        EXPECT_FALSE(JpegCodec::Decode(c.data, out, 4)) << c.name;
    }
    int w = -1, h = -1;
    EXPECT_FALSE(JpegCodec::ReadSize(garbage, w, h));
    EXPECT_EQ(w, 0);
    EXPECT_FALSE(JpegCodec::ReadSize(QByteArray(), w, h));
    // The same decoder still works after all those failures.
    TBitmap out;
    EXPECT_TRUE(JpegCodec::Decode(valid, out));
    EXPECT_EQ(out.Width, 200);
    EXPECT_TRUE(JpegCodec::Decode(strayBytes, out));
    EXPECT_EQ(out.Width, 200);
}

TEST(JpegCodec, TrailingBytesAfterTheImageAreAccepted)
{
    TBitmap out;
    EXPECT_TRUE(JpegCodec::Decode(ValidJpeg() + QByteArray(100, '\0'), out));
    EXPECT_EQ(out.Width, 64);
}

TEST(JpegCodec, HugePicturesAreRefusedBeforeDecoding)
{
    const QByteArray huge = HeaderAnnouncing(60000, 60000);
    int w = 0, h = 0;
    ASSERT_TRUE(JpegCodec::ReadSize(huge, w, h));
    EXPECT_EQ(w, 60000);
    EXPECT_EQ(h, 60000);

    TBitmap out;
    QString error;
    EXPECT_FALSE(JpegCodec::Decode(huge, out, 1, &error));
    EXPECT_TRUE(out.Pixels.empty());
    EXPECT_TRUE(error.contains("too large")) << error.toStdString();
    // A scaled decode would need little memory for its output but still refuses.
    EXPECT_FALSE(JpegCodec::Decode(huge, out, 8));
    EXPECT_TRUE(out.Pixels.empty());

    // Under the pixel limit, a header that declares far more pixels than its few bytes can
    // hold is refused as well, before any pixel memory.
    const QByteArray under = HeaderAnnouncing(10000, 10000);
    error.clear();
    EXPECT_FALSE(JpegCodec::Decode(under, out, 8, &error));
    EXPECT_TRUE(out.Pixels.empty());
    EXPECT_TRUE(error.contains("only")) << error.toStdString();
}

TEST(JpegCodec, DataFarTooSmallForItsPictureIsRefused)
{
    // Arithmetic coding packs a flat picture into almost nothing: a few hundred bytes that would
    // decode to tens of megabytes.
    const QByteArray dense = EncodeRaw(JCS_YCbCr, {90, 120, 200}, false, false, 4096, 2048, true);
    ASSERT_FALSE(dense.isEmpty());
    ASSERT_LT(dense.size() * JpegCodec::MaxSamplesPerByte, 4096LL * 2048);
    TBitmap out;
    QString error;
    EXPECT_FALSE(JpegCodec::Decode(dense, out, 1, &error));
    EXPECT_TRUE(out.Pixels.empty());
    EXPECT_FALSE(error.isEmpty());

    // The same picture in Huffman coding, as cameras write it, has plenty of bytes and decodes.
    const QByteArray flat = EncodeRaw(JCS_YCbCr, {90, 120, 200}, false, false, 2048, 1024);
    ASSERT_TRUE(JpegCodec::Decode(flat, out, 1, &error)) << error.toStdString();
    EXPECT_EQ(out.Width, 2048);
}

TEST(JpegCodec, ScaledDecodeRoundsUp)
{
    const QByteArray jpeg = ValidJpeg(1001, 333);
    struct Row
    {
        int denom;
        int width;
        int height;
    };
    for (const Row& r : {Row{1, 1001, 333}, Row{2, 501, 167}, Row{4, 251, 84}, Row{8, 126, 42}}) {
        TBitmap out;
        ASSERT_TRUE(JpegCodec::Decode(jpeg, out, r.denom)) << r.denom;
        EXPECT_EQ(out.Width, r.width) << r.denom;
        EXPECT_EQ(out.Height, r.height) << r.denom;
        EXPECT_EQ(out.Stride, TBitmap::StrideFor(r.width));
    }
    // A scaled picture keeps the colours of the full one.
    TBitmap full, quarter;
    ASSERT_TRUE(JpegCodec::Decode(jpeg, full, 1));
    ASSERT_TRUE(JpegCodec::Decode(jpeg, quarter, 4));
    EXPECT_NEAR(Mean(quarter, 5, 5, 50, 35, 0), Mean(full, 20, 20, 200, 140, 0), 4);

    TBitmap out;
    for (int bad : {0, 3, 16, -1})
        EXPECT_FALSE(JpegCodec::Decode(jpeg, out, bad)) << bad;
}

TEST(JpegCodec, GrayscaleAndCmykComeOutAsRgb)
{
    struct Case
    {
        const char* name;
        QByteArray data;
        int r, g, b;
    };
    // Red as ink is C 0, M 255, Y 255, K 0; Adobe's files store the ink inverted.
    const Case cases[] = {
        {"grey", EncodeRaw(JCS_GRAYSCALE, {100}, false), 100, 100, 100},
        {"cmyk", EncodeRaw(JCS_CMYK, {0, 255, 255, 0}, false), 255, 0, 0},
        {"cmyk adobe", EncodeRaw(JCS_CMYK, {0, 0, 255, 255}, true), 0, 0, 255},
        {"ycck adobe", EncodeRaw(JCS_YCCK, {0, 255, 0, 255}, true), 0, 255, 0},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.data.isEmpty()) << c.name;
        for (int denom : {1, 2}) {
            TBitmap out;
            QString error;
            ASSERT_TRUE(JpegCodec::Decode(c.data, out, denom, &error))
                << c.name << error.toStdString();
            EXPECT_EQ(out.Width, 32 / denom);
            EXPECT_NEAR(Mean(out, 0, 0, out.Width, out.Height, 0), c.r, 4) << c.name;
            EXPECT_NEAR(Mean(out, 0, 0, out.Width, out.Height, 1), c.g, 4) << c.name;
            EXPECT_NEAR(Mean(out, 0, 0, out.Width, out.Height, 2), c.b, 4) << c.name;
        }
    }
}

TEST(JpegCodec, PictureDecodeHasTheBitmapsColoursInOpaqueWords)
{
    // Colour, grey and inverted CMYK, full size and scaled: every pixel is the 24-bit decode's,
    // as 0xffRRGGBB.
    const QByteArray inputs[] = {ValidJpeg(1001, 333), EncodeRaw(JCS_GRAYSCALE, {100}, false),
                                 EncodeRaw(JCS_CMYK, {0, 0, 255, 255}, true)};
    for (const QByteArray& jpeg : inputs) {
        for (int denom : {1, 4}) {
            TBitmap bitmap;
            TPicture picture;
            ASSERT_TRUE(JpegCodec::Decode(jpeg, bitmap, denom));
            ASSERT_TRUE(JpegCodec::Decode(jpeg, picture, denom));
            ASSERT_EQ(picture.Width, bitmap.Width);
            ASSERT_EQ(picture.Height, bitmap.Height);
            int wrong = 0;
            for (int y = 0; y < bitmap.Height; ++y)
                for (int x = 0; x < bitmap.Width; ++x) {
                    const std::uint8_t* p = bitmap.Row(y) + x * 3;
                    const std::uint32_t want = 0xff000000u | (std::uint32_t(p[0]) << 16) |
                                               (std::uint32_t(p[1]) << 8) | p[2];
                    wrong += picture.Row(y)[x] != want;
                }
            EXPECT_EQ(wrong, 0) << bitmap.Width << " " << denom;
        }
    }
    TPicture picture;
    EXPECT_FALSE(JpegCodec::Decode(QByteArray("not a jpeg"), picture));
    EXPECT_TRUE(picture.IsEmpty());
}

TEST(JpegCodec, ScaleDenomForThumbnails)
{
    struct Row
    {
        int w, h, boxW, boxH, denom;
    };
    const Row rows[] = {
        {1920, 1080, 160, 120, 8}, // 240 x 135 still fills 160 wide
        {1920, 1080, 320, 240, 4}, // 480 x 270
        {1920, 1080, 640, 480, 2}, // 960 x 540
        {1920, 1080, 1000, 800, 1},
        {640, 480, 160, 120, 4}, // 160 x 120 exactly
        {641, 481, 160, 120, 4}, // rounding up keeps 161 x 121
        {640, 480, 161, 121, 2},
        {100, 1000, 50, 50, 8},  // tall: the height limits, 13 x 125 covers 5 x 50
        {320, 240, 640, 480, 1}, // box larger than the picture
        {0, 240, 100, 100, 1},
        {320, 240, 0, 0, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(JpegCodec::ScaleDenomFor(r.w, r.h, r.boxW, r.boxH), r.denom)
            << r.w << "x" << r.h << " in " << r.boxW << "x" << r.boxH;
}

TEST(JpegCodec, ReusedBitmapGivesTheSamePixels)
{
    const QByteArray small = ValidJpeg(101, 37);
    TBitmap fresh;
    ASSERT_TRUE(JpegCodec::Decode(small, fresh));
    // A bitmap that held a larger picture full of other bytes.
    TBitmap reused(640, 480);
    std::fill(reused.Pixels.begin(), reused.Pixels.end(), std::uint8_t{0xAB});
    ASSERT_TRUE(JpegCodec::Decode(small, reused));
    EXPECT_EQ(reused.Width, 101);
    EXPECT_EQ(reused.Stride, fresh.Stride);
    EXPECT_EQ(reused.Pixels, fresh.Pixels); // padding bytes included
}

TEST(JpegCodec, SaveToFileWritesWholeFilesOnly)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = tmp.path() + "/Harbour.jpg";
    ASSERT_TRUE(JpegCodec::SaveToFile(MakePicture(64, 48), path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    TBitmap back;
    EXPECT_TRUE(JpegCodec::Decode(f.readAll(), back));
    EXPECT_EQ(back.Width, 64);
    f.close();

    // Failures leave the earlier file alone.
    QString error;
    EXPECT_FALSE(JpegCodec::SaveToFile(TBitmap(), path, 90, &error));
    EXPECT_FALSE(JpegCodec::SaveToFile(MakePicture(8, 8), tmp.path() + "/none/x.jpg", 90, &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(JpegCodec::Decode(f.readAll(), back));
    EXPECT_EQ(back.Width, 64);
}

TEST(JpegCodec, ProgressiveImagesDecodeWholeOrNotAtAll)
{
    const QByteArray jpeg = EncodeRaw(JCS_RGB, {10, 200, 30}, false, true, 300, 200);
    ASSERT_TRUE(jpeg.contains(QByteArray("\xFF\xC2", 2)));
    for (int denom : {1, 4}) {
        TBitmap out;
        QString error;
        ASSERT_TRUE(JpegCodec::Decode(jpeg, out, denom, &error)) << error.toStdString();
        EXPECT_EQ(out.Width, 300 / denom + (300 % denom ? 1 : 0));
        EXPECT_NEAR(Mean(out, 0, 0, out.Width, out.Height, 1), 200, 4);
    }
    // Cut after the first scans: libjpeg could show a coarse picture, we refuse it.
    for (int keep : {jpeg.size() / 3, jpeg.size() * 2 / 3, jpeg.size() - 2}) {
        TBitmap out;
        EXPECT_FALSE(JpegCodec::Decode(jpeg.left(keep), out)) << keep;
        EXPECT_TRUE(out.IsEmpty());
    }
}

// ---- hostile progressive images ---------------------------------------------------------------

namespace {

// Huffman-coded bits as a scan's data carries them: most significant bit first, a 0x00 after
// every 0xFF byte, the last byte filled with 1 bits.
class TScanBits
{
public:
    void Put(unsigned value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            Byte = (Byte << 1) | ((value >> i) & 1u);
            if (++Used == 8)
                Flush();
        }
    }
    QByteArray Finish()
    {
        while (Used != 0)
            Put(1, 1);
        return Data;
    }

private:
    void Flush()
    {
        Data.append(static_cast<char>(Byte));
        if (Byte == 0xFF)
            Data.append('\0');
        Byte = 0;
        Used = 0;
    }
    QByteArray Data;
    unsigned Byte = 0;
    int Used = 0;
};

void AppendSegment(QByteArray& jpeg, unsigned char marker, const QByteArray& body)
{
    jpeg.append('\xFF');
    jpeg.append(static_cast<char>(marker));
    const int length = static_cast<int>(body.size()) + 2;
    jpeg.append(static_cast<char>(length >> 8));
    jpeg.append(static_cast<char>(length & 0xFF));
    jpeg.append(body);
}

struct TScanPlan
{
    int Width = 256;
    int Height = 256;
    std::vector<int> Sampling = {0x11}; // one byte per component: horizontal << 4 | vertical
    std::vector<int> Scans = {0};       // the component each AC scan covers, in order
    int MinSize = 0;                    // comment segments fill the file up to this size
};

// A progressive image built byte by byte: every scan is a full spectral AC scan of one component
// whose blocks are all empty, coded as end-of-band runs of up to 32767 blocks, so each scan takes
// a few bytes whatever the picture's size. libjpeg decodes it (to grey) with a warning for the
// missing DC scans, and takes a repeated scan as one more refinement.
QByteArray ProgressiveOfEmptyScans(const TScanPlan& plan)
{
    const int components = static_cast<int>(plan.Sampling.size());
    int maxH = 1, maxV = 1;
    for (int s : plan.Sampling)
        maxH = std::max(maxH, s >> 4), maxV = std::max(maxV, s & 15);

    QByteArray jpeg("\xFF\xD8", 2);
    AppendSegment(jpeg, 0xDB, QByteArray(1, '\0') + QByteArray(64, '\1'));
    QByteArray frame;
    frame.append('\x08');
    for (int v : {plan.Height, plan.Width})
        frame.append(static_cast<char>(v >> 8)).append(static_cast<char>(v & 0xFF));
    frame.append(static_cast<char>(components));
    for (int c = 0; c < components; ++c)
        frame.append(static_cast<char>(c + 1))
            .append(static_cast<char>(plan.Sampling[c]))
            .append('\0');
    AppendSegment(jpeg, 0xC2, frame);
    // AC table 0: the 15 end-of-band run symbols r << 4 (a run of 2^r to 2^(r+1) - 1 blocks,
    // r extra bits), each coded in 4 bits as r itself.
    QByteArray table(1, '\x10');
    QByteArray counts(16, '\0');
    counts[3] = 15;
    table.append(counts);
    for (int r = 0; r < 15; ++r)
        table.append(static_cast<char>(r << 4));
    AppendSegment(jpeg, 0xC4, table);

    int filler = plan.MinSize - static_cast<int>(jpeg.size());
    while (filler > 0) {
        const int chunk = std::min(filler, 60000);
        AppendSegment(jpeg, 0xFE, QByteArray(chunk, 'x'));
        filler -= chunk + 4;
    }

    for (int c : plan.Scans) {
        const int h = plan.Sampling[c] >> 4, v = plan.Sampling[c] & 15;
        const long long wide = (static_cast<long long>(plan.Width) * h + 8 * maxH - 1) / (8 * maxH);
        const long long high =
            (static_cast<long long>(plan.Height) * v + 8 * maxV - 1) / (8 * maxV);
        QByteArray scan;
        scan.append('\x01').append(static_cast<char>(c + 1)).append('\0');
        scan.append('\x01').append('\x3F').append('\0'); // coefficients 1..63, no refinement
        AppendSegment(jpeg, 0xDA, scan);
        TScanBits bits;
        for (long long left = wide * high; left > 0;) {
            const int run = static_cast<int>(std::min(left, 32767LL));
            int r = 0;
            while ((2 << r) <= run)
                ++r;
            bits.Put(static_cast<unsigned>(r), 4);
            bits.Put(static_cast<unsigned>(run - (1 << r)), r);
            left -= run;
        }
        jpeg.append(bits.Finish());
    }
    jpeg.append("\xFF\xD9", 2);
    return jpeg;
}

} // namespace

TEST(JpegCodecScans, RepeatedScansEndTheDecode)
{
    // The passes over the picture's blocks: a hundred full scans decode, one more is refused.
    TScanPlan plan;
    plan.Scans.assign(JpegCodec::MaxScanPasses, 0);
    TBitmap out;
    QString error;
    ASSERT_TRUE(JpegCodec::Decode(ProgressiveOfEmptyScans(plan), out, 1, &error))
        << error.toStdString();
    EXPECT_EQ(out.Width, 256);
    EXPECT_NEAR(Mean(out, 0, 0, 256, 256, 0), 128, 2);
    plan.Scans.push_back(0);
    const QByteArray over = ProgressiveOfEmptyScans(plan);
    EXPECT_FALSE(JpegCodec::Decode(over, out, 1, &error));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_TRUE(error.contains("scans")) << error.toStdString();
    TPicture picture;
    EXPECT_FALSE(JpegCodec::Decode(over, picture, 8));

    // The number of scans: with a large luma and two one-block chroma components, scans of the
    // chroma alone stay under the passes but not under the count.
    plan.Width = plan.Height = 32;
    plan.Sampling = {0x44, 0x11, 0x11};
    plan.Scans.clear();
    for (int i = 0; i < JpegCodec::MaxScans; ++i)
        plan.Scans.push_back(1 + i % 2);
    ASSERT_TRUE(JpegCodec::Decode(ProgressiveOfEmptyScans(plan), out, 1, &error))
        << error.toStdString();
    plan.Scans.push_back(1);
    EXPECT_FALSE(JpegCodec::Decode(ProgressiveOfEmptyScans(plan), out, 1, &error));
    EXPECT_TRUE(error.contains("1000 scans")) << error.toStdString();
}

TEST(JpegCodecScans, ComponentsAndCoefficientsCountInTheLimits)
{
    // 10000 x 10000 in three full-size components: 300 million samples, whose coefficients a
    // progressive decode keeps whole (600 MB) at any output scale.
    TScanPlan plan;
    plan.Width = plan.Height = 10000;
    plan.Sampling = {0x11, 0x11, 0x11};
    plan.Scans = {0, 1, 2};
    plan.MinSize = 12800;
    TBitmap out;
    TPicture picture;
    QString error;
    const QByteArray small = ProgressiveOfEmptyScans(plan);
    EXPECT_FALSE(JpegCodec::Decode(small, picture, 8, &error));
    EXPECT_TRUE(error.contains("components")) << error.toStdString();

    plan.MinSize = 40000; // enough bytes for its samples, not for the memory budget
    const QByteArray padded = ProgressiveOfEmptyScans(plan);
    for (int denom : {1, 8}) {
        EXPECT_FALSE(JpegCodec::Decode(padded, out, denom, &error)) << denom;
        EXPECT_TRUE(error.contains("MB")) << error.toStdString();
        EXPECT_TRUE(out.IsEmpty());
        EXPECT_FALSE(JpegCodec::Decode(padded, picture, denom, &error)) << denom;
    }

    // Just under the budget by the estimate, over it once libjpeg's own buffers are added: the
    // cap on libjpeg's memory ends the decode with an error before it allocates the coefficients.
    plan.Width = 1136 * 8;
    plan.Height = 1218 * 8;
    plan.MinSize = 30000;
    ASSERT_LE(3LL * 1136 * 1218 * 128 + 1136LL * 1218 * 4, JpegCodec::MaxDecodeBytes);
    EXPECT_FALSE(JpegCodec::Decode(ProgressiveOfEmptyScans(plan), picture, 8, &error));
    EXPECT_TRUE(error.contains("memory")) << error.toStdString();
    EXPECT_TRUE(picture.Pixels.empty());

    // A picture of a million pixels made the same way decodes.
    plan.Width = 1000;
    plan.Height = 1000;
    plan.MinSize = 1000;
    ASSERT_TRUE(JpegCodec::Decode(ProgressiveOfEmptyScans(plan), picture, 8, &error))
        << error.toStdString();
    EXPECT_EQ(picture.Width, 125);
}
