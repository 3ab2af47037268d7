#include "dicom/CharacterSet.h"

#include "platform/AnsiText.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace orblane {
namespace {

constexpr std::uint8_t kEsc = 0x1B;

constexpr CodeElement MakeElement(std::string_view escape, std::uint32_t codePage, bool keepEscape)
{
    CodeElement element{static_cast<std::uint16_t>(escape.size()), {}, codePage, keepEscape ? 1u : 0u};
    for (std::size_t i = 0; i < escape.size(); ++i)
    {
        element.escape[i] = static_cast<std::uint8_t>(escape[i]);
    }
    return element;
}

// Indexed by CodeElementId. Code pages 50220 and 50225 read their own escapes, so theirs are kept. Code page 874
// (windows-874) and 936 (GBK) are supersets of TIS 620 and of GB 2312 in GR, so they read those values unchanged.
constexpr std::array kCodeElements{
    MakeElement("\x1B(B", 1252, false),   // ISO-IR 6
    MakeElement("\x1B-A", 1252, false),   // ISO-IR 100
    MakeElement("\x1B-B", 28592, false),  // ISO-IR 101
    MakeElement("\x1B-C", 28593, false),  // ISO-IR 109
    MakeElement("\x1B-D", 28594, false),  // ISO-IR 110
    MakeElement("\x1B-L", 28595, false),  // ISO-IR 144
    MakeElement("\x1B-G", 28596, false),  // ISO-IR 127
    MakeElement("\x1B-F", 28597, false),  // ISO-IR 126
    MakeElement("\x1B-H", 1255, false),   // ISO-IR 138
    MakeElement("\x1B-M", 28599, false),  // ISO-IR 148
    MakeElement("\x1B-b", 28605, false),  // ISO-IR 203
    MakeElement("\x1B)I", 932, false),    // ISO-IR 13
    MakeElement("\x1B(J", 932, false),    // ISO-IR 14
    MakeElement("\x1B-T", 874, false),    // ISO-IR 166
    MakeElement("\x1B$B", 50220, true),   // ISO-IR 87
    MakeElement("\x1B$(D", 50220, true),  // ISO-IR 159
    MakeElement("\x1B$)A", 54936, false), // GB18030
    MakeElement("", 936, false),          // GBK: no escape
    MakeElement("\x1B$)C", 50225, true),  // ISO-IR 149
    MakeElement("\x1B$)A", 936, false),   // ISO-IR 58
    MakeElement("", 65001, false),        // UTF-8: no escape
};
static_assert(kCodeElements.size() == static_cast<std::size_t>(CodeElementId::Utf8) + 1);

struct CharsetTerm
{
    std::string_view term;
    bool needsDefault;
    std::array<std::optional<CodeElementId>, 2> elements;
};

using Id = CodeElementId;
constexpr std::array<CharsetTerm, 32> kCharsetTerms{{
    {"ISO_IR 100", true, {Id::IsoIr100, std::nullopt}},
    {"ISO_IR 101", true, {Id::IsoIr101, std::nullopt}},
    {"ISO_IR 109", true, {Id::IsoIr109, std::nullopt}},
    {"ISO_IR 110", true, {Id::IsoIr110, std::nullopt}},
    {"ISO_IR 144", true, {Id::IsoIr144, std::nullopt}},
    {"ISO_IR 127", true, {Id::IsoIr127, std::nullopt}},
    {"ISO_IR 126", true, {Id::IsoIr126, std::nullopt}},
    {"ISO_IR 138", true, {Id::IsoIr138, std::nullopt}},
    {"ISO_IR 148", true, {Id::IsoIr148, std::nullopt}},
    {"ISO_IR 203", true, {Id::IsoIr203, std::nullopt}},
    {"ISO_IR 13", false, {Id::IsoIr13, Id::IsoIr14}},
    {"ISO_IR 166", true, {Id::IsoIr166, std::nullopt}},
    {"ISO 2022 IR 6", true, {std::nullopt, std::nullopt}},
    {"ISO 2022 IR 100", true, {Id::IsoIr100, std::nullopt}},
    {"ISO 2022 IR 101", true, {Id::IsoIr101, std::nullopt}},
    {"ISO 2022 IR 109", true, {Id::IsoIr109, std::nullopt}},
    {"ISO 2022 IR 110", true, {Id::IsoIr110, std::nullopt}},
    {"ISO 2022 IR 144", true, {Id::IsoIr144, std::nullopt}},
    {"ISO 2022 IR 127", true, {Id::IsoIr127, std::nullopt}},
    {"ISO 2022 IR 126", true, {Id::IsoIr126, std::nullopt}},
    {"ISO 2022 IR 138", true, {Id::IsoIr138, std::nullopt}},
    {"ISO 2022 IR 148", true, {Id::IsoIr148, std::nullopt}},
    {"ISO 2022 IR 203", true, {Id::IsoIr203, std::nullopt}},
    {"ISO 2022 IR 13", false, {Id::IsoIr13, Id::IsoIr14}},
    {"ISO 2022 IR 166", true, {Id::IsoIr166, std::nullopt}},
    {"ISO 2022 IR 87", false, {Id::IsoIr87, std::nullopt}},
    {"ISO 2022 IR 159", false, {Id::IsoIr159, std::nullopt}},
    {"GB18030", false, {Id::Gb18030, std::nullopt}},
    {"GBK", false, {Id::Gbk, std::nullopt}},
    {"ISO 2022 IR 149", false, {Id::IsoIr149, std::nullopt}},
    {"ISO 2022 IR 58", false, {Id::IsoIr58, std::nullopt}},
    {"ISO_IR 192", false, {Id::Utf8, std::nullopt}},
}};

const CharsetTerm* FindTerm(ByteView term) noexcept
{
    for (const CharsetTerm& row : kCharsetTerms)
    {
        if (row.term.size() == term.size() && std::memcmp(row.term.data(), term.data(), term.size()) == 0)
        {
            return &row;
        }
    }
    return nullptr;
}

// The second pass writes into a buffer the first pass sized; a run that would overflow it leaves the whole value to
// the raw-byte fallback rather than a text cut short.
WideConversion ConvertSegments(const ActiveCodeElements& active, ByteView value)
{
    std::size_t total = 0;
    CodeSegment segment{};
    EscapeSegmenter sizing(active, value);
    while (sizing.Next(segment))
    {
        const WideCount count =
            MeasureWide(static_cast<int>(segment.codePage), value.subspan(segment.begin, segment.end - segment.begin));
        if (count.error != 0)
        {
            return {count.error, std::nullopt};
        }
        total += count.units;
    }

    std::u16string text(total, u'\0');
    std::size_t written = 0;
    EscapeSegmenter converting(active, value);
    while (converting.Next(segment))
    {
        const WideCount count = MultiByteToWide(static_cast<int>(segment.codePage),
                                                value.subspan(segment.begin, segment.end - segment.begin),
                                                std::span<char16_t>(text).subspan(written));
        if (count.error != 0)
        {
            return {0, WidenRawBytes(value)};
        }
        written += count.units;
    }
    text.resize(written);
    return {0, std::move(text)};
}

} // namespace

