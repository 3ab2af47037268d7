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
    try
    {
        storage = std::make_unique_for_overwrite<std::uint32_t[]>(paddedRow / 4 * static_cast<std::size_t>(newHeight));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    platform::AdviseLargeBuffer(storage.get(), paddedRow * static_cast<std::size_t>(newHeight));
    width = newWidth;
    height = newHeight;
    bitsPerPixel = newBitsPerPixel;
    stride = paddedRow;
    return true;
}

} // namespace orblane
