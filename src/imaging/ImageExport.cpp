// Export of the display bitmap as JPEG, as PNG or as a 24-bit Windows bitmap.
#include "imaging/CImageData.h"
#include "imaging/JpegBaseline.h"
#include "imaging/PngEncoder.h"
#include "platform/AtomicFile.h"

#include <zlib.h>

#include <cstring>
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
        // One loop for each kind of bitmap: the test inside the loop cost about half of the write.
        if (grey8)
        {
            for (std::size_t column = 0; column < width; ++column, target += 3)
            {
                const std::uint8_t grey = source[column];
                target[0] = grey;
                target[1] = grey;
                target[2] = grey;
            }
            continue;
        }
        for (std::size_t column = 0; column < width; ++column, target += 3, source += 4)
        {
            target[0] = source[0];
            target[1] = source[1];
            target[2] = source[2];
        }
    }
    return true;
}

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void PutChunk(std::vector<std::uint8_t>& out, const char type[5], const std::uint8_t* data, std::size_t size)
{
    PutBig32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    // The CRC covers the type and the data (PNG, ISO/IEC 15948 5.3).
    const auto crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(size + 4));
    PutBig32(out, static_cast<std::uint32_t>(crc));
}

} // namespace

// 8-bit grey (colour type 0) for grey images, 8-bit RGB (colour type 2) for the rest; every row with the Sub filter,
// which suits the smooth neighbours of medical images.
bool EncodePng(const DisplayBitmap& bitmap, bool grey, std::vector<std::uint8_t>& out)
{
    const auto width = static_cast<std::size_t>(bitmap.Width());
    const auto height = static_cast<std::size_t>(bitmap.Height());
    const std::size_t channels = grey ? 1 : 3;
    const std::size_t rowBytes = 1 + width * channels;
    if (height > 0x7FFFFFFFu / rowBytes)
    {
        return false;
    }
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    std::vector<std::uint8_t> raw(rowBytes * height);
    for (std::size_t row = 0; row < height; ++row)
    {
        const std::uint8_t* source = bitmap.Row(static_cast<int>(row));
        std::uint8_t* target = raw.data() + row * rowBytes;
        target[0] = 1;
        std::uint8_t* pixels = target + 1;
        for (std::size_t column = 0; column < width; ++column)
        {
            if (grey8)
            {
                pixels[column] = source[column];
            }
            else if (grey)
            {
                // A grey RGB32 pixel holds the same value in its three bytes.
                pixels[column] = source[4 * column];
            }
            else
            {
                pixels[3 * column] = source[4 * column + 2];
                pixels[3 * column + 1] = source[4 * column + 1];
                pixels[3 * column + 2] = source[4 * column];
            }
        }
        // Sub: each byte minus the byte of the pixel to its left, from the right end so that the left is unchanged.
        for (std::size_t k = width * channels; k-- > channels;)
        {
            pixels[k] = static_cast<std::uint8_t>(pixels[k] - pixels[k - channels]);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
    {
        return false;
    }
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.assign(std::begin(kSignature), std::end(kSignature));
    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, static_cast<std::uint8_t>(grey ? 0 : 2), 0, 0, 0});
    PutChunk(out, "IHDR", header.data(), header.size());
    PutChunk(out, "IDAT", packed.data(), packedSize);
    PutChunk(out, "IEND", nullptr, 0);
    return true;
}

namespace {

// A copy of a colour bitmap with every component inverted, as the tile shows an inverted colour image.
bool InvertedCopy(const DisplayBitmap& source, DisplayBitmap& copy) noexcept
{
    if (!copy.Create(source.Width(), source.Height(), source.BitsPerPixel()))
    {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(source.Width()) * (source.BitsPerPixel() == 8 ? 1u : 4u);
    for (int row = 0; row < source.Height(); ++row)
    {
        const std::uint8_t* from = source.Row(row);
        std::uint8_t* to = copy.Row(row);
        for (std::size_t k = 0; k < rowBytes; ++k)
        {
            to[k] = static_cast<std::uint8_t>(~from[k]);
        }
        if (source.BitsPerPixel() == 32)
        {
            // The fourth byte of an RGB32 pixel stays 0xFF.
            for (std::size_t k = 3; k < rowBytes; k += 4)
            {
                to[k] = 0xFF;
            }
        }
    }
    return true;
}

// A 32-bit copy of a bitmap (an 8-bit grey one widened), for drawing coloured marks on.
bool ColourCopy(const DisplayBitmap& source, DisplayBitmap& copy) noexcept
{
    if (!copy.Create(source.Width(), source.Height(), 32))
    {
        return false;
    }
    for (int row = 0; row < source.Height(); ++row)
    {
        std::uint32_t* to = copy.Pixels32(row);
        if (source.BitsPerPixel() == 32)
        {
            std::memcpy(to, source.Row(row), static_cast<std::size_t>(source.Width()) * 4u);
            continue;
        }
        const std::uint8_t* from = source.Row(row);
        for (int x = 0; x < source.Width(); ++x)
        {
            to[x] = MakeDisplayPixel(from[x], from[x], from[x]);
        }
    }
    return true;
}

} // namespace

bool CImageData::SaveAs(const std::filesystem::path& path, int format,
                        platform::WriteDurability durability) const noexcept
{
    return SaveAs(path, format, {}, durability);
}

bool CImageData::SaveAs(const std::filesystem::path& path, int format,
                        const std::function<void(DisplayBitmap&)>& drawOver,
                        platform::WriteDurability durability) const noexcept
{
    if (Bitmap().IsNull() || (format != kImageFileJpeg && format != kImageFileBmp && format != kImageFilePng))
    {
        return false;
    }
    // Grey images carry their inversion in their bitmap; colour images share the decoder's pixels and are inverted
    // only where they are drawn, so the file is written from an inverted copy: a save keeps what the user sees.
    DisplayBitmap invertedColour;
    if (inverted && !IsMonochrome(description.photometric) && !InvertedCopy(Bitmap(), invertedColour))
    {
        return false;
    }
    DisplayBitmap marked;
    if (drawOver)
    {
        // Marks are coloured: they are drawn on a 32-bit copy, and the file is written in colour.
        const DisplayBitmap& source = invertedColour.IsNull() ? Bitmap() : invertedColour;
        if (!ColourCopy(source, marked))
        {
            return false;
        }
        try
        {
            drawOver(marked);
        }
        catch (const std::bad_alloc&)
        {
            return false;
        }
    }
    const DisplayBitmap& shown = !marked.IsNull() ? marked : invertedColour.IsNull() ? Bitmap() : invertedColour;
    const bool grey = IsMonochrome(description.photometric) && marked.IsNull();
    try
    {
        if (format == kImageFileBmp)
        {
            std::vector<std::uint8_t> encoded;
            return EncodeBmp24(shown, encoded) && platform::WriteFileAtomically(path, encoded, durability);
        }
        if (format == kImageFilePng)
        {
            std::vector<std::uint8_t> encoded;
            return EncodePng(shown, grey, encoded) && platform::WriteFileAtomically(path, encoded, durability);
        }
        std::uint8_t* data = nullptr;
        unsigned long size = 0;
        if (!EncodeJpeg(shown, kExportJpegQuality, grey, data, size))
        {
            return false;
        }
        const std::unique_ptr<std::uint8_t, decltype(&FreeJpeg)> owned(data, &FreeJpeg);
        return platform::WriteFileAtomically(path, ByteView(data, size), durability);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

} // namespace orblane
