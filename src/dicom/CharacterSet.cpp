// Temporary stand-in: plain byte widening until the code-page layer lands.
#include "dicom/CharacterSet.h"

namespace orblane {

std::u16string WidenRawBytes(ByteView bytes)
{
    return std::u16string(bytes.begin(), bytes.end());
}

WideConversion ConvertToWide(ByteView, ByteView value) noexcept
{
    return {0, WidenRawBytes(value)};
}

WideConversion ConvertAnsiToWide(ByteView bytes) noexcept
{
    if (bytes.empty())
    {
        return {};
    }
    return {0, WidenRawBytes(bytes)};
}

} // namespace orblane
