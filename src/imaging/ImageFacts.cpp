#include "imaging/ImageFacts.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/DicomTextRules.h"
#include "dicom/PixelAttributes.h"
#include "dicom/TopLevelIndex.h"

#include <string_view>

namespace orblane {
namespace {

std::string_view TrimSpaces(std::string_view text) noexcept
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\0'))
    {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
    {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view AsText(ByteView bytes) noexcept
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

bool ImageTypeIsLocalizer(std::string_view imageType) noexcept
{
    for (int skip = 0; skip < 2; ++skip)
    {
        const std::size_t cut = imageType.find('\\');
        if (cut == std::string_view::npos)
        {
            return false;
        }
        imageType.remove_prefix(cut + 1);
    }
    return TrimSpaces(imageType.substr(0, imageType.find('\\'))) == "LOCALIZER";
}

ImageFacts ReadImageFacts(const DicomDataFileIO& file, const TopLevelIndex& index, int frameCount)
{
    ImageFacts facts;
    facts.studyInstanceUid = TrimmedText(index.Value(0x0020, 0x000D, 0));
    facts.seriesInstanceUid = TrimmedText(index.Value(0x0020, 0x000E, 0));
    if (const auto number = index.Value(0x0020, 0x0011, 0))
    {
        const std::string_view text = TrimSpaces(AsText(*number));
        if (!text.empty() && text.find_first_not_of("+-0123456789") == std::string_view::npos)
        {
            facts.seriesNumber = ParseIntegerString(*number);
        }
    }
    if (const auto description = index.Value(0x0008, 0x103E, 0); description && !description->empty())
    {
        const ByteView charset = index.Value(0x0008, 0x0005, 0).value_or(ByteView{});
        facts.seriesDescription = ConvertText(charset, *description);
        while (!facts.seriesDescription.empty() &&
               (facts.seriesDescription.back() == u' ' || facts.seriesDescription.back() == u'\0'))
        {
            facts.seriesDescription.pop_back();
        }
    }
    if (const auto imageType = index.Value(0x0008, 0x0008, 0))
    {
        facts.localizer = ImageTypeIsLocalizer(AsText(*imageType));
    }
    facts.frames = ReadFrameAttributes(file, index, frameCount);
    return facts;
}

} // namespace orblane
