#include "dicom/MarkingFacts.h"

#include "dicom/FrameSource.h"

namespace orblane {

MarkingFacts ReadMarkingFacts(const DicomDataFileIO& file, const TopLevelIndex& index)
{
    MarkingFacts facts;
    facts.calibration = CalibrationOf(ReadSpacingAttributes(file, index));
    facts.regions = ReadUltrasoundRegions(file, index);
    facts.overlays = ReadOverlayPlanes(index, ReadPixelDescription(file, 0));
    return facts;
}

} // namespace orblane
