#pragma once

#include "platform/Bytes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace orblane {

// What the samples of a decoded frame are. A codec that applies a colour transform of its own stream (JPEG 2000's
// multi-component transform, a JPEG decoder's YCbCr conversion) answers Rgb; one that hands the stored components on
// unchanged answers what the data set declared, and the image build converts YBR itself.
enum class SampleColour : std::uint8_t
{
    Grey,
    Rgb,
    YbrFull,
    YbrPartial,
};

// The geometry of one frame. As input: what the data set declares. As part of a result: what the stream declared
// and what the output buffer now holds.
struct FrameGeometry
{
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    std::uint16_t samplesPerPixel = 1;
    // The output container of one sample: 1 byte up to 8 bits, 2 bytes up to 16, 4 bytes up to 32.
    std::uint16_t bitsAllocated = 0;
    // Precision of the samples; for a result, the stream's own (JPEG 2000 archives disagree with their data sets).
    std::uint16_t bitsStored = 0;
    bool isSigned = false;
    // Planar Configuration 1 of the source (native and RLE data only): the output is interleaved all the same.
    bool planar = false;
    // Native YBR_FULL_422: two pixels share one Cb and Cr (Y0 Y1 Cb Cr); the output has all three for each pixel.
    bool chromaHalfWidth = false;
    // Native data of 1 bit a sample only: the bit (from the lowest) of the frame's first byte where its first sample
    // lies. 0 in a result.
    std::uint8_t firstBit = 0;
    SampleColour colour = SampleColour::Grey;
};

// Bytes of one sample in its output container.
constexpr std::size_t ContainerBytes(std::uint16_t bitsAllocated) noexcept
{
    return bitsAllocated <= 8 ? 1 : bitsAllocated <= 16 ? 2 : 4;
}

// Bytes of one decoded frame of this geometry in the output layout.
constexpr std::uint64_t FrameBytes(const FrameGeometry& g) noexcept
{
    return std::uint64_t{g.rows} * g.columns * (g.samplesPerPixel == 0 ? 1u : g.samplesPerPixel) *
           ContainerBytes(g.bitsAllocated);
}

struct DecodeLimits
{
    // A stream declaring more pixels than this is refused before anything is allocated. The caller derives it from
    // the stream's length (MaxPixelsForStream), so that a few bytes cannot obtain gigabytes.
    std::uint64_t maxPixels = 0;
    // Optional: a codec that writes `out` front to back may publish here how many leading bytes of it are final
    // (written for good, never touched again), so that the caller can convert them while the rest decodes. A codec
    // that cannot say so leaves it alone.
    std::atomic<std::size_t>* finalBytes = nullptr;
    // Threads the codec may decode this one frame on, the caller's own among them. Above 1 only where the caller
    // knows the cores would idle otherwise (one image wanted now, nothing on the decode-ahead pool), since the pool
    // runs one frame a worker; a codec without threads of its own ignores it.
    unsigned threads = 1;
};

enum class DecodeStatus : std::uint8_t
{
    Decoded,
    // Decoded, but the stream was damaged or short: what could not be decoded reads as 0.
    DecodedWithWarning,
    Corrupt,
    Unsupported,
    OutOfMemory,
    // The stream's frame is larger than `out` (but within the limits): `actual` holds its geometry, and the caller
    // may decode again into a buffer of FrameBytes(actual).
    OutputTooSmall,
};

struct DecodeResult
{
    DecodeStatus status = DecodeStatus::Corrupt;
    // The codec's own code for what went wrong (its library's error or a code of its own); 0 when decoded.
    int detail = 0;
    // Unsupported or Corrupt: what the codec found, in a few words for people (static text), or null.
    const char* reason = nullptr;
    // What the output holds: rows, columns and samples as decoded (they may differ from the declared geometry, which
    // then only bounds them), container as declared, precision and signedness as the stream says.
    FrameGeometry actual;

    bool Ok() const noexcept { return status == DecodeStatus::Decoded || status == DecodeStatus::DecodedWithWarning; }
};

// The one contract of every codec. Decodes one frame's bytes into `out`, which the caller owns and sizes from the
// declared geometry (FrameBytes). The output layout is fixed: native-endian samples in their container, the samples
// of a colour pixel interleaved (R G B), rows top first, no padding. A frame whose decoded size would not fit `out`
// is Corrupt; nothing is ever written outside `out` or read outside `frame`. Every call keeps its state to itself,
// so frames may be decoded on several threads at once.
using DecodeFrame = DecodeResult (*)(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                     std::span<std::uint8_t> out) noexcept;

// Display pixels as the viewer keeps them: 32 bits each, blue, green, red and 0xFF in memory (little-endian
// 0xFFRRGGBB), rows top first, `stride` bytes apart; exactly rows x columns of them.
struct DisplayPixelsOut
{
    std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
};

// What a codec may offer beside DecodeFrame when its library converts colour to display pixels itself: the frame goes
// straight into the display bitmap, without the interleaved samples in between (for a small colour JPEG their
// buffer and the loop over it cost a quarter of the open). The pixels are those the image build makes of DecodeFrame's
// samples at 8 bits. A stream of another size than rows x columns (an empty `out` included) answers OutputTooSmall
// with its geometry and writes nothing, so that the caller can size its bitmap and call again. `declared` is the
// colour model the data set gives the samples (FrameGeometry::colour), for a stream that does not say its own.
using DecodeFrameToDisplay = DecodeResult (*)(ByteView frame, SampleColour declared, const DecodeLimits& limits,
                                              const DisplayPixelsOut& out) noexcept;

} // namespace orblane
