#include "platform/IniFile.h"

#include "platform/AnsiText.h"
#include "platform/FileAccess.h"
#include "platform/NumberText.h"
#include "platform/Utf16.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace orblane {
namespace {

bool IsIniSpace(char16_t c) noexcept
{
    // 0x1A is the old end-of-file mark that editors left at the end of text files.
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x1A || c == 0xA0 || c == 0x3000 || c == 0xFEFF;
}

std::u16string_view Trim(std::u16string_view text) noexcept
{
    while (!text.empty() && IsIniSpace(text.front()))
    {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsIniSpace(text.back()))
    {
        text.remove_suffix(1);
    }
    return text;
}

bool SameName(std::u16string_view a, std::u16string_view b) noexcept
{
    UErrorCode status = U_ZERO_ERROR;
    const int order = u_strCaseCompare(a.data(), static_cast<int32_t>(a.size()), b.data(),
                                       static_cast<int32_t>(b.size()), U_FOLD_CASE_DEFAULT, &status);
    return U_SUCCESS(status) && order == 0;
}

std::u16string DecodeUtf16(ByteView bytes, bool bigEndian)
{
    std::u16string text;
    text.reserve(bytes.size() / 2);
    // A trailing odd byte is no whole character and is dropped.
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    {
        const unsigned high = bigEndian ? bytes[i] : bytes[i + 1];
        const unsigned low = bigEndian ? bytes[i + 1] : bytes[i];
        text.push_back(static_cast<char16_t>((high << 8) | low));
    }
    return text;
}

} // namespace

std::u16string DecodeIniText(ByteView file)
{
    if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xFE)
    {
        return DecodeUtf16(file.subspan(2), false);
    }
    if (file.size() >= 2 && file[0] == 0xFE && file[1] == 0xFF)
    {
        return DecodeUtf16(file.subspan(2), true);
    }
    if (file.size() >= 3 && file[0] == 0xEF && file[1] == 0xBB && file[2] == 0xBF)
    {
        file = file.subspan(3);
    }
    const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
    if (auto text = DecodeUtf8(bytes))
    {
        return std::move(*text);
    }
    return DecodeAnsiText(file);
}

std::optional<std::u16string> FindIniValue(std::u16string_view text, std::u16string_view section,
                                           std::u16string_view key)
{
    const std::u16string_view wantedSection = Trim(section);
    const std::u16string_view wantedKey = Trim(key);
    bool inSection = false;
    bool sectionSeen = false;
    std::size_t position = 0;
    while (position <= text.size())
    {
        std::size_t end = text.find_first_of(u"\r\n", position);
        if (end == std::u16string_view::npos)
        {
            end = text.size();
        }
        const std::u16string_view line = Trim(text.substr(position, end - position));
        position = end + 1;

        if (!line.empty() && line.front() == u'[')
        {
            const std::size_t close = line.rfind(u']');
            if (close != std::u16string_view::npos)
            {
                if (sectionSeen)
                {
                    // Only the first section of a name is searched, as the platform reader does.
                    return std::nullopt;
                }
                inSection = SameName(Trim(line.substr(1, close - 1)), wantedSection);
                sectionSeen = inSection;
                continue;
            }
        }
        if (!inSection)
        {
            continue;
        }
        const std::size_t equals = line.find(u'=');
        if (equals == std::u16string_view::npos)
        {
            continue;
        }
        if (SameName(Trim(line.substr(0, equals)), wantedKey))
        {
            return std::u16string(Trim(line.substr(equals + 1)));
        }
    }
    return std::nullopt;
}

std::u16string ShapeIniValue(std::u16string_view rawValue, std::size_t bufferLength)
{
    if (rawValue.size() >= 2 && (rawValue.front() == u'"' || rawValue.front() == u'\'') &&
        rawValue.back() == rawValue.front())
    {
        rawValue = rawValue.substr(1, rawValue.size() - 2);
    }
    const std::size_t room = bufferLength == 0 ? 0 : bufferLength - 1;
    if (rawValue.size() > room)
    {
        rawValue = rawValue.substr(0, room);
        // Never hand out half of a surrogate pair.
        if (!rawValue.empty() && rawValue.back() >= 0xD800 && rawValue.back() <= 0xDBFF)
        {
            rawValue.remove_suffix(1);
        }
    }
    return std::u16string(rawValue);
}

IniFileSnapshot::IniFileSnapshot(const std::string& path)
{
    if (const auto bytes = ReadFileBytes(path, kMaxIniFileBytes))
    {
        text = DecodeIniText(*bytes);
    }
}

std::u16string IniFileSnapshot::String(std::u16string_view section, std::u16string_view key,
                                       std::size_t bufferLength) const
{
    const auto value = FindIniValue(text, section, key);
    return value ? ShapeIniValue(*value, bufferLength) : std::u16string();
}

int IniFileSnapshot::Int(std::u16string_view section, std::u16string_view key, int defaultValue) const
{
    // The platform reads integers through a 30-character buffer.
    const std::u16string value = String(section, key, 30);
    return value.empty() ? defaultValue : ProfileTextToInt(value);
}

std::u16string ReadIniString(const std::string& path, std::u16string_view section, std::u16string_view key,
                             std::size_t bufferLength)
{
    return IniFileSnapshot(path).String(section, key, bufferLength);
}

int ReadIniInt(const std::string& path, std::u16string_view section, std::u16string_view key, int defaultValue)
{
    return IniFileSnapshot(path).Int(section, key, defaultValue);
}

} // namespace orblane
