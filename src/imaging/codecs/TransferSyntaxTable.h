#pragma once

#include "dicom/PixelDescription.h"
#include "imaging/codecs/Codec.h"
#include "platform/Bytes.h"

#include <string_view>

namespace orblane {

// One transfer syntax the image build knows: how its frames are found and which codec decodes them. A known
// syntax without a codec (decode is null) is one whose images cannot be shown; `name` says which it is.
struct TransferSyntaxEntry
{
    std::string_view uid;
    TransferSyntaxKind kind;
    std::string_view name;
    // Frames are items of an encapsulated Pixel Data element (PS3.5 A.4), not slices of a native value.
    bool encapsulated;
    DecodeFrame decode;
};

// The entry of a Transfer Syntax UID as stored (a trailing NUL or space pad is ignored); null for a UID the table lacks.
const TransferSyntaxEntry* FindTransferSyntax(ByteView uid) noexcept;
const TransferSyntaxEntry* FindTransferSyntax(TransferSyntaxKind kind) noexcept;

} // namespace orblane
