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
    // Any other codec (lossless JPEG, JPEG-LS, RLE, HTJ2K): decoded whole, then reduced.
    Reduced,
    // Small enough as it is: decoded whole and reduced.
    Whole,
    // JPEG 2000: a reduced resolution level of the codestream that still covers the thumbnail, then reduced.
    ReducedResolution,
};

// Frame `frame` (from 0; the first where the image has fewer) of the file's first image at reduced size as its own
// window shows it, fitting size × size, in `out`. The file is loaded and walked if it is not, and let go of
// afterwards. Every read of its mapping is guarded.
ThumbnailRoute DecodeThumbnail(DicomDataFileIO& file, int size, DisplayBitmap& out, int frame = 0) noexcept;

} // namespace orblane
