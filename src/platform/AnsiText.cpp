#include "platform/AnsiText.h"

#include "platform/CodePage.h"

namespace orblane {

std::u16string DecodeAnsiText(ByteView bytes)
{
    return DecodeCodePage(0, bytes);
}

} // namespace orblane
