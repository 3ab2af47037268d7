#include "Commands.h"
#include "platform/PathText.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameSource.h"
#include "dicom/OverlayPlanes.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace orblane::cli {
namespace {

// A binary PBM (P4) of the image's size: rows of whole bytes, the first pixel in the highest bit, 1 where set.
std::vector<std::uint8_t> Pbm(const std::vector<std::uint8_t>& mask, std::uint16_t rows, std::uint16_t columns)
{
    const std::string header = "P4\n" + std::to_string(columns) + " " + std::to_string(rows) + "\n";
    const std::size_t stride = (std::size_t{columns} + 7) / 8;
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.resize(header.size() + stride * rows, 0);
    std::uint8_t* bits = out.data() + header.size();
    for (std::size_t r = 0; r < rows; ++r)
    {
        for (std::size_t c = 0; c < columns; ++c)
        {
            if (mask[r * columns + c] != 0)
            {
                bits[r * stride + c / 8] |= static_cast<std::uint8_t>(0x80u >> (c % 8));
            }
        }
    }
    return out;
}

} // namespace

// Writes every overlay plane of FILE, frame by frame, as the image-sized bit maps the viewer draws.
int RunOverlays(Arguments args)
{
    if (args.size() != 2)
    {
        return UsageError("overlays takes FILE and OUTDIR");
    }
    const std::string path(args[0]);
    const std::filesystem::path outdir{std::string(args[1])};
    try
    {
        DicomDataFileIO file;
        if (const int code = file.LoadFile(path); code != 0)
        {
            std::fprintf(stderr, "error 10100 (%s: %s)\n", path.c_str(), std::strerror(code));
            return 1;
        }
        if (!file.IsPart10())
        {
            std::fprintf(stderr, "error 10100 (%s: not a DICOM file)\n", path.c_str());
            return 1;
        }
        const TopLevelIndex index(file);
        const PixelDescription image = ReadPixelDescription(file, 0);
        // The frames the pixel data holds, so that a damaged Number of Frames does not ask for millions of files.
        std::vector<FrameSource> sources;
        ReadFrameSources(file, index, &HasCodec, true, sources);
        const std::int32_t frames = sources.empty() ? 1 : std::max(sources.front().description.frameCount, 1);
        const std::vector<OverlayPlane> planes = ReadOverlayPlanes(index, image);
        std::error_code created;
        std::filesystem::create_directories(outdir, created);
        std::string out = "{\"overlays\": [";
        bool first = true;
        bool failed = false;
        for (std::int32_t frame = 0; frame < frames; ++frame)
        {
            for (const OverlayPlane& plane : planes)
            {
                const std::vector<std::uint8_t> mask = OverlayMask(plane, frame, image.rowCount, image.columnCount);
                if (mask.empty())
                {
                    continue;
                }
                char group[8];
                std::snprintf(group, sizeof group, "%04X", static_cast<unsigned>(plane.group));
                const std::string name = "overlay-" + std::to_string(frame + 1) + "-" + group + ".pbm";
                if (!platform::WriteFileAtomically(outdir / name, Pbm(mask, image.rowCount, image.columnCount)))
                {
                    std::fprintf(stderr, "error 10104 (%s)\n", platform::Utf8FromPath(outdir / name).c_str());
                    failed = true;
                    continue;
                }
                out += std::string(first ? "" : ", ") + "{\"frame\": " + std::to_string(frame + 1) + ", \"group\": \"" +
                       group + "\", \"type\": \"" + plane.type + "\", \"file\": \"" + name + "\"}";
                first = false;
            }
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
        return failed ? 1 : 0;
    }
    catch (const std::bad_alloc&)
    {
        std::fputs("error 11000\n", stderr);
        return 1;
    }
}

} // namespace orblane::cli
