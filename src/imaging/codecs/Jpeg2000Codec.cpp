// JPEG 2000 (ISO/IEC 15444-1) frames through OpenJPEG, read straight from the fragment's bytes; a codestream with
// High-Throughput code-blocks (15444-15) goes to OpenJPH (HtJ2kCodec.cpp), whatever the transfer syntax says. OpenJPEG
// answers decoded components as 32-bit integers, one plane each; this file checks the header against the caller's
// limits and buffer before any of that is allocated, then packs the planes into the one output layout of every codec.
#include "imaging/codecs/Codecs.h"
#include "imaging/codecs/Jpeg2000Siz.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace orblane {
namespace {

// Our own detail codes: OpenJPEG reports failures only as text.
enum Jpeg2000Detail : int
{
    kNotJpeg2000 = 1,      // neither a codestream (SOC SIZ) nor a JP2 signature box
    kCodecSetup = 2,       // the library refused its own set-up
    kHeaderUnreadable = 3, // main header (or JP2 boxes) damaged
    kTooManyPixels = 4,    // more pixels than the stream's length can justify
    kOutputTooSmall = 5,   // the decoded frame would not fit the caller's buffer
    kComponentCount = 6,   // neither 1 nor 3 components
    kSubsampled = 7,       // a component with dx or dy other than 1, or components of unequal size or precision
    kPrecision = 8,        // precision above the declared container, or outside 1..31
    kDecodeFailed = 9,     // the tile data could not be decoded
    kNoSamples = 10,       // the library answered success without the samples its header promised
    kLibraryOutOfMemory = 11,
    kTooManyTiles = 12,    // more tiles than the stream has bytes to carry
    kTilePartTooLong = 14, // a tile-part longer than the stream that holds it
};

// PS3.5 A.4.4: a fragment holds either a bare codestream or, from some archives, a JP2 file.
constexpr std::uint8_t kCodestreamStart[] = {0xFF, 0x4F, 0xFF, 0x51};
constexpr std::uint8_t kJp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};

bool StartsWith(ByteView frame, std::span<const std::uint8_t> prefix) noexcept
{
    return frame.size() >= prefix.size() && std::memcmp(frame.data(), prefix.data(), prefix.size()) == 0;
}

DecodeResult Fail(DecodeStatus status, int detail) noexcept
{
    DecodeResult result;
    result.status = status;
    result.detail = detail;
    return result;
}

// The codestream inside a JP2 file: the contents of its first top-level 'jp2c' box (T.800 I.5.4), or empty.
ByteView FindCodestream(ByteView file) noexcept
{
    std::size_t at = 0;
    while (file.size() - at >= 8)
    {
        const std::uint8_t* box = file.data() + at;
        std::uint64_t length = BigEndian32(box);
        std::size_t header = 8;
        if (length == 1 && file.size() - at >= 16)
        {
            length = (std::uint64_t{BigEndian32(box + 8)} << 32) | BigEndian32(box + 12);
            header = 16;
        }
        const std::size_t remaining = file.size() - at;
        if (length == 0 || length > remaining)
        {
            length = remaining; // the last box runs to the end of the file
        }
        if (length < header)
        {
            return {};
        }
        if (std::memcmp(box + 4, "jp2c", 4) == 0)
        {
            return file.subspan(at + header, static_cast<std::size_t>(length) - header);
        }
        at += static_cast<std::size_t>(length);
    }
    return {};
}

// The marker codes OpenJPEG 2.5.0 reads in a codestream's headers. On any other code it searches on, two bytes at a
// time, for the next of these, so the segments it will read after an unknown marker are found the same way here.
bool LibraryReadsMarker(std::uint8_t marker) noexcept
{
    static constexpr std::uint8_t kRead[] = {0x4F, 0x50, 0x51, 0x52, 0x53, 0x55, 0x57, 0x58, 0x59,
                                             0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x61, 0x63, 0x64, 0x74,
                                             0x75, 0x77, 0x78, 0x90, 0x91, 0x92, 0x93, 0xD9};
    return std::find(std::begin(kRead), std::end(kRead), marker) != std::end(kRead);
}

// Markers the library reads only outside a main header (SOD, PLT, PPT): its search past an unknown marker there
// goes on over them (found by fuzzing: an SOD in the main header hid the HT style of a COD behind it).
bool OnlyInTilePartHeader(std::uint8_t marker) noexcept
{
    return marker == 0x93 || marker == 0x58 || marker == 0x61;
}

