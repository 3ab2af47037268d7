#include "imaging/codecs/Codecs.h"

#include "imaging/LosslessJpeg.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace orblane {

DecodeResult DecodeJpegLossless(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept
{
    DecodeResult result;
    result.actual = declared;
    if (std::uint64_t{declared.rows} * declared.columns > limits.maxPixels)
    {
        return result;
    }
    // The decoder writes straight into the caller's buffer, in its own container (8 bits up to a precision of 8,
    // otherwise 16); a container that differs from the declared one is converted in place afterwards.
    const auto capacity = static_cast<std::int32_t>(
        std::min<std::size_t>(out.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
    std::uint16_t lines = 0;
    std::uint16_t samplesPerLine = 0;
    std::uint16_t container = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
    const int rc = lossless::DecodeLossless(frame, out.data(), capacity, &lines, &samplesPerLine, &container,
                                            &precision, &highBit);
    if (rc != lossless::kOk)
    {
        result.detail = rc;
        result.status = rc == lossless::kCapacityExceeded ? DecodeStatus::OutputTooSmall : DecodeStatus::Corrupt;
        return result;
    }
    // A precision above 8 in a data set that allocates 8 bits keeps the decoder's 16-bit container (the stream
    // rules); a 16-bit data set with 8-bit samples gets them widened in place.
    const std::size_t produced = container / 8u;
    const std::size_t wanted = std::max<std::size_t>(ContainerBytes(declared.bitsAllocated), produced);
    const std::size_t decoded = std::size_t{lines} * samplesPerLine;
    const std::size_t described =
        std::min<std::size_t>(out.size() / wanted, std::size_t{declared.rows} * declared.columns);
    const std::size_t count = std::min(decoded, described);
    if (produced == 1 && wanted == 2)
    {
        for (std::size_t k = count; k-- > 0;)
        {
            const std::uint16_t sample = out[k];
            std::memcpy(out.data() + 2 * k, &sample, 2);
        }
    }
    if (wanted > ContainerBytes(declared.bitsAllocated))
    {
        result.actual.bitsAllocated = 16;
    }
    // A reader that trusts the data set's rows and columns must not see stale bytes where the stream was shorter.
    if (described > count)
    {
        std::memset(out.data() + count * wanted, 0, (described - count) * wanted);
    }
    result.actual.bitsStored = precision;
    result.status = decoded < described ? DecodeStatus::DecodedWithWarning : DecodeStatus::Decoded;
    return result;
}

} // namespace orblane
