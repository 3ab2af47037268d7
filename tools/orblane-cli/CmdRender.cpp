#include "Commands.h"
#include "platform/PathText.h"

#include "AnsiCodePageOption.h"
#include "Json.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/AtomicFile.h"
#include "platform/ErrorSink.h"
#include "platform/Saturate.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace orblane::cli {
namespace {

// The command line reports a catalogue code instead of showing a dialog, and goes on where the viewer would.
void ReportToStandardError(std::string_view code, std::uint32_t number, bool)
{
    std::fprintf(stderr, "error %.*s", static_cast<int>(code.size()), code.data());
    if (number != 0)
    {
        std::fprintf(stderr, " (%u)", static_cast<unsigned>(number));
    }
    std::fputc('\n', stderr);
}

// A modality value as the JSON gives it: a whole number as an integer (as every image without a fractional rescale
// has always printed), any other to ten significant digits, beyond which the products of a rescale are noise.
std::string ModalityNumber(double value)
{
    if (!std::isfinite(value))
    {
        return "null";
    }
    if (value == std::trunc(value) && std::fabs(value) < 9e15)
    {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// The modality values, truncated to 32-bit integers, also where the image keeps its stored values for display.
bool WriteValues(const CImageData& image, const std::filesystem::path& path)
{
    const auto values = image.Values();
    const ValueScale& scale = image.Scale();
    std::vector<std::uint8_t> bytes(values.size() * 4);
    for (std::size_t i = 0; i < values.size(); ++i)
    {
        const auto v = static_cast<std::uint32_t>(
            scale.Identity() ? values[i] : TruncToInt32(scale.ToModality(static_cast<double>(values[i]))));
        bytes[4 * i] = static_cast<std::uint8_t>(v);
        bytes[4 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        bytes[4 * i + 2] = static_cast<std::uint8_t>(v >> 16);
        bytes[4 * i + 3] = static_cast<std::uint8_t>(v >> 24);
    }
    return platform::WriteFileAtomically(path, bytes, platform::WriteDurability::Unflushed);
}

} // namespace

// Loads FILE as the viewer would and writes every image it holds, as currently windowed, to OUTDIR.
int RunRender(Arguments args)
{
    std::vector<std::string_view> rest;
    if (const int code = TakeAnsiCodePageOption(args, rest); code != 0)
    {
        return code;
    }
    std::vector<std::string_view> positional;
    int format = kImageFileBmp;
    bool writeValues = false;
    for (std::size_t i = 0; i < rest.size(); ++i)
    {
        if (rest[i] == "--values")
        {
            writeValues = true;
        }
        else if (rest[i] == "--format")
        {
            if (i + 1 >= rest.size() || (rest[i + 1] != "bmp" && rest[i + 1] != "jpg"))
            {
                return UsageError("--format takes bmp or jpg");
            }
            format = rest[++i] == "jpg" ? kImageFileJpeg : kImageFileBmp;
        }
        else
        {
            positional.push_back(rest[i]);
        }
    }
    if (positional.size() != 2)
    {
        return UsageError("render takes FILE and OUTDIR");
    }
    const std::filesystem::path input{std::string(positional[0])};
    const std::filesystem::path outdir{std::string(positional[1])};

    const ErrorHandler previous = SetErrorHandler(&ReportToStandardError);
    auto file = std::make_unique<DicomDataFileIO>();
    if (const int code = file->LoadFile(input); code != 0)
    {
        std::fprintf(stderr, "error 10100 (%s: %s)\n", platform::Utf8FromPath(input).c_str(), std::strerror(code));
        SetErrorHandler(previous);
        return 1;
    }
    if (!file->IsPart10())
    {
        // An empty list of images would read as a file that holds none.
        std::fprintf(stderr, "error 10100 (%s: not a DICOM file)\n", platform::Utf8FromPath(input).c_str());
        SetErrorHandler(previous);
        return 1;
    }
    std::error_code created;
    std::filesystem::create_directories(outdir, created);

    // Images that cannot be shown keep their place, as in the viewer, so that each is reported with its reason.
    ImageDataList list({1, 1}, ImageListOptions{0, true, nullptr});
    const PixelDescription first = ReadPixelDescription(*file, 0);
    const std::string syntaxName = TransferSyntaxDisplayName(first.transferSyntaxUid);
    list.AddFile(std::move(file));
    std::string out = "{\"images\": [";
    bool failed = false;
    for (int index = 0;; ++index)
    {
        const CImageData* image = list.GetImage(index);
        for (const ImageDataList::PendingError& pending : list.TakeErrors())
        {
            RaiseError(pending.error, false);
        }
        if (image == nullptr)
        {
            break;
        }
        out += index == 0 ? "" : ", ";
        if (!image->UnshownReason().empty())
        {
            out += "{\"index\": " + std::to_string(index) +
                   ", \"decodable\": false, \"transferSyntaxName\": " + JsonStringUtf8(syntaxName) +
                   ", \"reason\": " + JsonString(image->UnshownReason()) + "}";
            continue;
        }
        const std::string stem = "image-" + std::to_string(index);
        // A script's working files: see WriteDurability.
        if (!image->SaveAs(outdir / (stem + (format == kImageFileJpeg ? ".jpg" : ".bmp")), format,
                           platform::WriteDurability::Unflushed))
        {
            std::fprintf(stderr, "error 10104 (%s)\n", platform::Utf8FromPath(outdir / stem).c_str());
            failed = true;
        }
        const PixelDescription& d = image->Description();
        if (writeValues && IsMonochrome(d.photometric) && !WriteValues(*image, outdir / (stem + ".values")))
        {
            std::fprintf(stderr, "error 10104 (%s.values)\n", platform::Utf8FromPath(outdir / stem).c_str());
            failed = true;
        }
        // In modality units: the display values of a fractional rescale are its stored values.
        const CImageData::ModalityWindow window = image->WindowInModality();
        const double lowest = image->Scale().ToModality(image->ValueMin());
        const double highest = image->Scale().ToModality(image->ValueMax());
        out += "{\"index\": " + std::to_string(index) + ", \"width\": " + std::to_string(image->Bitmap().Width()) +
               ", \"height\": " + std::to_string(image->Bitmap().Height()) + ", \"photometric\": \"" +
               PhotometricName(d.photometric) + "\", \"transferSyntax\": \"" + TransferSyntaxName(d.transferSyntax) +
               "\", \"bitsAllocated\": " + std::to_string(d.bitsAllocated) +
               ", \"bitsStored\": " + std::to_string(d.bitsStored) +
               ", \"windowCentre\": " + ModalityNumber(window.centre) +
               ", \"windowWidth\": " + ModalityNumber(window.width) +
               ", \"valueMin\": " + ModalityNumber(std::min(lowest, highest)) +
               ", \"valueMax\": " + ModalityNumber(std::max(lowest, highest)) +
               ", \"frame\": " + std::to_string(d.frameNumber + 1) + ", \"frames\": " + std::to_string(d.frameCount) +
               ", \"transferSyntaxName\": " + JsonStringUtf8(syntaxName) + ", \"decodable\": true}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    SetErrorHandler(previous);
    return failed ? 1 : 0;
}

} // namespace orblane::cli
