// What our JPEG 2000, HTJ2K and JPEG-LS wrappers cost beyond the libraries' own decode: each frame is decoded by the
// bare library calls (the same settings the wrapper uses) and by the wrapper, in the same run. Frames: a 512 x 512 CT
// slice (tests/data/codecs/ct512.*) and a synthetic 2048 x 2560 12-bit radiograph, both lossless, the large one
// encoded once at start-up by the libraries themselves.
#include "dicom/DicomDataFileIO.h"
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"
#include "imaging/codecs/Codecs.h"
#include "platform/ChildProcess.h"
#include "platform/LargeBuffer.h"
#include "support/DicomWriter.h"

#include <benchmark/benchmark.h>
#include <charls/charls.h>
#include <openjpeg.h>
#include <openjph/ojph_arch.h>
#include <openjph/ojph_codestream.h>
#include <openjph/ojph_file.h>
#include <openjph/ojph_mem.h>
#include <openjph/ojph_params.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFixture(const std::string& name)
{
    std::ifstream in(std::string(ORBLANE_TEST_DATA_DIR) + "/codecs/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A memory stream for OpenJPEG, both ways: reads from `source` (never copied), writes grow `bytes`.
struct Memory
{
    std::span<const std::uint8_t> source;
    Bytes bytes;
    std::size_t position = 0;
};

OPJ_SIZE_T ReadMemory(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* m = static_cast<Memory*>(user);
    const std::size_t n = std::min<std::size_t>(count, m->source.size() - m->position);
    if (n == 0)
    {
        return static_cast<OPJ_SIZE_T>(-1);
    }
    std::memcpy(buffer, m->source.data() + m->position, n);
    m->position += n;
    return n;
}

OPJ_SIZE_T WriteMemory(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* m = static_cast<Memory*>(user);
    if (m->bytes.size() < m->position + count)
    {
        m->bytes.resize(m->position + count);
    }
    std::memcpy(m->bytes.data() + m->position, buffer, count);
    m->position += count;
    return count;
}

OPJ_OFF_T SkipMemory(OPJ_OFF_T count, void* user)
{
    auto* m = static_cast<Memory*>(user);
    m->position = static_cast<std::size_t>(static_cast<OPJ_OFF_T>(m->position) + count);
    return count;
}

OPJ_BOOL SeekMemory(OPJ_OFF_T offset, void* user)
{
    static_cast<Memory*>(user)->position = static_cast<std::size_t>(offset);
    return OPJ_TRUE;
}

opj_stream_t* MemoryStream(Memory& memory, bool input)
{
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, input ? OPJ_TRUE : OPJ_FALSE);
    opj_stream_set_user_data(stream, &memory, nullptr);
    opj_stream_set_user_data_length(stream, memory.source.size());
    opj_stream_set_read_function(stream, ReadMemory);
    opj_stream_set_write_function(stream, WriteMemory);
    opj_stream_set_skip_function(stream, SkipMemory);
    opj_stream_set_seek_function(stream, SeekMemory);
    return stream;
}

void Silent(const char*, void*) {}

// A smooth 12-bit field with seeded noise, like a digital radiograph.
std::vector<std::uint16_t> SyntheticRadiograph(int width, int height)
{
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            seed = seed * 1664525u + 1013904223u;
            const double body = 1800.0 + 900.0 * std::sin(x / 170.0) * std::cos(y / 230.0);
            const double value = body + static_cast<double>(seed >> 28) - 8.0;
            samples[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                static_cast<std::uint16_t>(std::clamp(value, 0.0, 4095.0));
        }
    }
    return samples;
}

Bytes EncodeJ2k(const std::vector<std::uint16_t>& samples, int width, int height)
{
    opj_image_cmptparm_t parameters{};
    parameters.dx = parameters.dy = 1;
    parameters.w = static_cast<OPJ_UINT32>(width);
    parameters.h = static_cast<OPJ_UINT32>(height);
    parameters.prec = 12;
    opj_image_t* image = opj_image_create(1, &parameters, OPJ_CLRSPC_GRAY);
    image->x1 = parameters.w;
    image->y1 = parameters.h;
    std::copy(samples.begin(), samples.end(), image->comps[0].data);
    opj_cparameters_t settings;
    opj_set_default_encoder_parameters(&settings);
    settings.tcp_numlayers = 1;
    settings.tcp_rates[0] = 0;
    settings.cp_disto_alloc = 1;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    opj_set_warning_handler(codec, Silent, nullptr);
    Memory memory;
    opj_stream_t* stream = MemoryStream(memory, false);
    opj_setup_encoder(codec, &settings, image);
    opj_start_compress(codec, image, stream);
    opj_encode(codec, stream);
    opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return memory.bytes;
}

