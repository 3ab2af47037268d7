// From opening a file to a ready display bitmap, as the viewer does it for one image.
#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "imaging/JpegBaseline.h"
#include "support/DicomWriter.h"
#include "support/LosslessEncoder.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

using namespace orblane;

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("orblane-pipeline-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

test::DicomWriter& Attributes(test::DicomWriter& w, int width, int height, int stored, const char* photometric,
                              int samples, int allocated)
{
    return w.UInt16(0x0028, 0x0002, static_cast<std::uint16_t>(samples))
        .Text(0x0028, 0x0004, "CS", photometric)
        .UInt16(0x0028, 0x0010, static_cast<std::uint16_t>(height))
        .UInt16(0x0028, 0x0011, static_cast<std::uint16_t>(width))
        .UInt16(0x0028, 0x0100, static_cast<std::uint16_t>(allocated))
        .UInt16(0x0028, 0x0101, static_cast<std::uint16_t>(stored))
        .UInt16(0x0028, 0x0103, 0)
        .Text(0x0028, 0x1050, "DS", "40")
        .Text(0x0028, 0x1051, "DS", "400")
        .Text(0x0028, 0x1052, "DS", "-1024")
        .Text(0x0028, 0x1053, "DS", "1");
}

// Writes the file once per process and answers its path.
std::filesystem::path MakeFile(const std::string& name, int width, int height, int stored, bool lossless)
{
    const auto path = BenchFolder() / name;
    if (std::filesystem::exists(path))
    {
        return path;
    }
    const auto samples = test::MakeTestImage(width, height, stored, 3);
    test::DicomWriter w;
    w.FileMeta(lossless ? test::kJpegLossless : test::kExplicitLittleEndian);
    Attributes(w, width, height, stored, "MONOCHROME2", 1, 16);
    if (lossless)
    {
        test::LosslessEncodeOptions options;
        options.precision = stored;
        options.width = width;
        options.height = height;
        w.BeginEncapsulated().Fragment({}).Fragment(test::EncodeLossless(samples, options)).EndSequence();
    }
    else
    {
        std::vector<std::uint8_t> bytes(samples.size() * 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
        {
            bytes[2 * i] = static_cast<std::uint8_t>(samples[i]);
            bytes[2 * i + 1] = static_cast<std::uint8_t>(samples[i] >> 8);
        }
        w.Element(0x7FE0, 0x0010, "OW", bytes);
    }
    w.WriteTo(path);
    return path;
}

std::filesystem::path MakeColourJpeg()
{
    const auto path = BenchFolder() / "colour-jpeg.dcm";
    if (std::filesystem::exists(path))
    {
        return path;
    }
    DisplayBitmap picture;
    picture.Create(512, 512, 32);
    for (int y = 0; y < 512; ++y)
    {
        for (int x = 0; x < 512; ++x)
        {
            picture.Pixels32(y)[x] =
                MakeDisplayPixel(static_cast<std::uint32_t>(x / 2), static_cast<std::uint32_t>(y / 2),
                                 static_cast<std::uint32_t>((x ^ y) & 0xFF));
        }
    }
    std::uint8_t* data = nullptr;
    unsigned long size = 0;
    EncodeJpeg(picture, 90, false, data, size);
    test::DicomWriter w;
    w.FileMeta("1.2.840.10008.1.2.4.50");
    Attributes(w, 512, 512, 8, "YBR_FULL_422", 3, 8);
    w.BeginEncapsulated().Fragment({}).Fragment(std::span<const std::uint8_t>(data, size)).EndSequence();
    FreeJpeg(data);
    w.WriteTo(path);
    return path;
}

void OpenToBitmap(benchmark::State& state, const std::filesystem::path& path)
{
    for (auto _ : state)
    {
        auto file = std::make_unique<DicomDataFileIO>(path.filename().string(), path.parent_path().string() + "/", u"");
        ImageDataList list;
        list.AddFile(std::move(file));
        benchmark::DoNotOptimize(list.GetImage(0));
    }
}

void BM_OpenToBitmap_Ct512Native(benchmark::State& state)
{
    OpenToBitmap(state, MakeFile("ct512-native.dcm", 512, 512, 12, false));
}
BENCHMARK(BM_OpenToBitmap_Ct512Native)->Unit(benchmark::kMillisecond);

void BM_OpenToBitmap_Ct512Lossless(benchmark::State& state)
{
    OpenToBitmap(state, MakeFile("ct512-lossless.dcm", 512, 512, 12, true));
}
BENCHMARK(BM_OpenToBitmap_Ct512Lossless)->Unit(benchmark::kMillisecond);

void BM_OpenToBitmap_Radiograph2048x2560Lossless(benchmark::State& state)
{
    OpenToBitmap(state, MakeFile("dx-lossless.dcm", 2048, 2560, 14, true));
}
BENCHMARK(BM_OpenToBitmap_Radiograph2048x2560Lossless)->Unit(benchmark::kMillisecond);

void BM_OpenToBitmap_Colour512JpegBaseline(benchmark::State& state)
{
    OpenToBitmap(state, MakeColourJpeg());
}
BENCHMARK(BM_OpenToBitmap_Colour512JpegBaseline)->Unit(benchmark::kMillisecond);

} // namespace
