#pragma once

#include "platform/Bytes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orblane {

// Read-only access to initialisation files with the semantics of the Windows profile reader that the settings files
// were written for: section and key names match case-insensitively; only the first section of a name counts and in
// it the first key of a name; white space around names and values is trimmed; a value enclosed in a matching pair of
// double or single quotes loses them; lines that are neither a section header nor key=value are ignored. The file is
// read anew on every call (IniFileSnapshot below reads it once for many keys); nothing is ever written.
//
// Encodings: UTF-16 LE or BE with byte-order mark, UTF-8 with or without one, otherwise the ANSI code page.

// The text of a value cut to bufferLength - 1 code units (the platform's buffer keeps one for the terminator).
// Empty when the file, the section or the key is missing, or the value is empty: callers apply their defaults.
std::u16string ReadIniString(const std::string& path, std::u16string_view section, std::u16string_view key,
                             std::size_t bufferLength);

// An integer value: defaultValue when the key is missing or empty, otherwise the value as ProfileTextToInt reads it
// (so a value that does not begin with a number gives 0).
int ReadIniInt(const std::string& path, std::u16string_view section, std::u16string_view key, int defaultValue);

// One read of a file for many keys: what ReadIniString and ReadIniInt answer, for the file as it was when read. A
// window's dozen keys from a disc cost one open instead of a dozen (each a seek on a slow drive, and under Wine a
// round trip to its server).
class IniFileSnapshot
{
public:
    explicit IniFileSnapshot(const std::string& path);

    std::u16string String(std::u16string_view section, std::u16string_view key, std::size_t bufferLength) const;
    int Int(std::u16string_view section, std::u16string_view key, int defaultValue) const;

private:
    std::u16string text; // empty when the file could not be read: every key is then missing
};

// The whole file as wide text, by the encoding rules above.
std::u16string DecodeIniText(ByteView file);

// The raw (trimmed, still quoted) value of the first matching key in the first matching section; nullopt when
// there is none.
std::optional<std::u16string> FindIniValue(std::u16string_view text, std::u16string_view section,
                                           std::u16string_view key);

// A value as the reader hands it out: matching quotes removed, then cut to bufferLength - 1 code units.
std::u16string ShapeIniValue(std::u16string_view rawValue, std::size_t bufferLength);

// Files larger than this are not settings files; they read as missing.
inline constexpr std::size_t kMaxIniFileBytes = 16u * 1024u * 1024u;

} // namespace orblane
