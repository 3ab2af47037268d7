#pragma once

#include "dicom/PixelDescription.h"
#include "imaging/DecodedFrame.h"
#include "imaging/DisplayBitmap.h"
#include "imaging/ImageLimits.h"
#include "imaging/ViewState.h"
#include "imaging/WindowTable.h"
#include "platform/AtomicFile.h"
#include "platform/ErrorCode.h"
#include "platform/Point.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orblane {

struct MarkingFacts;

// Image file formats of SaveAs.
enum ImageFileFormat : int
{
    kImageFileBmp = 0,
    kImageFileJpeg = 1,
    kImageFilePng = 2,
};

// One displayable image as the tiles see it: a handle on its decoded frame (shared, and droppable when memory is
// short), the small view state that the tiles change (window, zoom, origin), and the display bitmap rebuilt from the
// two. Dropping the pixels keeps the view state, so an image decoded again looks as it did.
class CImageData
{
    struct BuildKey
    {
        explicit BuildKey() = default;
    };

public:
    explicit CImageData(BuildKey) {}

    // Builds the whole image, or answers null when it cannot be built. A bitmap or value buffer that cannot be
    // allocated sets `error` to OutOfMemory (the caller shows "11000" and goes on with its next image); other
    // failures are silent.
    static std::unique_ptr<CImageData> Build(const PixelDescription& description, Point frameInset,
                                             ErrorOutcome* error = nullptr) noexcept;
    // The same from a frame already decoded (on a worker thread, say); null when the bitmap cannot be had.
    static std::unique_ptr<CImageData> FromFrame(std::shared_ptr<const DecodedFrame> decoded, Point frameInset,
                                                 ErrorOutcome* error = nullptr) noexcept;
    // An image whose pixels cannot be shown (no decoder for its transfer syntax, a damaged frame): its tile shows
    // the texts and `reason` instead of pixels. Null only when memory is short.
    static std::unique_ptr<CImageData> Unshowable(const PixelDescription& description, Point frameInset,
                                                  std::u16string reason) noexcept;
    // Why the image shows no pixels; empty for an image that can be shown.
    const std::u16string& UnshownReason() const noexcept { return unshownReason; }
    // Turns a decoded image into one that cannot be shown (its file failed later); the view state stays.
    void MarkUnshowable(std::u16string reason) noexcept;

    void SetText(int index, std::u16string text);
    const std::u16string& GetText(int index) const noexcept;

    // Stored sample -> modality value (rescale, sign), truncated to an integer.
    std::int32_t ToModalityValue(std::uint32_t sample) const noexcept;
    static std::uint32_t YbrToRgb(int y, int cb, int cr) noexcept;
    // The display pixel of one of Values().
    std::uint32_t GrayPixel(std::int32_t displayValue) const noexcept;

    // The window, the value range and Values() are display values: modality values, except where the rescale cannot
    // be held in integers (see ValueScale), and then the stored values. What a person reads or chooses (the file's
    // window, the presets, the overlay's W/L) is in modality units, through these.
    struct ModalityWindow
    {
        double centre = 0.0;
        double width = 0.0;
    };
    const ValueScale& Scale() const noexcept { return scale; }
    ModalityWindow WindowInModality() const noexcept;
    // SetWindow in modality units: the nearest window the display values can hold.
    void SetModalityWindow(double centre, double width) noexcept;

    // A contrast drag. Shown through the VOI LUT, the image first switches to the window that spans the LUT's input
    // range, centred on its midpoint, and the drag starts from there.
    void ChangeWindow(std::int32_t dx, std::int32_t dy, bool commit, std::int32_t widthDivisor,
                      std::int32_t centreDivisor) noexcept;
    // Back to the file's first display function: its window, else its VOI LUT, else the values present.
    void ResetWindow() noexcept;
    // Shows the image under this window (a preset) and makes it the base of the next drag; a width below 1 is 1.
    void SetWindow(std::int32_t centre, std::int32_t width) noexcept;
    // Shows grey images dark for light: a view flag like the window, kept while the pixels are dropped. Colour
    // images are inverted where they are drawn.
    void SetInverted(bool invert) noexcept;
    bool Inverted() const noexcept { return inverted; }
    // Shows the image through the file's VOI LUT (true) or through the window (false). Answers whether the image is
    // now shown as asked: an image without a VOI LUT can only be windowed.
    bool UseVoiLut(bool use) noexcept;
    bool UsesVoiLut() const noexcept { return usingVoiLut; }
    bool HasVoiLut() const noexcept { return !voiLut.Empty(); }
    void RepaintWindowed() noexcept;

    void FitTo(std::int32_t w, std::int32_t h) noexcept { view.FitTo(w, h); }
    void SetZoom(double z) noexcept { view.SetZoom(z); }
    void UpdateDisplaySize() noexcept { view.UpdateDisplaySize(); }
    double GetZoom() const noexcept { return view.Zoom(); }
    double GetFitScale() const noexcept { return view.FitScale(); }
    Point GetOrigin() const noexcept { return view.Origin(); }
    void SetOrigin(std::int32_t x, std::int32_t y) noexcept { view.SetOrigin(x, y); }
    void MoveOrigin(std::int32_t dx, std::int32_t dy) noexcept { view.MoveOrigin(dx, dy); }

