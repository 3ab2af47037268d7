#include "Commands.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameGeometry.h"
#include "dicom/FrameSource.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/ReferenceLine.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace orblane::cli {
namespace {

struct FrameArgument
{
    std::string path;
    int frame = 1; // from 1, as the user counts
};

// FILE or FILE:FRAME. A name that is itself an existing file wins, so a path holding a colon still opens.
bool ParseFrameArgument(std::string_view text, FrameArgument& out)
{
    out.path = std::string(text);
    out.frame = 1;
    std::error_code error;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || std::filesystem::is_regular_file(out.path, error))
    {
        return true;
    }
    const std::string_view digits = text.substr(colon + 1);
    int frame = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), frame);
    if (digits.empty() || result.ec != std::errc{} || result.ptr != digits.data() + digits.size() || frame < 1)
    {
        return false;
    }
    out.path = std::string(text.substr(0, colon));
    out.frame = frame;
    return true;
}

// Shortest text that reads back as the same double; -0 prints as 0.
std::string Number(double value)
{
    if (value == 0.0)
    {
        value = 0.0;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// Loads the file and reads the frame's attributes; answers 0, or the exit code after saying why on standard error.
int LoadFrame(const FrameArgument& argument, DicomDataFileIO& file, FrameAttributes& out)
{
    if (const int code = file.LoadFile(argument.path); code != 0)
    {
        std::fprintf(stderr, "error %d (%s: %s)\n", code, argument.path.c_str(), std::strerror(code));
        return 1;
    }
    if (!file.IsPart10())
    {
        std::fprintf(stderr, "error 10100 (%s: not a DICOM file)\n", argument.path.c_str());
        return 1;
    }
    const TopLevelIndex index(file);
    const PixelDescription pixels = ReadPixelDescription(file, 0);
    const int frames = pixels.rowCount == 0 ? 0 : pixels.frameCount;
    if (argument.frame > frames)
    {
        std::fprintf(stderr, "orblane-cli: %s holds %d frame(s), not frame %d\n", argument.path.c_str(), frames,
                     argument.frame);
        return 1;
    }
    std::vector<FrameAttributes> all = ReadFrameAttributes(file, index, argument.frame);
    out = std::move(all.back());
    return 0;
}

} // namespace

// Prints where the plane of A's frame crosses B's frame, in B's pixel coordinates, as the viewer draws it.
int RunGeometry(Arguments args)
{
    if (args.size() != 2)
    {
        return UsageError("geometry takes FILE_A[:FRAME] FILE_B[:FRAME]");
    }
    FrameArgument a;
    FrameArgument b;
    if (!ParseFrameArgument(args[0], a) || !ParseFrameArgument(args[1], b))
    {
        return UsageError("a frame is a number from 1");
    }
    DicomDataFileIO fileA;
    DicomDataFileIO fileB;
    FrameAttributes frameA;
    FrameAttributes frameB;
    if (const int code = LoadFrame(a, fileA, frameA); code != 0)
    {
        return code;
    }
    if (const int code = LoadFrame(b, fileB, frameB); code != 0)
    {
        return code;
    }
    const ReferenceLine line = IntersectFrames(frameA, frameB);
    std::string out;
    if (line.outcome == LineOutcome::Line)
    {
        out = "{\"line\": [[" + Number(line.from.column) + ", " + Number(line.from.row) + "], [" +
              Number(line.to.column) + ", " + Number(line.to.row) + "]]}\n";
    }
    else
    {
        out = std::string("{\"line\": null, \"reason\": \"") + LineOutcomeReason(line.outcome) + "\"}\n";
    }
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
