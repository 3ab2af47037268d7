#include "imaging/DisplayBitmap.h"

#include "platform/LargeBuffer.h"

#include <new>

namespace orblane {

bool DisplayBitmap::Create(int newWidth, int newHeight, int newBitsPerPixel) noexcept
{
    storage.reset();
    width = height = bitsPerPixel = 0;
    stride = 0;
    if (newWidth <= 0 || newHeight <= 0 || (newBitsPerPixel != 8 && newBitsPerPixel != 32))
    {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newBitsPerPixel / 8);
    const std::size_t paddedRow = (rowBytes + 3) / 4 * 4;
    storage = platform::MakeLargeArray<std::uint32_t>(paddedRow / 4 * static_cast<std::size_t>(newHeight));
    if (storage == nullptr)
    {
        return false;
    }
    width = newWidth;
    height = newHeight;
    bitsPerPixel = newBitsPerPixel;
    stride = paddedRow;
    return true;
}

} // namespace orblane
