// RLE Lossless (PS3.5 Annex G). A frame is a 64-byte header and up to 15 PackBits segments, one per byte plane:
// for each sample in turn, its most significant byte first (G.2). The planes are decoded in chunks of pixels into a
// small scratch that stays in the first-level cache, each run with one memcpy or memset, and every chunk is then
// interleaved into the output by a loop chosen once per frame for its samples and bytes. A frame of 1 bit a pixel is
// one segment of its bits packed from the lowest of each byte on, as native data packs them; each pixel becomes a
// byte of the output.
#include "imaging/codecs/Codecs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

namespace orblane {
namespace {

// Codes of DecodeResult::detail.
enum RleDetail : int
{
    kRleGeometry = 1,  // rows, columns or samples per pixel unusable
    kRleContainer = 2, // bits allocated other than 1, 8, 16 or 32, or 1 with more than one sample
    kRleOutputTooSmall = 3,
    kRleTooManyPixels = 4, // above the caller's limit
    kRleShortHeader = 5,   // fewer than 64 bytes
    kRleSegmentCount = 6,  // not samples per pixel x bytes per sample, or above 15
    kRleSegmentOffset = 7, // an offset inside the header, past the frame's end, or not above the one before
    kRleShortSegment = 8,  // a segment ended before its plane was full (a warning)
};

constexpr std::size_t kHeaderBytes = 64;
constexpr std::uint32_t kMaxSegments = 15;
// Pixels per chunk: up to 12 planes of this many bytes stay within 24 KiB of stack.
constexpr std::size_t kChunk = 2048;

std::uint32_t Le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// One segment's PackBits decoder (G.3.1), resumable at any byte so that a plane can be produced chunk by chunk.
struct SegmentReader
{
    const std::uint8_t* p = nullptr;
    const std::uint8_t* end = nullptr;
    std::size_t literal = 0; // bytes of a literal run still to copy from p
    std::size_t repeat = 0;  // copies of `value` still to write
    std::uint8_t value = 0;