// Where the library's search from `from` for a marker it reads stops: the end of the stream if nothing is found.
std::size_t NextKnownMarker(ByteView codestream, std::size_t from, bool mainHeader) noexcept
{
    for (std::size_t at = from; codestream.size() - std::min(at, codestream.size()) >= 2; at += 2)
    {
        const std::uint8_t marker = codestream[at + 1];
        if (codestream[at] == 0xFF && LibraryReadsMarker(marker) && !(mainHeader && OnlyInTilePartHeader(marker)))
        {
            return at;
        }
    }
    return codestream.size();
}

// Whether the marker segments of a header, from `at` up to its SOT or SOD, mark high-throughput code-blocks: a CAP
// segment (T.814), or a COD or COC whose code-block style has the HT bit (T.800 A.6.1 and A.6.2: the style byte
// follows Scod, SGcod and two size bytes in a COD, Ccoc, Scoc and the same three bytes in a COC, whose component
// index is one byte with fewer than 257 components).
bool HeaderMarksHighThroughput(ByteView codestream, std::size_t at, bool mainHeader) noexcept
{
    constexpr std::uint8_t kHighThroughputStyle = 0x40;
    while (codestream.size() - std::min(at, codestream.size()) >= 4 && codestream[at] == 0xFF)
    {
        const std::uint8_t marker = codestream[at + 1];
        if (!LibraryReadsMarker(marker))
        {
            at = NextKnownMarker(codestream, at + 2, mainHeader);
            continue;
        }
        const std::size_t length = (std::size_t{codestream[at + 2]} << 8) | codestream[at + 3];
        if (marker == 0x90 || marker == 0x93 || length < 2)
        {
            return false;
        }
        const std::size_t styleAt = marker == 0x52 ? at + 12 : at + 9;
        if (marker == 0x50 || ((marker == 0x52 || marker == 0x53) && styleAt < at + 2 + length &&
                               styleAt < codestream.size() && (codestream[styleAt] & kHighThroughputStyle) != 0))
        {
            return true;
        }
        at += 2 + length;
    }
    return false;
}

// The checks of the stream before the library sees it: the SIZ segment (Jpeg2000Siz.h), whether it holds HT
// code-blocks, and every tile-part's declared length.
DecodeResult CheckSizSegment(ByteView codestream, const DecodeLimits& limits, bool& highThroughput) noexcept
{
    if (const DecodeResult siz = orblane::CheckSizSegment(codestream, limits, kHeaderUnreadable); !siz.Ok())
    {
        return siz;
    }
    // HT code-blocks go to the other codec: the main header and every tile-part header are looked at.
    const std::size_t afterSiz = 4 + ((std::size_t{codestream[4]} << 8) | codestream[5]);
    highThroughput = HeaderMarksHighThroughput(codestream, afterSiz, true);
    // Each tile-part's Psot (T.800 A.4.2) is its length from its SOT on, 0 for "to the end of the stream". OpenJPEG
    // 2.5.0 reserves a tile-part's declared length before it reads it, so a damaged Psot in a few hundred bytes would
    // cost hundreds of megabytes (found by fuzzing). A stream cut short (a damaged disc) still decodes what it has,
    // so a tile-part may run past the end, but by no more than eight times what is left plus 1 MiB. Every SOT
    // segment after SIZ is checked wherever it stands, not only those a walk from tile-part to tile-part reaches: the
    // library finds tile-parts by searching past markers it does not know and past tile-parts cut short, and
    // entropy-coded data never holds FF 90 (a stuffed bit follows every FF), so a match is a tile-part the library
    // may read.
    for (std::size_t sot = afterSiz; sot < codestream.size(); ++sot)
    {
        const void* found = std::memchr(codestream.data() + sot, 0xFF, codestream.size() - sot);
        if (found == nullptr)
        {
            break;
        }
        sot = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - codestream.data());
        if (codestream.size() - sot < 10 || codestream[sot + 1] != 0x90 || codestream[sot + 2] != 0x00 ||
            codestream[sot + 3] != 0x0A)
        {
            continue;
        }
        highThroughput = highThroughput || HeaderMarksHighThroughput(codestream, sot + 12, false);
        const std::uint32_t psot = BigEndian32(codestream.data() + sot + 6);
        const std::uint64_t left = codestream.size() - sot;
        if (psot > left && psot - left > left * 8 + (std::uint64_t{1} << 20))
        {
            return Fail(DecodeStatus::Corrupt, kTilePartTooLong);
        }
    }
    return Fail(DecodeStatus::Decoded, 0);
}

