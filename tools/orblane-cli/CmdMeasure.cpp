#include "Commands.h"

#include "Json.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/Measurement.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace orblane::cli {
namespace {

struct Shape
{
    std::string_view option; // without its dashes: the "kind" printed
    std::size_t numbers;
};

constexpr Shape kShapes[] = {{"line", 4}, {"angle", 6}, {"ellipse", 4}, {"rect", 4}};

// Comma-separated finite numbers, exactly `count` of them.
bool ParseNumbers(std::string_view text, std::size_t count, std::vector<double>& out)
{
    out.clear();
    while (out.size() < count)
    {
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        double value = 0.0;
        const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || result.ec != std::errc{} || result.ptr != part.data() + part.size() ||
            !std::isfinite(value))
        {
            return false;
        }
        out.push_back(value);
        if ((comma == std::string_view::npos) != (out.size() == count))
        {
            return false;
        }
        text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    }
    return true;
}

// Shortest text that reads back as the same double; -0 prints as 0; none prints as null.
std::string Number(std::optional<double> value)
{
    if (!value)
    {
        return "null";
    }
    const double v = *value == 0.0 ? 0.0 : *value;
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

std::string ToJson(std::string_view kind, const Measurement& m)
{
    std::string out = "{\"kind\": \"" + std::string(kind) + "\", \"value\": " + Number(m.value) +
                      ", \"unit\": " + JsonStringUtf8(m.unit) + ", \"label\": " + JsonStringUtf8(m.label);
    if (m.kind == MeasureKind::Ellipse || m.kind == MeasureKind::Rectangle)
    {
        out += ", \"count\": " + std::to_string(m.count) + ", \"areaMm2\": " + Number(m.areaMm2) +
               ", \"mean\": " + Number(m.mean) + ", \"sd\": " + Number(m.sd) + ", \"min\": " + Number(m.min) +
               ", \"max\": " + Number(m.max) + ", \"luminance\": " + (m.luminance ? "true" : "false");
    }
    if (!m.reason.empty())
    {
        out += ", \"reason\": " + JsonStringUtf8(m.reason);
    }
    return out + "}\n";
}

} // namespace

// Measures on a frame of FILE in pixel coordinates, with the calibration the viewer shows.
int RunMeasure(Arguments args)
{
    std::optional<std::string_view> path;
    int frame = 1;
    const Shape* shape = nullptr;
    std::vector<double> numbers;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string_view arg = args[i];
        if (arg == "--frame")
        {
            const std::string_view digits = i + 1 < args.size() ? args[++i] : std::string_view();
            const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), frame);
            if (digits.empty() || result.ec != std::errc{} || result.ptr != digits.data() + digits.size() || frame < 1)
            {
                return UsageError("--frame takes a number from 1");
            }
            continue;
        }
        const Shape* named = nullptr;
        for (const Shape& candidate : kShapes)
        {
            named = arg.size() == candidate.option.size() + 2 && arg.substr(0, 2) == "--" &&
                            arg.substr(2) == candidate.option
                        ? &candidate
                        : named;
        }
        if (named != nullptr)
        {
            if (shape != nullptr)
            {
                return UsageError("measure takes one of --line, --angle, --ellipse, --rect");
            }
            shape = named;
            if (i + 1 >= args.size() || !ParseNumbers(args[++i], shape->numbers, numbers))
            {
                return UsageError("a shape takes its points as comma-separated numbers (C0,R0,...)");
            }
            continue;
        }
        if (path || arg.starts_with("--"))
        {
            return UsageError("measure takes FILE and one shape");
        }
        path = arg;
    }
    if (!path || shape == nullptr)
    {
        return UsageError("measure takes FILE and one of --line, --angle, --ellipse, --rect");
    }
    const std::string file(*path);
    try
    {
        DicomDataFileIO dicom;
        if (const int code = dicom.LoadFile(file); code != 0)
        {
            std::fprintf(stderr, "error 10100 (%s: %s)\n", file.c_str(), std::strerror(code));
            return 1;
        }
        if (!dicom.IsPart10())
        {
            std::fprintf(stderr, "error 10100 (%s: not a DICOM file)\n", file.c_str());
            return 1;
        }
        MeasureScale scale;
        MeasureValues values;
        const std::int32_t frames = LoadMeasureFrame(dicom, frame - 1, scale, values);
        if (frame > frames)
        {
            std::fprintf(stderr, "orblane-cli: %s holds %d frame(s), not frame %d\n", file.c_str(), frames, frame);
            return 1;
        }
        const auto& n = numbers;
        Measurement m;
        if (shape->option == "line")
        {
            m = MeasureLength({n[0], n[1]}, {n[2], n[3]}, scale);
        }
        else if (shape->option == "angle")
        {
            m = MeasureAngle({n[0], n[1]}, {n[2], n[3]}, {n[4], n[5]}, scale);
        }
        else if (shape->option == "ellipse")
        {
            m = MeasureEllipse({n[0], n[1]}, n[2], n[3], values.Grid(), scale);
        }
        else
        {
            m = MeasureRectangle({n[0], n[1]}, {n[2], n[3]}, values.Grid(), scale);
        }
        std::fputs(ToJson(shape->option, m).c_str(), stdout);
        return 0;
    }
    catch (const std::bad_alloc&)
    {
        std::fputs("error 11000\n", stderr);
        return 1;
    }
}

} // namespace orblane::cli
