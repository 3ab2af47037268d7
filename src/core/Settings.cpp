#include "core/Settings.h"

#include "platform/IniFile.h"
#include "platform/NumberText.h"

#include <climits>
#include <cmath>

namespace orblane {
namespace {

constexpr std::u16string_view kDefaultFace = u"Lucida Sans Unicode";
constexpr ColourRef kDefaultColour = MakePaletteColour(200, 200, 0);

std::u16string TextOr(std::u16string value, std::u16string_view fallback)
{
    return value.empty() ? std::u16string(fallback) : value;
}

ColourRef ReadColour(const IniFileSnapshot& file, std::u16string_view section, std::u16string_view key)
{
    const std::u16string value = file.String(section, key, 510);
    return value.empty() ? kDefaultColour : ParseColour(value);
}

int NonZeroOr(int value, int fallback)
{
    return value == 0 ? fallback : value;
}

std::size_t ImageCacheBytesOf(const IniFileSnapshot& file)
{
    const std::u16string value = file.String(u"DisplaySettings", u"ImageCacheMB", 510);
    const std::size_t first = value.find_first_not_of(u' ');
    const std::size_t last = value.find_last_not_of(u' ');
    if (first == std::u16string::npos)
    {
        return 0;
    }
    // Digits only: "512MB" or "1e3" is no number of megabytes, and a sign makes no sense for a size.
    std::uint64_t megabytes = 0;
    for (std::size_t k = first; k <= last; ++k)
    {
        const char16_t c = value[k];
        if (c < u'0' || c > u'9' || megabytes > kMaxImageCacheMegabytes)
        {
            return 0;
        }
        megabytes = megabytes * 10 + static_cast<std::uint64_t>(c - u'0');
    }
    if (megabytes == 0 || megabytes > kMaxImageCacheMegabytes || megabytes > (SIZE_MAX >> 20))
    {
        return 0;
    }
    return static_cast<std::size_t>(megabytes << 20);
}

} // namespace

ColourRef ParseColour(std::u16string_view value) noexcept
{
    int components[3] = {0, 0, 0};
    std::size_t position = 0;
    for (int& component : components)
    {
        const std::size_t start = value.find_first_not_of(u',', position);
        if (start == std::u16string_view::npos)
        {
            break;
        }
        std::size_t end = value.find(u',', start);
        if (end == std::u16string_view::npos)
        {
            end = value.size();
        }
        component = WideToInt(value.substr(start, end - start));
        position = end;
    }
    return MakePaletteColour(static_cast<std::uint8_t>(components[0] & 0xFF),
                             static_cast<std::uint8_t>(components[1] & 0xFF),
                             static_cast<std::uint8_t>(components[2] & 0xFF));
}

int FloorScaled(double value, double scale) noexcept
{
    const double scaled = std::floor(value * scale);
    if (std::isnan(scaled))
    {
        return 0;
    }
    if (scaled >= static_cast<double>(INT_MAX))
    {
        return INT_MAX;
    }
    if (scaled <= static_cast<double>(INT_MIN))
    {
        return INT_MIN;
    }
    return static_cast<int>(scaled);
}

ViewerSettings ReadViewerSettings(const std::string& settingsPath)
{
    const IniFileSnapshot file(settingsPath);
    ViewerSettings settings;
    settings.overlayVisible = 1;
    settings.overlayTextColor = ReadColour(file, u"AttributeInformation", u"fontcolor");
    settings.frameColor = ReadColour(file, u"ImageWindow", u"framecolor");
    settings.idleFrameColor = MakePaletteColour(128, 128, 128);

    int thickness = file.Int(u"ImageWindow", u"framethickness", 1);
    // A border narrower than one pixel cannot be drawn, so 0 and negative values both keep the default.
    if (thickness < 1)
    {
        thickness = 1;
    }
    if (thickness > 5)
    {
        thickness = 5;
    }
    settings.frameThickness = thickness;
    settings.frameInset = Point{thickness, thickness};

    settings.wlWidthDivisor = NonZeroOr(file.Int(u"WindowLevelParam", u"width", 1000), 1000);
    settings.wlCentreDivisor = NonZeroOr(file.Int(u"WindowLevelParam", u"level", 1000), 1000);

    settings.overlayFont.face = TextOr(file.String(u"AttributeInformation", u"fontname", 510), kDefaultFace);
    const std::u16string size = file.String(u"AttributeInformation", u"fontsize", 510);
    settings.overlayFont.tenthsOfPoint = size.empty() ? 120 : FloorScaled(WideToDouble(size), 10.0);
    settings.imageCacheBytes = ImageCacheBytesOf(file);
    return settings;
}

std::size_t ReadImageCacheBytes(const std::string& settingsPath)
{
    return ImageCacheBytesOf(IniFileSnapshot(settingsPath));
}

double ReadZoomStep(const std::string& settingsPath)
{
    const std::u16string value = ReadIniString(settingsPath, u"ERoperation", u"ERmangnification", 510);
    if (value.empty())
    {
        return 1.2;
    }
    const double step = WideToDouble(value);
    // A factor of 0, a negative one or an infinite one would make the image vanish or break zooming for good.
    if (!std::isfinite(step) || step <= 0.0)
    {
        return 1.2;
    }
    return step;
}

std::array<std::u16string, 6> ReadStudyListColumnTitles(const std::string& infoPath)
{
    struct Column
    {
        std::u16string_view key;
        std::u16string_view fallback;
    };
    constexpr Column kColumns[6] = {
        {u"name", u"Patient's Name"},           {u"id", u"Patient's ID"},
        {u"birthday", u"Patient's Birth Date"}, {u"sex", u"Patient's Sex"},
        {u"studydatetime", u"Study DateTime"},  {u"modality", u"Modality"},
    };
    const IniFileSnapshot file(infoPath);
    std::array<std::u16string, 6> titles;
    for (std::size_t i = 0; i < titles.size(); ++i)
    {
        titles[i] = TextOr(file.String(u"InspectionList", kColumns[i].key, 519), kColumns[i].fallback);
    }
    return titles;
}

FontChoice ReadStudyListHeaderFont(const std::string& infoPath)
{
    const FontChoice fallback{std::u16string(kDefaultFace), 90};
    const IniFileSnapshot file(infoPath);
    const std::u16string face = file.String(u"InspectionList", u"fonttype", 519);
    const std::u16string size = file.String(u"InspectionList", u"fontsize", 519);
    if (face.empty() || size.empty())
    {
        return fallback;
    }
    const int points = FloorScaled(WideToDouble(size), 1.0);
    if (points <= 0 || points > INT_MAX / 10)
    {
        return fallback;
    }
    return FontChoice{face, points * 10};
}

std::u16string ReadErrorDialogOkCaption(const std::string& infoPath)
{
    return TextOr(ReadIniString(infoPath, u"OK", u"agree", 520), u"OK");
}

FontChoice ReadErrorDialogOkFont(const std::string& infoPath)
{
    const std::u16string size = TextOr(ReadIniString(infoPath, u"OK", u"fontsize", 520), u"9.0");
    return FontChoice{TextOr(ReadIniString(infoPath, u"OK", u"fonttype", 520), kDefaultFace),
                      FloorScaled(WideToDouble(size), 10.0)};
}

std::optional<std::u16string> ReadVersionDialogOkCaption(const std::string& infoPath)
{
    std::u16string caption = ReadIniString(infoPath, u"OK", u"agree", 519);
    if (caption.empty())
    {
        return std::nullopt;
    }
    return caption;
}

FontChoice ReadVersionDialogOkFont(const std::string& infoPath)
{
    const std::u16string size = ReadIniString(infoPath, u"OK", u"fontsize", 519);
    int tenths = 90;
    if (!size.empty())
    {
        const int points = FloorScaled(WideToDouble(size), 1.0);
        if (points > 0 && points <= INT_MAX / 10)
        {
            tenths = points * 10;
        }
    }
    return FontChoice{TextOr(ReadIniString(infoPath, u"OK", u"fonttype", 519), kDefaultFace), tenths};
}

} // namespace orblane
