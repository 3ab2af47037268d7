#pragma once

#include "platform/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orblane {

// Outcome of a conversion to wide text: code 0 and a text on success; otherwise a platform error code, and the
// caller decides whether to fall back to the raw bytes.
struct WideConversion
{
    int code = 0;
    std::optional<std::u16string> text;
};

// Conversion driven by a (0008,0005) Specific Character Set value, with ISO 2022 escapes switching code pages
// inside the value.
WideConversion ConvertToWide(ByteView charset, ByteView value) noexcept;

// Conversion of a value with no Specific Character Set: in the default ANSI code page, or in windows-1252 when that
// is UTF-8 and the bytes are not (platform/AnsiText.h); length 0 gives no text and code 0.
WideConversion ConvertAnsiToWide(ByteView bytes) noexcept;

// One wide character per byte, the fallback for values that a converter refuses.
std::u16string WidenRawBytes(ByteView bytes);

// The code elements a value can switch to (PS3.3 C.12.1.1.2), in table order.
enum class CodeElementId : std::uint8_t
{
    Default, // ISO-IR 6
    IsoIr100,
    IsoIr101,
    IsoIr109,
    IsoIr110,
    IsoIr144,
    IsoIr127, // Arabic
    IsoIr126,
    IsoIr138,
    IsoIr148,
    IsoIr203, // Latin alphabet No. 9
    IsoIr13,  // G1, katakana
    IsoIr14,  // G0, romaji
    IsoIr166, // Thai (TIS 620-2533)
    IsoIr87,
    IsoIr159,
    Gb18030,
    Gbk,
    IsoIr149,
    IsoIr58, // G1, GB 2312
    Utf8,
};

// One code element: the escape sequence that switches to it, the code page for the bytes that follow, and whether
// the escape is handed to that code page with them (for the code pages that read ISO 2022 escapes themselves).
struct CodeElement
{
    std::uint16_t escapeLength;
    std::array<std::uint8_t, 10> escape;
    std::uint32_t codePage;
    std::uint32_t keepEscape;
};

const CodeElement& GetCodeElement(CodeElementId id) noexcept;

inline constexpr std::size_t kMaxActiveCodeElements = 26;

// The code elements one (0008,0005) value names, in order; the first gives the code page at the start of a value.
struct ActiveCodeElements
{
    std::array<CodeElementId, kMaxActiveCodeElements> ids{};
    std::size_t count = 0;

    // Appends unless the list is full; answers whether it appended.
    bool Append(CodeElementId id) noexcept;
    std::span<const CodeElementId> Elements() const noexcept { return {ids.data(), count}; }
};

// Parses a (0008,0005) value as stored (backslash-separated terms, pad spaces, not NUL-terminated). Unknown terms
// add nothing; a value naming nothing known gives the default element alone.
ActiveCodeElements BuildActiveCodeElements(ByteView charset) noexcept;

// One run of value bytes [begin, end) that a single code page decodes.
struct CodeSegment
{
    std::size_t begin;
    std::size_t end;
    std::uint32_t codePage;
};

// Splits a value at the escape sequences of its active code elements. Escapes of elements that read them
// themselves open the next run; the others are dropped. Runs of zero bytes are not reported.
class EscapeSegmenter
{
public:
    EscapeSegmenter(const ActiveCodeElements& active, ByteView value) noexcept;

    // The next run, or false when the value is used up.
    bool Next(CodeSegment& segment) noexcept;

private:
    const CodeElement* FindEscape(std::size_t& position) const noexcept;

    ActiveCodeElements active;
    ByteView value;
    std::size_t segmentStart = 0;
    std::size_t searchStart = 0;
    std::uint32_t codePage;
    bool finished = false;
};

} // namespace orblane
