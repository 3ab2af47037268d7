#include "FrameFiles.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameSource.h"
#include "dicom/TopLevelIndex.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orblane::cli {

bool LoadFrameFile(DicomDataFileIO& file, const std::string& path)
{
    if (const int code = file.LoadFile(path); code != 0)
    {
        std::fprintf(stderr, "error %d (%s: %s)\n", code, path.c_str(), std::strerror(code));
        return false;
    }
    if (!file.IsPart10())
    {
        std::fprintf(stderr, "error 10100 (%s: not a DICOM file)\n", path.c_str());
        return false;
    }
    return true;
}

std::vector<FrameAttributes> ReadEveryFrame(const DicomDataFileIO& file)
{
    const TopLevelIndex index(file);
    const PixelDescription pixels = ReadPixelDescription(file, 0);
    const int frames = pixels.rowCount == 0 ? 0 : std::max(1, pixels.frameCount);
    return ReadFrameAttributes(file, index, frames);
}

} // namespace orblane::cli
