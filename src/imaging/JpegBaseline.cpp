#include "imaging/JpegBaseline.h"

#include "imaging/codecs/Codecs.h"

#include <memory>
#include <new>

namespace orblane {

JpegDecodeResult DecodeJpegBaseline(ByteView stream, std::uint64_t maxPixels, DisplayBitmap& bitmap) noexcept
{
    // The first call only learns the frame's size: an empty output is always too small.
    const DecodeLimits limits{maxPixels};
    const DecodeResult header = DecodeJpegBaseline(stream, FrameGeometry{}, limits, {});
    if (header.status != DecodeStatus::OutputTooSmall)
    {
        return header.status == DecodeStatus::OutOfMemory ? JpegDecodeResult::OutOfMemory : JpegDecodeResult::Rejected;
    }
    FrameGeometry g = header.actual;
    // A bare stream has no Photometric Interpretation beside it: where it says nothing of its colour, it is YCbCr, as
    // JFIF readers take it.
    g.colour = SampleColour::YbrFull;
    const bool grey = g.samplesPerPixel == 1;
    std::unique_ptr<std::uint8_t[]> samples(new (std::nothrow) std::uint8_t[FrameBytes(g)]);
    if (samples == nullptr || !bitmap.Create(g.columns, g.rows, grey ? 8 : 32))
    {
        return JpegDecodeResult::OutOfMemory;
    }
    const DecodeResult decoded = DecodeJpegBaseline(stream, g, limits, {samples.get(), FrameBytes(g)});
    if (!decoded.Ok())
    {
        bitmap = DisplayBitmap{};
        return JpegDecodeResult::Rejected;
    }
    for (int row = 0; row < g.rows; ++row)
    {
        const std::uint8_t* in = samples.get() + static_cast<std::size_t>(row) * g.columns * g.samplesPerPixel;
        if (grey)
        {
            std::copy(in, in + g.columns, bitmap.Row(row));
            continue;
        }
        std::uint32_t* out = bitmap.Pixels32(row);
        for (int column = 0; column < g.columns; ++column)
        {
            out[column] = MakeDisplayPixel(in[3 * column], in[3 * column + 1], in[3 * column + 2]);
        }
    }
    return JpegDecodeResult::Decoded;
}

} // namespace orblane
