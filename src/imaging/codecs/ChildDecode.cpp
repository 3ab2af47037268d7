#include "imaging/codecs/ChildDecode.h"

#include "platform/ChildProcess.h"

#include <cstring>

namespace orblane {

std::optional<DecodeResult> DecodeInChild(DecodeFrame decode, ByteView frame, const FrameGeometry& declared,
                                          const DecodeLimits& limits, std::span<std::uint8_t> out,
                                          std::chrono::milliseconds limit, int failedDetail) noexcept
{
    // Laid out as: the result, the samples, the frame.
    const std::size_t samplesAt = sizeof(DecodeResult);
    const std::size_t frameAt = samplesAt + out.size();
    DecodeResult failed;
    failed.status = DecodeStatus::Corrupt;
    failed.detail = failedDetail;
    platform::SharedScratch scratch(frameAt + frame.size());
    const std::span<std::uint8_t> shared = scratch.Bytes();
    if (shared.size() < frameAt + frame.size())
    {
        failed.status = DecodeStatus::OutOfMemory;
        return failed;
    }
    if (!frame.empty())
    {
        std::memcpy(shared.data() + frameAt, frame.data(), frame.size());
    }
    // The child does not see what the caller's span or the limits' pointers point into: only values cross.
    DecodeLimits childLimits = limits;
    childLimits.finalBytes = nullptr;
    const auto work = [&]() noexcept {
        const DecodeResult result =
            decode(shared.subspan(frameAt, frame.size()), declared, childLimits, shared.subspan(samplesAt, out.size()));
        std::memcpy(shared.data(), &result, sizeof result);
    };
    switch (platform::RunInChild(work, limit))
    {
    case platform::ChildEnd::Finished:
        break;
    case platform::ChildEnd::Failed:
        failed.reason = "the decoder did not finish";
        return failed;
    case platform::ChildEnd::Unavailable:
        return std::nullopt;
    }
    DecodeResult result;
    // The reason, if any, is static text of this program: at the same address in the child, which is a copy.
    std::memcpy(&result, shared.data(), sizeof result);
    if (result.Ok())
    {
        const std::uint64_t bytes = FrameBytes(result.actual);
        if (bytes > out.size())
        {
            return failed;
        }
        std::memcpy(out.data(), shared.data() + samplesAt, static_cast<std::size_t>(bytes));
    }
    return result;
}

} // namespace orblane
