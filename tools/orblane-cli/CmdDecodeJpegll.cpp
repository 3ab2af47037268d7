#include "Commands.h"

#include "imaging/LosslessJpeg.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace orblane::cli {
namespace {

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
    {
        return false;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
    {
        return false;
    }
    const std::streamoff size = in.tellg();
    if (size < 0)
    {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

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
    std::vector<std::uint8_t> source;
    if (!ReadWholeFile(inPath, source))
    {
        std::fprintf(stderr, "orblane-cli: cannot read %s\n", inPath.c_str());
        return 1;
    }
    // Size the destination from the frame header: two bytes a sample covers either container, and a line count
    // left to a DNL segment may reach 65535.
    lossless::FrameHeader frame;
    std::int32_t capacity = 0;
    if (lossless::ReadLosslessFrameHeader(source, &frame) == lossless::kOk)
    {
        const std::uint64_t lines = frame.lines != 0 ? frame.lines : 65535;
        capacity = static_cast<std::int32_t>(std::min<std::uint64_t>(
            lines * frame.samplesPerLine * 2, static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())));
    }
    std::unique_ptr<std::uint8_t[]> destination(new (std::nothrow) std::uint8_t[capacity == 0 ? 1 : capacity]);
    if (destination == nullptr)
    {
        return PrintCode(lossless::kOutputAllocation);
    }
    std::uint16_t lines = 0;
    std::uint16_t samplesPerLine = 0;
    std::uint16_t containerBits = 0;
    std::uint16_t precision = 0;
    std::uint16_t highBit = 0;
    const std::uint8_t empty = 0;
    const ByteView view = source.empty() ? ByteView(&empty, 0) : ByteView(source);
    const int rc = lossless::DecodeLossless(view, destination.get(), capacity, &lines, &samplesPerLine, &containerBits,
                                            &precision, &highBit);
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
