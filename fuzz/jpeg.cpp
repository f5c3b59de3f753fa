// The JPEG decoder, full size and scaled: the first byte picks the scale (1, 2, 4 or 8), the rest
// is the image. A decoded bitmap has the header's size, divided by the scale and rounded up.
#include "FuzzUtil.h"
#include "core/image/JpegCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int scale = 1 << (data[0] & 3);
    const QByteArray image = Fuzz::Bytes(data + 1, size - 1);
    int width = 0, height = 0;
    const bool haveSize = JpegCodec::ReadSize(image, width, height);
    TBitmap bitmap;
    QString error;
    if (!JpegCodec::Decode(image, bitmap, scale, &error)) {
        Fuzz::Check(bitmap.IsEmpty(), "a refused image leaves the bitmap empty");
        Fuzz::Check(!error.isEmpty(), "a refused image says why");
        return 0;
    }
    Fuzz::Check(haveSize, "a decoded image has a readable size");
    Fuzz::Check(bitmap.Width == (width + scale - 1) / scale &&
                    bitmap.Height == (height + scale - 1) / scale,
                "the decoded size is the header's at the scale");
    // Decoding again into the same bitmap (the viewer reuses its pixel memory) gives the same.
    TBitmap again = bitmap;
    Fuzz::Check(JpegCodec::Decode(image, again, scale) && again.Pixels == bitmap.Pixels,
                "a second decode into the same bitmap gives the same pixels");
    return 0;
}
