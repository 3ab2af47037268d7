#include "imaging/codecs/Codecs.h"

#include <algorithm>
#include <cstring>

namespace orblane {
namespace {

// Reads stored samples of native data: the container is 1 bit, or the 8-, 16- or 32-bit little-endian word that the
// bits allocated round up to; the stored bits are the low bits. A sample that lies (partly) beyond the bytes reads
// as 0, so a short value is never read past.
class SampleReader
{
public:
    // `firstBit`: with 1 bit a sample, where in the first byte sample 0 lies.
    SampleReader(ByteView data, unsigned bitsAllocated, unsigned bitsStored, unsigned firstBit = 0) noexcept
        : bytes(data), allocated(bitsAllocated), skipped(bitsAllocated == 1 ? firstBit % 8 : 0)
    {
        const std::uint64_t containerOnes = bitsAllocated <= 8 ? 0xFFu : bitsAllocated <= 16 ? 0xFFFFu : 0xFFFFFFFFu;
        const unsigned shift = bitsAllocated == 1 ? 0 : bitsAllocated - std::min(bitsStored, bitsAllocated);
        mask = static_cast<std::uint32_t>(containerOnes >> shift);
        if (bitsAllocated == 1)
        {
            mask &= 1u;
        }
        width = bitsAllocated <= 8 ? 1 : bitsAllocated <= 16 ? 2 : 4;
    }

    std::uint32_t Read(std::size_t index) const noexcept
    {
        if (bytes.data() == nullptr)
        {
            return 0;
        }
        if (allocated == 1)
        {
            // Bits are taken from the lowest of each byte on (PS3.5 8.1.1).
            const std::size_t bit = index + skipped;
            const std::size_t byte = bit / 8;
            return byte < bytes.size() ? (static_cast<std::uint32_t>(bytes[byte]) >> (bit % 8)) & mask : 0;
        }
        const std::size_t offset = static_cast<std::size_t>((static_cast<std::uint64_t>(allocated) * index) / 8);
        if (offset >= bytes.size() || bytes.size() - offset < width)
        {
            return 0;
        }
        std::uint32_t value = bytes[offset];
        if (width >= 2)
        {
            value |= static_cast<std::uint32_t>(bytes[offset + 1]) << 8;
        }
        if (width == 4)
        {
            value |= static_cast<std::uint32_t>(bytes[offset + 2]) << 16;
            value |= static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
        }
        return value & mask;
    }

private:
    ByteView bytes;
    unsigned allocated;
    std::size_t skipped;
    std::size_t width;
    std::uint32_t mask;
};

void Store(std::uint8_t* out, std::size_t index, std::size_t containerBytes, std::uint32_t value) noexcept
{
    switch (containerBytes)
    {
    case 1:
        out[index] = static_cast<std::uint8_t>(value);
        break;
    case 2: {
        const auto word = static_cast<std::uint16_t>(value);
        std::memcpy(out + index * 2, &word, 2);
        break;
    }
    default:
        std::memcpy(out + index * 4, &value, 4);
        break;
    }
}

} // namespace

DecodeResult DecodeNative(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                          std::span<std::uint8_t> out) noexcept
{
    DecodeResult result;
    result.actual = declared;
    result.actual.planar = false;
    result.actual.chromaHalfWidth = false;
    result.actual.firstBit = 0;
    const std::uint64_t pixels = std::uint64_t{declared.rows} * declared.columns;
    if (declared.bitsAllocated == 0 || declared.bitsAllocated > 32 || pixels > limits.maxPixels)
    {
        return result;
    }
    if (FrameBytes(declared) > out.size())
    {
        result.status = DecodeStatus::OutputTooSmall;
        return result;
    }
    const std::size_t container = ContainerBytes(declared.bitsAllocated);
    const std::size_t count = static_cast<std::size_t>(pixels);
    const std::size_t samples = declared.samplesPerPixel == 0 ? 1 : declared.samplesPerPixel;
    std::uint8_t* target = out.data();

    if (declared.chromaHalfWidth && samples == 3)
    {
        // Y0 Y1 Cb Cr for each pair of pixels of a row, 8 bits each (PS3.3 C.7.6.3.1.2).
        const auto byteAt = [&](std::size_t p) -> std::uint8_t { return p < frame.size() ? frame[p] : 0; };
        for (std::size_t row = 0; row < declared.rows; ++row)
        {
            for (std::size_t column = 0; column < declared.columns; ++column)
            {
                const std::size_t p = row * declared.columns * 2 + (column / 2) * 4;
                const std::size_t k = (row * declared.columns + column) * 3;
                target[k] = byteAt(column % 2 == 0 ? p : p + 1);
                target[k + 1] = byteAt(p + 2);
                target[k + 2] = byteAt(p + 3);
            }
        }
        result.status = DecodeStatus::Decoded;
        return result;
    }
    const SampleReader reader(frame, declared.bitsAllocated, declared.bitsStored, declared.firstBit);
    if (declared.planar && samples > 1)
    {
        for (std::size_t k = 0; k < count; ++k)
        {
            for (std::size_t s = 0; s < samples; ++s)
            {
                Store(target, k * samples + s, container, reader.Read(k + s * count));
            }
        }
    }
    else
    {
        for (std::size_t k = 0; k < count * samples; ++k)
        {
            Store(target, k, container, reader.Read(k));
        }
    }
    const std::uint64_t heldBits =
        std::uint64_t{frame.size()} * 8 - (declared.bitsAllocated == 1 ? declared.firstBit % 8 : 0);
    result.status = heldBits < std::uint64_t{declared.bitsAllocated} * count * samples
                        ? DecodeStatus::DecodedWithWarning
                        : DecodeStatus::Decoded;
    return result;
}

} // namespace orblane
