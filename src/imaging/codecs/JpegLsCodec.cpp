// JPEG-LS lossless and near-lossless frames (ITU-T T.87) through CharLS's C interface, which reports failures as
// codes and never throws. CharLS writes samples of 2 to 8 bits as bytes and of 9 to 16 bits as native 16-bit words,
// pixel-interleaved for line and sample interleaving and one plane after another for none; when that is already the
// output layout the frame is decoded straight into the caller's buffer, otherwise through one scratch frame.
//
// CharLS 2.4.1 spends seconds on some damaged streams before it refuses them (found by fuzzing: a stream of 512 lines
// one sample wide took 9 s), and the library takes no work budget. So the decode runs on a thread of its own, on
// copies it owns, and the caller waits for it only as long as a sound frame of its size could ever take: then the
// frame is damaged, and the screen is not held. The thread finishes on its own (CharLS does give up) and frees what
// it owns. A child process would bound the work as well, but a fork per frame cost 10 to 20 % of the decode.
#include "imaging/codecs/Codecs.h"

#include <charls/charls_jpegls_decoder.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace orblane {
namespace {

using charls::jpegls_errc;

// Codes of our own, above CharLS's (which stay below 1000).
constexpr int kTooManyPixels = 1001;  // more pixels than the stream's length can justify
constexpr int kOutputTooSmall = 1002; // the decoded frame would not fit the caller's buffer
constexpr int kComponentCount = 1003; // neither 1 nor 3 components
constexpr int kPrecision = 1004;      // precision above the declared container
constexpr int kTooSlow = 1005;        // the decode took longer than a sound frame of its size could

struct DecoderDeleter
{
    void operator()(charls_jpegls_decoder* decoder) const noexcept { charls_jpegls_decoder_destroy(decoder); }
};

DecodeResult Fail(DecodeStatus status, int detail) noexcept
{
    DecodeResult result;
    result.status = status;
    result.detail = detail;
    return result;
}

DecodeResult FailWith(jpegls_errc error) noexcept
{
    switch (error)
    {
    case jpegls_errc::not_enough_memory:
        return Fail(DecodeStatus::OutOfMemory, static_cast<int>(error));
    case jpegls_errc::parameter_value_not_supported:
    case jpegls_errc::bit_depth_for_transform_not_supported:
    case jpegls_errc::color_transform_not_supported:
    case jpegls_errc::encoding_not_supported:
    case jpegls_errc::jpegls_preset_extended_parameter_type_not_supported:
        return Fail(DecodeStatus::Unsupported, static_cast<int>(error));
    default:
        return Fail(DecodeStatus::Corrupt, static_cast<int>(error));
    }
}

// Moves CharLS's samples (Source words, planar when `planar`) into interleaved Target containers.
template <class Source, class Target>
void Repack(const std::uint8_t* from, std::uint8_t* to, std::size_t pixels, std::size_t components,
            bool planar) noexcept
{
    for (std::size_t c = 0; c < components; ++c)
    {
        for (std::size_t i = 0; i < pixels; ++i)
        {
            const std::size_t at = planar ? c * pixels + i : i * components + c;
            Source sample;
            std::memcpy(&sample, from + at * sizeof(Source), sizeof(Source));
            const auto widened = static_cast<Target>(sample);
            std::memcpy(to + (i * components + c) * sizeof(Target), &widened, sizeof(Target));
        }
    }
}

// JPEG-LS knows no sign: a signed data set's samples arrive as their two's complement in `precision` bits
// (PS3.5 8.2.3), and the output holds them as two's complement in the whole container, as every codec does.
template <class Target> void SignExtend(std::uint8_t* samples, std::size_t count, int precision) noexcept
{
    const auto sign = static_cast<std::uint32_t>(1u << (precision - 1));
    const std::uint32_t mask = (sign << 1) - 1;
    for (std::size_t i = 0; i < count; ++i)
    {
        Target sample;
        std::memcpy(&sample, samples + i * sizeof(Target), sizeof(Target));
        const std::uint32_t value = sample & mask;
        const auto extended = static_cast<Target>((value ^ sign) - sign);
        std::memcpy(samples + i * sizeof(Target), &extended, sizeof(Target));
    }
}

DecodeResult DecodeWithCharls(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                              std::span<std::uint8_t> out) noexcept
{
    // An empty frame has no buffer at all (its owned copy's data is null), which CharLS may not be given.
    if (frame.empty())
    {
        return FailWith(jpegls_errc::source_buffer_too_small);
    }
    const std::unique_ptr<charls_jpegls_decoder, DecoderDeleter> decoder(charls_jpegls_decoder_create());
    if (decoder == nullptr)
    {
        return Fail(DecodeStatus::OutOfMemory, static_cast<int>(jpegls_errc::not_enough_memory));
    }
    jpegls_errc error = charls_jpegls_decoder_set_source_buffer(decoder.get(), frame.data(), frame.size());
    if (error == jpegls_errc::success)
    {
        error = charls_jpegls_decoder_read_header(decoder.get());
    }
    charls_frame_info info{};
    if (error == jpegls_errc::success)
    {
        error = charls_jpegls_decoder_get_frame_info(decoder.get(), &info);
    }
    charls_interleave_mode interleave = charls_interleave_mode::none;
    if (error == jpegls_errc::success)
    {
        error = charls_jpegls_decoder_get_interleave_mode(decoder.get(), &interleave);
    }
    if (error != jpegls_errc::success)
    {
        return FailWith(error);
    }

    // Everything the output depends on is checked from the header, before a sample is decoded.
    if (info.component_count != 1 && info.component_count != 3)
    {
        return Fail(DecodeStatus::Unsupported, kComponentCount);
    }
    const std::size_t containerBytes = ContainerBytes(declared.bitsAllocated);
    if (info.bits_per_sample < 2 || info.bits_per_sample > 16 ||
        static_cast<std::size_t>(info.bits_per_sample) > containerBytes * 8)
    {
        return Fail(DecodeStatus::Unsupported, kPrecision);
    }
    if (info.width > 0xFFFF || info.height > 0xFFFF || std::uint64_t{info.width} * info.height > limits.maxPixels)
    {
        return Fail(DecodeStatus::Corrupt, kTooManyPixels);
    }

    DecodeResult result;
    FrameGeometry& actual = result.actual;
    actual.rows = static_cast<std::uint16_t>(info.height);
    actual.columns = static_cast<std::uint16_t>(info.width);
    actual.samplesPerPixel = static_cast<std::uint16_t>(info.component_count);
    actual.bitsAllocated = declared.bitsAllocated;
    actual.bitsStored = static_cast<std::uint16_t>(info.bits_per_sample);
    actual.isSigned = declared.isSigned;
    actual.planar = false;
    // CharLS undoes an HP colour transform itself; otherwise the components are what the data set says they are.
    actual.colour = info.component_count == 1               ? SampleColour::Grey
                    : declared.colour == SampleColour::Grey ? SampleColour::Rgb
                                                            : declared.colour;
    const std::uint64_t outputBytes = FrameBytes(actual);
    if (outputBytes > out.size())
    {
        return Fail(DecodeStatus::Corrupt, kOutputTooSmall);
    }

    const std::size_t pixels = std::size_t{info.width} * info.height;
    const auto components = static_cast<std::size_t>(info.component_count);
    const std::size_t charlsBytes = info.bits_per_sample <= 8 ? 1 : 2;
    const bool planar = components > 1 && interleave == charls_interleave_mode::none;
    if (charlsBytes == containerBytes && !planar)
    {
        error =
            charls_jpegls_decoder_decode_to_buffer(decoder.get(), out.data(), static_cast<std::size_t>(outputBytes), 0);
        if (error != jpegls_errc::success)
        {
            return FailWith(error);
        }
    }
    else
    {
        try
        {
            std::vector<std::uint8_t> scratch(pixels * components * charlsBytes);
            error = charls_jpegls_decoder_decode_to_buffer(decoder.get(), scratch.data(), scratch.size(), 0);
            if (error != jpegls_errc::success)
            {
                return FailWith(error);
            }
            const std::uint8_t* from = scratch.data();
            if (charlsBytes == 1)
            {
                containerBytes == 1 ? Repack<std::uint8_t, std::uint8_t>(from, out.data(), pixels, components, planar)
                : containerBytes == 2
                    ? Repack<std::uint8_t, std::uint16_t>(from, out.data(), pixels, components, planar)
                    : Repack<std::uint8_t, std::uint32_t>(from, out.data(), pixels, components, planar);
            }
            else
            {
                containerBytes == 2
                    ? Repack<std::uint16_t, std::uint16_t>(from, out.data(), pixels, components, planar)
                    : Repack<std::uint16_t, std::uint32_t>(from, out.data(), pixels, components, planar);
            }
        }
        catch (const std::bad_alloc&)
        {
            return Fail(DecodeStatus::OutOfMemory, static_cast<int>(jpegls_errc::not_enough_memory));
        }
    }

    const std::size_t samples = pixels * components;
    if (declared.isSigned && static_cast<std::size_t>(info.bits_per_sample) < containerBytes * 8)
    {
        containerBytes == 1   ? SignExtend<std::uint8_t>(out.data(), samples, info.bits_per_sample)
        : containerBytes == 2 ? SignExtend<std::uint16_t>(out.data(), samples, info.bits_per_sample)
                              : SignExtend<std::uint32_t>(out.data(), samples, info.bits_per_sample);
    }
    result.status = DecodeStatus::Decoded;
    return result;
}

// CharLS decodes tens of megabytes a second; a frame gets half a second and a millisecond for every 16 KiB of its
// output on top (a 512 x 512 CT slice 0.53 s, a 20-megapixel mammogram 3 s), which a sound stream never needs even
// on a slow machine under a sanitizer.
std::chrono::milliseconds DecodeLimit(std::size_t outputBytes) noexcept
{
    return std::chrono::milliseconds(500 + static_cast<std::int64_t>(outputBytes / 16384));
}

// What the decoding thread reads and writes: its own, so that it may outlive the caller.
struct OwnedDecode
{
    std::vector<std::uint8_t> frame;
    std::unique_ptr<std::uint8_t[]> out;
    std::size_t outBytes = 0;
    FrameGeometry declared;
    DecodeLimits limits;
};

} // namespace

