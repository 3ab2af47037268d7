#pragma once

#include <cstddef>
#include <cstdint>

namespace orblane::jpegdct {

// The inverse DCT of one 8 x 8 block (T.81 A.3.3), in the accurate integer form of Loeffler, Ligtenberg and
// Moschytz: 13-bit fixed-point constants, one column pass and one row pass, each rounded. The common IJG decoders
// use this same factorisation ("islow"), so samples agree with theirs, which is what other viewers show.
//
// `coefficients` holds the dequantized coefficients in natural (row-major) order, each the product of a 16-bit
// coefficient and a 16-bit quantizer, so any int32 value is accepted without overflow. `lastZigZag` is the highest
// zig-zag index that may be non-zero: the transform skips what is known to be zero, with the same results. The
// samples are level-shifted by 2^(precision-1), clamped to 0 .. 2^precision - 1 and written as eight rows of eight,
// `stride` samples apart.
void InverseDct8(const std::int32_t* coefficients, int lastZigZag, std::uint16_t* out, std::ptrdiff_t stride) noexcept;
void InverseDct12(const std::int32_t* coefficients, int lastZigZag, std::uint16_t* out, std::ptrdiff_t stride) noexcept;

} // namespace orblane::jpegdct
