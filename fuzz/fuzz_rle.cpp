// RLE frames under a geometry taken from the input's first three bytes (rows, columns, and samples and container),
// decoded into an exact-size output so that AddressSanitizer sees any write past it or read past the frame.
#include "imaging/codecs/Codecs.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orblane;
    if (size < 3)
    {
        return 0;
    }
    FrameGeometry geometry;
    geometry.rows = static_cast<std::uint16_t>(data[0] + 1);
    geometry.columns = static_cast<std::uint16_t>(data[1] + 1);
    geometry.samplesPerPixel = (data[2] & 1) != 0 ? 3 : 1;
    constexpr std::uint16_t kContainers[4] = {8, 16, 32, 12};
    // Bit 3 picks 1 bit a pixel (one segment of packed bits).
    geometry.bitsAllocated = (data[2] & 0x08) != 0 ? 1 : kContainers[(data[2] >> 1) & 3];
    geometry.bitsStored = geometry.bitsAllocated;
    // Now and then one byte short, so that the output check meets both sides.
    const std::size_t outBytes = static_cast<std::size_t>(FrameBytes(geometry)) - ((data[2] & 0x80) != 0 ? 1 : 0);
    const std::vector<std::uint8_t> frame(data + 3, data + size);
    std::vector<std::uint8_t> out(outBytes);
    DecodeLimits limits;
    limits.maxPixels = (data[2] & 0x40) != 0 ? 1000 : 0;
    const DecodeResult result = DecodeRle(frame, geometry, limits, out);
    if (result.Ok() && outBytes < FrameBytes(geometry))
    {
        __builtin_trap(); // a frame that does not fit the output must be refused
    }
    return 0;
}
