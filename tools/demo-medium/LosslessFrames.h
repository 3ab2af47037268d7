#pragma once

#include <cstdint>
#include <vector>

namespace orblane::demo {

// One JPEG lossless frame (first-order prediction, as scanners write them) of width × height samples of the given
// precision, top row first.
std::vector<std::uint8_t> EncodeLosslessFrame(const std::vector<std::uint16_t>& samples, int width, int height,
                                              int precision);

} // namespace orblane::demo
