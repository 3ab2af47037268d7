#pragma once

#include "dicom/PixelDescription.h"
#include "dicom/TransferSyntax.h"
#include "imaging/ImageLimits.h"
#include "imaging/codecs/Codec.h"
#include "platform/Bytes.h"

#include <string>
#include <string_view>

namespace orblane {

// The codec of one transfer syntax: which function decodes its frames. A known syntax without a codec (decode is
// null) is one whose images cannot be shown. Its UID, name and the facts of its encoding are the data set's
// (dicom/TransferSyntax); `encapsulated` is repeated here from them for the image build.
struct TransferSyntaxEntry
{
    TransferSyntaxKind kind;
    DecodeFrame decode;
    // How many pixels one byte of stream may stand for: the bound on what a frame of a given length may make the
    // viewer allocate. Wavelet and run-mode coders describe a flat image in very few bytes, so they get more room.
    std::uint64_t pixelsPerByte = kMaxPixelsPerCompressedByte;
    // The codec's shortcut for colour frames, where it has one: display pixels without samples in between.
    DecodeFrameToDisplay decodeToDisplay = nullptr;
    // Frames are items of an encapsulated Pixel Data element, not slices of a native value.
    bool encapsulated = FactsOf(kind).encapsulated;
};

// The entry of a Transfer Syntax UID as stored (a trailing NUL or space pad is ignored); null for a UID the table
// lacks.
const TransferSyntaxEntry* FindTransferSyntax(ByteView uid) noexcept;
const TransferSyntaxEntry* FindTransferSyntax(TransferSyntaxKind kind) noexcept;
// Whether frames of this syntax can be decoded: the table has a codec for it.
bool HasCodec(TransferSyntaxKind kind) noexcept;

} // namespace orblane
