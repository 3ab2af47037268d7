#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/DicomTextRules.h"
#include "platform/ErrorSink.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace orblane {
namespace {

constexpr const char* kErrorImageFileUnreadable = "10100";

constexpr std::uint16_t kGroupPixel = 0x0028;

// Compares the stored bytes with the leading bytes of each pattern, in order; -1 when none matches.
template <std::size_t N> int MatchLeading(ByteView value, const std::array<std::string_view, N>& patterns) noexcept
{
    for (std::size_t i = 0; i < N; ++i)
    {
        if (value.size() <= patterns[i].size() &&
            (value.empty() || std::memcmp(value.data(), patterns[i].data(), value.size()) == 0))
        {
            return static_cast<int>(i);
        }
    }
    return -1;
}

PhotometricKind ParsePhotometric(ByteView value) noexcept
{
    static constexpr std::array<std::string_view, 5> kPatterns{"MONOCHROME1 ", "MONOCHROME2 ", "RGB         ",
                                                               "YBR_FULL    ", "YBR_FULL_422"};
    static constexpr std::array<PhotometricKind, 5> kKinds{PhotometricKind::Monochrome1, PhotometricKind::Monochrome2,
                                                           PhotometricKind::Rgb, PhotometricKind::YbrFull,
                                                           PhotometricKind::YbrFull422};
    const int match = MatchLeading(value, kPatterns);
    return match < 0 ? PhotometricKind::OtherPhotometric : kKinds[static_cast<std::size_t>(match)];
}

TransferSyntaxKind ParseTransferSyntax(ByteView value) noexcept
{
    // Each UID with its terminating NUL, compared with the value stripped of its pad (NULs or spaces).
    using namespace std::string_view_literals;
    static constexpr std::array<std::string_view, 4> kUids{"1.2.840.10008.1.2\0"sv, "1.2.840.10008.1.2.1\0"sv,
                                                           "1.2.840.10008.1.2.4.50\0"sv, "1.2.840.10008.1.2.4.70\0"sv};
    const int match = MatchLeading(TrimUidPad(value), kUids);
    return match < 0 ? TransferSyntaxKind::UnknownSyntax : static_cast<TransferSyntaxKind>(match);
}

std::string_view SkipLeadingSpaces(ByteView text) noexcept
{
    std::string_view view(reinterpret_cast<const char*>(text.data()), text.size());
    while (!view.empty() && view.front() == ' ')
    {
        view.remove_prefix(1);
    }
    return view;
}

std::int32_t PowerOfTwoClamped(unsigned bits, unsigned shift) noexcept
{
    const std::int64_t value = bits >= 40 ? std::numeric_limits<std::int64_t>::max() : (std::int64_t{1} << bits);
    return static_cast<std::int32_t>(std::min<std::int64_t>(value >> shift, std::numeric_limits<std::int32_t>::max()));
}

// Case-insensitive for A-Z only, code unit by code unit otherwise.
int CompareLabels(const std::u16string& a, const std::u16string& b) noexcept
{
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i)
    {
        const char16_t x = fold(a[i]);
        const char16_t y = fold(b[i]);
        if (x != y)
        {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::u16string JoinLines(std::initializer_list<const std::optional<std::u16string>*> parts)
{
    std::u16string text;
    bool first = true;
    for (const auto* part : parts)
    {
        if (!first)
        {
            text += u'\n';
        }
        first = false;
        if (*part)
        {
            text += **part;
        }
    }
    return text;
}

} // namespace

// The top-level elements of a walked data set, built once per file. The walk keeps every nesting level in one flat
// list; the depth of an element follows from the elements that were stepped into (undefined length) and the delimiters
// that close them.
class TopLevelIndex
{
public:
    explicit TopLevelIndex(const DicomDataFileIO& file)
    {
        const DicomData* data = file.DataSet();
        if (data == nullptr)
        {
            return;
        }
        std::size_t depth = 0;
        for (const TagElement& tag : data->Kept())
        {
            if (depth == 0)
            {
                byTag[Key(tag.group, tag.element)].push_back(&tag);
            }
            if (tag.group == 0xFFFE && (tag.element == 0xE00D || tag.element == 0xE0DD))
            {
                depth -= depth > 0 ? 1 : 0;
            }
            else if (tag.entered != 0)
            {
                ++depth;
            }
        }
    }

    const TagElement* Find(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept
    {
        const auto found = byTag.find(Key(group, element));
        if (found == byTag.end() || occurrence < 0 || static_cast<std::size_t>(occurrence) >= found->second.size())
        {
            return nullptr;
        }
        return found->second[static_cast<std::size_t>(occurrence)];
    }

    // The value bytes of a defined-length element; absent for a missing or undefined-length one.
    std::optional<ByteView> Value(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept
    {
        const TagElement* tag = Find(group, element, occurrence);
        if (tag == nullptr || tag->entered != 0 || tag->value == nullptr)
        {
            return std::nullopt;
        }
        return ByteView(tag->value, tag->length);
    }

    std::optional<std::uint16_t> Us(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept
    {
        const auto value = Value(group, element, occurrence);
        if (!value || value->size() < 2)
        {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>((*value)[0] | ((*value)[1] << 8));
    }

private:
    static std::uint32_t Key(std::uint16_t group, std::uint16_t element) noexcept
    {
        return (static_cast<std::uint32_t>(group) << 16) | element;
    }

    // Occurrences by tag, in file order: a file of many images asks for the n-th of a tag once per image, and a scan
    // from the start each time would make a large file's build quadratic in its elements.
    std::unordered_map<std::uint32_t, std::vector<const TagElement*>> byTag;
};

std::int32_t ParseIntegerString(ByteView text) noexcept
{
    std::string_view view = SkipLeadingSpaces(text);
    bool negative = false;
    if (!view.empty() && (view.front() == '+' || view.front() == '-'))
    {
        negative = view.front() == '-';
        view.remove_prefix(1);
    }
    std::int64_t value = 0;
    for (const char c : view)
    {
        if (c < '0' || c > '9')
        {
            break;
        }
        value = std::min<std::int64_t>(value * 10 + (c - '0'), std::int64_t{1} << 32);
    }
    value = negative ? -value : value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

double ParseDecimalString(ByteView text) noexcept
{
    std::string_view view = SkipLeadingSpaces(text);
    if (!view.empty() && view.front() == '+')
    {
        view.remove_prefix(1);
    }
    double value = 0.0;
    const auto result = std::from_chars(view.data(), view.data() + view.size(), value);
    if (result.ec != std::errc{} || !std::isfinite(value))
    {
        return 0.0;
    }
    return value;
}

namespace {

PixelDescription ReadPixelDescription(const TopLevelIndex& index, int occurrence)
{
    PixelDescription d;
    const auto rows = index.Us(kGroupPixel, 0x0010, occurrence);
    if (!rows)
    {
        return d;
    }
    d.rowCount = *rows;
    d.columnCount = index.Us(kGroupPixel, 0x0011, occurrence).value_or(0);
    d.bitsAllocated = index.Us(kGroupPixel, 0x0100, occurrence).value_or(0);
    d.bitsStored = index.Us(kGroupPixel, 0x0101, occurrence).value_or(0);
    d.pixelRepresentation = index.Us(kGroupPixel, 0x0103, occurrence).value_or(0);

    d.aspectVertical = d.aspectHorizontal = 1;
    if (const auto aspect = index.Value(kGroupPixel, 0x0034, occurrence))
    {
        const auto* begin = aspect->data();
        const auto* separator = std::find(begin, begin + aspect->size(), static_cast<std::uint8_t>('\\'));
        if (separator != begin + aspect->size())
        {
            d.aspectVertical = ParseIntegerString(ByteView(begin, separator));
            d.aspectHorizontal = ParseIntegerString(ByteView(separator + 1, begin + aspect->size()));
        }
    }
    if (const auto photometric = index.Value(kGroupPixel, 0x0004, occurrence))
    {
        d.photometric = ParsePhotometric(*photometric);
    }
    if (const auto syntax = index.Value(0x0002, 0x0010, occurrence); syntax && !syntax->empty())
    {
        d.transferSyntax = ParseTransferSyntax(*syntax);
    }
    if (IsMonochrome(d.photometric))
    {
        if (index.Find(kGroupPixel, 0x3000, 0) != nullptr)
        {
            d.hasModalityLut = true;
        }
        else
        {
            const auto intercept = index.Value(kGroupPixel, 0x1052, 0);
            const auto slope = index.Value(kGroupPixel, 0x1053, 0);
            d.rescaleIntercept = intercept ? ParseDecimalString(*intercept) : 0.0;
            d.rescaleSlope = slope ? ParseDecimalString(*slope) : 1.0;
        }
        d.fileWindowCentre = PowerOfTwoClamped(d.bitsStored, 1);
        d.fileWindowWidth = PowerOfTwoClamped(d.bitsStored, 0);
        if (index.Find(kGroupPixel, 0x3010, 0) == nullptr)
        {
            if (const auto centre = index.Value(kGroupPixel, 0x1050, 0))
            {
                d.fileWindowCentre = ParseIntegerString(*centre);
            }
            if (const auto width = index.Value(kGroupPixel, 0x1051, 0))
            {
                d.fileWindowWidth = ParseIntegerString(*width);
            }
        }
    }
    d.planarConfiguration = index.Us(kGroupPixel, 0x0006, occurrence).value_or(0);
    return d;
}

} // namespace

PixelDescription ReadPixelDescription(const DicomDataFileIO& file, int occurrence)
{
    return ReadPixelDescription(TopLevelIndex(file), occurrence);
}

ImageDataList::~ImageDataList() = default;

void ImageDataList::AddFile(std::unique_ptr<DicomDataFileIO> file)
{
    if (!file)
    {
        return;
    }
    auto position = fileArray.end();
    const std::u16string& label = file->StudyLabel();
    if (!label.empty())
    {
        position = std::find_if(fileArray.begin() + nextFile, fileArray.end(), [&](const auto& other) {
            return other == nullptr || other->StudyLabel().empty() || CompareLabels(other->StudyLabel(), label) < 0;
        });
    }
    fileArray.insert(position, std::move(file));
}

CImageData* ImageDataList::GetImage(int index)
{
    if (index < 0)
    {
        return nullptr;
    }
    while (static_cast<int>(imageArray.size()) <= index && nextFile < static_cast<int>(fileArray.size()))
    {
        LoadNextFile();
    }
    return index < static_cast<int>(imageArray.size()) ? imageArray[static_cast<std::size_t>(index)].get() : nullptr;
}

int ImageDataList::LoadNextFile()
{
    while (nextFile < static_cast<int>(fileArray.size()))
    {
        std::unique_ptr<DicomDataFileIO> file = std::move(fileArray[static_cast<std::size_t>(nextFile)]);
        ++nextFile;
        int added = 0;
        // A file that is already loaded (the command-line tool loads by path) is not loaded again.
        if (file && file->DataSet() == nullptr && file->LoadDataSet() != 0)
        {
            // Fatal for the viewer; a handler that returns (the command-line tool, tests) just gets no images.
            RaiseError(kErrorImageFileUnreadable, 0, true);
        }
        else if (file)
        {
            const PatientStudyInfo info = file->MakeInfoRecord();
            currentTexts[0] = JoinLines({&info.patientName, &info.patientId, &info.birthDate, &info.sex});
            currentTexts[1] = JoinLines({&info.institutionName, &info.studyDateTime});
            const TopLevelIndex index(*file);
            // Each occurrence of Rows is an image description; the file is done at the first that gives nothing.
            for (int occurrence = 0;; ++occurrence)
            {
                const int count = LoadImages(*file, index, occurrence);
                if (count == 0)
                {
                    break;
                }
                added += count;
            }
        }
        if (added > 0)
        {
            return added;
        }
    }
    return 0;
}

int ImageDataList::LoadImages(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence)
{
    const PixelDescription description = ReadPixelDescription(index, occurrence);
    if (description.rowCount == 0)
    {
        return 0;
    }
    switch (description.transferSyntax)
    {
    case TransferSyntaxKind::ImplicitLittle:
    case TransferSyntaxKind::ExplicitLittle:
        return LoadNative(index, occurrence, description);
    case TransferSyntaxKind::JpegBaseline:
    case TransferSyntaxKind::JpegLossless:
        return LoadEncapsulated(file, index, occurrence, description);
    case TransferSyntaxKind::UnknownSyntax:
        break;
    }
    return 0;
}

int ImageDataList::LoadNative(const TopLevelIndex& index, int occurrence, PixelDescription description)
{
    int samples = 1;
    if (const auto value = index.Value(kGroupPixel, 0x0002, 0); value && !value->empty())
    {
        samples = (*value)[0];
    }
    for (int p = 0; p < std::min(samples, 4); ++p)
    {
        if (const auto data = index.Value(0x7FE0, 0x0010, occurrence * samples + p))
        {
            description.planes[static_cast<std::size_t>(p)] = *data;
        }
    }
    if (!description.HasPlane(0))
    {
        return 0;
    }
    const std::size_t before = imageArray.size();
    Append(CImageData::Build(description, frameInset));
    return static_cast<int>(imageArray.size() - before);
}

int ImageDataList::LoadEncapsulated(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence,
                                    PixelDescription description)
{
    const TagElement* pixelData = index.Find(0x7FE0, 0x0010, occurrence);
    if (pixelData == nullptr || pixelData->value == nullptr)
    {
        return 0;
    }
    const std::size_t before = imageArray.size();
    if (pixelData->entered == 0)
    {
        description.planes[0] = ByteView(pixelData->value, pixelData->length);
        Append(CImageData::Build(description, frameInset));
        return static_cast<int>(imageArray.size() - before);
    }
    // One image per non-empty fragment; the walk over item headers stays inside the mapping and ends at the
    // sequence delimiter (what follows the pixel data is not a fragment).
    const std::uint8_t* cursor = pixelData->value;
    const std::uint8_t* end = file.Mapping().End();
    while (end != nullptr && cursor < end && static_cast<std::size_t>(end - cursor) >= 8)
    {
        const auto group = static_cast<std::uint16_t>(cursor[0] | (cursor[1] << 8));
        const auto element = static_cast<std::uint16_t>(cursor[2] | (cursor[3] << 8));
        const std::uint32_t length =
            static_cast<std::uint32_t>(cursor[4]) | (static_cast<std::uint32_t>(cursor[5]) << 8) |
            (static_cast<std::uint32_t>(cursor[6]) << 16) | (static_cast<std::uint32_t>(cursor[7]) << 24);
        cursor += 8;
        if (group == 0xFFFE && element == 0xE0DD)
        {
            break;
        }
        const std::size_t remaining = static_cast<std::size_t>(end - cursor);
        const std::size_t content = std::min<std::size_t>(length, remaining);
        if (group == 0xFFFE && element == 0xE000 && length != 0)
        {
            description.planes[0] = ByteView(cursor, content);
            Append(CImageData::Build(description, frameInset));
        }
        cursor += content;
    }
    return static_cast<int>(imageArray.size() - before);
}

void ImageDataList::Append(std::unique_ptr<CImageData> image)
{
    if (!image)
    {
        return;
    }
    image->SetText(1, currentTexts[0]);
    image->SetText(2, currentTexts[1]);
    imageArray.push_back(std::move(image));
}

} // namespace orblane
