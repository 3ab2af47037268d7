#pragma once

#include "imaging/JpegBaseline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace orblane::test {

// An 8-bit bitmap as a greyscale baseline JPEG stream of the given quality, written by the export's encoder.
inline std::vector<std::uint8_t> GreyJpegOf(const DisplayBitmap& bitmap, int quality)
{
    std::uint8_t* data = nullptr;
    unsigned long size = 0;
    EXPECT_TRUE(EncodeJpeg(bitmap, quality, true, data, size));
    std::vector<std::uint8_t> bytes(data, data + size);
    FreeJpeg(data);
    return bytes;
}

} // namespace orblane::test
