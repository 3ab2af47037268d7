#include "imaging/codecs/TransferSyntaxTable.h"

#include "dicom/DicomTextRules.h"
#include "imaging/codecs/Codecs.h"

#include <array>

namespace orblane {
namespace {

constexpr std::array kTransferSyntaxes{
    TransferSyntaxEntry{"1.2.840.10008.1.2", TransferSyntaxKind::ImplicitLittle, "Implicit VR Little Endian", false,
                        &DecodeNative},
    TransferSyntaxEntry{"1.2.840.10008.1.2.1", TransferSyntaxKind::ExplicitLittle, "Explicit VR Little Endian", false,
                        &DecodeNative},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.50", TransferSyntaxKind::JpegBaseline, "JPEG Baseline", true,
                        &DecodeJpegBaseline},
    TransferSyntaxEntry{"1.2.840.10008.1.2.4.70", TransferSyntaxKind::JpegLossless,
                        "JPEG Lossless, first-order prediction", true, &DecodeJpegLossless},
};

} // namespace

const TransferSyntaxEntry* FindTransferSyntax(ByteView uid) noexcept
{
    // Writers pad a UID to even length with a NUL, some with a space.
    const ByteView trimmed = TrimUidPad(uid);
    const std::string_view text(reinterpret_cast<const char*>(trimmed.data()), trimmed.size());
    for (const TransferSyntaxEntry& entry : kTransferSyntaxes)
    {
        if (entry.uid == text)
        {
            return &entry;
        }
    }
    return nullptr;
}

const TransferSyntaxEntry* FindTransferSyntax(TransferSyntaxKind kind) noexcept
{
    for (const TransferSyntaxEntry& entry : kTransferSyntaxes)
    {
        if (entry.kind == kind)
        {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace orblane
