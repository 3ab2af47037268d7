#pragma once

#include "dicom/PixelDescription.h"
#include "imaging/ImageLimits.h"
#include "imaging/codecs/Codec.h"
#include "platform/Bytes.h"

#include <string>
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
    // How many pixels one byte of stream may stand for: the bound on what a frame of a given length may make the
    // viewer allocate. Wavelet and run-mode coders describe a flat image in very few bytes, so they get more room.
    std::uint64_t pixelsPerByte = kMaxPixelsPerCompressedByte;
    // The codec's shortcut for colour frames, where it has one: display pixels without samples in between.
    DecodeFrameToDisplay decodeToDisplay = nullptr;
};

// The entry of a Transfer Syntax UID as stored (a trailing NUL or space pad is ignored); null for a UID the table
// lacks.
const TransferSyntaxEntry* FindTransferSyntax(ByteView uid) noexcept;
const TransferSyntaxEntry* FindTransferSyntax(TransferSyntaxKind kind) noexcept;
// The name of a Transfer Syntax UID for people: the table's, or the UID itself (pad removed) when it is unknown.
std::string TransferSyntaxDisplayName(ByteView uid);

} // namespace orblane
