// Built in place of HtJ2kCodec.cpp where OpenJPH is not found.
#include "imaging/codecs/Codecs.h"

namespace orblane {

bool HasHtJ2kLibrary() noexcept
{
    return false;
}

DecodeResult DecodeHtJ2k(ByteView, const FrameGeometry&, const DecodeLimits&, std::span<std::uint8_t>) noexcept
{
    DecodeResult result;
    result.status = DecodeStatus::Unsupported;
    result.reason = "no HTJ2K decoder in this build";
    return result;
}

} // namespace orblane
