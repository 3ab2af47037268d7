#pragma once

#include "imaging/DisplayBitmap.h"
#include "imaging/PixelDescription.h"
#include "imaging/WindowTable.h"
#include "platform/LargeBuffer.h"
#include "platform/Point.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orblane {

// Image file formats of SaveAs.
enum ImageFileFormat : int
{
    kImageFileBmp = 0,
    kImageFileJpeg = 1,
};

// Largest image the viewer builds (width × height). A 16384 × 16384 image needs 1 GiB for its bitmap and values;
// anything larger is refused, whatever a file claims.
inline constexpr std::uint64_t kMaxImagePixels = 16384ull * 16384ull;

// What the file's own bytes must justify before an image is allocated, so that a small hostile file cannot make the
// viewer allocate gigabytes. Uncompressed pixel data may be cut short (missing samples read as 0), but it must hold
// at least one sample for every kMinPixelDataShare pixels declared.
inline constexpr std::uint64_t kMinPixelDataShare = 16;
// A compressed stream describes at most this many pixels per byte of stream: baseline JPEG cannot go beyond it (a
// 1-bit DC code and a 1-bit end of block for each 8 x 8 block), and lossless JPEG (at least 1 bit a sample) stays
// far below it.
inline constexpr std::uint64_t kMaxPixelsPerCompressedByte = 256;

// The largest image that `byteCount` bytes of pixel data or compressed stream can justify, within kMaxImagePixels.
constexpr std::uint64_t MaxPixelsForStream(std::size_t byteCount) noexcept
{
    const std::uint64_t bytes = byteCount;
    return bytes >= kMaxImagePixels / kMaxPixelsPerCompressedByte ? kMaxImagePixels
                                                                  : bytes * kMaxPixelsPerCompressedByte;
}

// One displayable image: the modality value of every pixel, the display bitmap under the current window, and the
// view state that the tiles change. Built once from a PixelDescription whose planes must stay valid only during
// the build: afterwards an image never reads its source bytes again.
class CImageData
{
    struct BuildKey
    {
        explicit BuildKey() = default;
    };

public:
    explicit CImageData(BuildKey) {}

    // Builds the whole image, or answers null when it cannot be built. A bitmap or value buffer that cannot be
    // allocated raises "11000" (the caller goes on with its next image); other failures are silent.
    static std::unique_ptr<CImageData> Build(const PixelDescription& description, Point frameInset) noexcept;

    void SetText(int index, std::u16string text);
    const std::u16string& GetText(int index) const noexcept;

    // Stored sample -> modality value (rescale, sign), as used for every pixel and for the value range.
    std::int32_t ToModalityValue(std::uint32_t sample) const noexcept;
    static std::uint32_t YbrToRgb(int y, int cb, int cr) noexcept;
    std::uint32_t GrayPixel(std::int32_t modalityValue) const noexcept;

    void ChangeWindow(std::int32_t dx, std::int32_t dy, bool commit, std::int32_t widthDivisor,
                      std::int32_t centreDivisor) noexcept;
    void ResetWindow() noexcept;
    void RepaintWindowed() noexcept;

    void FitTo(std::int32_t w, std::int32_t h) noexcept;
    void SetZoom(double z) noexcept;
    void UpdateDisplaySize() noexcept;
    double GetZoom() const noexcept { return zoom; }
    double GetFitScale() const noexcept { return fitScale; }
    Point GetOrigin() const noexcept { return origin; }
    void SetOrigin(std::int32_t x, std::int32_t y) noexcept { origin = {x, y}; }
    void MoveOrigin(std::int32_t dx, std::int32_t dy) noexcept;

    // Writes the display bitmap as it is now (format kImageFileJpeg or kImageFileBmp). Answers whether the file was
    // written; the target is replaced only by a complete file, never left half-written.
    bool SaveAs(const std::filesystem::path& path, int format) const noexcept;

    const DisplayBitmap& Bitmap() const noexcept { return bitmap; }
    const PixelDescription& Description() const noexcept { return description; }
    std::span<const std::int32_t> Values() const noexcept { return {values.get(), valueCount}; }
    std::int32_t DisplayWidth() const noexcept { return displayWidth; }
    std::int32_t DisplayHeight() const noexcept { return displayHeight; }
    std::int32_t WindowCentre() const noexcept { return windowCentre; }
    std::int32_t WindowWidth() const noexcept { return windowWidth; }
    std::int32_t ValueMin() const noexcept { return valueMin; }
    std::int32_t ValueMax() const noexcept { return valueMax; }
    const WindowTable& Table() const noexcept { return windowTable; }

private:
    bool BuildNative() noexcept;
    bool BuildJpegBaseline() noexcept;
    bool BuildLossless() noexcept;
    bool AllocateBitmapAndValues(int width, int height) noexcept;
    // The bitmap (and, for grey images, the values and their windowed picture) from description.planes.
    bool FillFromSamples() noexcept;
    // Throws std::bad_alloc when the memory cannot be had.
    void AllocateValues(std::size_t count)
    {
        values = std::make_unique_for_overwrite<std::int32_t[]>(count);
        valueCount = count;
        platform::AdviseLargeBuffer(values.get(), count * sizeof(std::int32_t));
    }
    void FillMonochromeValues() noexcept;
    void FillColourPixels() noexcept;
    void ComputeValueRange() noexcept;
    void RebuildPixelTable() noexcept;

    // Width of one stored sample's container: Bits Allocated, or the lossless decoder's container.
    unsigned SampleBits() const noexcept { return sampleBits != 0 ? sampleBits : description.bitsAllocated; }

    PixelDescription description;
    unsigned sampleBits = 0;
    bool hadPlane0 = false;
    DisplayBitmap bitmap;
    // Not cleared when made: every build writes every value.
    std::unique_ptr<std::int32_t[]> values;
    std::size_t valueCount = 0;
    std::int32_t displayWidth = 0;
    std::int32_t displayHeight = 0;
    Point frameInset;
    Point origin;
    double zoom = 1.0;
    double fitScale = 1.0;
    std::u16string texts[2];
    WindowTable windowTable;
    std::int32_t windowCentre = 0;
    std::int32_t windowWidth = 0;
    std::int32_t baseCentre = 0;
    std::int32_t baseWidth = 0;
    std::int32_t valueMin = 0;
    std::int32_t valueMax = 255;

    // Whole display pixels (or grey bytes for an 8-bit bitmap) for every modality value in [lutLow, lutLow + size),
    // rebuilt at every window change, so that repainting is one load per pixel.
    std::int32_t lutLow = 0;
    std::vector<std::uint32_t> pixelTable;
    std::int32_t presentMin = 0;
    std::int32_t presentMax = 0;
};

} // namespace orblane
