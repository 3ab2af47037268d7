#include "imaging/codecs/Codecs.h"
#include "imaging/codecs/JpegEncoder.h"

#include <turbojpeg.h>

#include <cstring>
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

DecodeResult DecodeJpegBaseline(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept
{
    DecodeResult result;
    result.actual = declared;
    if (frame.size() < kMinimumStreamBytes || frame.size() > 0xFFFFFFFFu || frame[0] != 0xFF || frame[1] != 0xD8)
    {
        return result;
    }
    TjHandle handle(tjInitDecompress());
    if (!handle)
    {
        result.status = DecodeStatus::OutOfMemory;
        return result;
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    const auto length = static_cast<unsigned long>(frame.size());
    if (tjDecompressHeader3(handle.get(), frame.data(), length, &width, &height, &subsampling, &colourspace) != 0 ||
        width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > limits.maxPixels)
    {
        result.detail = handle ? tjGetErrorCode(handle.get()) : 0;
        return result;
    }
    const bool grey = colourspace == TJCS_GRAY;
    // The decoder converts YCbCr itself: colour comes out as RGB, 8 bits a sample.
    result.actual.rows = static_cast<std::uint16_t>(height);
    result.actual.columns = static_cast<std::uint16_t>(width);
    result.actual.samplesPerPixel = grey ? 1 : 3;
    result.actual.bitsAllocated = 8;
    result.actual.bitsStored = 8;
    result.actual.isSigned = false;
    result.actual.planar = false;
    result.actual.colour = grey ? SampleColour::Grey : SampleColour::Rgb;
    if (FrameBytes(result.actual) > out.size())
    {
        result.status = DecodeStatus::OutputTooSmall;
        return result;
    }
    // A stream with crafted scans could make the decoder loop for a long time; baseline data has one scan per
    // component, so the decoder's scan limit is no loss.
    const int flags = TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS;
    const int status = tjDecompress2(handle.get(), frame.data(), length, out.data(), width, 0, height,
                                     grey ? TJPF_GRAY : TJPF_RGB, flags);
    if (status != 0)
    {
        result.detail = tjGetErrorCode(handle.get());
        // A warning (a damaged but decodable stream) still gives a picture; an error gives none.
        result.status = result.detail == TJERR_WARNING ? DecodeStatus::DecodedWithWarning : DecodeStatus::Corrupt;
        return result;
    }
    result.status = DecodeStatus::Decoded;
    return result;
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
