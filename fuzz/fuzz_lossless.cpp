// Stream bytes in, decoded with a destination sized from the stream's own frame header (every component) but never
// above 256 KiB, so that capacity checks meet both generous and tight limits. The decoder of one to four components
// takes every stream: a one-component one goes through the same scan loop as the one-component decoder's.
#include "imaging/LosslessJpeg.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace orblane;
    // An exact-size copy: any read past the end is caught by AddressSanitizer.
    const std::vector<std::uint8_t> source(data, data + size);
    const std::uint8_t empty = 0;
    const ByteView view = source.empty() ? ByteView(&empty, 0) : ByteView(source);

    constexpr std::uint64_t kMaxCapacity = 1u << 18;
    std::uint64_t capacity = kMaxCapacity;
    lossless::FrameHeader frame;
    if (lossless::ReadLosslessFrameHeader(view, &frame) == lossless::kOk && frame.lines != 0)
    {
        capacity = std::min<std::uint64_t>(kMaxCapacity, std::uint64_t{frame.lines} * frame.samplesPerLine *
                                                             frame.componentCount * (frame.precision < 9 ? 1u : 2u));
    }
    // Left uninitialised (zeroing it would dominate each run); its exact size still bounds every write.
    const std::unique_ptr<std::uint8_t[]> destination(new std::uint8_t[capacity == 0 ? 1 : capacity]);
    lossless::LosslessImage image;
    const int rc = lossless::DecodeLosslessImage(view, destination.get(), static_cast<std::int32_t>(capacity), &image);
    if (rc == lossless::kOk &&
        std::size_t{image.lines} * image.samplesPerLine * image.components * (image.containerBits / 8u) > capacity)
    {
        __builtin_trap(); // a success must never claim more samples than the destination holds
    }
    return 0;
}
