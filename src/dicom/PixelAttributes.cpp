#include "dicom/PixelAttributes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
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
    static constexpr std::array<std::string_view, 5> kPatterns{"MONOCHROME1 ", "MONOCHROME2 ", "RGB         ",
                                                               "YBR_FULL    ", "YBR_FULL_422"};
    static constexpr std::array<PhotometricKind, 5> kKinds{PhotometricKind::Monochrome1, PhotometricKind::Monochrome2,
                                                           PhotometricKind::Rgb, PhotometricKind::YbrFull,
                                                           PhotometricKind::YbrFull422};
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

std::int32_t PowerOfTwoClamped(unsigned bits, unsigned shift) noexcept
{
    const std::int64_t value = bits >= 40 ? std::numeric_limits<std::int64_t>::max() : (std::int64_t{1} << bits);
    return static_cast<std::int32_t>(std::min<std::int64_t>(value >> shift, std::numeric_limits<std::int32_t>::max()));
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
    if (const auto frames = index.Value(kGroupPixel, 0x0008, occurrence))
    {
        d.frameCount = std::max(1, ParseIntegerString(*frames));
    }
    return d;
}

} // namespace orblane
