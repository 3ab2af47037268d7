#pragma once

#include "dicom/FrameGeometry.h"

#include <string>
#include <vector>

namespace orblane {
class DicomDataFileIO;
}

namespace orblane::cli {

// Loads `path` for a verb that reads its frames. A file that cannot be read or is not a DICOM Part 10 file is told on
// standard error ("error <code> (<path>: <why>)") and answers false.
bool LoadFrameFile(DicomDataFileIO& file, const std::string& path);

// The attributes of the frames of `file`, as the viewer reads them (ReadFrameAttributes, for as many frames as the
// image declares: one for a single-frame image, none without pixel data).
std::vector<FrameAttributes> ReadEveryFrame(const DicomDataFileIO& file);

} // namespace orblane::cli
