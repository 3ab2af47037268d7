#include "platform/AnsiText.h"

#include "platform/CodePage.h"

#include <cstdint>

namespace orblane {

bool IsWellFormedUtf8(ByteView bytes) noexcept
{
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size)
    {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80)
        {
            ++i;
            continue;
        }
        // The second byte's range depends on the lead byte (RFC 3629 section 4), which rules out overlong forms,
        // surrogates and code points above U+10FFFF; the later continuation bytes are always 80..BF.
        std::size_t trail = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
        {
            trail = 1;
        }
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            trail = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            trail = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        else
        {
            return false;
        }
        if (trail > size - i - 1)
        {
            return false;
        }
        if (bytes[i + 1] < low || bytes[i + 1] > high)
        {
            return false;
        }
        for (std::size_t k = 2; k <= trail; ++k)
        {
            if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF)
            {
                return false;
            }
        }
        i += trail + 1;
    }
    return true;
}

int AnsiCodePageFor(ByteView bytes) noexcept
{
    const int codePage = DefaultAnsiCodePage();
    if (codePage == kCodePageUtf8 && !IsWellFormedUtf8(bytes))
    {
        return kCodePageWindows1252;
    }
    return codePage;
}

std::u16string DecodeAnsiText(ByteView bytes)
{
    return DecodeCodePage(AnsiCodePageFor(bytes), bytes);
}

} // namespace orblane
