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
    Calibration calibration;
    std::vector<UltrasoundRegion> regions;
    std::vector<OverlayPlane> overlays;
};

// The facts of the file's first image. Reads the mapping: call it inside the caller's guard. Throws std::bad_alloc.
MarkingFacts ReadMarkingFacts(const DicomDataFileIO& file, const TopLevelIndex& index);

} // namespace orblane
