#include "dicom/DicomTextRules.h"

#include "dicom/CharacterSet.h"

#include <array>
#include <cstring>

namespace orblane {
namespace {

// Results are laid out in a zeroed buffer of this size; the long date-time form fills at most 47 characters.
constexpr std::size_t kTextBufferSize = 48;
constexpr std::size_t kLongFormLimit = 47;

using TextBuffer = std::array<char, kTextBufferSize>;

void LayOutDate(ByteView date, TextBuffer& out)
{
    if (date.size() > 3)
    {
        std::memcpy(out.data(), date.data(), 4);
    }
    if (date.size() > 5)
    {
        out[4] = '.';
        std::memcpy(out.data() + 5, date.data() + 4, 2);
    }
    if (date.size() > 7)
    {
        out[7] = '.';
        std::memcpy(out.data() + 8, date.data() + 6, 2);
    }
}

std::string UpToFirstNul(const TextBuffer& buffer)
{
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

// Display texts end at their first NUL, as a NUL-padded value shows without its pad.
std::u16string EndAtNul(std::u16string text)
{
    if (const std::size_t nul = text.find(u'\0'); nul != std::u16string::npos)
    {
        text.resize(nul);
    }
    return text;
}

} // namespace

ByteView TrimUidPad(ByteView uid) noexcept
{
    std::size_t size = uid.size();
    while (size > 0 && (uid[size - 1] == 0 || uid[size - 1] == ' '))
    {
        --size;
    }
    return uid.first(size);
}

std::u16string WithoutTrailingSpaces(std::u16string text)
{
    const std::size_t last = text.find_last_not_of(u' ');
    text.resize(last == std::u16string::npos ? 0 : last + 1);
    return text;
}

std::string FormatDicomDate(ByteView date)
{
    TextBuffer buffer{};
    LayOutDate(date, buffer);
    return UpToFirstNul(buffer);
}

std::string FormatDicomDateTime(ByteView date, std::optional<ByteView> time, DateTimeForm form)
{
    TextBuffer buffer{};
    LayOutDate(date, buffer);
    if (time)
    {
        const ByteView t = *time;
        if (t.size() > 1)
        {
            buffer[10] = ' ';
            std::memcpy(buffer.data() + 11, t.data(), 2);
        }
        if (t.size() > 3)
        {
            buffer[13] = ':';
            std::memcpy(buffer.data() + 14, t.data() + 2, 2);
        }
        if (t.size() > 5)
        {
            buffer[16] = ':';
            std::memcpy(buffer.data() + 17, t.data() + 4, 2);
        }
        if (form == DateTimeForm::Long && t.size() >= 8)
        {
            // The fraction goes over as stored, period and pad included; what does not fit is dropped.
            for (std::size_t i = 6; i < t.size() && i + 13 < kLongFormLimit; ++i)
            {
                buffer[i + 13] = static_cast<char>(t[i]);
            }
        }
    }
    return UpToFirstNul(buffer);
}

std::u16string ChoosePersonNameGroup(std::u16string_view name)
{
    const std::size_t first = name.find(u'=');
    const std::u16string_view alphabetic = name.substr(0, first);
    std::u16string_view ideographic;
    std::u16string_view phonetic;
    if (first != std::u16string_view::npos)
    {
        const std::u16string_view rest = name.substr(first + 1);
        const std::size_t second = rest.find(u'=');
        ideographic = rest.substr(0, second);
        if (second != std::u16string_view::npos)
        {
            phonetic = rest.substr(second + 1);
        }
    }
    if (!ideographic.empty())
    {
        return std::u16string(ideographic);
    }
    if (!alphabetic.empty())
    {
        return std::u16string(alphabetic);
    }
    return std::u16string(phonetic);
}

std::u16string ConvertText(ByteView charset, ByteView value)
{
    WideConversion converted = charset.empty() ? ConvertAnsiToWide(value) : ConvertToWide(charset, value);
    return EndAtNul(converted.text ? std::move(*converted.text) : WidenRawBytes(value));
}

std::u16string ConvertPlainText(ByteView value)
{
    WideConversion converted = ConvertAnsiToWide(value);
    return EndAtNul(converted.text ? std::move(*converted.text) : WidenRawBytes(value));
}

} // namespace orblane
