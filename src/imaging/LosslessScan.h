#pragma once

#include "imaging/LosslessJpeg.h"

namespace orblane::lossless {

// Decodes the entropy-coded data of the one scan, the state's cursor at its first byte and its header parsed, and
// then expects EOI. Sets state.decodedLines on success.
int DecodeScan(LosslessState& state) noexcept;

} // namespace orblane::lossless