const CodeElement& GetCodeElement(CodeElementId id) noexcept
{
    return kCodeElements[static_cast<std::size_t>(id)];
}

bool ActiveCodeElements::Append(CodeElementId id) noexcept
{
    if (count == ids.size())
    {
        return false;
    }
    ids[count++] = id;
    return true;
}

ActiveCodeElements BuildActiveCodeElements(ByteView charset) noexcept
{
    ActiveCodeElements active;
    bool defaultPresent = false;
    bool defaultNeeded = false;

    std::size_t position = 0;
    while (position < charset.size() && charset[position] == ' ')
    {
        ++position;
    }
    // An empty first value means the default repertoire is in force at the start.
    if (position < charset.size() && charset[position] == '\\')
    {
        active.Append(Id::Default);
        defaultPresent = true;
        ++position;
    }

    while (position < charset.size())
    {
        const auto backslash =
            std::find(charset.begin() + static_cast<std::ptrdiff_t>(position), charset.end(), std::uint8_t{'\\'});
        const auto termEnd = static_cast<std::size_t>(backslash - charset.begin());
        std::size_t trimmedEnd = termEnd;
        while (trimmedEnd > position && charset[trimmedEnd - 1] == ' ')
        {
            --trimmedEnd;
        }
        const ByteView term = charset.subspan(position, trimmedEnd - position);
        if (const CharsetTerm* row = term.empty() ? nullptr : FindTerm(term))
        {
            for (const std::optional<CodeElementId>& element : row->elements)
            {
                if (element && active.Append(*element) && *element == Id::Default)
                {
                    defaultPresent = true;
                }
            }
            defaultNeeded = defaultNeeded || row->needsDefault;
        }
        position = termEnd + 1;
    }

    if ((defaultNeeded || active.count == 0) && !defaultPresent)
    {
        active.Append(Id::Default);
    }
    return active;
}

