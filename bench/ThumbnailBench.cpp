// A thumbnail of a 2048 x 2560 lossless JPEG 2000 radiograph-sized frame: the codestream's reduced resolution level
// (what DecodeThumbnail does) beside the whole decode shrunk afterwards (what it did before the level was used).
#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameSource.h"
#include "imaging/CImageData.h"
#include "imaging/SeriesThumbnail.h"
#include "imaging/StudyFiles.h"
#include "imaging/ThumbnailDecode.h"
#include "imaging/cache/DecodeScheduler.h"

#include "support/Jpeg2000Encoder.h"
#include "support/ScratchFolder.h"

#include <benchmark/benchmark.h>

#include <string_view>

namespace orblane {
namespace {

struct Jpeg2000File
{
    test::ScratchFolder folder;
    Jpeg2000File()
    {
        const std::vector<std::uint8_t> bytes = test::Jpeg2000CtFile(2048, 2560);
        folder.Write("J2K", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
};

const Jpeg2000File& File()
{
    static const Jpeg2000File file;
    return file;
}

void BM_Jpeg2000ThumbnailFromLevel(benchmark::State& state)
{
    DicomDataFileIO file("J2K", File().folder.FolderText(), u"");
    for (auto _ : state)
    {
        DisplayBitmap out;
        if (DecodeThumbnail(file, kThumbnailSize, out) != ThumbnailRoute::ReducedResolution)
        {
            state.SkipWithError("not decoded from a reduced level");
            return;
        }
        benchmark::DoNotOptimize(out.Bits());
    }
}

// The same steps as DecodeThumbnail without the level: walk, whole decode, area average to the thumbnail's size.
void BM_Jpeg2000ThumbnailWholeDecode(benchmark::State& state)
{
    DicomDataFileIO file("J2K", File().folder.FolderText(), u"");
    for (auto _ : state)
    {
        std::vector<FrameSource> occurrences;
        std::u16string texts[2];
        if (WalkFile(file, false, occurrences, texts) != WalkOutcome::Walked || occurrences.empty())
        {
            state.SkipWithError("walk failed");
            return;
        }
        std::vector<std::uint8_t> joined;
        bool faulted = false;
        const PixelDescription d = occurrences[0].Frame(0, joined, &faulted);
        const FitSize fit = SizeToFit(d.columnCount, d.rowCount, kThumbnailSize);
        DecodedImage decoded = DecodeGuarded(d, file.DataBytes(), Point{1, 1}, true);
        DisplayBitmap out;
        if (!decoded.image || !ReduceTo(decoded.image->Bitmap(), fit.width, fit.height, out))
        {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(out.Bits());
        file.Unload();
    }
}

BENCHMARK(BM_Jpeg2000ThumbnailFromLevel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg2000ThumbnailWholeDecode)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orblane
