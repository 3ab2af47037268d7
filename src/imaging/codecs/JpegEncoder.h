#pragma once

#include "imaging/DisplayBitmap.h"

#include <cstdint>

namespace orblane {

// Encodes 8-bit grey or 32-bit display pixels as a baseline JPEG of the given quality; false on failure. The data
// is the encoder's and goes back through FreeJpeg.
bool EncodeJpeg(const DisplayBitmap& bitmap, int quality, bool greyscale, std::uint8_t*& data,
                unsigned long& size) noexcept;
void FreeJpeg(std::uint8_t* data) noexcept;

} // namespace orblane
