#include "dicom/MarkingFacts.h"

#include "dicom/FrameSource.h"

namespace orblane {

MarkingFacts ReadMarkingFacts(const DicomDataFileIO& file, const TopLevelIndex& index)
{
    MarkingFacts facts;
    facts.calibration = CalibrationOf(ReadSpacingAttributes(file, index));
    const PixelDescription description = ReadPixelDescription(file, 0);
    if (description.frameCount > 1)
    {
        // Kept only where some frame differs from the first: most multi-frame images have one spacing.
        bool differ = false;
        for (const SpacingAttributes& frame : ReadFrameSpacingAttributes(file, index, description.frameCount))
        {
            facts.frameCalibrations.push_back(CalibrationOf(frame));
            const Calibration& own = facts.frameCalibrations.back();
            differ = differ || own.basis != facts.calibration.basis || own.rowSpacing != facts.calibration.rowSpacing ||
                     own.columnSpacing != facts.calibration.columnSpacing || own.label != facts.calibration.label;
        }
        if (!differ)
        {
            facts.frameCalibrations.clear();
        }
    }
    facts.regions = ReadUltrasoundRegions(file, index);
    facts.overlays = ReadOverlayPlanes(index, description);
    return facts;
}

} // namespace orblane