    // Writes the display bitmap as it is now (format kImageFileJpeg, kImageFilePng or kImageFileBmp). Answers
    // whether the file was written; the target is replaced only by a complete file, never left half-written.
    bool SaveAs(const std::filesystem::path& path, int format,
                platform::WriteDurability durability = platform::WriteDurability::Flushed) const noexcept;
    // The same with marks drawn over a 32-bit copy of what is shown (measurements, overlay planes) before it is
    // written; the image's own bitmap is left as it is.
    bool SaveAs(const std::filesystem::path& path, int format, const std::function<void(DisplayBitmap&)>& drawOver,
                platform::WriteDurability durability = platform::WriteDurability::Flushed) const noexcept;

    // What the file's header says for measuring and for its overlay planes; null where the walk read nothing.
    void SetMarking(std::shared_ptr<const MarkingFacts> facts) noexcept { marking = std::move(facts); }
    const MarkingFacts* Marking() const noexcept { return marking.get(); }

    // Lets go of the decoded frame and the display bitmap; window, zoom and origin stay. AttachFrame gives the image
    // its pixels again (a frame decoded anew from the same source) and repaints it under the kept window.
    void DropPixels() noexcept;
    bool HasPixels() const noexcept { return frame != nullptr; }
    // The bytes the pixels hold now (values, colour pixels, display bitmap, pixel table): what dropping them frees.
    std::size_t PixelBytes() const noexcept;
    bool AttachFrame(std::shared_ptr<const DecodedFrame> decoded) noexcept;

    const DisplayBitmap& Bitmap() const noexcept;
    const PixelDescription& Description() const noexcept { return description; }
    std::span<const std::int32_t> Values() const noexcept;
    const ViewState& View() const noexcept { return view; }
    std::int32_t DisplayWidth() const noexcept { return view.DisplayWidth(); }
    std::int32_t DisplayHeight() const noexcept { return view.DisplayHeight(); }
    std::int32_t WindowCentre() const noexcept { return window.centre; }
    std::int32_t WindowWidth() const noexcept { return window.width; }
    std::int32_t ValueMin() const noexcept { return valueMin; }
    std::int32_t ValueMax() const noexcept { return valueMax; }
    // The modality values that occur in the image (not the range its stored bits could give).
    std::int32_t PresentMin() const noexcept { return presentMin; }
    std::int32_t PresentMax() const noexcept { return presentMax; }
    const WindowTable& Table() const noexcept { return windowTable; }

private:
    void RebuildPixelTable() noexcept;
    void Redisplay() noexcept;
    // Grey 0..255 of a display value before any inversion: through the VOI LUT or the window.
    std::uint32_t GreyOf(std::int32_t displayValue) const noexcept;
    // MONOCHROME1 and a Presentation LUT Shape of INVERSE each invert; both together cancel.
    bool DisplaysInverted() const noexcept
    {
        return ((description.photometric == PhotometricKind::Monochrome1) != description.presentationInverse) !=
               inverted;
    }

    // The window in display values (`window`, the base of a drag) and the modality window it stands for: under a
    // rescale that integers cannot hold, a window given in modality units (the file's, a preset) is shown and told
    // exactly as given, not as the nearest stored steps.
    void ShowWindow(std::int32_t centre, std::int32_t width, ModalityWindow exact) noexcept;
    ModalityWindow ModalityOf(std::int32_t centre, std::int32_t width) const noexcept;
    // The file's window (modality units), or without one the display values present.
    void PlaceFileWindow() noexcept;

    // The attributes as built (planes cleared), kept apart from the frame so that they outlive dropped pixels. Its
    // file window is in modality units where the file has one, else the display values present.
    PixelDescription description;
    std::shared_ptr<const DecodedFrame> frame;
    std::shared_ptr<const MarkingFacts> marking;
    // Monochrome images only: the windowed picture of the frame's values. Colour images show the frame's own pixels.
    DisplayBitmap bitmap;
    ViewState view;
    WindowState window;
    ModalityWindow exactWindow;
    std::u16string texts[2];
    std::u16string unshownReason;
    WindowTable windowTable;
    std::int32_t valueMin = 0;
    std::int32_t valueMax = 255;
    std::int32_t presentMin = 0;
    std::int32_t presentMax = 255;
    ValueScale scale;
    bool inverted = false;
    // Owned copies of the file's LUTs (the frame may be dropped; the description's views died with the file).
    Lut modalityLut;
    Lut voiLut;
    bool usingVoiLut = false;
    // Whether the file gave a window of its own; without one, the default window spans the values present.
    bool fileHasWindow = false;

    // Whole display pixels (or grey bytes for an 8-bit bitmap) for every modality value in [lutLow, lutLow + size),
    // rebuilt at every window change, so that repainting is one load per pixel.
    std::int32_t lutLow = 0;
    std::vector<std::uint32_t> pixelTable;
};

} // namespace orblane
