#pragma once

#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace orblane {

inline ByteView AsBytes(std::string_view text) noexcept
{
    return ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// A UID value without its trailing pad: NUL as PS3.5 9.1 asks, or the spaces some writers put there instead.
ByteView TrimUidPad(ByteView uid) noexcept;

// A display text without the trailing spaces that pad a value to even length (PS3.5 6.2: insignificant for the
// text VRs), so that "F " shows as "F". The stored value keeps its pad.
std::u16string WithoutTrailingSpaces(std::u16string text);

// Text rules shared by the tile overlay and the study list. Dates show as YYYY.MM.DD and times as HH:MM:SS; values
// are laid out, not validated, and each result ends at its first NUL, so a short or odd value gives a short text.

// 19701231 gives "1970.12.31", 197012 gives "1970.12", three bytes or fewer give "".
std::string FormatDicomDate(ByteView date);

enum class DateTimeForm
{
    Short, // up to the seconds (study list)
    Long,  // with the fraction as stored, at most 47 characters (tile overlay)
};

// The date as FormatDicomDate, then " HH:MM:SS" from the time and, in the long form, the fraction. A date shorter
// than eight bytes hides the time.
std::string FormatDicomDateTime(ByteView date, std::optional<ByteView> time, DateTimeForm form);

// The component group of a person's name to show: ideographic if not empty, else alphabetic if not empty, else
// phonetic. Carets inside the group are kept.
std::u16string ChoosePersonNameGroup(std::u16string_view name);

// A value converted under a Specific Character Set, or with the default ANSI code page when charset is empty; the
// raw bytes widened when the converter refuses them.
std::u16string ConvertText(ByteView charset, ByteView value);

// A plain value (dates, sex, modality, file IDs) with the default ANSI code page, or its raw bytes widened.
std::u16string ConvertPlainText(ByteView value);

} // namespace orblane
