#pragma once

#include "imaging/codecs/Codec.h"

#include <chrono>
#include <optional>

namespace orblane {

// Runs `decode` on `frame` in a child process (platform/ChildProcess.h), killed after `limit`: for libraries that
// end the process on a damaged stream, or spend seconds on one. Frames of up to some megabytes go to a kept worker
// process (one per decoding thread), which is replaced after any frame that did not decode cleanly; larger ones to a
// child of their own. The child reads the frame from the memory it shares with this process, where it is copied
// first: the buffers of decoded images are kept out of child processes (platform/LargeBuffer.h), so that a fork
// costs a millisecond beside a full cache. Answers the child's result (its samples copied into `out`), Corrupt with
// `failedDetail` when the child crashed or ran out of time, and nothing when no child could be started.
std::optional<DecodeResult> DecodeInChild(DecodeFrame decode, ByteView frame, const FrameGeometry& declared,
                                          const DecodeLimits& limits, std::span<std::uint8_t> out,
                                          std::chrono::milliseconds limit, int failedDetail) noexcept;

} // namespace orblane
