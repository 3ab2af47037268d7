#pragma once

#include "platform/Bytes.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace orblane {

// Code pages are numbered as on Windows, because the design and the settings speak in those numbers. 0 names the
// default ANSI code page of the process.
inline constexpr int kCodePageAnsi = 0;
inline constexpr int kCodePageWindows1252 = 1252;
inline constexpr int kCodePageUtf8 = 65001;

// Error codes answered with the values the Windows platform uses, so that they can be passed on unchanged.
inline constexpr int kErrorNotEnoughMemory = 8;
inline constexpr int kErrorInvalidParameter = 87;
inline constexpr int kErrorInsufficientBuffer = 122;

// Outcome of one decoding call: the number of UTF-16 units, or 0 and an error code.
struct WideCount
{
    std::size_t units = 0;
    int error = 0;
};

// Decodes bytes in a code page to UTF-16, as MultiByteToWideChar(codePage, 0, ...) does, into `out`, and answers
// how many UTF-16 units it wrote. Bytes the code page does not define become U+FFFD; the call fails (0 units and an
// error code) only for an empty input or an unknown code page (kErrorInvalidParameter) or an `out` too small for
// the text (kErrorInsufficientBuffer). Input that decodes to nothing, such as a lone escape sequence, answers 0
// units and no error.
//
// Each thread opens the converters it uses once and keeps them until it ends, so the call takes no lock and does
// not allocate per character; only code pages 50220 and 50225 grow a per-thread scratch buffer now and then.
//
// 50220 reads ISO 2022 Japanese escapes itself: JIS X 0208 (ESC $ B, ESC $ @), JIS X 0212 (ESC $ ( D), JIS X 0201
// romaji (ESC ( J, taken as ASCII like code page 932 does) and katakana (ESC ( I), and also half-width katakana
// written as bytes A1-DF in any state (ISO 2022 IR 13 keeps them in G1 while G0 holds kanji). 50225 reads KS X 1001
// both as bytes with the high bit set after ESC $ ) C (as ISO 2022 IR 149 writes it) and between SO and SI.
WideCount MultiByteToWide(int codePage, ByteView bytes, std::span<char16_t> out) noexcept;

// The number of UTF-16 units MultiByteToWide would write for the bytes, with the same failures except the buffer's.
WideCount MeasureWide(int codePage, ByteView bytes) noexcept;

// Whole-buffer convenience over MultiByteToWide, for readers of text files (code page 0: the default ANSI code
// page). An empty input gives an empty text; an unknown code page gives one character per byte.
std::u16string DecodeCodePage(int codePage, ByteView bytes);

// Whether MultiByteToWide knows the code page and its converter can be opened (0: the default ANSI one).
bool IsCodePageAvailable(int codePage) noexcept;

// The default ANSI code page: the one set with SetDefaultAnsiCodePage, otherwise that of the character set of the
// locale the environment selects (LC_ALL, LC_CTYPE, LANG), with windows-1252 for C/POSIX (plain ASCII) and for
// character sets without a code page here. SetDefaultAnsiCodePage(0) returns to the locale's.
int DefaultAnsiCodePage() noexcept;
void SetDefaultAnsiCodePage(int codePage) noexcept;

// The code page for a locale character set name such as "UTF-8", "ISO-8859-5" or "eucJP" (case, '-' and '_'
// ignored); windows-1252 for ASCII and for names it does not know.
int CodePageForCodeset(std::string_view codeset) noexcept;

} // namespace orblane
