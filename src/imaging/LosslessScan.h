#pragma once

#include "imaging/LosslessJpeg.h"

namespace orblane::lossless {

// Decodes the entropy-coded data of the one scan, the state's cursor at its first byte and its header parsed, and
// then expects EOI. Sets state.decodedLines on success.
int DecodeScan(LosslessState& state) noexcept;

// Decodes the entropy-coded data of one scan of a frame of several components, its header parsed and its tables
// resolved, into the destination's interleaved pixels (each frame component at its place in the pixel). Leaves the
// cursor after the scan's data (and after a DNL segment). Sets state.decodedLines after the first scan.
int DecodeComponentScan(LosslessState& state) noexcept;

} // namespace orblane::lossless
