#pragma once

#include "dicom/SeriesModel.h"
#include "imaging/DisplayBitmap.h"

#include <filesystem>

namespace orblane {

// The longest side of a series thumbnail, as the DICOMDIR's largest icons are.
inline constexpr int kThumbnailSize = 128;

// The DICOMDIR's icon as an 8-bit grey bitmap; false when memory cannot be had.
bool IconBitmap(const IconImage& icon, DisplayBitmap& out) noexcept;
// The series' picture: the DICOMDIR's icon when it gives one (no image file is opened), else its middle image
// decoded at reduced size to fit kThumbnailSize (ThumbnailDecode.h), as the file's window shows it. False for a series
// with nothing to show.
bool MakeSeriesThumbnail(const MediumSeries& medium, const SeriesEntry& series, DisplayBitmap& out) noexcept;
// Reduces a display bitmap to fit size × size by averaging the source pixels each target pixel covers.
bool ReduceToFit(const DisplayBitmap& source, int size, DisplayBitmap& out) noexcept;
// The size an image of width × height is reduced to so that it fits size × size (never enlarged).
struct FitSize
{
    int width = 0;
    int height = 0;
};
FitSize SizeToFit(int width, int height, int size) noexcept;
// The same averaging to a size of the caller's (a reduced decode brought to the size its whole image would fit).
bool ReduceTo(const DisplayBitmap& source, int targetWidth, int targetHeight, DisplayBitmap& out) noexcept;
// Writes the bitmap as a PNG file (grey for an 8-bit bitmap); replaced only by a complete file.
bool WriteBitmapPng(const DisplayBitmap& bitmap, const std::filesystem::path& path) noexcept;

} // namespace orblane