Bytes EncodeJls(const std::vector<std::uint16_t>& samples, int width, int height)
{
    charls::jpegls_encoder encoder;
    encoder.frame_info({static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 12, 1});
    Bytes out(encoder.estimated_destination_size());
    encoder.destination(out);
    out.resize(encoder.encode(samples));
    return out;
}

struct Frame
{
    Bytes j2k;
    Bytes jls;
    orblane::FrameGeometry geometry;
};

const Frame& Ct512()
{
    static const Frame frame = [] {
        Frame f{ReadFixture("ct512.j2k"), ReadFixture("ct512.jls"), {}};
        f.geometry.rows = f.geometry.columns = 512;
        f.geometry.bitsAllocated = 16;
        f.geometry.bitsStored = 13;
        return f;
    }();
    return frame;
}

const Frame& Radiograph()
{
    static const Frame frame = [] {
        constexpr int kWidth = 2048;
        constexpr int kHeight = 2560;
        const std::vector<std::uint16_t> samples = SyntheticRadiograph(kWidth, kHeight);
        Frame f{EncodeJ2k(samples, kWidth, kHeight), EncodeJls(samples, kWidth, kHeight), {}};
        f.geometry.rows = kHeight;
        f.geometry.columns = kWidth;
        f.geometry.bitsAllocated = 16;
        f.geometry.bitsStored = 12;
        return f;
    }();
    return frame;
}

// OpenJPEG alone: the same set-up as the wrapper, up to the decoded component planes.
void OpenJpegAlone(benchmark::State& state, const Frame& frame, const Bytes& j2k, int threads = 0)
{
    for (auto _ : state)
    {
        Memory memory{j2k, {}, 0};
        opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
        opj_set_warning_handler(codec, Silent, nullptr);
        opj_set_error_handler(codec, Silent, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        opj_setup_decoder(codec, &parameters);
        opj_codec_set_threads(codec, threads);
        opj_decoder_set_strict_mode(codec, OPJ_FALSE);
        opj_stream_t* stream = MemoryStream(memory, true);
        opj_image_t* image = nullptr;
        const bool ok = opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image) &&
                        opj_end_decompress(codec, stream);
        benchmark::DoNotOptimize(image->comps[0].data);
        benchmark::DoNotOptimize(frame.geometry);
        opj_image_destroy(image);
        opj_stream_destroy(stream);
        opj_destroy_codec(codec);
        if (!ok)
        {
            state.SkipWithError("OpenJPEG failed");
        }
    }
}

void CharLsAlone(benchmark::State& state, const Frame& frame)
{
    Bytes out(orblane::FrameBytes(frame.geometry));
    for (auto _ : state)
    {
        charls_jpegls_decoder* decoder = charls_jpegls_decoder_create();
        const bool ok =
            charls_jpegls_decoder_set_source_buffer(decoder, frame.jls.data(), frame.jls.size()) ==
                charls::jpegls_errc::success &&
            charls_jpegls_decoder_read_header(decoder) == charls::jpegls_errc::success &&
            charls_jpegls_decoder_decode_to_buffer(decoder, out.data(), out.size(), 0) == charls::jpegls_errc::success;
        charls_jpegls_decoder_destroy(decoder);
        benchmark::DoNotOptimize(out.data());
        if (!ok)
        {
            state.SkipWithError("CharLS failed");
        }
    }
}

// CPU seconds of the children this process has waited for: a decode in a child process costs CPU the benchmark's own
// CPU column does not see.
double ChildCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Reported as childCpu: milliseconds per iteration.
class ChildCpuCounter
{
public:
    explicit ChildCpuCounter(benchmark::State& measured) : state(measured), start(ChildCpuSeconds()) {}
    ~ChildCpuCounter()
    {
        state.counters["childCpu"] =
            benchmark::Counter((ChildCpuSeconds() - start) * 1e3, benchmark::Counter::kAvgIterations);
    }
    ChildCpuCounter(const ChildCpuCounter&) = delete;
    ChildCpuCounter& operator=(const ChildCpuCounter&) = delete;

private:
    benchmark::State& state;
    double start;
};

