// orblane-cli text CHARSET HEX [--ansi-codepage N]: converts value bytes as the viewer would show them under a
// (0008,0005) value, or under the default ANSI code page when CHARSET is empty.
#include "Commands.h"
#include "Json.h"

#include "dicom/CharacterSet.h"
#include "platform/CodePage.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace orblane::cli {
namespace {

int HexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f')
    {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F')
    {
        return c - 'A' + 10;
    }
    return -1;
}

// Pairs of hexadecimal digits; spaces between pairs are allowed so that a hex dump can be pasted.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view hex)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < hex.size())
    {
        if (hex[i] == ' ')
        {
            ++i;
            continue;
        }
        if (i + 1 >= hex.size())
        {
            return std::nullopt;
        }
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
        {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

std::optional<int> ParseCodePage(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value <= 0 || !IsCodePageAvailable(value))
    {
        return std::nullopt;
    }
    return value;
}

ByteView AsBytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

int RunText(Arguments args)
{
    std::vector<std::string_view> positional;
    std::optional<int> ansiCodePage;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--ansi-codepage")
        {
            if (i + 1 >= args.size())
            {
                return UsageError("--ansi-codepage needs a code page number");
            }
            ansiCodePage = ParseCodePage(args[++i]);
            if (!ansiCodePage)
            {
                return UsageError("--ansi-codepage: not a code page this program can decode");
            }
        }
        else if (args[i].starts_with("--"))
        {
            return UsageError("text: unknown option");
        }
        else
        {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
    {
        return UsageError("text needs CHARSET and HEX");
    }
    const std::optional<std::vector<std::uint8_t>> value = ParseHex(positional[1]);
    if (!value)
    {
        return UsageError("text: HEX must be pairs of hexadecimal digits");
    }
    if (ansiCodePage)
    {
        SetDefaultAnsiCodePage(*ansiCodePage);
    }

    const std::string_view charset = positional[0];
    const WideConversion converted =
        charset.empty() ? ConvertAnsiToWide(*value) : ConvertToWide(AsBytes(charset), *value);
    if (converted.code != 0 && !converted.text)
    {
        std::fprintf(stderr, "orblane-cli: conversion failed with code %d\n", converted.code);
        return 1;
    }
    const std::string line = "{\"text\": " + JsonStringOrNull(converted.text) + "}\n";
    std::fputs(line.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
