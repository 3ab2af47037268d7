#include "LosslessFrames.h"

#include <stdexcept>

namespace orblane::demo {

std::vector<std::uint8_t> EncodeLosslessFrame(const std::vector<std::uint16_t>&, int, int, int)
{
    throw std::runtime_error("no lossless encoder in this build");
}

} // namespace orblane::demo
