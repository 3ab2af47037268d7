// One file holding many small images (each its own Rows, Columns and Pixel Data at the top level), as a hostile or
// unusual file may: building them all must grow with the number of elements, not with its square.
#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace orblane;

void BM_BuildManyTinyImages(benchmark::State& state)
{
    SetErrorHandler([](std::string_view, std::uint32_t, bool) {});
    test::DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian).Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    const test::Bytes pixel{7, 0};
    for (std::int64_t i = 0; i < state.range(0); ++i)
    {
        w.UInt16(0x0028, 0x0010, 1).UInt16(0x0028, 0x0011, 1).UInt16(0x0028, 0x0100, 16);
        w.UInt16(0x0028, 0x0101, 16).Element(0x7FE0, 0x0010, "OW", pixel);
    }
    const test::ScratchFolder scratch;
    const auto path = scratch.Path() / "many.dcm";
    w.WriteTo(path);
    for (auto _ : state)
    {
        auto file = std::make_unique<DicomDataFileIO>();
        file->LoadFile(path);
        ImageDataList list;
        list.AddFile(std::move(file));
        const int built = list.LoadNextFile();
        if (built != state.range(0))
        {
            state.SkipWithError("not every image was built");
        }
        benchmark::DoNotOptimize(built);
    }
    SetErrorHandler(nullptr);
}
BENCHMARK(BM_BuildManyTinyImages)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

} // namespace