void Wrapper(benchmark::State& state, const Frame& frame, orblane::DecodeFrame codec, const Bytes& stream)
{
    const ChildCpuCounter childCpu(state);
    Bytes out(orblane::FrameBytes(frame.geometry));
    const orblane::DecodeLimits limits{orblane::MaxPixelsForStream(stream.size())};
    for (auto _ : state)
    {
        const orblane::DecodeResult result = codec(stream, frame.geometry, limits, out);
        benchmark::DoNotOptimize(out.data());
        if (result.status != orblane::DecodeStatus::Decoded)
        {
            state.SkipWithError("wrapper failed");
        }
    }
}

void BM_Jpeg2000Ct512_OpenJpegAlone(benchmark::State& state)
{
    OpenJpegAlone(state, Ct512(), Ct512().j2k);
}
void BM_Jpeg2000Ct512_Wrapper(benchmark::State& state)
{
    Wrapper(state, Ct512(), orblane::DecodeJpeg2000, Ct512().j2k);
}
void BM_JpegLsCt512_CharLsAlone(benchmark::State& state)
{
    CharLsAlone(state, Ct512());
}
void BM_JpegLsCt512_Wrapper(benchmark::State& state)
{
    Wrapper(state, Ct512(), orblane::DecodeJpegLs, Ct512().jls);
}
void BM_Jpeg2000Radiograph_OpenJpegAlone(benchmark::State& state)
{
    OpenJpegAlone(state, Radiograph(), Radiograph().j2k);
}
void BM_Jpeg2000Radiograph_OpenJpegTwoThreads(benchmark::State& state)
{
    OpenJpegAlone(state, Radiograph(), Radiograph().j2k, 2);
}
void BM_Jpeg2000Radiograph_Wrapper(benchmark::State& state)
{
    Wrapper(state, Radiograph(), orblane::DecodeJpeg2000, Radiograph().j2k);
}
void BM_JpegLsRadiograph_CharLsAlone(benchmark::State& state)
{
    CharLsAlone(state, Radiograph());
}
void BM_JpegLsRadiograph_Wrapper(benchmark::State& state)
{
    Wrapper(state, Radiograph(), orblane::DecodeJpegLs, Radiograph().jls);
}

