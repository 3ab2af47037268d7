#pragma once

#include "platform/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

// What a distance on the image stands for, as its header tells it. A projection image's Pixel Spacing may be
// measured at the detector, corrected for an estimated magnification or calibrated against an object of known size
// (PS3.3 10.7.1.3); saying which is part of the measurement.
enum class CalibrationBasis : std::uint8_t
{
    None,                   // no usable spacing: values in pixels
    CrossSectional,         // Pixel Spacing of a cross-sectional image: in the patient
    BasisUnknown,           // Pixel Spacing of a projection image without Imager Pixel Spacing
    Detector,               // Imager Pixel Spacing (or Pixel Spacing equal to it): at the detector's face
    MagnificationCorrected, // Imager Pixel Spacing divided by the estimated radiographic magnification
    Calibrated,             // Pixel Spacing calibrated by the user or the modality (Calibration Type, Description)
};

// The header's values the calibration depends on, as their texts stand (absent: none). Kept as texts so that a
// table of headers reads as the files hold them.
struct SpacingAttributes
{
    std::string modality;                              // (0008,0060), pad removed
    std::optional<std::string> pixelSpacing;           // (0028,0030) row spacing \ column spacing
    std::optional<std::string> imagerPixelSpacing;     // (0018,1164)
    std::optional<std::string> magnificationFactor;    // (0018,1114) Estimated Radiographic Magnification Factor
    std::optional<std::string> sourceToDetector;       // (0018,1110) Distance Source to Detector
    std::optional<std::string> sourceToPatient;        // (0018,1111) Distance Source to Patient
    std::optional<std::string> calibrationType;        // (0028,0A02) Pixel Spacing Calibration Type
    std::optional<std::string> calibrationDescription; // (0028,0A04) Pixel Spacing Calibration Description
};

// The spacing measurements use and the unit label shown beside every value.
struct Calibration
{
    CalibrationBasis basis = CalibrationBasis::None;
    // Millimetres between the centres of adjacent rows and of adjacent columns; 0 without spacing.
    double rowSpacing = 0.0;
    double columnSpacing = 0.0;
    // "mm", "mm (basis unknown)", "mm at detector", "mm, magnification corrected (estimated)",
    // "mm, calibrated (<description>)" or "px" (UTF-8; the viewer translates the fixed part).
    std::string label = "px";

    bool HasSpacing() const noexcept { return basis != CalibrationBasis::None; }
};

// The calibration of an image from its header alone. A spacing that is present but not two positive finite numbers
// makes the image uncalibrated ("px"): it is never replaced by a guess from what is left. Throws std::bad_alloc.
Calibration CalibrationOf(const SpacingAttributes& header);

// The attributes of frame `frame` (from 0) of the file's image (its first occurrence of Rows): top-level values, and
// for an enhanced image, where the top level gives no Pixel Spacing, the Pixel Measures of the frame's per-frame
// functional groups, else of the shared ones. Throws std::bad_alloc.
SpacingAttributes ReadSpacingAttributes(const DicomDataFileIO& file, const TopLevelIndex& index, int frame = 0);

// The same for the first `frameCount` frames at once, in one pass over the functional groups: one entry per frame
// that has per-frame functional groups (fewer than `frameCount` where the sequence is short), and none where the top
// level gives Pixel Spacing or the image has no per-frame groups. Throws std::bad_alloc.
std::vector<SpacingAttributes> ReadFrameSpacingAttributes(const DicomDataFileIO& file, const TopLevelIndex& index,
                                                          int frameCount);

// The fixed text of a basis (for "Calibrated" without its description).
const char* CalibrationBasisLabel(CalibrationBasis basis) noexcept;

} // namespace orblane
