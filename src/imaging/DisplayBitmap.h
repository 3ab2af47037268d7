#pragma once

#include "platform/LargeBuffer.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orblane {

// The display image: top row first, rows of `stride` bytes (a multiple of 4, so that a QImage can wrap the buffer
// without a copy). 32 bits per pixel hold blue, green, red and 0xFF (QImage::Format_RGB32 in memory); 8 bits per
// pixel hold a grey level (QImage::Format_Grayscale8), used for greyscale JPEG baseline images.
class DisplayBitmap
{
public:
    DisplayBitmap() = default;

    // Answers false (and stays empty) when the memory cannot be had; never throws. The pixels are undefined until
    // written.
    bool Create(int width, int height, int bitsPerPixel) noexcept;

    int Width() const noexcept { return width; }
    int Height() const noexcept { return height; }
    int BitsPerPixel() const noexcept { return bitsPerPixel; }
    std::size_t Stride() const noexcept { return stride; }
    bool IsNull() const noexcept { return storage == nullptr; }

    std::uint8_t* Bits() noexcept { return reinterpret_cast<std::uint8_t*>(storage.get()); }
    const std::uint8_t* Bits() const noexcept { return reinterpret_cast<const std::uint8_t*>(storage.get()); }
    std::uint8_t* Row(int row) noexcept { return Bits() + static_cast<std::size_t>(row) * stride; }
    const std::uint8_t* Row(int row) const noexcept { return Bits() + static_cast<std::size_t>(row) * stride; }
    // 32-bit pixels of a row (only for 32 bits per pixel).
    std::uint32_t* Pixels32(int row) noexcept { return storage.get() + static_cast<std::size_t>(row) * (stride / 4); }
    const std::uint32_t* Pixels32(int row) const noexcept
    {
        return storage.get() + static_cast<std::size_t>(row) * (stride / 4);
    }

private:
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::size_t stride = 0;
    // uint32 storage keeps every row 4-byte aligned. It is not cleared when made: every build writes every pixel,
    // and clearing a radiograph's bitmap first would cost as much as writing it. Recycled: the next page's bitmaps
    // take the pages of the last one's.
    platform::LargeArray<std::uint32_t> storage;
};

// One display pixel from its colour components; the fourth byte is 0xFF so that the buffer is valid RGB32.
constexpr std::uint32_t MakeDisplayPixel(std::uint32_t red, std::uint32_t green, std::uint32_t blue) noexcept
{
    return 0xFF000000u | ((red & 0xFFu) << 16) | ((green & 0xFFu) << 8) | (blue & 0xFFu);
}

} // namespace orblane
