// High-Throughput JPEG 2000 (ISO/IEC 15444-15) codestreams through OpenJPH. OpenJPH reports a damaged stream by
// throwing (its error handler throws std::runtime_error after the message), so every call into it sits inside one
// try block here and nothing it throws leaves this file. The main header is checked twice: the SIZ segment from the
// bytes before the library sees them, and the library's own reading of it before any tile state, line buffer or sample
// is allocated.
#include "imaging/codecs/ChildDecode.h"
#include "imaging/codecs/Codecs.h"
#include "imaging/codecs/Jpeg2000Siz.h"
#include "platform/ChildProcess.h"

#include <openjph/ojph_arch.h>
#include <openjph/ojph_codestream.h>
#include <openjph/ojph_file.h>
#include <openjph/ojph_mem.h>
#include <openjph/ojph_message.h>
#include <openjph/ojph_params.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace orblane {
namespace {

// Our own detail codes (OpenJPH's are message numbers, not outcomes). Where a cause is shared with the OpenJPEG
// codec, so is its number.
enum HtJ2kDetail : int
{
    kNotCodestream = 1,    // not a bare codestream (SOC SIZ)
    kHeaderUnreadable = 3, // main header damaged, or not an HTJ2K codestream
    kTooManyPixels = 4,    // more pixels than the stream's length can justify
    kOutputTooSmall = 5,   // the decoded frame would not fit the caller's buffer
    kComponentCount = 6,   // neither 1 nor 3 components
    kSubsampled = 7,       // a subsampled component, or components of unequal precision or sign
    kPrecision = 8,        // precision above the declared container, or outside 1..31
    kDecodeFailed = 9,     // the library refused the tile data
    kLibraryOutOfMemory = 11,
    kTooManyTiles = 12,      // more tiles than the stream has bytes to carry
    kHighThroughput = 13,    // no child process could be started to decode it safely
    kChildDecodeFailed = 15, // the child process crashed, aborted or hung
    kShortLine = 16,         // the library answered a line shorter than the image
};

DecodeResult Fail(DecodeStatus status, int detail) noexcept
{
    DecodeResult result;
    result.status = status;
    result.detail = detail;
    return result;
}

// OpenJPH's message handlers print to the standard streams (its error handler then throws std::runtime_error), and
// 0.9 ignores a handler of our own (configure_error does nothing). A stream it is given is written with no check
// for null, so the messages go to the null device, opened once for the process: never to the parent's stderr,
// whose lock another thread may hold when a child process starts.
void QuietTheLibrary() noexcept
{
#ifdef _WIN32
    constexpr const char* kNullDevice = "NUL";
#else
    constexpr const char* kNullDevice = "/dev/null";
#endif
    static std::FILE* const sink = []() noexcept {
        std::FILE* file = std::fopen(kNullDevice, "w");
        if (file != nullptr)
        {
            ojph::set_info_stream(file);
            ojph::set_warning_stream(file);
            ojph::set_error_stream(file);
        }
        return file;
    }();
    static_cast<void>(sink);
}

// One line of a component into its place in the interleaved output. The library does not clip what an
// irreversible decode gives, so every sample is brought into its precision's range first.
template <class Sample>
void StoreLine(const ojph::si32* line, std::size_t width, std::int32_t low, std::int32_t high, std::size_t step,
               std::uint8_t* out) noexcept
{
    for (std::size_t x = 0; x < width; ++x)
    {
        const auto sample = static_cast<Sample>(std::clamp(line[x], low, high));
        std::memcpy(out + x * step * sizeof(Sample), &sample, sizeof(Sample));
    }
}

using StoreLineFunction = void (*)(const ojph::si32*, std::size_t, std::int32_t, std::int32_t, std::size_t,
                                   std::uint8_t*) noexcept;

// The library's decode of a codestream whose SIZ segment was checked. Throws what OpenJPH throws; the caller
// catches.
DecodeResult DecodeWithLibrary(ByteView codestream, const FrameGeometry& declared, const DecodeLimits& limits,
                               std::span<std::uint8_t> out)
{
    ojph::mem_infile file;
    file.open(codestream.data(), codestream.size());
    ojph::codestream stream;
    stream.read_headers(&file);

    // Everything the output depends on is checked from the header, before create() allocates the tiles' state.
    ojph::param_siz siz = stream.access_siz();
    const ojph::ui32 components = siz.get_num_components();
    if (components != 1 && components != 3)
    {
        return Fail(DecodeStatus::Unsupported, kComponentCount);
    }
    const ojph::ui32 precision = siz.get_bit_depth(0);
    const bool isSigned = siz.is_signed(0);
    for (ojph::ui32 c = 0; c < components; ++c)
    {
        const ojph::point sampling = siz.get_downsampling(c);
        if (sampling.x != 1 || sampling.y != 1 || siz.get_bit_depth(c) != precision || siz.is_signed(c) != isSigned)
        {
            return Fail(DecodeStatus::Unsupported, kSubsampled);
        }
    }
    const std::uint32_t containerBits = static_cast<std::uint32_t>(ContainerBytes(declared.bitsAllocated)) * 8;
    if (precision == 0 || precision > 31 || precision > containerBits)
    {
        return Fail(DecodeStatus::Unsupported, kPrecision);
    }
    const ojph::point extent = siz.get_image_extent();
    const ojph::point offset = siz.get_image_offset();
    if (extent.x <= offset.x || extent.y <= offset.y)
    {
        return Fail(DecodeStatus::Corrupt, kHeaderUnreadable);
    }
    const std::uint32_t width = extent.x - offset.x;
    const std::uint32_t height = extent.y - offset.y;
    if (width > 0xFFFF || height > 0xFFFF || std::uint64_t{width} * height > limits.maxPixels)
    {
        return Fail(DecodeStatus::Corrupt, kTooManyPixels);
    }

    DecodeResult result;
    FrameGeometry& actual = result.actual;
    actual.rows = static_cast<std::uint16_t>(height);
    actual.columns = static_cast<std::uint16_t>(width);
    actual.samplesPerPixel = static_cast<std::uint16_t>(components);
    actual.bitsAllocated = declared.bitsAllocated;
    actual.bitsStored = static_cast<std::uint16_t>(precision);
    actual.isSigned = isSigned;
    // The library undoes the stream's own component transform (its COD segment's), so the samples are RGB then;
    // without one they are what the data set says they are.
    if (components == 1)
    {
        actual.colour = SampleColour::Grey;
    }
    else if (stream.access_cod().is_using_color_transform() || declared.colour == SampleColour::Grey)
    {
        actual.colour = SampleColour::Rgb;
    }
    else
    {
        actual.colour = declared.colour;
    }
    if (FrameBytes(actual) > out.size())
    {
        return Fail(DecodeStatus::Corrupt, kOutputTooSmall);
    }

    // One line of every component in turn, top first, whatever the stream's progression.
    stream.set_planar(false);
    stream.create();
    const std::int32_t high = isSigned ? static_cast<std::int32_t>((std::uint32_t{1} << (precision - 1)) - 1)
                                       : static_cast<std::int32_t>((std::uint64_t{1} << precision) - 1);
    const std::int32_t low = isSigned ? -high - 1 : 0;
    const std::size_t container = ContainerBytes(declared.bitsAllocated);
    const StoreLineFunction store = container == 1   ? &StoreLine<std::uint8_t>
                                    : container == 2 ? &StoreLine<std::uint16_t>
                                                     : &StoreLine<std::uint32_t>;
    const std::size_t rowBytes = std::size_t{width} * components * container;
    for (std::uint32_t y = 0; y < height; ++y)
    {
        for (ojph::ui32 c = 0; c < components; ++c)
        {
            ojph::ui32 component = 0;
            const ojph::line_buf* line = stream.pull(component);
            if (line == nullptr || line->i32 == nullptr || component >= components || line->size < width)
            {
                return Fail(DecodeStatus::Corrupt, kShortLine);
            }
            store(line->i32, width, low, high, components,
                  out.data() + std::size_t{y} * rowBytes + std::size_t{component} * container);
        }
    }
    stream.close();
    result.status = DecodeStatus::Decoded;
    return result;
}

// The decode on this thread; nothing the library throws passes.
DecodeResult DecodeHere(ByteView codestream, const FrameGeometry& declared, const DecodeLimits& limits,
                        std::span<std::uint8_t> out) noexcept
{
    QuietTheLibrary();
    try
    {
        return DecodeWithLibrary(codestream, declared, limits, out);
    }
    catch (const std::bad_alloc&)
    {
        return Fail(DecodeStatus::OutOfMemory, kLibraryOutOfMemory);
    }
    catch (...)
    {
        return Fail(DecodeStatus::Corrupt, kDecodeFailed);
    }
}

// Debian 12's OpenJPH 0.9 is built with its assertions, and a damaged HT code-block ends the process in one (the
// same `mel_init` check OpenJPEG's HT decoder has; tests/data/fuzz/jpeg2000/ht_mel_assert.j2c). A damaged disc must
// cost one image, never the viewer, so the library runs in a child process that shares only the output; where none
// can be started the frame is refused. OpenJPH decodes a 512 x 512 slice in a few milliseconds, and loops for good on
// some damaged streams: a frame gets a second and a millisecond for every 16 KiB of its output (a CT slice 1.03 s, a
// 20-megapixel mammogram 3.5 s), then it is taken for a hang and the pool's thread is free again.
std::chrono::milliseconds ChildDecodeLimit(std::size_t outputBytes) noexcept
{
    return std::chrono::milliseconds(1000 + static_cast<std::int64_t>(outputBytes / 16384));
}

} // namespace

bool HasHtJ2kLibrary() noexcept
{
    return true;
}

DecodeResult DecodeHtJ2k(ByteView codestream, const FrameGeometry& declared, const DecodeLimits& limits,
                         std::span<std::uint8_t> out) noexcept
{
    if (const DecodeResult siz = CheckSizSegment(codestream, limits, kNotCodestream);
        siz.status != DecodeStatus::Decoded)
    {
        return siz;
    }
    // Here, not in the child: a child process opens no files, and each child inherits the one stream.
    QuietTheLibrary();
    const std::optional<DecodeResult> result =
        DecodeInChild(&DecodeHere, codestream, declared, limits, out, ChildDecodeLimit(out.size()), kChildDecodeFailed);
    return result ? *result : Fail(DecodeStatus::Unsupported, kHighThroughput);
}

} // namespace orblane
