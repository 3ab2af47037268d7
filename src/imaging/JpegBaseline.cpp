#include "imaging/JpegBaseline.h"

#include <turbojpeg.h>

#include <memory>

namespace orblane {
namespace {

struct HandleCloser
{
    void operator()(void* handle) const noexcept { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, HandleCloser>;

// Every JPEG needs its SOI, a frame header, tables and a scan: anything shorter is not worth handing to the decoder.
constexpr std::size_t kMinimumStreamBytes = 64;

} // namespace

JpegDecodeResult DecodeJpegBaseline(ByteView stream, std::uint64_t maxPixels, DisplayBitmap& bitmap) noexcept
{
    if (stream.size() < kMinimumStreamBytes || stream.size() > 0xFFFFFFFFu || stream[0] != 0xFF || stream[1] != 0xD8)
    {
        return JpegDecodeResult::Rejected;
    }
    TjHandle handle(tjInitDecompress());
    if (!handle)
    {
        return JpegDecodeResult::OutOfMemory;
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    const auto length = static_cast<unsigned long>(stream.size());
    if (tjDecompressHeader3(handle.get(), stream.data(), length, &width, &height, &subsampling, &colourspace) != 0 ||
        width <= 0 || height <= 0 || static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > maxPixels)
    {
        return JpegDecodeResult::Rejected;
    }
    const bool grey = colourspace == TJCS_GRAY;
    if (!bitmap.Create(width, height, grey ? 8 : 32))
    {
        return JpegDecodeResult::OutOfMemory;
    }
    // A stream with crafted scans could make the decoder loop for a long time; baseline data has one scan per
    // component, so the decoder's scan limit is no loss.
    const int flags = TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS;
    const int status = tjDecompress2(handle.get(), stream.data(), length, bitmap.Bits(), width,
                                     static_cast<int>(bitmap.Stride()), height, grey ? TJPF_GRAY : TJPF_BGRX, flags);
    // A warning (a damaged but decodable stream) still gives a picture; an error gives none.
    if (status != 0 && tjGetErrorCode(handle.get()) != TJERR_WARNING)
    {
        bitmap = DisplayBitmap{};
        return JpegDecodeResult::Rejected;
    }
    if (!grey)
    {
        // The decoder leaves the fourth byte undefined; the display buffer wants it opaque.
        for (int row = 0; row < height; ++row)
        {
            std::uint32_t* pixels = bitmap.Pixels32(row);
            for (int column = 0; column < width; ++column)
            {
                pixels[column] |= 0xFF000000u;
            }
        }
    }
    return JpegDecodeResult::Decoded;
}

bool EncodeJpeg(const DisplayBitmap& bitmap, int quality, bool greyscale, std::uint8_t*& data,
                unsigned long& size) noexcept
{
    data = nullptr;
    size = 0;
    if (bitmap.IsNull())
    {
        return false;
    }
    TjHandle handle(tjInitCompress());
    if (!handle)
    {
        return false;
    }
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    const int status = tjCompress2(handle.get(), bitmap.Bits(), bitmap.Width(), static_cast<int>(bitmap.Stride()),
                                   bitmap.Height(), grey8 ? TJPF_GRAY : TJPF_BGRX, &data, &size,
                                   greyscale || grey8 ? TJSAMP_GRAY : TJSAMP_444, quality, TJFLAG_ACCURATEDCT);
    if (status != 0)
    {
        FreeJpeg(data);
        data = nullptr;
        size = 0;
        return false;
    }
    return true;
}

void FreeJpeg(std::uint8_t* data) noexcept
{
    if (data != nullptr)
    {
        tjFree(data);
    }
}

} // namespace orblane
