// The separable 8-point inverse DCT after Loeffler, Ligtenberg and Moschytz (ICASSP 1989): the even half is a
// rotation by 3pi/8 of inputs 2 and 6 plus the butterfly of inputs 0 and 4; the odd half shares one multiplication
// by sqrt(2) cos(3pi/16) between four rotations. With ck = cos(k pi / 16), every constant below is sqrt(2) times a
// sum of ck, scaled by 2^13 and rounded. Each pass multiplies the samples by sqrt(8); the column pass keeps
// kPass1Bits fraction bits for the row pass, and the row pass removes them together with the factor 8.
//
// Twelve-bit samples keep one fraction bit instead of two so that a 32-bit decoder would not overflow; we keep that
// choice because it decides the rounding and so the exact samples other decoders produce. The arithmetic itself is
// 64-bit: a damaged stream may carry any 16-bit coefficient with any 16-bit quantizer.
#include "imaging/codecs/JpegDct.h"

#include <algorithm>

namespace orblane::jpegdct {
namespace {

using Wide = std::int64_t;

constexpr int kConstBits = 13;

constexpr Wide kF0298 = 2446;  // sqrt2 (-c1 + c3 + c5 - c7)
constexpr Wide kF0390 = 3196;  // sqrt2 (c3 - c5)
constexpr Wide kF0541 = 4433;  // sqrt2 c6
constexpr Wide kF0765 = 6270;  // sqrt2 (c2 - c6)
constexpr Wide kF0899 = 7373;  // sqrt2 (c3 - c7)
constexpr Wide kF1175 = 9633;  // sqrt2 c3
constexpr Wide kF1501 = 12299; // sqrt2 (c1 + c3 - c5 - c7)
constexpr Wide kF1847 = 15137; // sqrt2 (c2 + c6)
constexpr Wide kF1961 = 16069; // sqrt2 (c3 + c5)
constexpr Wide kF2053 = 16819; // sqrt2 (c1 + c3 - c5 + c7)
constexpr Wide kF2562 = 20995; // sqrt2 (c1 + c3)
constexpr Wide kF3072 = 25172; // sqrt2 (c1 + c3 + c5 - c7)

// Rounded arithmetic shift right.
constexpr Wide Descale(Wide x, int n)
{
    return (x + (Wide{1} << (n - 1))) >> n;
}

struct Outputs
{
    Wide v[8];
};

// One 8-point transform: `x` are the inputs 0..7; the results carry kConstBits fraction bits more than the inputs.
// Called with constant zeros for inputs 4 to 7, the compiler drops their terms.
[[gnu::always_inline]] inline void Transform(Wide x0, Wide x1, Wide x2, Wide x3, Wide x4, Wide x5, Wide x6, Wide x7,
                                             Outputs& o)
{
    // Even part.
    const Wide z1 = (x2 + x6) * kF0541;
    const Wide even2 = z1 - x6 * kF1847;
    const Wide even3 = z1 + x2 * kF0765;
    const Wide even0 = (x0 + x4) << kConstBits;
    const Wide even1 = (x0 - x4) << kConstBits;
    const Wide t10 = even0 + even3;
    const Wide t13 = even0 - even3;
    const Wide t11 = even1 + even2;
    const Wide t12 = even1 - even2;

    // Odd part.
    const Wide s1 = x7 + x1;
    const Wide s2 = x5 + x3;
    const Wide s3 = x7 + x3;
    const Wide s4 = x5 + x1;
    const Wide z5 = (s3 + s4) * kF1175;
    const Wide r1 = -s1 * kF0899;
    const Wide r2 = -s2 * kF2562;
    const Wide r3 = -s3 * kF1961 + z5;
    const Wide r4 = -s4 * kF0390 + z5;
    const Wide odd0 = x7 * kF0298 + r1 + r3;
    const Wide odd1 = x5 * kF2053 + r2 + r4;
    const Wide odd2 = x3 * kF3072 + r2 + r3;
    const Wide odd3 = x1 * kF1501 + r1 + r4;

    o.v[0] = t10 + odd3;
    o.v[7] = t10 - odd3;
    o.v[1] = t11 + odd2;
    o.v[6] = t11 - odd2;
    o.v[2] = t12 + odd1;
    o.v[5] = t12 - odd1;
    o.v[3] = t13 + odd0;
    o.v[4] = t13 - odd0;
}

template <int kPrecision> constexpr int Pass1Bits()
{
    return kPrecision == 8 ? 2 : 1;
}

template <int kPrecision> inline std::uint16_t Clamp(Wide shifted)
{
    constexpr Wide kCentre = Wide{1} << (kPrecision - 1);
    constexpr Wide kMax = (Wide{1} << kPrecision) - 1;
    return static_cast<std::uint16_t>(std::clamp<Wide>(shifted + kCentre, 0, kMax));
}

// kQuarter: only the top-left 4 x 4 coefficients may be non-zero (zig-zag indices up to 9), so columns 4 to 7 of
// the first pass are zero and every transform has zero inputs 4 to 7.
template <int kPrecision, bool kQuarter>
void InverseDct(const std::int32_t* in, std::uint16_t* out, std::ptrdiff_t stride) noexcept
{
    constexpr int kPass1 = Pass1Bits<kPrecision>();
    constexpr int kColumns = kQuarter ? 4 : 8;
    Wide work[64];
    Outputs o;
    for (int c = 0; c < 8; ++c)
    {
        const std::int32_t* col = in + c;
        const bool dcOnly =
            c >= kColumns || (kQuarter ? (col[8] | col[16] | col[24]) == 0
                                       : (col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0);
        if (dcOnly)
        {
            // A column of DC alone (most columns once quantized): the transform reduces to a scale.
            const Wide dc = c >= kColumns ? 0 : Wide{col[0]} * (1 << kPass1);
            for (int r = 0; r < 8; ++r)
            {
                work[r * 8 + c] = dc;
            }
            continue;
        }
        if constexpr (kQuarter)
        {
            Transform(col[0], col[8], col[16], col[24], 0, 0, 0, 0, o);
        }
        else
        {
            Transform(col[0], col[8], col[16], col[24], col[32], col[40], col[48], col[56], o);
        }
        for (int r = 0; r < 8; ++r)
        {
            work[r * 8 + c] = Descale(o.v[r], kConstBits - kPass1);
        }
    }
    for (int r = 0; r < 8; ++r)
    {
        const Wide* row = work + r * 8;
        std::uint16_t* dst = out + r * stride;
        if constexpr (kQuarter)
        {
            Transform(row[0], row[1], row[2], row[3], 0, 0, 0, 0, o);
        }
        else
        {
            Transform(row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7], o);
        }
        for (int c = 0; c < 8; ++c)
        {
            dst[c] = Clamp<kPrecision>(Descale(o.v[c], kConstBits + kPass1 + 3));
        }
    }
}

template <int kPrecision> void InverseDctDcOnly(std::int32_t dc, std::uint16_t* out, std::ptrdiff_t stride) noexcept
{
    // Both passes of a lone DC reduce to shifts; rounding as the row pass of the full transform rounds.
    constexpr int kPass1 = Pass1Bits<kPrecision>();
    const std::uint16_t value = Clamp<kPrecision>(Descale(Wide{dc} * (1 << kPass1), kPass1 + 3));
    for (int r = 0; r < 8; ++r)
    {
        std::fill_n(out + r * stride, 8, value);
    }
}

template <int kPrecision>
void InverseDctAny(const std::int32_t* in, int lastZigZag, std::uint16_t* out, std::ptrdiff_t stride) noexcept
{
    if (lastZigZag == 0)
    {
        InverseDctDcOnly<kPrecision>(in[0], out, stride);
    }
    else if (lastZigZag <= 9)
    {
        InverseDct<kPrecision, true>(in, out, stride);
    }
    else
    {
        InverseDct<kPrecision, false>(in, out, stride);
    }
}

} // namespace

void InverseDct8(const std::int32_t* coefficients, int lastZigZag, std::uint16_t* out, std::ptrdiff_t stride) noexcept
{
    InverseDctAny<8>(coefficients, lastZigZag, out, stride);
}

void InverseDct12(const std::int32_t* coefficients, int lastZigZag, std::uint16_t* out, std::ptrdiff_t stride) noexcept
{
    InverseDctAny<12>(coefficients, lastZigZag, out, stride);
}

} // namespace orblane::jpegdct
