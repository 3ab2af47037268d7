#pragma once

// JPEG 2000 codestreams written by OpenJPEG for tests and benchmarks: images of any size without fixture files.

#include <cstdint>
#include <span>
#include <vector>

namespace orblane::test {

// A J2K codestream (no JP2 boxes) of one grey component of `precision` unsigned bits, rows top first; reversible
// 5/3 wavelet (lossless) over `levels` decomposition levels, one quality layer. Empty if the library failed.
std::vector<std::uint8_t> EncodeGreyJpeg2000(std::span<const std::uint16_t> samples, int width, int height,
                                             int precision, int levels = 5);

// A CT-like picture of 12-bit stored values (value - 1024 is HU): air around an oval body of soft tissue with seeded
// noise, a ring of bone and a few small dense spots, so that a reduced picture has edges and detail to lose.
std::vector<std::uint16_t> SyntheticCtSamples(int width, int height);

// A whole Part 10 file of that picture in JPEG 2000 Lossless (one fragment), with the CT rescale and a soft-tissue
// window. Empty if the encoder failed.
std::vector<std::uint8_t> Jpeg2000CtFile(int width, int height);

} // namespace orblane::test
