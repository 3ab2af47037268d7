#include "dicom/PixelAttributes.h"

#include "dicom/TagElement.h"
#include "dicom/TagFilebase.h"
#include "dicom/ValueReader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace orblane {
namespace {

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
    static constexpr std::array<std::string_view, 8> kPatterns{"MONOCHROME1 ", "MONOCHROME2 ", "RGB         ",
                                                               "YBR_FULL    ", "YBR_FULL_422", "PALETTE COLOR ",
                                                               "YBR_RCT ",     "YBR_ICT "};
    static constexpr std::array<PhotometricKind, 8> kKinds{
        PhotometricKind::Monochrome1, PhotometricKind::Monochrome2,   PhotometricKind::Rgb,    PhotometricKind::YbrFull,
        PhotometricKind::YbrFull422,  PhotometricKind::PaletteColour, PhotometricKind::YbrRct, PhotometricKind::YbrIct};
    const int match = MatchLeading(value, kPatterns);
    return match < 0 ? PhotometricKind::OtherPhotometric : kKinds[static_cast<std::size_t>(match)];
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

// The value of element (group, element) among the elements of one sequence item; absent when the item does not hold
// it whole. The walk stops at anything it cannot step over safely (an undefined length, a length past the end).
std::optional<ByteView> FindInItem(const SequenceItem& item, std::uint16_t group, std::uint16_t element) noexcept
{
    const ValueReader reader(item.bytes, item.order);
    std::size_t position = 0;
    while (item.bytes.size() - position >= 8)
    {
        const std::uint16_t g = reader.U16(position).value_or(0);
        const std::uint16_t e = reader.U16(position + 2).value_or(0);
        if (g == 0xFFFE)
        {
            return std::nullopt;
        }
        std::size_t header = 8;
        std::uint32_t length = 0;
        if (item.implicit)
        {
            length = reader.U32(position + 4).value_or(kUndefinedLength);
        }
        else
        {
            const VrForm form = LookUpVr(item.bytes[position + 4], item.bytes[position + 5]);
            if (form == VrForm::Unknown)
            {
                return std::nullopt;
            }
            if (form == VrForm::Long)
            {
                header = 12;
                length = reader.U32(position + 8).value_or(kUndefinedLength);
            }
            else
            {
                length = reader.U16(position + 6).value_or(0);
            }
        }
        const std::size_t remaining = item.bytes.size() - position;
        if (length == kUndefinedLength || header > remaining || length > remaining - header)
        {
            return std::nullopt;
        }
        if (g == group && e == element)
        {
            return ByteView(item.bytes.data() + position + header, length);
        }
        position += header + length;
    }
    return std::nullopt;
}

// The size of the words whose bytes a big-endian value of this VR holds reversed (PS3.5 7.3, table 7.1-1).
std::uint8_t WordBytesOfVr(const std::array<char, 2>& vr, std::uint16_t bitsAllocated) noexcept
{
    const std::string_view name(vr.data(), vr.size());
    if (name == "OB")
    {
        return 1;
    }
    if (name == "OW")
    {
        return 2;
    }
    if (name == "OL" || name == "OF")
    {
        return 4;
    }
    if (name == "OD" || name == "OV")
    {
        return 8;
    }
    // A value whose VR names no word size (UN, or none) is taken in words the size of the samples' container.
    return bitsAllocated <= 8 ? 1 : bitsAllocated <= 16 ? 2 : 4;
}

// A big-endian OW value of 32-bit samples is written two ways: as 16-bit words, each swapped (DCMTK, GDCM), and as
// whole samples swapped (pydicom, and what an OL value would be). The VR cannot tell them apart, the samples can: read
// the wrong way, the low half of every sample becomes its high half. Real samples (doses, counts) keep their high
// halves near 0 (or near 0xFFFF when negative), low halves are spread over the whole range; so the reading whose high
// halves lie nearer 0 is the one written. A tie (all zero, or samples that use every bit) keeps 16-bit words.
std::uint8_t WordBytesOfThirtyTwoBitOw(ByteView value) noexcept
{
    constexpr std::size_t kSamplesLooked = 65536;
    std::uint64_t asWords = 0;
    std::uint64_t asSamples = 0;
    const auto distance = [](std::uint32_t half) noexcept -> std::uint64_t { return std::min(half, 0x10000u - half); };
    const std::size_t samples = std::min(value.size() / 4, kSamplesLooked);
    for (std::size_t k = 0; k < samples; ++k)
    {
        const std::uint8_t* p = value.data() + 4 * k;
        // In 16-bit words the second word (bytes 2 and 3) is the high half; swapped whole, bytes 0 and 1 are.
        asWords += distance(static_cast<std::uint32_t>(p[2]) << 8 | p[3]);
        asSamples += distance(static_cast<std::uint32_t>(p[0]) << 8 | p[1]);
    }
    return asSamples < asWords ? 4 : 2;
}

// A LUT Descriptor (entries, first input value, bits per entry) and the LUT Data it describes.
LutView ReadLut(std::optional<ByteView> descriptor, std::optional<ByteView> data, bool signedInput,
                ByteOrder order) noexcept
{
    LutView lut;
    if (!descriptor || !data || data->empty())
    {
        return lut;
    }
    const ValueReader reader(*descriptor, order);
    const auto entries = reader.U16(0);
    const auto first = reader.U16(2);
    const auto bits = reader.U16(4);
    if (!entries || !first || !bits)
    {
        return lut;
    }
    lut.data = *data;
    lut.order = order;
    lut.entryCount = *entries == 0 ? 65536u : *entries;
    lut.firstValue = signedInput ? static_cast<std::int16_t>(*first) : static_cast<std::int32_t>(*first);
    lut.bitsPerEntry = std::clamp<std::uint16_t>(*bits, 1, 16);
    return lut;
}

LutView ReadLutItem(const TopLevelIndex& index, std::uint16_t sequence, bool signedInput) noexcept
{
    const auto item = index.FirstItem(kGroupPixel, sequence, 0);
    if (!item)
    {
        return {};
    }
    return ReadLut(FindInItem(*item, kGroupPixel, 0x3002), FindInItem(*item, kGroupPixel, 0x3006), signedInput,
                   item->order);
}

// A DS value; absent when the text holds no number (empty, spaces only, malformed).
std::optional<double> ParseDecimalIfAny(ByteView text) noexcept
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
        return std::nullopt;
    }
    return value;
}

} // namespace

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
    return ParseDecimalIfAny(text).value_or(0.0);
}

