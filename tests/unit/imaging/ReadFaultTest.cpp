// A medium that fails under the decode: each file is mapped and walked, then cut short (as a scratched disc or a
// pulled stick leaves it), so that the decode's reads of the lost pages raise SIGBUS on whichever thread makes them.
// Large frames are filled on two threads and large lossless frames converted behind the decoder on a second one:
// the image must end as "cannot be read", once reported, and the list must go on.
#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "platform/ErrorSink.h"
#include "platform/ThreadPool.h"
#include "support/CaseName.h"
#include "support/DicomWriter.h"
#include "support/LosslessEncoder.h"
#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane {
namespace {

namespace fs = std::filesystem;
using test::DicomWriter;

enum class Kind
{
    Native,
    Lossless,
    // Each frame's stream split over three fragments: the frame is joined into one buffer before it is decoded.
    LosslessInFragments,
    Jpeg2000,
};

struct FaultCase
{
    const char* name;
    Kind kind;
    int side;
    int frames;
};

// Failure messages name the case rather than print its bytes.
void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<std::uint8_t> NativePixels(int side, int frames)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(side) * side * 2 * frames);
    for (std::size_t k = 0; k < bytes.size(); k += 2)
    {
        bytes[k] = static_cast<std::uint8_t>(k >> 4);
        bytes[k + 1] = static_cast<std::uint8_t>((k >> 12) & 0x0F);
    }
    return bytes;
}

// The file and how many bytes at its end are pixel data (what the cut goes into).
std::pair<DicomWriter, std::size_t> WriteCase(const FaultCase& c)
{
    DicomWriter w;
    if (c.kind == Kind::Native)
    {
        w.FileMeta(test::kExplicitLittleEndian).GreyPixelModule(c.side, c.side, 16, 12, c.frames);
        const std::vector<std::uint8_t> pixels = NativePixels(c.side, c.frames);
        w.Element(0x7FE0, 0x0010, "OW", pixels);
        return {w, pixels.size()};
    }
    std::vector<std::uint8_t> stream;
    if (c.kind == Kind::Lossless || c.kind == Kind::LosslessInFragments)
    {
        test::LosslessEncodeOptions options;
        options.width = c.side;
        options.height = c.side;
        stream = test::EncodeLossless(test::MakeTestImage(c.side, c.side, 12, 7), options);
        w.FileMeta(test::kJpegLossless);
    }
    else
    {
        std::ifstream in(fs::path(ORBLANE_TEST_DATA_DIR) / "codecs" / "ct512.j2k", std::ios::binary);
        stream.assign(std::istreambuf_iterator<char>(in), {});
        w.FileMeta("1.2.840.10008.1.2.4.90");
    }
    w.GreyPixelModule(c.side, c.side, 16, 12, c.frames);
    w.BeginEncapsulated().Fragment({});
    for (int f = 0; f < c.frames; ++f)
    {
        if (c.kind != Kind::LosslessInFragments)
        {
            w.Fragment(stream);
            continue;
        }
        // Even-sized parts, so that no pad byte enters the joined stream.
        const std::size_t third = stream.size() / 3 & ~std::size_t{1};
        const test::ByteSpan all(stream);
        w.Fragment(all.subspan(0, third)).Fragment(all.subspan(third, third)).Fragment(all.subspan(2 * third));
    }
    w.EndSequence();
    return {w, stream.size() * static_cast<std::size_t>(c.frames)};
}

class ReadFaultTest : public ::testing::TestWithParam<FaultCase>
{
protected:
    void SetUp() override { previous = SetErrorHandler(&Record); }
    void TearDown() override
    {
        SetErrorHandler(previous);
        raised.clear();
    }
    static void Record(std::string_view code, std::uint32_t, bool) { raised.emplace_back(code); }

    static inline std::vector<std::string> raised;
    ErrorHandler previous = nullptr;
    test::TempFolder folder;
};

TEST_P(ReadFaultTest, AFileCutShortUnderTheDecodeCannotBeReadAndIsReportedOnce)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows (and Wine) refuse to cut a file that is mapped; WindowsMappedReadGuardTest faults a "
                    "guarded read instead";
#endif
    const FaultCase& c = GetParam();
    const auto [writer, pixelBytes] = WriteCase(c);
    const fs::path path = folder.Path("image");
    writer.WriteTo(path);
    const std::uintmax_t size = fs::file_size(path);

    ThreadPool pool(1);
    ImageDataList list({1, 1}, ImageListOptions{0, true, &pool});
    list.AddFile(std::make_unique<DicomDataFileIO>("image", folder.Folder(), u""));
    // A frame shown before the medium fails keeps its pixels.
    if (c.frames > 1)
    {
        ASSERT_NE(list.GetImage(0), nullptr);
        ASSERT_TRUE(list.HasPixels(0));
    }
    ASSERT_TRUE(list.FindImage(c.frames - 1));
    // Cut a page into the pixel data of the first frame not decoded yet: everything the decode reads after that
    // page is gone from under the mapping.
    const std::size_t frameBytes = pixelBytes / static_cast<std::size_t>(c.frames);
    const std::size_t firstLost = c.frames > 1 ? 1 : 0;
    const std::uintmax_t cut = size - pixelBytes + firstLost * frameBytes + 4096;
    fs::resize_file(path, cut);

    const CImageData* lost = list.GetImage(static_cast<int>(firstLost));
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->UnshownReason(), u"File cannot be read: cannot be shown");
    const CImageData* last = list.GetImage(c.frames - 1);
    ASSERT_NE(last, nullptr);
    EXPECT_FALSE(last->UnshownReason().empty());
    if (c.frames > 1)
    {
        EXPECT_TRUE(list.HasPixels(0));
        EXPECT_TRUE(list.GetImage(0)->UnshownReason().empty());
    }
    for (const ImageDataList::PendingError& pending : list.TakeErrors())
    {
        RaiseError(pending.error, pending.fatal);
    }
    EXPECT_EQ(raised, std::vector<std::string>{"10100"});
}

// 512 x 512 lies below the size from which frames are filled on two threads (2^19 pixels), 1024 x 1024 above it.
INSTANTIATE_TEST_SUITE_P(BelowAndAboveTheSplit, ReadFaultTest,
                         ::testing::Values(FaultCase{"NativeSmall", Kind::Native, 512, 1},
                                           FaultCase{"NativeLarge", Kind::Native, 1024, 1},
                                           FaultCase{"NativeLargeMultiFrame", Kind::Native, 1024, 3},
                                           FaultCase{"LosslessSmall", Kind::Lossless, 512, 1},
                                           FaultCase{"LosslessLarge", Kind::Lossless, 1024, 1},
                                           FaultCase{"LosslessLargeMultiFrame", Kind::Lossless, 1024, 2},
                                           FaultCase{"LosslessInFragments", Kind::LosslessInFragments, 1024, 1},
                                           FaultCase{"Jpeg2000", Kind::Jpeg2000, 512, 1},
                                           FaultCase{"Jpeg2000MultiFrame", Kind::Jpeg2000, 512, 3}),
                         test::ByCaseName());

} // namespace
} // namespace orblane