// The radiograph as the one image of a file, opened to its display bitmap as the command-line render and the viewer
// opening one image do: the image list has no decode-ahead pool, so OpenJPEG decodes on every core. Set against
// BM_Jpeg2000Radiograph_OpenJpegAlone, one OpenJPEG thread decoding the same stream.
struct RemovedAtExit
{
    std::filesystem::path path;
    ~RemovedAtExit()
    {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

std::filesystem::path RadiographFile()
{
    static const RemovedAtExit file{[] {
        const auto written = std::filesystem::temp_directory_path() /
                             ("orblane-codec-bench-" + std::to_string(::getpid()) + "-radiograph-j2k.dcm");
        orblane::test::DicomWriter w;
        w.FileMeta("1.2.840.10008.1.2.4.90")
            .UInt16(0x0028, 0x0002, 1)
            .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
            .UInt16(0x0028, 0x0010, 2560)
            .UInt16(0x0028, 0x0011, 2048)
            .UInt16(0x0028, 0x0100, 16)
            .UInt16(0x0028, 0x0101, 12)
            .UInt16(0x0028, 0x0103, 0);
        w.BeginEncapsulated().Fragment({}).Fragment(Radiograph().j2k).EndSequence();
        w.WriteTo(written);
        return written;
    }()};
    return file.path;
}

void BM_Jpeg2000Radiograph_OpenToBitmap(benchmark::State& state)
{
    const std::filesystem::path path = RadiographFile();
    for (auto _ : state)
    {
        auto file = std::make_unique<orblane::DicomDataFileIO>(path.filename().string(),
                                                               path.parent_path().string() + "/", u"");
        orblane::ImageDataList list;
        list.AddFile(std::move(file));
        if (list.GetImage(0) == nullptr)
        {
            state.SkipWithError("not decoded");
        }
    }
}

// HTJ2K: the 512 x 512 CT slice as OpenJPH wrote it (tests/data/codecs/ct512_ht.j2c). The path before OpenJPH,
// rebuilt here: OpenJPEG's HT decoder in a child process, the planes packed into the shared output; then OpenJPH in
// this process (what the wrapper would cost were the library safe in it) and the wrapper (OpenJPH in its child).
const Frame& Ct512HighThroughput()
{
    static const Frame frame = [] {
        Frame f{ReadFixture("ct512_ht.j2c"), {}, {}};
        f.geometry.rows = f.geometry.columns = 512;
        f.geometry.bitsAllocated = 16;
        f.geometry.bitsStored = 16;
        return f;
    }();
    return frame;
}

void BM_HtJ2kCt512_OpenJpegInChild(benchmark::State& state)
{
    const ChildCpuCounter childCpu(state);
    const Frame& frame = Ct512HighThroughput();
    const std::size_t bytes = orblane::FrameBytes(frame.geometry);
    for (auto _ : state)
    {
        orblane::platform::SharedScratch scratch(bytes);
        const std::span<std::uint8_t> shared = scratch.Bytes();
        const auto decode = [&]() noexcept {
            Memory memory{frame.j2k, {}, 0};
            opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
            opj_set_warning_handler(codec, Silent, nullptr);
            opj_set_error_handler(codec, Silent, nullptr);
            opj_dparameters_t parameters;
            opj_set_default_decoder_parameters(&parameters);
            opj_setup_decoder(codec, &parameters);
            opj_codec_set_threads(codec, 0);
            opj_stream_t* stream = MemoryStream(memory, true);
            opj_image_t* image = nullptr;
            if (opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image))
            {
                const OPJ_INT32* plane = image->comps[0].data;
                for (std::size_t i = 0; i < bytes / 2; ++i)
                {
                    const auto sample = static_cast<std::uint16_t>(plane[i]);
                    std::memcpy(shared.data() + 2 * i, &sample, 2);
                }
            }
            opj_image_destroy(image);
            opj_stream_destroy(stream);
            opj_destroy_codec(codec);
        };
        Bytes out(bytes);
        if (orblane::platform::RunInChild(decode, std::chrono::seconds(20)) != orblane::platform::ChildEnd::Finished)
        {
            state.SkipWithError("child failed");
        }
        std::memcpy(out.data(), shared.data(), bytes);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_HtJ2kCt512_OpenJphAlone(benchmark::State& state)
{
    const Frame& frame = Ct512HighThroughput();
    for (auto _ : state)
    {
        ojph::mem_infile file;
        file.open(frame.j2k.data(), frame.j2k.size());
        ojph::codestream stream;
        stream.read_headers(&file);
        stream.set_planar(false);
        stream.create();
        std::int64_t sum = 0;
        for (int y = 0; y < frame.geometry.rows; ++y)
        {
            ojph::ui32 component = 0;
            const ojph::line_buf* line = stream.pull(component);
            sum += line->i32[0];
        }
        stream.close();
        benchmark::DoNotOptimize(sum);
    }
}

void BM_HtJ2kCt512_Wrapper(benchmark::State& state)
{
    Wrapper(state, Ct512HighThroughput(), orblane::DecodeHtJ2k, Ct512HighThroughput().j2k);
}
// The same while the process holds 300 MB of decoded images, as the viewer's cache does after paging a study: fork
// copies the page tables of all of it (large buffers are advised to huge pages; of 4 KiB pages, 300 MB made each
// child cost some 65 ms).
void BM_HtJ2kCt512_WrapperBeside300MbOfImages(benchmark::State& state)
{
    std::vector<orblane::platform::LargeArray<std::uint8_t>> images;
    for (int i = 0; i < 30; ++i)
    {
        images.push_back(orblane::platform::MakeLargeArray<std::uint8_t>(std::size_t{10} << 20));
        std::memset(images.back().get(), 1, std::size_t{10} << 20);
    }
    Wrapper(state, Ct512HighThroughput(), orblane::DecodeHtJ2k, Ct512HighThroughput().j2k);
}

BENCHMARK(BM_Jpeg2000Ct512_OpenJpegAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000Ct512_Wrapper)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLsCt512_CharLsAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLsCt512_Wrapper)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000Radiograph_OpenJpegAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000Radiograph_OpenJpegTwoThreads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000Radiograph_Wrapper)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLsRadiograph_CharLsAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLsRadiograph_Wrapper)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000Radiograph_OpenToBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtJ2kCt512_OpenJpegInChild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtJ2kCt512_OpenJphAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtJ2kCt512_Wrapper)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtJ2kCt512_WrapperBeside300MbOfImages)->Unit(benchmark::kMillisecond);

} // namespace
