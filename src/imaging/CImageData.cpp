#include "imaging/CImageData.h"

#include "imaging/cache/ImageBytes.h"

#include "imaging/ParallelRows.h"
#include "imaging/ViewMath.h"
#include "platform/Saturate.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace orblane {
namespace {

// A table of display pixels covers the modality values that occur in the image; beyond this many distinct values
// (only 32-bit data with a wide range) each pixel is looked up through the window arithmetic instead.
constexpr std::int64_t kMaxPixelTableEntries = std::int64_t{1} << 22;

// One row through the pixel table. Everything arrives by value: a stored pixel cannot alias the bounds or the table
// address, so the loop keeps them in registers instead of reloading them after every store.
template <typename Pixel>
void MapThroughTable(const std::int32_t* in, Pixel* out, std::size_t count, const std::uint32_t* table,
                     std::uint32_t low) noexcept
{
    // Four look-ups before their four stores: the loads need not wait to learn that no store went to the table.
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4)
    {
        const std::uint32_t a = table[static_cast<std::uint32_t>(in[k]) - low];
        const std::uint32_t b = table[static_cast<std::uint32_t>(in[k + 1]) - low];
        const std::uint32_t c = table[static_cast<std::uint32_t>(in[k + 2]) - low];
        const std::uint32_t d = table[static_cast<std::uint32_t>(in[k + 3]) - low];
        out[k] = static_cast<Pixel>(a);
        out[k + 1] = static_cast<Pixel>(b);
        out[k + 2] = static_cast<Pixel>(c);
        out[k + 3] = static_cast<Pixel>(d);
    }
    for (; k < count; ++k)
    {
        out[k] = static_cast<Pixel>(table[static_cast<std::uint32_t>(in[k]) - low]);
    }
}

const DisplayBitmap kNoBitmap;

std::int32_t RoundToInt32(double value) noexcept
{
    return TruncToInt32(std::nearbyint(value));
}

// A window in modality units as the display values of `scale` hold it: the nearest stored steps.
WindowPreset DisplayWindowOf(const ValueScale& scale, double centre, double width) noexcept
{
    if (scale.Identity())
    {
        return {RoundToInt32(centre), std::max(RoundToInt32(width), 1)};
    }
    return {RoundToInt32((centre - scale.intercept) / scale.slope),
            std::max(RoundToInt32(width / std::fabs(scale.slope)), 1)};
}

} // namespace

std::unique_ptr<CImageData> CImageData::Build(const PixelDescription& source, Point inset, ErrorOutcome* error) noexcept
{
    return FromFrame(DecodeFrameOf(source, error), inset, error);
}

std::unique_ptr<CImageData> CImageData::FromFrame(std::shared_ptr<const DecodedFrame> decoded, Point inset,
                                                  ErrorOutcome* error) noexcept
{
    if (!decoded)
    {
        return nullptr;
    }
    std::unique_ptr<CImageData> image(new (std::nothrow) CImageData(BuildKey{}));
    if (image == nullptr)
    {
        if (error != nullptr)
        {
            *error = {ErrorCode::OutOfMemory, 0};
        }
        return nullptr;
    }
    image->description = decoded->description;
    PixelDescription& d = image->description;
    // The source bytes belong to a file that is closed after the build.
    d.ForgetFileViews();
    image->valueMin = decoded->valueMin;
    image->valueMax = decoded->valueMax;
    image->presentMin = decoded->presentMin;
    image->presentMax = decoded->presentMax;
    image->scale = decoded->scale;
    try
    {
        image->modalityLut = decoded->modalityLut;
        image->voiLut = decoded->voiLut;
    }
    catch (const std::bad_alloc&)
    {
        if (error != nullptr)
        {
            *error = {ErrorCode::OutOfMemory, 0};
        }
        return nullptr;
    }
    image->fileHasWindow = d.fileWindowWidth > 0;
    if (!image->fileHasWindow && IsMonochrome(d.photometric))
    {
        // No window in the file (or a width below 1, which would show a flat image): the values actually present
        // span the grey scale, so that an image whose values fill a small part of the stored range is still seen.
        const std::int64_t span =
            std::max<std::int64_t>(static_cast<std::int64_t>(decoded->presentMax) - decoded->presentMin, 1);
        d.fileWindowWidth = ClampToInt32(span);
        d.fileWindowCentre = ClampToInt32(decoded->presentMin + span / 2);
    }
    image->usingVoiLut = !image->fileHasWindow && !image->voiLut.Empty();
    image->view = ViewState(inset);
    image->PlaceFileWindow();
    image->windowTable.Build(image->window.centre, image->window.width);
    if (!image->AttachFrame(std::move(decoded)))
    {
        if (error != nullptr)
        {
            *error = {ErrorCode::OutOfMemory, 0};
        }
        return nullptr;
    }
    return image;
}

