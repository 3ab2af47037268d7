#pragma once

#include <filesystem>
#include <string>

namespace orblane::demo {

// Writes the demo medium's DICOM part into folder: the DICOMDIR and the DICOM/ tree it indexes, replacing what an
// earlier run wrote there (and nothing else, so a VIEWER/ folder beside them stays). Answers 0, or 1 with a message
// in `failure`.
int WriteDemoMedium(const std::filesystem::path& folder, std::string& failure);

} // namespace orblane::demo
