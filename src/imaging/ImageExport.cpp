// Export of the display bitmap as JPEG or as a 24-bit Windows bitmap.
#include "imaging/CImageData.h"
#include "imaging/JpegBaseline.h"
#include "platform/AtomicFile.h"

#include <memory>
#include <new>
#include <vector>

namespace orblane {
namespace {

// Quality of exported JPEG files: high enough that a windowed grey image shows no visible blocking.
constexpr int kExportJpegQuality = 90;

void PutLittle16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLittle32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
    {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// BITMAPFILEHEADER + BITMAPINFOHEADER, then bottom-up rows of blue, green, red padded to 4 bytes.
bool EncodeBmp24(const DisplayBitmap& bitmap, std::vector<std::uint8_t>& out)
{
    constexpr std::size_t kHeaderBytes = 14 + 40;
    const auto width = static_cast<std::size_t>(bitmap.Width());
    const auto height = static_cast<std::size_t>(bitmap.Height());
    const std::size_t rowBytes = (width * 3 + 3) / 4 * 4;
    const std::size_t total = kHeaderBytes + rowBytes * height;
    if (total > 0xFFFFFFFFu)
    {
        return false;
    }
    out.assign(total, 0);
    std::uint8_t* header = out.data();
    header[0] = 'B';
    header[1] = 'M';
    PutLittle32(header + 2, static_cast<std::uint32_t>(total));
    PutLittle32(header + 10, kHeaderBytes);
    PutLittle32(header + 14, 40);
    PutLittle32(header + 18, static_cast<std::uint32_t>(width));
    PutLittle32(header + 22, static_cast<std::uint32_t>(height));
    PutLittle16(header + 26, 1);
    PutLittle16(header + 28, 24);
    PutLittle32(header + 34, static_cast<std::uint32_t>(rowBytes * height));
    PutLittle32(header + 38, 2835); // 72 dots per inch
    PutLittle32(header + 42, 2835);
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    for (std::size_t row = 0; row < height; ++row)
    {
        std::uint8_t* target = out.data() + kHeaderBytes + (height - 1 - row) * rowBytes;
        const std::uint8_t* source = bitmap.Row(static_cast<int>(row));
        for (std::size_t column = 0; column < width; ++column)
        {
            if (grey8)
            {
                target[3 * column] = target[3 * column + 1] = target[3 * column + 2] = source[column];
            }
            else
            {
                target[3 * column] = source[4 * column];
                target[3 * column + 1] = source[4 * column + 1];
                target[3 * column + 2] = source[4 * column + 2];
            }
        }
    }
    return true;
}

} // namespace

bool CImageData::SaveAs(const std::filesystem::path& path, int format) const noexcept
{
    if (Bitmap().IsNull() || (format != kImageFileJpeg && format != kImageFileBmp))
    {
        return false;
    }
    try
    {
        if (format == kImageFileBmp)
        {
            std::vector<std::uint8_t> encoded;
            return EncodeBmp24(Bitmap(), encoded) && platform::WriteFileAtomically(path, encoded);
        }
        std::uint8_t* data = nullptr;
        unsigned long size = 0;
        if (!EncodeJpeg(Bitmap(), kExportJpegQuality, IsMonochrome(description.photometric), data, size))
        {
            return false;
        }
        const std::unique_ptr<std::uint8_t, decltype(&FreeJpeg)> owned(data, &FreeJpeg);
        return platform::WriteFileAtomically(path, ByteView(data, size));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

} // namespace orblane