bool CImageData::AttachFrame(std::shared_ptr<const DecodedFrame> decoded) noexcept
{
    if (!decoded)
    {
        return false;
    }
    frame = std::move(decoded);
    if (frame->IsMonochrome())
    {
        if (!bitmap.Create(frame->width, frame->height, frame->displayBits))
        {
            frame.reset();
            return false;
        }
        RebuildPixelTable();
        RepaintWindowed();
    }
    view.SetImageSize(frame->width, frame->height, description.aspectHorizontal, description.aspectVertical);
    return true;
}

std::unique_ptr<CImageData> CImageData::Unshowable(const PixelDescription& source, Point inset,
                                                   std::u16string reason) noexcept
{
    std::unique_ptr<CImageData> image(new (std::nothrow) CImageData(BuildKey{}));
    if (image == nullptr)
    {
        return nullptr;
    }
    image->description = source;
    image->description.ForgetFileViews();
    image->view = ViewState(inset);
    image->unshownReason = std::move(reason);
    return image;
}

void CImageData::MarkUnshowable(std::u16string reason) noexcept
{
    DropPixels();
    unshownReason = std::move(reason);
}

std::size_t CImageData::PixelBytes() const noexcept
{
    if (frame == nullptr)
    {
        return 0;
    }
    const auto bitmapBytes = [](const DisplayBitmap& b) {
        return b.IsNull() ? std::size_t{0} : b.Stride() * static_cast<std::size_t>(b.Height());
    };
    return ImageBytes(frame->valueCount, bitmapBytes(frame->colour), bitmapBytes(bitmap), pixelTable.capacity());
}

void CImageData::DropPixels() noexcept
{
    frame.reset();
    bitmap = DisplayBitmap{};
    pixelTable.clear();
    pixelTable.shrink_to_fit();
}

const DisplayBitmap& CImageData::Bitmap() const noexcept
{
    if (frame == nullptr)
    {
        return kNoBitmap;
    }
    return frame->IsMonochrome() ? bitmap : frame->colour;
}

std::span<const std::int32_t> CImageData::Values() const noexcept
{
    return frame != nullptr ? frame->Values() : std::span<const std::int32_t>{};
}

void CImageData::SetText(int index, std::u16string text)
{
    if (index == 1 || index == 2)
    {
        texts[index - 1] = std::move(text);
    }
}

const std::u16string& CImageData::GetText(int index) const noexcept
{
    return texts[index == 2 ? 1 : 0];
}

std::int32_t CImageData::ToModalityValue(std::uint32_t sample) const noexcept
{
    return ModalityValueOf(description, sample, &modalityLut);
}

std::uint32_t CImageData::YbrToRgb(int y, int cb, int cr) noexcept
{
    // Full-range YCbCr (PS3.3 C.7.6.3.1.2, JFIF's equations).
    const auto channel = [](double v) -> std::uint32_t {
        if (v > 255.0)
        {
            return 255;
        }
        if (v < 0.0)
        {
            return 0;
        }
        return static_cast<std::uint32_t>(v);
    };
    const double red = y + 1.402 * (cr - 128);
    const double green = y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128);
    const double blue = y + 1.772 * (cb - 128);
    return MakeDisplayPixel(channel(red), channel(green), channel(blue));
}

std::uint32_t CImageData::GreyOf(std::int32_t displayValue) const noexcept
{
    std::int32_t modalityValue = displayValue;
    if (!scale.Identity())
    {
        const double modality = scale.ToModality(displayValue);
        if (!usingVoiLut || voiLut.Empty())
        {
            // The window's own rule (WindowTable) on the modality axis, so that a negative slope shows the high
            // modality values bright as any other image does.
            const ModalityWindow shown = WindowInModality();
            const double k = modality - (shown.centre - shown.width / 2.0);
            if (k <= 0.0)
            {
                return 0;
            }
            if (k >= shown.width)
            {
                return 255;
            }
            return static_cast<std::uint32_t>(std::min(255.0, std::floor(k * 255.0 / shown.width)));
        }
        modalityValue = TruncToInt32(modality);
    }
    if (!usingVoiLut || voiLut.Empty())
    {
        return windowTable.Lookup(modalityValue);
    }
    // The LUT's output range, whatever its entry depth, is the display's 0..255 (PS3.3 C.11.2.1.1).
    const std::uint64_t top = (std::uint64_t{1} << voiLut.bitsPerEntry) - 1;
    const std::uint64_t entry = std::min<std::uint64_t>(voiLut.Lookup(modalityValue), top);
    return static_cast<std::uint32_t>(entry * 255 / top);
}

