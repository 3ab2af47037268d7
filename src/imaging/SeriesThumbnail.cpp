#include "imaging/SeriesThumbnail.h"

#include "imaging/CImageData.h"
#include "imaging/PngEncoder.h"
#include "imaging/ThumbnailDecode.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace orblane {

bool IconBitmap(const IconImage& icon, DisplayBitmap& out) noexcept
{
    if (icon.rows == 0 || icon.columns == 0 || icon.grey.size() < std::size_t{icon.rows} * icon.columns ||
        !out.Create(icon.columns, icon.rows, 8))
    {
        return false;
    }
    for (int row = 0; row < icon.rows; ++row)
    {
        std::memcpy(out.Row(row), icon.grey.data() + static_cast<std::size_t>(row) * icon.columns, icon.columns);
    }
    return true;
}

FitSize SizeToFit(int width, int height, int size) noexcept
{
    if (width <= 0 || height <= 0 || size <= 0)
    {
        return {};
    }
    const double scale = std::min(1.0, static_cast<double>(size) / std::max(width, height));
    return {std::max(1, static_cast<int>(width * scale + 0.5)), std::max(1, static_cast<int>(height * scale + 0.5))};
}

bool ReduceToFit(const DisplayBitmap& source, int size, DisplayBitmap& out) noexcept
{
    const FitSize fit = SizeToFit(source.Width(), source.Height(), size);
    return !source.IsNull() && fit.width > 0 && ReduceTo(source, fit.width, fit.height, out);
}

bool ReduceTo(const DisplayBitmap& source, int targetWidth, int targetHeight, DisplayBitmap& out) noexcept
{
    const int width = source.Width();
    const int height = source.Height();
    if (source.IsNull() || width <= 0 || height <= 0 || targetWidth <= 0 || targetHeight <= 0)
    {
        return false;
    }
    const bool grey = source.BitsPerPixel() == 8;
    if (!out.Create(targetWidth, targetHeight, source.BitsPerPixel()))
    {
        return false;
    }
    const int channels = grey ? 1 : 4;
    for (int y = 0; y < targetHeight; ++y)
    {
        const int y0 = static_cast<int>(static_cast<long long>(y) * height / targetHeight);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(y + 1) * height / targetHeight));
        std::uint8_t* target = out.Row(y);
        for (int x = 0; x < targetWidth; ++x)
        {
            const int x0 = static_cast<int>(static_cast<long long>(x) * width / targetWidth);
            const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long long>(x + 1) * width / targetWidth));
            unsigned sums[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
            {
                const std::uint8_t* row = source.Row(sy);
                for (int sx = x0; sx < x1; ++sx)
                {
                    for (int c = 0; c < channels; ++c)
                    {
                        sums[c] += row[sx * channels + c];
                    }
                }
            }
            const unsigned count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < channels; ++c)
            {
                target[x * channels + c] = static_cast<std::uint8_t>((sums[c] + count / 2) / count);
            }
            if (!grey)
            {
                target[x * channels + 3] = 0xFF;
            }
        }
    }
    return true;
}

bool MakeSeriesThumbnail(const MediumSeries& medium, const SeriesEntry& series, DisplayBitmap& out) noexcept
{
    if (series.icon)
    {
        return IconBitmap(*series.icon, out);
    }
    if (series.kind != SeriesKind::Images || series.images.empty())
    {
        return false;
    }
    try
    {
        const SeriesImage& middle = series.images[series.MiddleImage()];
        const std::string folder = medium.folder.empty() ? std::string() : medium.folder.string() + "/";
        std::unique_ptr<DicomDataFileIO> file =
            middle.path.empty() ? std::make_unique<DicomDataFileIO>(middle.fileId, folder, std::u16string())
                                : DicomDataFileIO::ForPath(middle.path, middle.fileId, std::u16string());
        return DecodeThumbnail(*file, kThumbnailSize, out) != ThumbnailRoute::Failed;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

bool WriteBitmapPng(const DisplayBitmap& bitmap, const std::filesystem::path& path) noexcept
{
    try
    {
        std::vector<std::uint8_t> png;
        return EncodePng(bitmap, bitmap.BitsPerPixel() == 8, png) && platform::WriteFileAtomically(path, png);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

} // namespace orblane
