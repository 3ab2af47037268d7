#include "LosslessFrames.h"

#include "support/LosslessEncoder.h"

namespace orblane::demo {

std::vector<std::uint8_t> EncodeLosslessFrame(const std::vector<std::uint16_t>& samples, int width, int height,
                                              int precision)
{
    test::LosslessEncodeOptions options;
    options.precision = precision;
    options.width = width;
    options.height = height;
    options.predictor = 1;
    options.table = test::TableChoice::Optimal;
    return test::EncodeLossless(samples, options);
}

} // namespace orblane::demo