std::uint32_t CImageData::GrayPixel(std::int32_t displayValue) const noexcept
{
    if (!IsMonochrome(description.photometric))
    {
        return MakeDisplayPixel(0, 0, 0);
    }
    const std::uint32_t grey = GreyOf(displayValue);
    const std::uint32_t shown = DisplaysInverted() ? 255 - grey : grey;
    return MakeDisplayPixel(shown, shown, shown);
}

void CImageData::RebuildPixelTable() noexcept
{
    pixelTable.clear();
    if (frame == nullptr)
    {
        return;
    }
    const std::int64_t size = static_cast<std::int64_t>(frame->presentMax) - frame->presentMin + 1;
    // More entries than the image has pixels cost more to fill and keep than converting each pixel: a file of many
    // small frames with a wide value range (an RT dose) would otherwise hold megabytes of table per frame.
    if (size <= 0 || size > kMaxPixelTableEntries || static_cast<std::uint64_t>(size) > frame->valueCount)
    {
        return;
    }
    try
    {
        pixelTable.resize(static_cast<std::size_t>(size));
    }
    catch (const std::bad_alloc&)
    {
        pixelTable.clear();
        return;
    }
    lutLow = frame->presentMin;
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    const bool flip = DisplaysInverted();
    const auto pixelOf = [&](std::uint32_t grey) {
        std::uint32_t shown = flip ? 255 - grey : grey;
        if (!IsMonochrome(description.photometric))
        {
            shown = 0;
        }
        return grey8 ? shown : MakeDisplayPixel(shown, shown, shown);
    };
    if ((usingVoiLut && !voiLut.Empty()) || !scale.Identity())
    {
        // Through the LUT or the rescale: one look-up per distinct value present, only when the display function
        // changes.
        for (std::int64_t k = 0; k < size; ++k)
        {
            pixelTable[static_cast<std::size_t>(k)] = pixelOf(GreyOf(static_cast<std::int32_t>(lutLow + k)));
        }
        return;
    }
    const std::int64_t width = windowTable.EntryCount() - 1;
    if (width <= 0)
    {
        std::fill(pixelTable.begin(), pixelTable.end(), pixelOf(255));
        return;
    }
    // Grey g starts at the smallest k with trunc(k * 255 / w) >= g, that is ceil(g * w / 255): 256 runs of one value
    // each, filled without a division per entry.
    const std::int64_t offset = windowTable.FirstValue() - lutLow;
    const auto indexOfK = [&](std::int64_t k) { return std::clamp<std::int64_t>(k + offset, 0, size); };
    for (std::int64_t g = 0; g < 256; ++g)
    {
        const std::int64_t begin = g == 0 ? 0 : indexOfK((g * width + 254) / 255);
        const std::int64_t end = g == 255 ? size : indexOfK(((g + 1) * width + 254) / 255);
        if (begin < end)
        {
            std::fill(pixelTable.begin() + begin, pixelTable.begin() + end, pixelOf(static_cast<std::uint32_t>(g)));
        }
    }
}

void CImageData::RepaintWindowed() noexcept
{
    if (frame == nullptr || !frame->IsMonochrome() || !frame->hadPlane0 || bitmap.IsNull() || frame->valueCount == 0)
    {
        return;
    }
    const std::int32_t* values = frame->values.get();
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixelTable.empty())
    {
        for (int row = 0; row < height; ++row)
        {
            const std::int32_t* in = values + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
            for (int column = 0; column < width; ++column)
            {
                const std::uint32_t pixel = GrayPixel(in[column]);
                if (grey8)
                {
                    bitmap.Row(row)[column] = static_cast<std::uint8_t>(pixel & 0xFFu);
                }
                else
                {
                    bitmap.Pixels32(row)[column] = pixel;
                }
            }
        }
        return;
    }
    const std::uint32_t* table = pixelTable.data();
    const std::uint32_t low = static_cast<std::uint32_t>(lutLow);
    ForRowsInParallel(height, pixels, [&](int firstRow, int endRow) noexcept {
        const std::size_t columns = static_cast<std::size_t>(width);
        for (int row = firstRow; row < endRow; ++row)
        {
            const std::int32_t* in = values + static_cast<std::size_t>(row) * columns;
            if (grey8)
            {
                MapThroughTable(in, bitmap.Row(row), columns, table, low);
            }
            else
            {
                MapThroughTable(in, bitmap.Pixels32(row), columns, table, low);
            }
        }
    });
}

