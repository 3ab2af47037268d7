#pragma once

#include "dicom/Calibration.h"
#include "dicom/OverlayPlanes.h"
#include "dicom/UltrasoundRegions.h"

#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

// What the header says that the viewer draws over an image: the calibration and ultrasound regions its measurements
// are taken with, and its overlay planes. Read once while the file is walked and kept with its images, so that
// measuring or showing an overlay never maps the file again.
struct MarkingFacts
{
    // The first frame's, and every frame's where no frame has a calibration of its own.
    Calibration calibration;
    // An enhanced image whose frames' Pixel Measures differ: each frame's own (from 0); else empty.
    std::vector<Calibration> frameCalibrations;
    std::vector<UltrasoundRegion> regions;

    // Frame `frame` (from 0): its own calibration where it has one, else the image's.
    const Calibration& CalibrationOfFrame(int frame) const noexcept
    {
        return frame >= 0 && static_cast<std::size_t>(frame) < frameCalibrations.size()
                   ? frameCalibrations[static_cast<std::size_t>(frame)]
                   : calibration;
    }
    std::vector<OverlayPlane> overlays;
};

// The facts of the file's first image (its calibrations frame by frame). Reads the mapping: call it inside the caller's
// guard. Throws std::bad_alloc.
MarkingFacts ReadMarkingFacts(const DicomDataFileIO& file, const TopLevelIndex& index);

} // namespace orblane
