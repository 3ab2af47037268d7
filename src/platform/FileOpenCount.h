#pragma once

#include <cstdint>

namespace orblane::platform {

// Files opened for reading through MappedFile since the process started, on every thread. A test reads it to tell
// that a step opened no image file (the strip drawn from a DICOMDIR's icons); nothing in the program decides on it.
std::uint64_t FileOpenCount() noexcept;
// Counted by the openers themselves.
void CountFileOpen() noexcept;

} // namespace orblane::platform
