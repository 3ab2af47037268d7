// Built in place of JpegLsCodec.cpp where CharLS is not found.
#include "imaging/codecs/Codecs.h"

namespace orblane {

bool HasJpegLsLibrary() noexcept
{
    return false;
}

DecodeResult DecodeJpegLs(ByteView, const FrameGeometry&, const DecodeLimits&, std::span<std::uint8_t>) noexcept
{
    DecodeResult result;
    result.status = DecodeStatus::Unsupported;
    result.reason = "no JPEG-LS decoder in this build";
    return result;
}

} // namespace orblane
