#include "imaging/codecs/ChildDecode.h"

#include "platform/ChildProcess.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <type_traits>

namespace orblane {
namespace {

// Everything a decode in a child needs, as values: the child does not see what the caller's spans or the limits'
// pointers point into. Laid out in the shared memory as: the request (its result filled in by the child), the
// samples, the frame.
struct ChildRequest
{
    DecodeFrame decode = nullptr;
    FrameGeometry declared;
    DecodeLimits limits;
    std::size_t frameBytes = 0;
    std::size_t outBytes = 0;
    DecodeResult result;
};
static_assert(std::is_trivially_copyable_v<ChildRequest>);

// The samples start on a cache line of their own, as a buffer of the caller's would.
constexpr std::size_t kSamplesAt = (sizeof(ChildRequest) + 63) / 64 * 64;

// Frames whose request, samples and frame fit this go to a kept worker; larger ones (a radiograph, where a fork is
// small beside the decode) to a child of their own. Per worker, at most this much shared memory is ever touched.
constexpr std::size_t kWorkerSharedBytes = std::size_t{16} << 20;

void DecodeShared(std::span<std::uint8_t> shared) noexcept
{
    ChildRequest request;
    std::memcpy(&request, shared.data(), sizeof request);
    const std::size_t frameAt = kSamplesAt + request.outBytes;
    if (request.decode == nullptr || request.outBytes > shared.size() - kSamplesAt ||
        request.frameBytes > shared.size() - frameAt)
    {
        return; // the caller finds the result it put there: Corrupt
    }
    request.result = request.decode(shared.subspan(frameAt, request.frameBytes), request.declared, request.limits,
                                    shared.subspan(kSamplesAt, request.outBytes));
    std::memcpy(shared.data(), &request, sizeof request);
}

// One worker for each thread that may decode at once: the decode-ahead pool's and the owner's.
platform::ChildWorkers& Workers() noexcept
{
    static platform::ChildWorkers workers(std::clamp(std::thread::hardware_concurrency(), 2u, 8u) + 1,
                                          kWorkerSharedBytes);
    return workers;
}

} // namespace

std::optional<DecodeResult> DecodeInChild(DecodeFrame decode, ByteView frame, const FrameGeometry& declared,
                                          const DecodeLimits& limits, std::span<std::uint8_t> out,
                                          std::chrono::milliseconds limit, int failedDetail) noexcept
{
    DecodeResult failed;
    failed.status = DecodeStatus::Corrupt;
    failed.detail = failedDetail;
    const std::size_t frameAt = kSamplesAt + out.size();
    if (out.size() > static_cast<std::size_t>(-1) - kSamplesAt - frame.size())
    {
        failed.status = DecodeStatus::OutOfMemory;
        return failed;
    }
    const std::size_t needed = frameAt + frame.size();

    platform::ChildWorkers::Lease worker;
    if (needed <= kWorkerSharedBytes)
    {
        worker = Workers().TryTake();
    }
    std::optional<platform::SharedScratch> ownScratch;
    std::span<std::uint8_t> shared;
    if (worker && worker->Shared().size() >= needed)
    {
        shared = worker->Shared();
    }
    else
    {
        worker = {};
        shared = ownScratch.emplace(needed).Bytes();
    }
    if (shared.size() < needed)
    {
        failed.status = DecodeStatus::OutOfMemory;
        return failed;
    }

    ChildRequest request;
    request.decode = decode;
    request.declared = declared;
    request.limits = limits;
    request.limits.finalBytes = nullptr;
    request.frameBytes = frame.size();
    request.outBytes = out.size();
    request.result = failed;
    std::memcpy(shared.data(), &request, sizeof request);
    if (!frame.empty())
    {
        std::memcpy(shared.data() + frameAt, frame.data(), frame.size());
    }

    platform::ChildEnd end = platform::ChildEnd::Unavailable;
    if (worker)
    {
        const bool servedBefore = worker->Served() > 0;
        const auto started = std::chrono::steady_clock::now();
        end = worker->Run(&DecodeShared, limit);
        const auto left =
            limit - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        if (end == platform::ChildEnd::Failed && servedBefore && left.count() > 0)
        {
            // A damaged stream of an earlier frame may have left the library's heap damaged in a way that did not
            // show then: this frame gets one more try in a fresh child before it is called damaged.
            std::memcpy(shared.data(), &request, sizeof request);
            if (!frame.empty())
            {
                std::memcpy(shared.data() + frameAt, frame.data(), frame.size());
            }
            end = worker->Run(&DecodeShared, left);
        }
    }
    if (end == platform::ChildEnd::Unavailable && !worker)
    {
        end = platform::RunInChild([shared]() noexcept { DecodeShared(shared); }, limit);
    }
    switch (end)
    {
    case platform::ChildEnd::Finished:
        break;
    case platform::ChildEnd::Failed:
        failed.reason = "the decoder did not finish";
        return failed;
    case platform::ChildEnd::Unavailable:
        return std::nullopt;
    }
    // The reason, if any, is static text of this program: at the same address in the child, which is a copy.
    std::memcpy(&request, shared.data(), sizeof request);
    const DecodeResult& result = request.result;
    // A library that refused a damaged stream may have left its heap damaged too: the next frame gets a fresh child.
    if (worker && result.status != DecodeStatus::Decoded)
    {
        worker->Retire();
    }
    if (result.Ok())
    {
        const std::uint64_t bytes = FrameBytes(result.actual);
        if (bytes > out.size())
        {
            return failed;
        }
        std::memcpy(out.data(), shared.data() + kSamplesAt, static_cast<std::size_t>(bytes));
    }
    return result;
}

} // namespace orblane
