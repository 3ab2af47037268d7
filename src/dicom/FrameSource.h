#pragma once

#include "dicom/FrameIndex.h"
#include "dicom/PixelDescription.h"
#include "platform/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

// The attributes of image occurrence `occurrence` of a loaded file, its transfer syntax resolved.
PixelDescription ReadPixelDescription(const DicomDataFileIO& file, int occurrence);

// One image occurrence of a loaded file (each occurrence of Rows describes one) and where its frames lie: slices of
// a native value, or the fragments of an encapsulated one found through its offset tables.
struct MarkingFacts;

struct FrameSource
{
    // Planes and LUT views point into the file's mapping: valid only while the file is mapped.
    PixelDescription description;
    std::optional<FrameIndex> frames;
    // Native multi-frame data: the bytes of one frame (frame k starts at k times this); 0 for a single slice.
    std::uint64_t frameBytes = 0;
    // An enhanced image's frames each carry their own rescale and window (Pixel Value Transformation, Frame VOI
    // LUT), which replace the description's for that frame; empty for every other image.
    struct FrameValues
    {
        std::optional<double> rescaleIntercept;
        std::optional<double> rescaleSlope;
        std::optional<double> windowCentre;
        std::optional<double> windowWidth;
    };
    std::vector<FrameValues> frameValues;
    // Decodable: frames decode one by one; otherwise the occurrence is one image that cannot be shown.
    bool decodable = true;
    // The transfer syntax's name for people (its UID when the table lacks it), kept past the mapping.
    std::string syntaxName;
    // Why the file itself gives no image here (static text), for an occurrence that only stands for it; else null.
    const char* unshownReason = nullptr;
    // The calibration and overlay planes its images are drawn with (owned apart from the mapping); null until the
    // viewer's walk reads them.
    std::shared_ptr<const MarkingFacts> marking;

    // The description of one frame, its planes in the mapping (or in `joined` for a frame split over fragments:
    // the codecs read one buffer). The join reads the mapping under its own guard: when the medium fails under it,
    // `readFault` (if given) is set and the frame has no planes. Throws std::bad_alloc.
    PixelDescription Frame(int frame, std::vector<std::uint8_t>& joined, bool* readFault = nullptr) const;
    // Every view into the file dies with its mapping; the attributes stay for the next walk to check.
    void ForgetFileViews() noexcept;
};

// Whether the image build has a codec for a transfer syntax: the reading of the file does not know the codecs.
using CanDecodeSyntax = bool (*)(TransferSyntaxKind) noexcept;

// Reads the image occurrences of a mapped file (inside the caller's guard); answers the images they give. An
// occurrence whose syntax cannot be decoded ends the file, unless `keepUnshowable`: it then stands as one image.
// With `keepUnshowable`, a file whose pixel data gives no image at all (cut short, missing under Rows, or without
// the attributes of an image) is one image that cannot be shown, with the reason: never silently no image.
int ReadFrameSources(const DicomDataFileIO& file, const TopLevelIndex& index, CanDecodeSyntax canDecode,
                     bool keepUnshowable, std::vector<FrameSource>& sources);

// The step before the native codec for Explicit VR Big Endian data: fills out with the bytes of value from offset on,
// each word of wordBytes (1, 2, 4 or 8) reversed, so that the copy holds the little-endian value. Words are counted
// from the value's first byte, so a frame that starts inside a word still gets that word's other bytes; bytes of a
// word the value does not hold in full read as 0.
void SwapWordsToLittleEndian(ByteView value, std::size_t offset, std::size_t wordBytes,
                             std::span<std::uint8_t> out) noexcept;

} // namespace orblane