bool HasJpegLsLibrary() noexcept
{
    return true;
}

DecodeResult DecodeJpegLs(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                          std::span<std::uint8_t> out) noexcept
{
    std::future<DecodeResult> decoded;
    std::shared_ptr<OwnedDecode> owned;
    try
    {
        owned = std::make_shared<OwnedDecode>();
        owned->frame.assign(frame.begin(), frame.end());
        owned->out = std::make_unique_for_overwrite<std::uint8_t[]>(out.size());
        owned->outBytes = out.size();
        owned->declared = declared;
        owned->limits = limits;
        owned->limits.finalBytes = nullptr;
        std::packaged_task<DecodeResult()> task([owned]() noexcept {
            return DecodeWithCharls(owned->frame, owned->declared, owned->limits, {owned->out.get(), owned->outBytes});
        });
        decoded = task.get_future();
        std::thread(std::move(task)).detach();
    }
    catch (const std::bad_alloc&)
    {
        return Fail(DecodeStatus::OutOfMemory, static_cast<int>(jpegls_errc::not_enough_memory));
    }
    catch (const std::system_error&)
    {
        // No thread to be had: decoded here, unbounded, as before.
        return DecodeWithCharls(frame, declared, limits, out);
    }
    if (decoded.wait_for(DecodeLimit(out.size())) != std::future_status::ready)
    {
        DecodeResult failed = Fail(DecodeStatus::Corrupt, kTooSlow);
        failed.reason = "the decoder did not finish";
        return failed;
    }
    const DecodeResult result = decoded.get();
    if (result.Ok())
    {
        std::memcpy(out.data(), owned->out.get(), out.size());
    }
    return result;
}

} // namespace orblane