EscapeSegmenter::EscapeSegmenter(const ActiveCodeElements& activeElements, ByteView valueBytes) noexcept
    : active(activeElements), value(valueBytes),
      codePage(activeElements.count > 0 ? GetCodeElement(activeElements.ids[0]).codePage
                                        : GetCodeElement(Id::Default).codePage)
{
}

const CodeElement* EscapeSegmenter::FindEscape(std::size_t& position) const noexcept
{
    const std::size_t size = value.size();
    for (std::size_t at = searchStart; at < size; ++at)
    {
        const void* found = std::memchr(value.data() + at, kEsc, size - at);
        if (found == nullptr)
        {
            return nullptr;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - value.data());
        // The latest element in the list that matches wins.
        for (std::size_t k = active.count; k-- > 0;)
        {
            const CodeElement& element = GetCodeElement(active.ids[k]);
            if (element.escapeLength == 0 || element.escapeLength > size - at)
            {
                continue;
            }
            if (std::equal(element.escape.begin(), element.escape.begin() + element.escapeLength,
                           value.begin() + static_cast<std::ptrdiff_t>(at)))
            {
                position = at;
                return &element;
            }
        }
    }
    return nullptr;
}

bool EscapeSegmenter::Next(CodeSegment& segment) noexcept
{
    while (!finished)
    {
        const std::size_t begin = segmentStart;
        const std::uint32_t runCodePage = codePage;
        std::size_t end = value.size();
        std::size_t escapeAt = 0;
        if (const CodeElement* element = FindEscape(escapeAt))
        {
            end = escapeAt;
            searchStart = escapeAt + element->escapeLength;
            segmentStart = element->keepEscape != 0 ? escapeAt : searchStart;
            codePage = element->codePage;
        }
        else
        {
            finished = true;
        }
        if (end > begin)
        {
            segment = {begin, end, runCodePage};
            return true;
        }
    }
    return false;
}

std::u16string WidenRawBytes(ByteView bytes)
{
    return std::u16string(bytes.begin(), bytes.end());
}

WideConversion ConvertToWide(ByteView charset, ByteView value) noexcept
{
    try
    {
        return ConvertSegments(BuildActiveCodeElements(charset), value);
    }
    catch (const std::bad_alloc&)
    {
        return {kErrorNotEnoughMemory, std::nullopt};
    }
}

WideConversion ConvertAnsiToWide(ByteView bytes) noexcept
{
    if (bytes.empty())
    {
        return {};
    }
    try
    {
        // One code page for both calls, even if another thread changes the default in between.
        const int codePage = AnsiCodePageFor(bytes);
        const WideCount size = MeasureWide(codePage, bytes);
        if (size.error != 0)
        {
            return {size.error, std::nullopt};
        }
        std::u16string text(size.units, u'\0');
        const WideCount written = MultiByteToWide(codePage, bytes, text);
        if (written.error != 0)
        {
            return {written.error, WidenRawBytes(bytes)};
        }
        text.resize(written.units);
        return {0, std::move(text)};
    }
    catch (const std::bad_alloc&)
    {
        return {kErrorNotEnoughMemory, std::nullopt};
    }
}

} // namespace orblane
