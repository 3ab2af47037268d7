#pragma once

#include <cstddef>

namespace orblane::platform {

// Asks the kernel to back a large, freshly allocated buffer with huge pages where it can. A radiograph's bitmap,
// values and decoded samples are some 50 MB that are written once, straight after allocation; with 4 KiB pages the
// first touch of each page costs a fault, and those faults cost more than decoding the image. A hint only: nothing
// changes where the kernel declines.
void AdviseLargeBuffer(void* data, std::size_t bytes) noexcept;

} // namespace orblane::platform
