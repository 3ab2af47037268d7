#pragma once

#include "imaging/DisplayBitmap.h"
#include "imaging/codecs/JpegEncoder.h"
#include "platform/Bytes.h"

#include <cstdint>

namespace orblane {

enum class JpegDecodeResult
{
    Decoded,
    Rejected,    // not a JPEG stream the decoder accepts, or larger than allowed
    OutOfMemory, // the bitmap could not be allocated
};

// Decodes a baseline JPEG stream into `bitmap`: 8-bit grey for one component, 32-bit display pixels for colour.
// Streams that declare more than maxPixels pixels are rejected before anything is allocated.
JpegDecodeResult DecodeJpegBaseline(ByteView stream, std::uint64_t maxPixels, DisplayBitmap& bitmap) noexcept;

} // namespace orblane
