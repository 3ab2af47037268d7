#pragma once

#include "dicom/PixelDescription.h"
#include "imaging/DisplayBitmap.h"
#include "platform/ErrorCode.h"
#include "platform/LargeBuffer.h"
#include "platform/Point.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace orblane {

// How a frame's display values give its modality values. The identity, except where integers cannot hold the rescale
// (a slope that is not whole, or values beyond the 32-bit range): the display values are then the signed stored
// values, so that no two stored values share one, and the window reaches them through the rescale in double.
struct ValueScale
{
    double slope = 1.0;
    double intercept = 0.0;

    bool Identity() const noexcept { return slope == 1.0 && intercept == 0.0; }
    double ToModality(double displayValue) const noexcept { return displayValue * slope + intercept; }
};

// Whether a monochrome frame of this description keeps its stored values and shows them through the rescale.
bool KeepsStoredValues(const PixelDescription& description) noexcept;

// One decoded frame, immutable once built: the modality value of every pixel of a monochrome image, or the display
// pixels of a colour one, with the value range. It holds no view state, so it can be shared, dropped when memory is
// short and decoded again, while the image that shows it keeps its window, zoom and pan.
struct DecodedFrame
{
    // The attributes the frame was built from; its planes are cleared (the source bytes belong to a closed file).
    PixelDescription description;
    // Whether the source had pixel data at all: an image without any is shown as its bitmap, never windowed.
    bool hadPlane0 = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Monochrome: one display value per pixel (see `scale`), rows top first. Not cleared when made: every build writes
    // each value.
    platform::LargeArray<std::int32_t> values;
    std::size_t valueCount = 0;
    // Colour: the display pixels themselves (32 bits); monochrome: empty.
    DisplayBitmap colour;
    // Bits per pixel of the display bitmap a monochrome frame is shown in: 8 for grey JPEG baseline data, else 32.
    int displayBits = 32;
    // Display values -> modality values.
    ValueScale scale;
    // The display values that occur, and the range that the stored bits and the rescale can give.
    std::int32_t presentMin = 0;
    std::int32_t presentMax = 0;
    std::int32_t valueMin = 0;
    std::int32_t valueMax = 255;
    // The file's Modality LUT and VOI LUT, copied out of the file (the description's views of them are cleared).
    Lut modalityLut;
    Lut voiLut;

    std::span<const std::int32_t> Values() const noexcept { return {values.get(), valueCount}; }
    bool IsMonochrome() const noexcept { return orblane::IsMonochrome(description.photometric); }

    // Stored sample -> display value: its modality value, or under a non-identity `scale` the signed sample.
    std::int32_t ToDisplayValue(std::uint32_t sample) const noexcept;
};

// Stored sample (its stored bits, shifted down) -> modality value: sign, then the Modality LUT where the image has
// one, else the rescale, saturated at the 32-bit range. Without `modalityLut` an image with one keeps its samples.
std::int32_t ModalityValueOf(const PixelDescription& description, std::uint32_t sample,
                             const Lut* modalityLut = nullptr) noexcept;

// Where the stored bits sit in their container: High Bit (0028,0102) names the top one (PS3.5 8.1.1). A High Bit that
// cannot hold Bits Stored below it, or lies outside the container, is taken as Bits Stored - 1.
unsigned StoredBitsShift(const PixelDescription& description) noexcept;

// Why a frame was not built, as the tile and the command line tell it.
enum class FrameFailure : std::uint8_t
{
    None,
    // A kind of frame this viewer does not decode (a transfer syntax without codec, a sample layout a codec refuses).
    Unsupported,
    // The frame's bytes are damaged or cut short.
    Damaged,
    OutOfMemory,
    // The medium failed under the read (SIGBUS in the mapping): the file is to be treated as unreadable.
    ReadFault,
};

struct FrameOutcome
{
    FrameFailure failure = FrameFailure::None;
    // A few words on what was found, for people (static text), or null: "3 components", "no palette".
    const char* reason = nullptr;
};

// Decodes one frame of `source` through the codec of its transfer syntax and builds its values or colour pixels.
// Answers null when the frame cannot be built; `error` then says OutOfMemory where memory was the reason, and
// `outcome` why. Every read of the source bytes is guarded on the thread that makes it (the fill of a large frame
// runs on two), so a medium that fails under the read gives ReadFault here and never leaves by a jump. A codec with
// threads of its own may use up to `codecThreads` for the frame (DecodeLimits::threads).
std::shared_ptr<const DecodedFrame> DecodeFrameOf(const PixelDescription& source, ErrorOutcome* error,
                                                  FrameOutcome* outcome = nullptr, unsigned codecThreads = 1) noexcept;

} // namespace orblane
