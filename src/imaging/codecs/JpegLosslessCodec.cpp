// JPEG lossless (T.81 process 14) behind the codec contract: our own decoder writes straight into the caller's
// buffer, and only a container that differs from the declared one costs a pass (widened in place, or narrowed from a
// scratch when the stream's samples are wider than the declared container). A stream of several components comes
// out interleaved as the contract wants it, in the colour model the data set declares (the stream has no transform
// of its own); subsampled components are refused as Unsupported.
#include "imaging/LosslessJpeg.h"
#include "imaging/codecs/Codecs.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace orblane {
namespace {

DecodeResult Fail(DecodeStatus status, int detail, const FrameGeometry& declared)
{
    DecodeResult result;
    result.status = status;
    result.detail = detail;
    result.actual = declared;
    return result;
}

DecodeStatus StatusOf(int code)
{
    switch (code)
    {
    case lossless::kSofComponents:
    case lossless::kSofHorizontal:
    case lossless::kSofVertical:
    case lossless::kSosComponents:
        return DecodeStatus::Unsupported;
    case lossless::kOutputAllocation:
        return DecodeStatus::OutOfMemory;
    default:
        return DecodeStatus::Corrupt;
    }
}

std::int32_t Capacity(std::size_t bytes)
{
    return static_cast<std::int32_t>(std::min<std::size_t>(bytes, std::numeric_limits<std::int32_t>::max()));
}

// The decoder's 16-bit words are little-endian; the contract's are native.
void WordsToNative(std::uint8_t* data, std::size_t count)
{
    if constexpr (std::endian::native == std::endian::big)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            std::swap(data[2 * i], data[2 * i + 1]);
        }
    }
    else
    {
        (void)data;
        (void)count;
    }
}

// Widens `count` samples of `from` bytes (native) to `to` bytes in place, from the last sample back so that no
// sample is overwritten before it is read.
void WidenInPlace(std::uint8_t* data, std::size_t count, std::size_t from, std::size_t to)
{
    for (std::size_t i = count; i-- > 0;)
    {
        std::uint32_t value;
        if (from == 1)
        {
            value = data[i];
        }
        else
        {
            std::uint16_t word;
            std::memcpy(&word, data + 2 * i, 2);
            value = word;
        }
        if (to == 2)
        {
            const auto word = static_cast<std::uint16_t>(value);
            std::memcpy(data + 2 * i, &word, 2);
        }
        else
        {
            std::memcpy(data + 4 * i, &value, 4);
        }
    }
}

} // namespace

DecodeResult DecodeJpegLossless(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept
{
    lossless::FrameHeader header;
    if (const int rc = lossless::ReadLosslessFrameHeader(frame, &header); rc != lossless::kOk)
    {
        return Fail(StatusOf(rc), rc, declared);
    }
    if (limits.maxPixels != 0 && std::uint64_t{header.lines} * header.samplesPerLine > limits.maxPixels)
    {
        return Fail(DecodeStatus::Corrupt, lossless::kCapacityExceeded, declared);
    }
    // Several components must be the samples of the declared pixel: a grey image whose stream holds colour (or
    // two or four components where three are declared) has no layout the image build could read right.
    if (header.componentCount > 1 && header.componentCount != declared.samplesPerPixel)
    {
        return Fail(DecodeStatus::Unsupported, lossless::kSofComponents, declared);
    }
    const std::size_t container = ContainerBytes(declared.bitsAllocated);
    const std::size_t streamContainer = header.precision < 9 ? 1 : 2;
    // The capacity in samples is what `out` holds in the declared container; the decoder's own bytes are bounded by
    // it, so a stream larger than the frame fails rather than being cut.
    const std::size_t sampleCapacity = out.size() / container;

    lossless::LosslessImage image;
    int rc = lossless::kOk;
    if (streamContainer <= container)
    {
        // The decoder's bytes are the contract's only when no pass follows it (no widening, no byte swap).
        const bool inPlace = streamContainer == container && std::endian::native == std::endian::little;
        rc = lossless::DecodeLosslessImage(frame, out.data(), Capacity(sampleCapacity * streamContainer), &image,
                                           inPlace ? limits.finalBytes : nullptr);
    }
    else
    {
        // Samples of more than 8 bits declared in 8: decoded aside, then narrowed to their low byte (an encoder that
        // writes 8-bit images at P = 16 loses nothing by it).
        const std::size_t scratchBytes = sampleCapacity * 2;
        std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow) std::uint8_t[scratchBytes == 0 ? 1 : scratchBytes]);
        if (scratch == nullptr)
        {
            return Fail(DecodeStatus::OutOfMemory, lossless::kOutputAllocation, declared);
        }
        rc = lossless::DecodeLosslessImage(frame, scratch.get(), Capacity(scratchBytes), &image);
        if (rc == lossless::kOk)
        {
            const std::size_t count = std::size_t{image.lines} * image.samplesPerLine * image.components;
            for (std::size_t i = 0; i < count; ++i)
            {
                out[i] = scratch[2 * i];
            }
        }
    }
    if (rc != lossless::kOk)
    {
        return Fail(StatusOf(rc), rc, declared);
    }

    const std::size_t count = std::size_t{image.lines} * image.samplesPerLine * image.components;
    if (streamContainer <= container)
    {
        if (streamContainer == 2)
        {
            WordsToNative(out.data(), count);
        }
        if (streamContainer != container)
        {
            WidenInPlace(out.data(), count, streamContainer, container);
        }
    }
    // What the data set promises beyond the stream's samples reads as 0, never as what the buffer held.
    const std::size_t written = count * container;
    const std::size_t promised = std::min<std::size_t>(out.size(), FrameBytes(declared));
    if (promised > written)
    {
        std::memset(out.data() + written, 0, promised - written);
    }

    DecodeResult result;
    result.status = written < promised ? DecodeStatus::DecodedWithWarning : DecodeStatus::Decoded;
    result.detail = 0;
    result.actual = declared;
    result.actual.rows = image.lines;
    result.actual.columns = image.samplesPerLine;
    result.actual.samplesPerPixel = image.components;
    result.actual.bitsStored = image.precision;
    return result;
}

} // namespace orblane