// The fragment as an OpenJPEG input stream: reads copy out of the caller's bytes, nothing is read past their end.
struct MemorySource
{
    ByteView bytes;
    std::size_t position = 0;
};

OPJ_SIZE_T ReadSource(void* buffer, OPJ_SIZE_T count, void* user) noexcept
{
    auto* source = static_cast<MemorySource*>(user);
    const std::size_t remaining = source->bytes.size() - source->position;
    if (remaining == 0)
    {
        return static_cast<OPJ_SIZE_T>(-1); // OpenJPEG's end-of-stream answer
    }
    const std::size_t n = std::min<std::size_t>(count, remaining);
    std::memcpy(buffer, source->bytes.data() + source->position, n);
    source->position += n;
    return n;
}

OPJ_OFF_T SkipSource(OPJ_OFF_T count, void* user) noexcept
{
    auto* source = static_cast<MemorySource*>(user);
    if (count < 0)
    {
        const std::uint64_t back = 0 - static_cast<std::uint64_t>(count); // no overflow at the lowest value
        if (back > source->position)
        {
            return -1;
        }
        source->position -= static_cast<std::size_t>(back);
        return count;
    }
    // A skip past the end lands on the end, and says how far it went (the library then meets the end on its read).
    const std::size_t remaining = source->bytes.size() - source->position;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), remaining);
    source->position += n;
    return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL SeekSource(OPJ_OFF_T offset, void* user) noexcept
{
    auto* source = static_cast<MemorySource*>(user);
    if (offset < 0 || static_cast<std::uint64_t>(offset) > source->bytes.size())
    {
        return OPJ_FALSE;
    }
    source->position = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

// What the library said during one call. The handlers are per codec, so concurrent decodes never share it.
struct Messages
{
    bool decoding = false;
    bool lostData = false;
    bool outOfMemory = false;
};

// The warnings by which a non-strict decode says that tile data was missing (a stream cut short: the samples it
// would have carried read as 0). Others, such as a tile-part count off by one, leave every sample decoded.
constexpr std::string_view kLostDataWarnings[] = {
    "inconsistent with stream length", // a tile part runs past the end of the stream
    "segment too long",                // a code-block's data is missing
    "Stream too short",                // tile parts missing altogether
    "runcated",                        // "Truncated" / "truncated" codestream or packet
};

void OnWarning(const char* message, void* user) noexcept
{
    auto* messages = static_cast<Messages*>(user);
    const std::string_view text = message != nullptr ? std::string_view(message) : std::string_view();
    for (const std::string_view lost : kLostDataWarnings)
    {
        if (messages->decoding && text.find(lost) != std::string_view::npos)
        {
            messages->lostData = true;
        }
    }
}

void OnError(const char* message, void* user) noexcept
{
    // OpenJPEG has no error codes; an allocation failure is the one cause the caller treats differently.
    const std::string_view text = message != nullptr ? std::string_view(message) : std::string_view();
    if (text.find("memory") != std::string_view::npos)
    {
        static_cast<Messages*>(user)->outOfMemory = true;
    }
}

void OnInfo(const char* /*message*/, void* /*user*/) noexcept {}

struct CodecDeleter
{
    void operator()(opj_codec_t* codec) const noexcept { opj_destroy_codec(codec); }
};
struct StreamDeleter
{
    void operator()(opj_stream_t* stream) const noexcept { opj_stream_destroy(stream); }
};
struct ImageDeleter
{
    void operator()(opj_image_t* image) const noexcept { opj_image_destroy(image); }
};
struct CodestreamInfoDeleter
{
    void operator()(opj_codestream_info_v2_t* info) const noexcept
    {
        opj_codestream_info_v2_t* doomed = info;
        opj_destroy_cstr_info(&doomed);
    }
};

// Packs the component planes into interleaved samples of the container. Signed samples are already values, so a
// plain narrowing keeps them as two's complement; the library has clamped every sample to its precision.
template <class Sample> void PackSamples(const opj_image_t& image, std::size_t pixels, std::uint8_t* out) noexcept
{
    const std::uint32_t components = image.numcomps;
    if (components == 1)
    {
        const OPJ_INT32* plane = image.comps[0].data;
        for (std::size_t i = 0; i < pixels; ++i)
        {
            const auto sample = static_cast<Sample>(plane[i]);
            std::memcpy(out + i * sizeof(Sample), &sample, sizeof(Sample));
        }
        return;
    }
    const OPJ_INT32* r = image.comps[0].data;
    const OPJ_INT32* g = image.comps[1].data;
    const OPJ_INT32* b = image.comps[2].data;
    for (std::size_t i = 0; i < pixels; ++i)
    {
        const Sample pixel[3] = {static_cast<Sample>(r[i]), static_cast<Sample>(g[i]), static_cast<Sample>(b[i])};
        std::memcpy(out + i * sizeof pixel, pixel, sizeof pixel);
    }
}

// Whether the codestream's main header asks for the inverse multi-component transform (T.800 Annex G); the library
// applies it while decoding, so the samples then come out as RGB whatever the data set's photometric says.
bool UsesMultiComponentTransform(opj_codec_t* codec) noexcept
{
    const std::unique_ptr<opj_codestream_info_v2_t, CodestreamInfoDeleter> info(opj_get_cstr_info(codec));
    return info != nullptr && info->m_default_tile_info.mct != 0;
}

// The fewest resolution levels every component keeps (T.800 A.6.1: decomposition levels + 1), or 0 unknown.
std::uint32_t FewestResolutions(opj_codec_t* codec) noexcept
{
    const std::unique_ptr<opj_codestream_info_v2_t, CodestreamInfoDeleter> info(opj_get_cstr_info(codec));
    if (info == nullptr || info->m_default_tile_info.tccp_info == nullptr || info->nbcomps == 0)
    {
        return 0;
    }
    std::uint32_t fewest = UINT32_MAX;
    for (std::uint32_t c = 0; c < info->nbcomps; ++c)
    {
        fewest = std::min<std::uint32_t>(fewest, info->m_default_tile_info.tccp_info[c].numresolutions);
    }
    return fewest;
}

// The size of an image area at resolution factor r (T.800 B.5: each level halves, rounding the edges up).
std::uint32_t ReducedExtent(std::uint32_t from, std::uint32_t to, std::uint32_t factor) noexcept
{
    const auto up = [factor](std::uint32_t v) {
        return static_cast<std::uint32_t>((std::uint64_t{v} + (std::uint64_t{1} << factor) - 1) >> factor);
    };
    return up(to) - up(from);
}

// Where the decoded samples go: the caller's buffer, or (a reduced decode, whose size the header decides) a vector
// sized once the header is read.
struct Output
{
    std::span<std::uint8_t> buffer;
    std::vector<std::uint8_t>* grown = nullptr;
    // Above 0: the lowest resolution whose longer side still has this many pixels is decoded.
    int atLeast = 0;
};

// The library's decode of a stream whose headers were checked.
DecodeResult DecodeWithLibrary(ByteView frame, OPJ_CODEC_FORMAT format, const FrameGeometry& declared,
                               const DecodeLimits& limits, Output output) noexcept
{
    Messages messages;
    const std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(format));
    if (codec == nullptr)
    {
        return Fail(DecodeStatus::OutOfMemory, kLibraryOutOfMemory);
    }
    opj_set_info_handler(codec.get(), OnInfo, &messages);
    opj_set_warning_handler(codec.get(), OnWarning, &messages);
    opj_set_error_handler(codec.get(), OnError, &messages);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    // A JP2 palette or channel definition would change the components after the header was checked; DICOM keeps
    // its own palette, so the stored components are handed on as they are.
    parameters.flags |= OPJ_DPARAMETERS_IGNORE_PCLR_CMAP_CDEF_FLAG;
    // The caller's thread alone (0 workers, not 1) unless the caller offers more: OPJ_NUM_THREADS never decides, the
    // caller does, as it knows how many frames run at once. Non-strict mode decodes what a truncated stream still
    // holds; a reduced decode stays strict, because OpenJPEG 2.5.0 skips the packets of the dropped levels without
    // that mode's truncation: a code-block longer than the tile-part is only warned about there, and the packets
    // after it are then read from past the end of the tile's data (found by fuzzing). A thumbnail the strict decode
    // refuses is drawn from the whole decode instead.
    constexpr unsigned kMostThreads = 64;
    const int workers = limits.threads > 1 ? static_cast<int>(std::min(limits.threads, kMostThreads)) : 0;
    const OPJ_BOOL strict = output.atLeast > 0 ? OPJ_TRUE : OPJ_FALSE;
    if (!opj_setup_decoder(codec.get(), &parameters) || !opj_codec_set_threads(codec.get(), workers) ||
        !opj_decoder_set_strict_mode(codec.get(), strict))
    {
        return Fail(DecodeStatus::Corrupt, kCodecSetup);
    }

    MemorySource source{frame, 0};
    // The library copies through a buffer of this size; a small fragment needs no megabyte-sized one.
    const std::size_t chunk = std::clamp<std::size_t>(frame.size(), 4096, OPJ_J2K_STREAM_CHUNK_SIZE);
    const std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(chunk, OPJ_TRUE));
    if (stream == nullptr)
    {
        return Fail(DecodeStatus::OutOfMemory, kLibraryOutOfMemory);
    }
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), frame.size());
    opj_stream_set_read_function(stream.get(), ReadSource);
    opj_stream_set_skip_function(stream.get(), SkipSource);
    opj_stream_set_seek_function(stream.get(), SeekSource);

    opj_image_t* rawImage = nullptr;
    const bool headerRead = opj_read_header(stream.get(), codec.get(), &rawImage) != OPJ_FALSE;
    const std::unique_ptr<opj_image_t, ImageDeleter> image(rawImage);
    if (!headerRead || image == nullptr)
    {
        return Fail(messages.outOfMemory ? DecodeStatus::OutOfMemory : DecodeStatus::Corrupt, kHeaderUnreadable);
    }

    // Everything the output depends on is checked from the header, before the library allocates the planes.
    if (image->numcomps != 1 && image->numcomps != 3)
    {
        return Fail(DecodeStatus::Unsupported, kComponentCount);
    }
    const opj_image_comp_t& first = image->comps[0];
    for (std::uint32_t c = 0; c < image->numcomps; ++c)
    {
        const opj_image_comp_t& component = image->comps[c];
        if (component.dx != 1 || component.dy != 1 || component.prec != first.prec || component.sgnd != first.sgnd)
        {
            return Fail(DecodeStatus::Unsupported, kSubsampled);
        }
    }
    const std::uint32_t containerBits = static_cast<std::uint32_t>(ContainerBytes(declared.bitsAllocated)) * 8;
    if (first.prec == 0 || first.prec > 31 || first.prec > containerBits)
    {
        return Fail(DecodeStatus::Unsupported, kPrecision);
    }
    if (image->x1 <= image->x0 || image->y1 <= image->y0)
    {
        return Fail(DecodeStatus::Corrupt, kHeaderUnreadable);
    }
    std::uint32_t width = image->x1 - image->x0;
    std::uint32_t height = image->y1 - image->y0;
    if (width > 0xFFFF || height > 0xFFFF || std::uint64_t{width} * height > limits.maxPixels)
    {
        return Fail(DecodeStatus::Corrupt, kTooManyPixels);
    }
    if (output.atLeast > 0)
    {
        // Each level dropped skips the inverse transform and the code-blocks of the finest resolution left, so a
        // thumbnail of a large image costs a fraction of its whole decode.
        const std::uint32_t levels = FewestResolutions(codec.get());
        std::uint32_t factor = 0;
        while (factor + 1 < levels && factor < 31 &&
               std::max(ReducedExtent(image->x0, image->x1, factor + 1),
                        ReducedExtent(image->y0, image->y1, factor + 1)) >= static_cast<std::uint32_t>(output.atLeast))
        {
            ++factor;
        }
        if (factor > 0 && !opj_set_decoded_resolution_factor(codec.get(), factor))
        {
            return Fail(DecodeStatus::Corrupt, kCodecSetup);
        }
        width = ReducedExtent(image->x0, image->x1, factor);
        height = ReducedExtent(image->y0, image->y1, factor);
    }

    DecodeResult result;
    FrameGeometry& actual = result.actual;
    actual.rows = static_cast<std::uint16_t>(height);
    actual.columns = static_cast<std::uint16_t>(width);
    actual.samplesPerPixel = static_cast<std::uint16_t>(image->numcomps);
    actual.bitsAllocated = declared.bitsAllocated;
    actual.bitsStored = static_cast<std::uint16_t>(first.prec);
    actual.isSigned = first.sgnd != 0;
    actual.planar = false;
    if (image->numcomps == 1)
    {
        actual.colour = SampleColour::Grey;
    }
    else if (UsesMultiComponentTransform(codec.get()) || declared.colour == SampleColour::Grey)
    {
        actual.colour = SampleColour::Rgb;
    }
    else
    {
        actual.colour = declared.colour;
    }
    const std::uint64_t outputBytes = FrameBytes(actual);
    if (output.grown != nullptr)
    {
        try
        {
            output.grown->resize(static_cast<std::size_t>(outputBytes));
        }
        catch (const std::bad_alloc&)
        {
            return Fail(DecodeStatus::OutOfMemory, kLibraryOutOfMemory);
        }
        output.buffer = *output.grown;
    }
    const std::span<std::uint8_t> out = output.buffer;
    if (outputBytes > out.size())
    {
        return Fail(DecodeStatus::Corrupt, kOutputTooSmall);
    }

    messages.decoding = true;
    if (!opj_decode(codec.get(), stream.get(), image.get()))
    {
        return Fail(messages.outOfMemory ? DecodeStatus::OutOfMemory : DecodeStatus::Corrupt, kDecodeFailed);
    }
    const bool ended = opj_end_decompress(codec.get(), stream.get()) != OPJ_FALSE;
    // The decoded planes must be exactly what the header promised before anything is read from them.
    if (image->numcomps != actual.samplesPerPixel)
    {
        return Fail(DecodeStatus::Corrupt, kNoSamples);
    }
    for (std::uint32_t c = 0; c < image->numcomps; ++c)
    {
        const opj_image_comp_t& component = image->comps[c];
        if (component.data == nullptr || component.w != width || component.h != height ||
            component.prec != actual.bitsStored || (component.sgnd != 0) != actual.isSigned)
        {
            return Fail(DecodeStatus::Corrupt, kNoSamples);
        }
    }

    const std::size_t pixels = std::size_t{width} * height;
    switch (ContainerBytes(declared.bitsAllocated))
    {
    case 1:
        PackSamples<std::uint8_t>(*image, pixels, out.data());
        break;
    case 2:
        PackSamples<std::uint16_t>(*image, pixels, out.data());
        break;
    default:
        PackSamples<std::uint32_t>(*image, pixels, out.data());
        break;
    }
    const bool damaged = messages.lostData || !ended;
    result.status = damaged ? DecodeStatus::DecodedWithWarning : DecodeStatus::Decoded;
    result.detail = damaged ? kDecodeFailed : 0;
    return result;
}

