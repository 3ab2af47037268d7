#include "imaging/codecs/Codecs.h"
#include "imaging/codecs/JpegEncoder.h"

#include <turbojpeg.h>

#include <bit>
#include <cstdint>
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

// A stream's header read, with the geometry its decode gives: colour comes out as RGB (the decoder converts YCbCr
// itself), 8 bits a sample.
struct OpenedStream
{
    TjHandle handle;
    int width = 0;
    int height = 0;
    bool grey = false;
};

// Reads the header; answers false with `result` saying why when the stream is not one to decode.
bool OpenStream(ByteView frame, const DecodeLimits& limits, OpenedStream& stream, DecodeResult& result) noexcept
{
    if (frame.size() < kMinimumStreamBytes || frame.size() > 0xFFFFFFFFu || frame[0] != 0xFF || frame[1] != 0xD8)
    {
        return false;
    }
    stream.handle.reset(tjInitDecompress());
    if (!stream.handle)
    {
        result.status = DecodeStatus::OutOfMemory;
        return false;
    }
    int subsampling = 0;
    int colourspace = 0;
    const auto length = static_cast<unsigned long>(frame.size());
    if (tjDecompressHeader3(stream.handle.get(), frame.data(), length, &stream.width, &stream.height, &subsampling,
                            &colourspace) != 0 ||
        stream.width <= 0 || stream.height <= 0 || stream.width > 0xFFFF || stream.height > 0xFFFF ||
        static_cast<std::uint64_t>(stream.width) * static_cast<std::uint64_t>(stream.height) > limits.maxPixels)
    {
        result.detail = tjGetErrorCode(stream.handle.get());
        return false;
    }
    stream.grey = colourspace == TJCS_GRAY;
    result.actual.rows = static_cast<std::uint16_t>(stream.height);
    result.actual.columns = static_cast<std::uint16_t>(stream.width);
    result.actual.samplesPerPixel = stream.grey ? 1 : 3;
    result.actual.bitsAllocated = 8;
    result.actual.bitsStored = 8;
    result.actual.isSigned = false;
    result.actual.planar = false;
    result.actual.colour = stream.grey ? SampleColour::Grey : SampleColour::Rgb;
    return true;
}

// Decodes the opened stream into `out`, `pitch` bytes a row, in the library's pixel format `format`.
void Decompress(ByteView frame, OpenedStream& stream, std::uint8_t* out, int pitch, int format,
                DecodeResult& result) noexcept
{
    // A stream with crafted scans could make the decoder loop for a long time; baseline data has one scan per
    // component, so the decoder's scan limit is no loss.
    const int flags = TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS;
    const int status = tjDecompress2(stream.handle.get(), frame.data(), static_cast<unsigned long>(frame.size()), out,
                                     stream.width, pitch, stream.height, format, flags);
    if (status != 0)
    {
        result.detail = tjGetErrorCode(stream.handle.get());
        // A warning (a damaged but decodable stream) still gives a picture; an error gives none.
        result.status = result.detail == TJERR_WARNING ? DecodeStatus::DecodedWithWarning : DecodeStatus::Corrupt;
        return;
    }
    result.status = DecodeStatus::Decoded;
}

} // namespace

DecodeResult DecodeJpegBaseline(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept
{
    DecodeResult result;
    result.actual = declared;
    OpenedStream stream;
    if (!OpenStream(frame, limits, stream, result))
    {
        return result;
    }
    if (FrameBytes(result.actual) > out.size())
    {
        result.status = DecodeStatus::OutputTooSmall;
        return result;
    }
    Decompress(frame, stream, out.data(), 0, stream.grey ? TJPF_GRAY : TJPF_RGB, result);
    return result;
}

DecodeResult DecodeJpegBaselineToDisplay(ByteView frame, const DecodeLimits& limits,
                                         const DisplayPixelsOut& out) noexcept
{
    DecodeResult result;
    OpenedStream stream;
    if (!OpenStream(frame, limits, stream, result))
    {
        return result;
    }
    if (out.data == nullptr || result.actual.rows != out.rows || result.actual.columns != out.columns ||
        out.stride < std::size_t{out.columns} * 4 || out.stride > INT32_MAX)
    {
        result.status = DecodeStatus::OutputTooSmall;
        return result;
    }
    // BGRA, unlike BGRX, has the library write the fourth byte as 0xFF, which is what makes the pixels display pixels;
    // grey streams come out with the grey level in all three colours, as the sample path shows them.
    const int format = std::endian::native == std::endian::little ? TJPF_BGRA : TJPF_ARGB;
    Decompress(frame, stream, out.data, static_cast<int>(out.stride), format, result);
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
