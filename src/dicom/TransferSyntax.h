#pragma once

#include "dicom/PixelDescription.h"
#include "dicom/ValueReader.h"
#include "platform/Bytes.h"

#include <string>
#include <string_view>

namespace orblane {

// What the reading of a data set needs to know of its transfer syntax; the codec that decodes its frames is the
// image build's business (imaging/codecs/TransferSyntaxTable).
struct TransferSyntaxFacts
{
    // Frames are items of an encapsulated Pixel Data element (PS3.5 A.4), not slices of a native value.
    bool encapsulated = false;
    ByteOrder order = ByteOrder::Little;
    // The data set after the file meta information is deflated (inflated by the walk).
    bool deflated = false;
    bool explicitVr = true;
};

// One transfer syntax by its UID.
struct TransferSyntaxUid
{
    std::string_view uid;
    TransferSyntaxKind kind;
    std::string_view name;
};

constexpr TransferSyntaxFacts FactsOf(TransferSyntaxKind kind) noexcept
{
    switch (kind)
    {
    case TransferSyntaxKind::ImplicitLittle:
        return {false, ByteOrder::Little, false, false};
    case TransferSyntaxKind::ExplicitLittle:
    case TransferSyntaxKind::UnknownSyntax:
        return {false, ByteOrder::Little, false, true};
    case TransferSyntaxKind::DeflatedExplicitLittle:
        return {false, ByteOrder::Little, true, true};
    case TransferSyntaxKind::ExplicitBig:
        return {false, ByteOrder::Big, false, true};
    default:
        return {true, ByteOrder::Little, false, true};
    }
}

// The row of a Transfer Syntax UID as stored (a trailing NUL or space pad is ignored); null for a UID the table
// lacks.
const TransferSyntaxUid* FindTransferSyntaxUid(ByteView uid) noexcept;
// The kind of a Transfer Syntax UID as a description holds it: implicit VR little endian where the file names none,
// UnknownSyntax where the table lacks it.
TransferSyntaxKind TransferSyntaxKindOf(ByteView uid) noexcept;
// The name of a Transfer Syntax UID for people: the table's, or the UID itself (pad removed) when it is unknown.
std::string TransferSyntaxDisplayName(ByteView uid);

} // namespace orblane