// Checks the stream and finds its format; `highThroughput` says whether its code-blocks are HT ones.
DecodeResult OpenStream(ByteView frame, const DecodeLimits& limits, OPJ_CODEC_FORMAT& format, ByteView& codestream,
                        bool& highThroughput) noexcept
{
    if (StartsWith(frame, kCodestreamStart))
    {
        format = OPJ_CODEC_J2K;
        codestream = frame;
    }
    else if (StartsWith(frame, kJp2Signature))
    {
        format = OPJ_CODEC_JP2;
        codestream = FindCodestream(frame);
    }
    else
    {
        return Fail(DecodeStatus::Corrupt, kNotJpeg2000);
    }
    highThroughput = false;
    return CheckSizSegment(codestream, limits, highThroughput);
}

} // namespace

DecodeResult DecodeJpeg2000(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                            std::span<std::uint8_t> out) noexcept
{
    OPJ_CODEC_FORMAT format = OPJ_CODEC_UNKNOWN;
    ByteView codestream;
    bool highThroughput = false;
    if (const DecodeResult opened = OpenStream(frame, limits, format, codestream, highThroughput);
        opened.status != DecodeStatus::Decoded)
    {
        return opened;
    }
    if (highThroughput)
    {
        return DecodeHtJ2k(codestream, declared, limits, out);
    }
    return DecodeWithLibrary(frame, format, declared, limits, Output{out});
}

DecodeResult DecodeJpeg2000Reduced(ByteView frame, const FrameGeometry& declared, int atLeast,
                                   const DecodeLimits& limits, std::vector<std::uint8_t>& out) noexcept
{
    OPJ_CODEC_FORMAT format = OPJ_CODEC_UNKNOWN;
    ByteView codestream;
    bool highThroughput = false;
    if (const DecodeResult opened = OpenStream(frame, limits, format, codestream, highThroughput);
        opened.status != DecodeStatus::Decoded)
    {
        return opened;
    }
    if (highThroughput || atLeast <= 0)
    {
        // HT streams decode in a worker process, whose contract has no reduced size: the caller decodes them whole.
        return Fail(DecodeStatus::Unsupported, 0);
    }
    return DecodeWithLibrary(frame, format, declared, limits, Output{{}, &out, atLeast});
}

} // namespace orblane
