#pragma once

#include "imaging/DisplayBitmap.h"

#include <cstdint>
#include <vector>

namespace orblane {

// A PNG file of the bitmap: 8-bit grey (one component of a 32-bit bitmap, or the 8-bit levels) when grey, else
// 8-bit RGB. Answers false when the image is too large for one PNG chunk or memory runs out. Throws std::bad_alloc.
bool EncodePng(const DisplayBitmap& bitmap, bool grey, std::vector<std::uint8_t>& out);

} // namespace orblane
