#include "imaging/LosslessDecoder.h"

#include "imaging/CImageData.h"
#include "imaging/LosslessJpeg.h"
#include "platform/LargeBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace orblane {

LosslessDecoder::LosslessDecoder(ByteView stream) noexcept : source(stream) {}

LosslessDecoder::LosslessDecoder(const std::uint8_t* stream, std::size_t length) noexcept
    : source(stream, stream == nullptr ? 0 : length)
{
}

int LosslessDecoder::Decode(std::uint16_t rows, std::uint16_t columns, std::uint16_t bitsAllocated) noexcept
{
    planes[0].reset();
    planeLengths[0] = 0;
    // The capacity is a signed 32-bit count; larger products are clamped, which no stream can fill anyway
    // (65535 * 65535 two-byte samples exceed it only for headers no real image has).
    // Nor is it larger than the samples the stream can hold (two bytes each at most): a few bytes of stream must not
    // obtain gigabytes because the data set declares a large image.
    const std::uint64_t wanted = std::uint64_t{rows} * columns * bitsAllocated;
    const std::uint64_t streamBound = MaxPixelsForStream(source.size()) * 2;
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(
        {wanted, streamBound, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())}));
    // Left uninitialised: untouched pages of this oversized buffer cost no memory.
    std::unique_ptr<std::uint8_t[]> destination(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    platform::AdviseLargeBuffer(destination.get(), size);
    if (destination == nullptr)
    {
        return lossless::kOutputAllocation;
    }
    std::uint16_t outLines = 0;
    std::uint16_t outSamples = 0;
    std::uint16_t outContainer = 0;
    std::uint16_t outPrecision = 0;
    std::uint16_t outHighBit = 0;
    const int rc = lossless::DecodeLossless(source, destination.get(), static_cast<std::int32_t>(size), &outLines,
                                            &outSamples, &outContainer, &outPrecision, &outHighBit);
    if (rc != lossless::kOk)
    {
        return rc;
    }
    const std::size_t decoded = std::size_t{outLines} * outSamples * (outContainer / 8u);
    // A reader that trusts the data set's rows and columns must not see stale heap bytes where the stream was
    // shorter than they say.
    const std::size_t described =
        std::min<std::size_t>(size, std::size_t{rows} * columns * std::max<std::size_t>(1, (bitsAllocated + 7u) / 8u));
    if (described > decoded)
    {
        std::memset(destination.get() + decoded, 0, described - decoded);
    }
    planes[0] = std::move(destination);
    planeLengths[0] = decoded;
    lines = outLines;
    samplesPerLine = outSamples;
    containerBits = outContainer;
    precision = outPrecision;
    highBit = outHighBit;
    return lossless::kOk;
}

} // namespace orblane
