#include "imaging/codecs/Jpeg2000Siz.h"

namespace orblane {
namespace {

constexpr int kHeaderUnreadable = 3;
constexpr int kTooManyPixels = 4;
constexpr int kComponentCount = 6;
constexpr int kTooManyTiles = 12;

DecodeResult Answer(DecodeStatus status, int detail) noexcept
{
    DecodeResult result;
    result.status = status;
    result.detail = detail;
    return result;
}

} // namespace

DecodeResult CheckSizSegment(ByteView codestream, const DecodeLimits& limits, int notCodestream) noexcept
{
    // SOC, then SIZ up to Csiz (the component count, bytes 40 and 41).
    if (codestream.size() < 42 || codestream[0] != 0xFF || codestream[1] != 0x4F || codestream[2] != 0xFF ||
        codestream[3] != 0x51)
    {
        return Answer(DecodeStatus::Corrupt, notCodestream);
    }
    const std::uint8_t* siz = codestream.data() + 8;
    const std::uint32_t xsiz = BigEndian32(siz);
    const std::uint32_t ysiz = BigEndian32(siz + 4);
    const std::uint32_t xosiz = BigEndian32(siz + 8);
    const std::uint32_t yosiz = BigEndian32(siz + 12);
    const std::uint32_t xtsiz = BigEndian32(siz + 16);
    const std::uint32_t ytsiz = BigEndian32(siz + 20);
    const std::uint32_t xtosiz = BigEndian32(siz + 24);
    const std::uint32_t ytosiz = BigEndian32(siz + 28);
    const unsigned components = (unsigned{siz[32]} << 8) | siz[33];
    if (xosiz >= xsiz || yosiz >= ysiz || xtsiz == 0 || ytsiz == 0 || xtosiz > xosiz || ytosiz > yosiz)
    {
        return Answer(DecodeStatus::Corrupt, kHeaderUnreadable);
    }
    if (components != 1 && components != 3)
    {
        return Answer(DecodeStatus::Unsupported, kComponentCount);
    }
    const std::uint64_t width = xsiz - xosiz;
    const std::uint64_t height = ysiz - yosiz;
    if (width > 0xFFFF || height > 0xFFFF || width * height > limits.maxPixels)
    {
        return Answer(DecodeStatus::Corrupt, kTooManyPixels);
    }
    // Every tile present needs at least its SOT segment and SOD marker (14 bytes).
    const std::uint64_t tiles =
        ((std::uint64_t{xsiz} - xtosiz + xtsiz - 1) / xtsiz) * ((std::uint64_t{ysiz} - ytosiz + ytsiz - 1) / ytsiz);
    if (tiles > codestream.size() / 14 + 1)
    {
        return Answer(DecodeStatus::Corrupt, kTooManyTiles);
    }
    return Answer(DecodeStatus::Decoded, 0);
}

} // namespace orblane