void SetFileWindow(PixelDescription& d, std::optional<double> centre, std::optional<double> width) noexcept
{
    // A width below 1 is no window (the image build then takes the values present), and values beyond the 32-bit
    // range are damage.
    if (!centre || !width || *width < 1.0 || std::fabs(*centre) >= 2e9 || *width >= 2e9)
    {
        return;
    }
    d.fileWindowCentre = static_cast<std::int32_t>(std::lround(*centre));
    d.fileWindowWidth = static_cast<std::int32_t>(std::lround(*width));
    d.fileWindowCentreValue = *centre;
    d.fileWindowWidthValue = *width;
}

PixelDescription ReadPixelAttributes(const TopLevelIndex& index, int occurrence)
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
        d.transferSyntaxUid = *syntax;
    }
    d.highBit = index.Us(kGroupPixel, 0x0102, occurrence).value_or(0);
    const bool signedInput = d.pixelRepresentation == 1;
    if (IsMonochrome(d.photometric))
    {
        d.modalityLut = ReadLutItem(index, 0x3000, signedInput);
        d.hasModalityLut = d.modalityLut.Present();
        if (!d.hasModalityLut)
        {
            // An empty or malformed value is taken as absent: slope 1, intercept 0 (PS3.3 C.11.1.1.2).
            const auto intercept = index.Value(kGroupPixel, 0x1052, 0);
            const auto slope = index.Value(kGroupPixel, 0x1053, 0);
            d.rescaleIntercept = intercept ? ParseDecimalIfAny(*intercept).value_or(0.0) : 0.0;
            d.rescaleSlope = slope ? ParseDecimalIfAny(*slope).value_or(1.0) : 1.0;
        }
        // The VOI LUT's input is the modality value, which is signed once a modality LUT or rescale can make it so.
        d.voiLut = ReadLutItem(index, 0x3010, signedInput || d.rescaleIntercept < 0.0);
        // The file's window stands beside a VOI LUT as an alternative (PS3.3 C.11.2).
        // Both are decimal strings: "40.5" and "1.2E3" are what they say, never their leading digits.
        const auto centreText = index.Value(kGroupPixel, 0x1050, 0);
        const auto widthText = index.Value(kGroupPixel, 0x1051, 0);
        const std::optional<double> centre = centreText ? ParseDecimalIfAny(*centreText) : std::nullopt;
        const std::optional<double> width = widthText ? ParseDecimalIfAny(*widthText) : std::nullopt;
        SetFileWindow(d, centre, width);
        if (const auto shape = index.Value(0x2050, 0x0020, 0))
        {
            static constexpr std::array<std::string_view, 1> kInverse{"INVERSE "};
            d.presentationInverse = !shape->empty() && MatchLeading(*shape, kInverse) == 0;
        }
    }
    else if (d.photometric == PhotometricKind::PaletteColour)
    {
        for (std::uint16_t c = 0; c < 3; ++c)
        {
            const auto descriptor = index.Value(kGroupPixel, static_cast<std::uint16_t>(0x1101 + c), occurrence);
            d.palette[c] =
                ReadLut(descriptor, index.Value(kGroupPixel, static_cast<std::uint16_t>(0x1201 + c), occurrence),
                        signedInput, index.Order());
            // Ultrasound machines write their palettes segmented, without the plain LUT data beside them.
            if (!d.palette[c].Present())
            {
                d.palette[c] =
                    ReadLut(descriptor, index.Value(kGroupPixel, static_cast<std::uint16_t>(0x1221 + c), occurrence),
                            signedInput, index.Order());
                d.palette[c].segmented = d.palette[c].Present();
                d.segmentedPalette = d.segmentedPalette || d.palette[c].segmented;
            }
        }
    }
    if (const TagElement* pixelData = index.Find(0x7FE0, 0x0010, occurrence);
        pixelData != nullptr && pixelData->entered == 0 && pixelData->ValueOrder() == ByteOrder::Big)
    {
        d.swapWordBytes = WordBytesOfVr(pixelData->vr, d.bitsAllocated);
        d.pixelDataValue = ByteView(pixelData->value, pixelData->length);
        if (d.swapWordBytes == 2 && d.bitsAllocated == 32)
        {
            d.swapWordBytes = WordBytesOfThirtyTwoBitOw(d.pixelDataValue);
        }
    }
    d.planarConfiguration = index.Us(kGroupPixel, 0x0006, occurrence).value_or(0);
    if (const auto frames = index.Value(kGroupPixel, 0x0008, occurrence))
    {
        d.frameCount = std::max(1, ParseIntegerString(*frames));
    }
    // File-wide values, read at the first occurrence as the rescale is.
    const auto decimalOf = [&index](std::uint16_t group, std::uint16_t element) {
        const auto text = index.Value(group, element, 0);
        return text ? ParseDecimalIfAny(*text).value_or(0.0) : 0.0;
    };
    d.frameTimeMs = decimalOf(0x0018, 0x1063);
    d.cineRate = decimalOf(0x0018, 0x0040);
    d.recommendedFrameRate = decimalOf(0x0008, 0x2144);
    if (const auto modality = index.Value(0x0008, 0x0060, 0))
    {
        // A CS value is padded with a space (PS3.5 6.2); leading spaces are insignificant too.
        std::string_view text(reinterpret_cast<const char*>(modality->data()), modality->size());
        while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        {
            text.remove_suffix(1);
        }
        while (!text.empty() && text.front() == ' ')
        {
            text.remove_prefix(1);
        }
        d.computedTomography = text == "CT";
    }
    return d;
}

} // namespace orblane