void CImageData::Redisplay() noexcept
{
    windowTable.Build(window.centre, window.width);
    RebuildPixelTable();
    RepaintWindowed();
}

void CImageData::SetWindow(std::int32_t centre, std::int32_t width) noexcept
{
    const std::int32_t shownWidth = width < 1 ? 1 : width;
    ShowWindow(centre, shownWidth, ModalityOf(centre, shownWidth));
}

void CImageData::ShowWindow(std::int32_t centre, std::int32_t width, ModalityWindow exact) noexcept
{
    if (usingVoiLut)
    {
        UseVoiLut(false);
    }
    window.Reset(centre, width);
    exactWindow = exact;
    windowTable.Build(window.centre, window.width);
    RebuildPixelTable();
    RepaintWindowed();
}

CImageData::ModalityWindow CImageData::ModalityOf(std::int32_t centre, std::int32_t width) const noexcept
{
    return {scale.ToModality(centre), static_cast<double>(width) * std::fabs(scale.slope)};
}

CImageData::ModalityWindow CImageData::WindowInModality() const noexcept
{
    return scale.Identity() ? ModalityOf(window.centre, window.width) : exactWindow;
}

void CImageData::SetModalityWindow(double centre, double width) noexcept
{
    const WindowPreset shown = DisplayWindowOf(scale, centre, width);
    const bool exact = !scale.Identity() && std::isfinite(centre) && std::isfinite(width) && width > 0.0;
    ShowWindow(shown.centre, shown.width,
               exact ? ModalityWindow{centre, width} : ModalityOf(shown.centre, shown.width));
}

void CImageData::PlaceFileWindow() noexcept
{
    const PixelDescription& d = description;
    if (fileHasWindow && !scale.Identity())
    {
        // The file's window is in modality units: shown as it is, held in display values for the drag. Its
        // decimals count once the slope is fractional (a width of 1.5 over a slope of 0.01 is 150 stored steps).
        const bool written = d.fileWindowWidthValue > 0.0;
        const double centre = written ? d.fileWindowCentreValue : d.fileWindowCentre;
        const double width = written ? d.fileWindowWidthValue : d.fileWindowWidth;
        const WindowPreset shown = DisplayWindowOf(scale, centre, width);
        window.Reset(shown.centre, shown.width);
        exactWindow = {centre, width};
        return;
    }
    window.Reset(d.fileWindowCentre, d.fileWindowWidth);
    exactWindow = ModalityOf(window.centre, window.width);
}

void CImageData::SetInverted(bool invert) noexcept
{
    if (invert == inverted)
    {
        return;
    }
    inverted = invert;
    RebuildPixelTable();
    RepaintWindowed();
}

void CImageData::ChangeWindow(std::int32_t dx, std::int32_t dy, bool commit, std::int32_t widthDivisor,
                              std::int32_t centreDivisor) noexcept
{
    if (usingVoiLut)
    {
        UseVoiLut(false);
    }
    // Under a negative slope the display values run against the modality values: dragging the same way moves the
    // modality window the same way as on any other image.
    const std::int32_t towards = scale.slope < 0.0 ? ClampToInt32(-static_cast<std::int64_t>(dy)) : dy;
    window.Drag(dx, towards, commit, widthDivisor, centreDivisor, description.bitsStored, valueMin, valueMax);
    exactWindow = ModalityOf(window.centre, window.width);
    Redisplay();
}

void CImageData::ResetWindow() noexcept
{
    usingVoiLut = !fileHasWindow && !voiLut.Empty();
    PlaceFileWindow();
    Redisplay();
}

bool CImageData::UseVoiLut(bool use) noexcept
{
    if (use && voiLut.Empty())
    {
        return false;
    }
    if (usingVoiLut && !use)
    {
        // Leaving the LUT for the window that spans its input range, centred on its midpoint.
        const auto entries = static_cast<std::int64_t>(voiLut.entries.size());
        const ModalityWindow range{static_cast<double>(voiLut.firstValue + entries / 2), static_cast<double>(entries)};
        const WindowPreset shown = DisplayWindowOf(scale, range.centre, range.width);
        window.Reset(shown.centre, shown.width);
        exactWindow = scale.Identity() ? ModalityOf(shown.centre, shown.width) : range;
    }
    usingVoiLut = use;
    Redisplay();
    return true;
}

} // namespace orblane
