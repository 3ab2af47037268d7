#include "imaging/codecs/Codecs.h"
#include "imaging/codecs/JpegEncoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace orblane {
namespace {

struct HandleCloser
{
    void operator()(void* handle) const noexcept { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, HandleCloser>;

// Every JPEG needs its SOI, a frame header, tables and a scan: anything shorter is not worth handing to the decoder.
constexpr std::size_t kMinimumStreamBytes = 64;

// Whether the stream says how its three components relate to RGB, in the order libjpeg weighs it: a JFIF APP0 means
// YCbCr, an Adobe APP14 its transform flag (0: none), components named 'R', 'G', 'B' none. The names need no reading
// here: for them, and for an Adobe "none", the library reports RGB; it reports YCbCr both for a stream that says so
// and for one that says nothing, which only these markers tell apart.
bool StreamDeclaresColour(ByteView frame) noexcept
{
    // Markers up to the first scan; each segment's length is checked against what remains.
    std::size_t position = 2;
    while (frame.size() - position >= 4)
    {
        if (frame[position] != 0xFF)
        {
            return false;
        }
        const std::uint8_t marker = frame[position + 1];
        if (marker == 0xFF)
        {
            ++position; // a fill byte before the marker
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
        {
            return false;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
        {
            position += 2; // markers without a segment
            continue;
        }
        const std::size_t length = std::size_t{frame[position + 2]} << 8 | frame[position + 3];
        if (length < 2 || length > frame.size() - position - 2)
        {
            return false;
        }
        const std::uint8_t* data = frame.data() + position + 4;
        const std::size_t dataLength = length - 2;
        // As the 12-bit decoder reads them: a JFIF signature counts whatever follows it (a reader that finds the
        // segment too short guesses YCbCr, which is what JFIF says); an Adobe segment needs its transform flag.
        if ((marker == 0xE0 && dataLength >= 5 && std::memcmp(data, "JFIF", 5) == 0) ||
            (marker == 0xEE && dataLength >= 12 && std::memcmp(data, "Adobe", 5) == 0))
        {
            return true;
        }
        position += 2 + length;
    }
    return false;
}

// An Adobe APP14 segment saying "no transform" (transform flag 0 in its last byte).
constexpr std::array<std::uint8_t, 16> kNoTransformMarker{0xFF, 0xEE, 0x00, 0x0E, 'A',  'd',  'o',  'b',
                                                          'e',  0x00, 0x64, 0x00, 0x00, 0x00, 0x00, 0x00};

// A stream's header read, with the geometry its decode gives: colour comes out as RGB (the decoder converts YCbCr
// itself), 8 bits a sample.
struct OpenedStream
{
    TjHandle handle;
    // What the decoder reads: the frame, or the frame with a marker that says what the data set said.
    ByteView bytes;
    std::unique_ptr<std::uint8_t[]> relabelled;
    int width = 0;
    int height = 0;
    bool grey = false;
};

// Reads the header; answers false with `result` saying why when the stream is not one to decode. Where the stream
// says nothing of its colour, `declared` (the data set's Photometric Interpretation) decides: RGB samples are stored
// as they are, anything else as YCbCr. TurboJPEG cannot be told so; the decoder gets a copy of the stream with an
// Adobe marker that says it, which also keeps the library's upsampling of subsampled components.
bool OpenStream(ByteView frame, SampleColour declared, const DecodeLimits& limits, OpenedStream& stream,
                DecodeResult& result) noexcept
{
    if (frame.size() < kMinimumStreamBytes || frame.size() > 0xFFFFFFFFu - kNoTransformMarker.size() ||
        frame[0] != 0xFF || frame[1] != 0xD8)
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
    stream.bytes = frame;
    // Only an RGB label can differ from the library's guess, so YBR streams (the common case) read no marker here.
    if (declared == SampleColour::Rgb && colourspace == TJCS_YCbCr && !StreamDeclaresColour(frame))
    {
        stream.relabelled.reset(new (std::nothrow) std::uint8_t[frame.size() + kNoTransformMarker.size()]);
        if (!stream.relabelled)
        {
            result.status = DecodeStatus::OutOfMemory;
            return false;
        }
        std::uint8_t* copy = stream.relabelled.get();
        copy[0] = 0xFF;
        copy[1] = 0xD8;
        std::memcpy(copy + 2, kNoTransformMarker.data(), kNoTransformMarker.size());
        std::memcpy(copy + 2 + kNoTransformMarker.size(), frame.data() + 2, frame.size() - 2);
        stream.bytes = ByteView(copy, frame.size() + kNoTransformMarker.size());
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
void Decompress(OpenedStream& stream, std::uint8_t* out, int pitch, int format, DecodeResult& result) noexcept
{
    // A stream with crafted scans could make the decoder loop for a long time; baseline data has one scan per
    // component, so the decoder's scan limit is no loss.
    const int flags = TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS;
    const int status =
        tjDecompress2(stream.handle.get(), stream.bytes.data(), static_cast<unsigned long>(stream.bytes.size()), out,
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
    if (!OpenStream(frame, declared.colour, limits, stream, result))
    {
        return result;
    }
    if (FrameBytes(result.actual) > out.size())
    {
        result.status = DecodeStatus::OutputTooSmall;
        return result;
    }
    Decompress(stream, out.data(), 0, stream.grey ? TJPF_GRAY : TJPF_RGB, result);
    return result;
}

DecodeResult DecodeJpegBaselineToDisplay(ByteView frame, SampleColour declared, const DecodeLimits& limits,
                                         const DisplayPixelsOut& out) noexcept
{
    DecodeResult result;
    OpenedStream stream;
    if (!OpenStream(frame, declared, limits, stream, result))
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
    Decompress(stream, out.data, static_cast<int>(out.stride), format, result);
    return result;
}

DecodeResult DecodeJpegBaselineScaled(ByteView frame, SampleColour declared, int atLeast, const DecodeLimits& limits,
                                      std::vector<std::uint8_t>& out) noexcept
{
    DecodeResult result;
    OpenedStream stream;
    if (!OpenStream(frame, declared, limits, stream, result))
    {
        return result;
    }
    // The library's scales come largest first; the smallest that still covers atLeast on the longer side is taken,
    // so that the inverse DCT itself does most of the shrinking (an eighth per side at 1/8).
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    int width = stream.width;
    int height = stream.height;
    for (int i = 0; factors != nullptr && i < count; ++i)
    {
        const int w = TJSCALED(stream.width, factors[i]);
        const int h = TJSCALED(stream.height, factors[i]);
        if (factors[i].num <= factors[i].denom && std::max(w, h) >= atLeast &&
            std::int64_t{w} * h < std::int64_t{width} * height)
        {
            width = w;
            height = h;
        }
    }
    const int channels = stream.grey ? 1 : 3;
    try
    {
        out.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * channels);
    }
    catch (const std::bad_alloc&)
    {
        result.status = DecodeStatus::OutOfMemory;
        return result;
    }
    const int status = tjDecompress2(
        stream.handle.get(), stream.bytes.data(), static_cast<unsigned long>(stream.bytes.size()), out.data(), width,
        width * channels, height, stream.grey ? TJPF_GRAY : TJPF_RGB, TJFLAG_FASTDCT | TJFLAG_LIMITSCANS);
    if (status != 0)
    {
        result.detail = tjGetErrorCode(stream.handle.get());
        result.status = result.detail == TJERR_WARNING ? DecodeStatus::DecodedWithWarning : DecodeStatus::Corrupt;
    }
    else
    {
        result.status = DecodeStatus::Decoded;
    }
    result.actual.rows = static_cast<std::uint16_t>(height);
    result.actual.columns = static_cast<std::uint16_t>(width);
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
