// Fuzzes Specific Character Set conversion over (character-set value, value bytes) and the code-page decoders.
// Input: one length byte, that many bytes of (0008,0005) value (fewer if the input ends), then the value bytes.
#include "dicom/CharacterSet.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
    {
        return 0;
    }
    const std::size_t charsetLength = std::min<std::size_t>(data[0] % 64, size - 1);
    const orblane::ByteView charset(data + 1, charsetLength);
    const orblane::ByteView value(data + 1 + charsetLength, size - 1 - charsetLength);

    const orblane::ActiveCodeElements active = orblane::BuildActiveCodeElements(charset);
    if (active.count == 0 || active.count > orblane::kMaxActiveCodeElements)
    {
        std::abort();
    }
    orblane::EscapeSegmenter segmenter(active, value);
    orblane::CodeSegment segment{};
    std::size_t previousEnd = 0;
    while (segmenter.Next(segment))
    {
        if (segment.begin >= segment.end || segment.end > value.size() || segment.begin < previousEnd)
        {
            std::abort();
        }
        previousEnd = segment.end;
    }

    const orblane::WideConversion converted = orblane::ConvertToWide(charset, value);
    if (converted.code != 0 || !converted.text)
    {
        std::abort(); // every code page of the tables is available, and bad bytes only become U+FFFD
    }

    // Measuring and converting must agree for every code page the tables use.
    for (const int codePage : {874, 936, 1252, 1255, 28592, 28593, 28594, 28595, 28596, 28597, 28599, 28605, 932, 50220,
                               50225, 54936, 65001})
    {
        const orblane::WideCount measured = orblane::MeasureWide(codePage, value);
        if (value.empty())
        {
            continue;
        }
        std::u16string text(measured.units, u'\0');
        const orblane::WideCount written = orblane::MultiByteToWide(codePage, value, text);
        if (measured.error != 0 || written.error != 0 || written.units != measured.units)
        {
            std::abort();
        }
    }
    return 0;
}