    // Writes up to `want` bytes of the plane; answers how many. Fewer means the segment has ended: a literal run cut
    // by the segment's end yields only the bytes it has, and nothing is ever read at or past `end`.
    std::size_t Fill(std::uint8_t* dst, std::size_t want)
    {
        std::size_t done = 0;
        if (repeat != 0)
        {
            const std::size_t n = std::min(repeat, want);
            std::memset(dst, value, n);
            repeat -= n;
            done = n;
        }
        if (literal != 0 && done < want)
        {
            const std::size_t n = std::min(literal, want - done);
            std::memcpy(dst + done, p, n);
            p += n;
            literal -= n;
            done += n;
        }
        while (done < want && p != end)
        {
            const std::uint8_t header = *p++;
            if (header < 128)
            {
                // A literal run of header + 1 bytes, clipped to what the segment holds.
                const std::size_t count = std::min<std::size_t>(header + 1u, static_cast<std::size_t>(end - p));
                const std::size_t n = std::min(count, want - done);
                std::memcpy(dst + done, p, n);
                p += n;
                literal = count - n;
                done += n;
            }
            else if (header > 128)
            {
                // A replicate run of 257 - header copies of the next byte; 128 is a no-operation.
                if (p == end)
                {
                    break;
                }
                value = *p++;
                const std::size_t count = 257u - header;
                const std::size_t n = std::min(count, want - done);
                std::memset(dst + done, value, n);
                repeat = count - n;
                done += n;
            }
        }
        return done;
    }
};

// Interleaves one chunk of kSamples * kBytes planes (most significant byte first for each sample) into native-endian
// containers of kBytes, the samples of a pixel side by side.
template <int kSamples, int kBytes>
void Interleave(const std::uint8_t* planes, std::size_t planeStride, std::uint8_t* out, std::size_t count)
{
    using Word =
        std::conditional_t<kBytes == 1, std::uint8_t, std::conditional_t<kBytes == 2, std::uint16_t, std::uint32_t>>;
    for (std::size_t i = 0; i < count; ++i)
    {
        for (int s = 0; s < kSamples; ++s)
        {
            Word word = 0;
            for (int b = 0; b < kBytes; ++b)
            {
                const std::size_t plane = static_cast<std::size_t>(s * kBytes + b);
                word = static_cast<Word>(word << (kBytes == 1 ? 0 : 8) | planes[plane * planeStride + i]);
            }
            std::memcpy(out + (i * kSamples + static_cast<std::size_t>(s)) * kBytes, &word, kBytes);
        }
    }
}

using InterleaveFunction = void (*)(const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t);

InterleaveFunction PickInterleave(int samples, int bytes)
{
    if (samples == 1)
    {
        return bytes == 1 ? &Interleave<1, 1> : bytes == 2 ? &Interleave<1, 2> : &Interleave<1, 4>;
    }
    return bytes == 1 ? &Interleave<3, 1> : bytes == 2 ? &Interleave<3, 2> : &Interleave<3, 4>;
}

DecodeResult Fail(DecodeStatus status, int detail, const FrameGeometry& declared)
{
    DecodeResult result;
    result.status = status;
    result.detail = detail;
    result.actual = declared;
    return result;
}

} // namespace

DecodeResult DecodeRle(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                       std::span<std::uint8_t> out) noexcept
{
    if (declared.rows == 0 || declared.columns == 0 || (declared.samplesPerPixel != 1 && declared.samplesPerPixel != 3))
    {
        return Fail(DecodeStatus::Unsupported, kRleGeometry, declared);
    }
    const bool bitPacked = declared.bitsAllocated == 1;
    if ((declared.bitsAllocated != 8 && declared.bitsAllocated != 16 && declared.bitsAllocated != 32 && !bitPacked) ||
        (bitPacked && declared.samplesPerPixel != 1))
    {
        return Fail(DecodeStatus::Unsupported, kRleContainer, declared);
    }
    const std::size_t pixels = std::size_t{declared.rows} * declared.columns;
    if (limits.maxPixels != 0 && pixels > limits.maxPixels)
    {
        return Fail(DecodeStatus::Corrupt, kRleTooManyPixels, declared);
    }
    if (out.size() < FrameBytes(declared))
    {
        return Fail(DecodeStatus::Corrupt, kRleOutputTooSmall, declared);
    }
    if (frame.size() < kHeaderBytes)
    {
        return Fail(DecodeStatus::Corrupt, kRleShortHeader, declared);
    }
    const int samples = declared.samplesPerPixel;
    const int bytes = static_cast<int>(ContainerBytes(declared.bitsAllocated));
    const std::uint32_t segmentCount = Le32(frame.data());
    if (segmentCount > kMaxSegments || segmentCount != static_cast<std::uint32_t>(samples * bytes))
    {
        return Fail(DecodeStatus::Corrupt, kRleSegmentCount, declared);
    }
    std::array<SegmentReader, kMaxSegments> readers{};
    for (std::uint32_t i = 0; i < segmentCount; ++i)
    {
        const std::uint32_t offset = Le32(frame.data() + 4 + 4 * i);
        const std::uint32_t previous = i == 0 ? kHeaderBytes - 1 : Le32(frame.data() + 4 * i);
        if (offset <= previous || offset >= frame.size())
        {
            return Fail(DecodeStatus::Corrupt, kRleSegmentOffset, declared);
        }
        readers[i].p = frame.data() + offset;
        if (i != 0)
        {
            readers[i - 1].end = readers[i].p;
        }
    }
    readers[segmentCount - 1].end = frame.data() + frame.size();

    // Runs that reach past the plane (encoders that let them cross its end) are clipped by the chunking: the reader
    // is simply not asked for more.
    bool shortSegment = false;
    if (bitPacked)
    {
        // The packed bytes go chunk by chunk through the scratch, each bit out to a byte of its own.
        const std::size_t packed = (pixels + 7) / 8;
        std::array<std::uint8_t, kChunk> scratch;
        for (std::size_t start = 0; start < packed; start += kChunk)
        {
            const std::size_t count = std::min(kChunk, packed - start);
            const std::size_t done = readers[0].Fill(scratch.data(), count);
            if (done < count)
            {
                std::memset(scratch.data() + done, 0, count - done);
                shortSegment = true;
            }
            const std::size_t first = start * 8;
            const std::size_t end = std::min(pixels, (start + count) * 8);
            for (std::size_t pixel = first; pixel < end; ++pixel)
            {
                out[pixel] = static_cast<std::uint8_t>((scratch[(pixel - first) / 8] >> (pixel % 8)) & 1u);
            }
        }
    }
    else if (segmentCount == 1)
    {
        // One byte per pixel: the plane is the output, decoded in place.
        const std::size_t done = readers[0].Fill(out.data(), pixels);
        if (done < pixels)
        {
            std::memset(out.data() + done, 0, pixels - done);
            shortSegment = true;
        }
    }
    else
    {
        const InterleaveFunction interleave = PickInterleave(samples, bytes);
        const std::size_t pixelBytes = static_cast<std::size_t>(samples * bytes);
        std::array<std::uint8_t, kChunk * 12> scratch;
        for (std::size_t start = 0; start < pixels; start += kChunk)
        {
            const std::size_t count = std::min(kChunk, pixels - start);
            for (std::uint32_t i = 0; i < segmentCount; ++i)
            {
                std::uint8_t* plane = scratch.data() + i * kChunk;
                const std::size_t done = readers[i].Fill(plane, count);
                if (done < count)
                {
                    std::memset(plane + done, 0, count - done);
                    shortSegment = true;
                }
            }
            interleave(scratch.data(), kChunk, out.data() + start * pixelBytes, count);
        }
    }

    DecodeResult result;
    result.status = shortSegment ? DecodeStatus::DecodedWithWarning : DecodeStatus::Decoded;
    result.detail = shortSegment ? kRleShortSegment : 0;
    result.actual = declared;
    return result;
}

} // namespace orblane
