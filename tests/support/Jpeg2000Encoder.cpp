#include "support/Jpeg2000Encoder.h"

#include "support/DicomWriter.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orblane::test {
namespace {

struct Sink
{
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
};

OPJ_SIZE_T Write(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    if (sink->bytes.size() < sink->position + count)
    {
        sink->bytes.resize(sink->position + count);
    }
    std::memcpy(sink->bytes.data() + sink->position, buffer, count);
    sink->position += count;
    return count;
}

OPJ_OFF_T Skip(OPJ_OFF_T count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    sink->position = static_cast<std::size_t>(static_cast<OPJ_OFF_T>(sink->position) + count);
    return count;
}

OPJ_BOOL Seek(OPJ_OFF_T offset, void* user)
{
    static_cast<Sink*>(user)->position = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

void Silent(const char*, void*) {}

} // namespace

std::vector<std::uint8_t> EncodeGreyJpeg2000(std::span<const std::uint16_t> samples, int width, int height,
                                             int precision, int levels)
{
    opj_image_cmptparm_t component{};
    component.dx = component.dy = 1;
    component.w = static_cast<OPJ_UINT32>(width);
    component.h = static_cast<OPJ_UINT32>(height);
    component.prec = static_cast<OPJ_UINT32>(precision);
    opj_image_t* image = opj_image_create(1, &component, OPJ_CLRSPC_GRAY);
    if (image == nullptr || samples.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    {
        opj_image_destroy(image);
        return {};
    }
    image->x1 = component.w;
    image->y1 = component.h;
    std::copy_n(samples.begin(), static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                image->comps[0].data);
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_rates[0] = 0;
    settings.cp_disto_alloc = 1;
    settings.numresolution = levels + 1;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_set_warning_handler(codec, Silent, nullptr);
    opj_set_error_handler(codec, Silent, nullptr);
    Sink sink;
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, Write);
    opj_stream_set_skip_function(stream, Skip);
    opj_stream_set_seek_function(stream, Seek);
    const bool encoded = opj_setup_encoder(codec, &settings, image) && opj_start_compress(codec, image, stream) &&
                         opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!encoded)
    {
        return {};
    }
    sink.bytes.resize(std::min(sink.bytes.size(), sink.position));
    return sink.bytes;
}

std::vector<std::uint16_t> SyntheticCtSamples(int width, int height)
{
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::uint32_t seed = 2718;
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            seed = seed * 1664525u + 1013904223u;
            const double u = (x - cx) / (0.45 * width);
            const double v = (y - cy) / (0.40 * height);
            const double r = std::sqrt(u * u + v * v);
            double hu = -1000.0;
            if (r < 1.0)
            {
                hu = 40.0 + 30.0 * std::sin(x / 23.0) * std::cos(y / 31.0) + static_cast<double>(seed >> 27) - 16.0;
                if (r > 0.85 && r < 0.92)
                {
                    hu = 700.0;
                }
                if (((x / 40) % 7 == 3) && ((y / 40) % 5 == 2) && x % 40 < 6 && y % 40 < 6)
                {
                    hu = 300.0;
                }
            }
            samples[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint16_t>(std::clamp(hu + 1024.0, 0.0, 4095.0));
        }
    }
    return samples;
}

std::vector<std::uint8_t> Jpeg2000CtFile(int width, int height)
{
    const std::vector<std::uint8_t> codestream =
        EncodeGreyJpeg2000(SyntheticCtSamples(width, height), width, height, 12);
    if (codestream.empty())
    {
        return {};
    }
    DicomWriter w;
    w.FileMeta("1.2.840.10008.1.2.4.90")
        .Text(0x0008, 0x0060, "CS", "CT")
        .GreyPixelModule(height, width, 16, 12)
        .CtWindowAndRescale()
        .BeginEncapsulated()
        .Fragment({})
        .Fragment(codestream)
        .EndSequence();
    return w.Data();
}

} // namespace orblane::test
