#include "Commands.h"

#include "imaging/LosslessJpeg.h"
#include "platform/LargeBuffer.h"
#include "platform/MappedFile.h"
#include "platform/MappedReadGuard.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace orblane::cli {
namespace {

int PrintCode(int code)
{
    std::printf("{\"code\": %d}\n", code);
    std::fprintf(stderr, "orblane-cli: decoding failed with code %d\n", code);
    return 1;
}

} // namespace

// decode-jpegll IN OUT: a bare JPEG lossless stream in, the decoder's sample layout out.
int RunDecodeJpegll(Arguments args)
{
    if (args.size() != 2)
    {
        return UsageError("decode-jpegll needs IN and OUT");
    }
    const std::string inPath(args[0]);
    const std::string outPath(args[1]);
    // The stream is read in place from a mapping, and decoded under a guard: a file cut short meanwhile fails this
    // command instead of raising SIGBUS. An empty file decodes (and fails) as an empty stream.
    platform::MappedFile input;
    const int opened = input.Open(inPath);
    const auto cannotRead = [&] {
        std::fprintf(stderr, "orblane-cli: cannot read %s\n", inPath.c_str());
        return 1;
    };
    if ((opened != 0 && opened != EINVAL) || (opened == 0 && input.Map() != 0))
    {
        return cannotRead();
    }
    const std::uint8_t empty = 0;
    const ByteView source = input.IsMapped() ? input.Bytes() : ByteView(&empty, 0);
    // Size the destination from the frame header: two bytes a sample covers either container, and a line count
    // left to a DNL segment may reach 65535. A large buffer, so that its pages fault in huge pages where the kernel
    // allows: at 4 KiB each, faulting in a radiograph's samples costs a fifth of decoding them.
    lossless::FrameHeader frame;
    std::int32_t capacity = 0;
    int rc = lossless::kOk;
    if (platform::GuardMappedRead(source, [&] { rc = lossless::ReadLosslessFrameHeader(source, &frame); }) ==
        platform::MappedRead::Faulted)
    {
        return cannotRead();
    }
    if (rc == lossless::kOk)
    {
        const std::uint64_t lines = frame.lines != 0 ? frame.lines : 65535;
        capacity = static_cast<std::int32_t>(std::min<std::uint64_t>(
            lines * frame.samplesPerLine * 2, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())));
    }
    const platform::LargeArray<std::uint8_t> destination =
        platform::MakeLargeArray<std::uint8_t>(static_cast<std::size_t>(capacity));
    if (destination == nullptr)
    {
        return PrintCode(lossless::kOutputAllocation);
    }
    std::uint16_t lines = 0;
    std::uint16_t samplesPerLine = 0;
    std::uint16_t containerBits = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
    const platform::MappedRead read = platform::GuardMappedRead(source, [&] {
        rc = lossless::DecodeLossless(source, destination.get(), capacity, &lines, &samplesPerLine, &containerBits,
                                      &precision, &highBit);
    });
    if (read == platform::MappedRead::Faulted)
    {
        return cannotRead();
    }
    if (rc != lossless::kOk)
    {
        return PrintCode(rc);
    }
    const std::size_t bytes = std::size_t{lines} * samplesPerLine * (containerBits / 8u);
    std::FILE* out = std::fopen(outPath.c_str(), "wb");
    if (out == nullptr)
    {
        std::fprintf(stderr, "orblane-cli: cannot write %s\n", outPath.c_str());
        return 1;
    }
    const bool written = std::fwrite(destination.get(), 1, bytes, out) == bytes;
    if (std::fclose(out) != 0 || !written)
    {
        std::fprintf(stderr, "orblane-cli: cannot write %s\n", outPath.c_str());
        return 1;
    }
    std::printf("{\"code\": 0, \"lines\": %u, \"samplesPerLine\": %u, \"precision\": %u}\n", unsigned{lines},
                unsigned{samplesPerLine}, unsigned{precision});
    return 0;
}

} // namespace orblane::cli
