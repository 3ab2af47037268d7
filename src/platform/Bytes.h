#pragma once

#include <cstdint>
#include <span>

namespace orblane {

// Raw bytes of a file or a value: always a view into memory that someone else owns (usually a mapped file).
using ByteView = std::span<const std::uint8_t>;

} // namespace orblane
