#pragma once

#include "imaging/DisplayBitmap.h"

#include <cstdint>

namespace orblane {

class DicomDataFileIO;

// How a thumbnail's pixels were had.
enum class ThumbnailRoute : std::uint8_t
{
    Failed,
    // Native samples: every step-th of every step-th row read, nothing else touched.
    Subsampled,
    // JPEG baseline: the library's scaled inverse DCT.
    ScaledJpeg,
    // Any other codec (lossless JPEG, JPEG-LS, RLE, JPEG 2000): decoded whole, then reduced.
    Reduced,
    // Small enough as it is: decoded whole and reduced.
    Whole,
};

// The file's first image at reduced size as its own window shows it, fitting size × size, in `out`. The file is
// loaded and walked if it is not, and let go of afterwards. Every read of its mapping is guarded.
ThumbnailRoute DecodeThumbnail(DicomDataFileIO& file, int size, DisplayBitmap& out) noexcept;

} // namespace orblane
