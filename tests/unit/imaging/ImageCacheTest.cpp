// The image list as a bounded cache: images found without decoding, decoded when asked for, dropped least recently
// shown first and decoded again with their view state, files mapped again after their mapping was let go, frames
// decoded ahead on a pool, and images that cannot be shown kept in their place.
#include "imaging/ImageDataList.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/JpegBaseline.h"
#include "platform/AtomicWait.h"
#include "platform/ErrorSink.h"
#include "platform/LargeBuffer.h"
#include "platform/ThreadPool.h"
#include "support/CaseName.h"
#include "support/DicomWriter.h"
#include "support/GreyJpeg.h"
#include "unit/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace orblane {
namespace {

using test::DicomWriter;

// Frame k of every file written here holds the sample FrameValue(k) in every pixel (MONOCHROME2, no rescale: the
// modality value is the sample).
std::uint16_t FrameValue(int k)
{
    return static_cast<std::uint16_t>(10 * k + 1);
}

DicomWriter NativeFrames(int frames, int side)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0010, 0x0010, "PN", "Cache^Test")
        .GreyPixelModule(side, side, 16, 16, frames);
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < frames; ++k)
    {
        for (int p = 0; p < side * side; ++p)
        {
            bytes.push_back(static_cast<std::uint8_t>(FrameValue(k)));
            bytes.push_back(static_cast<std::uint8_t>(FrameValue(k) >> 8));
        }
    }
    w.Element(0x7FE0, 0x0010, "OW", bytes);
    return w;
}

class ImageCacheTest : public ::testing::Test
{
protected:
    void SetUp() override { previous = SetErrorHandler(&Record); }
    void TearDown() override
    {
        SetErrorHandler(previous);
        raised.clear();
    }
    static void Record(std::string_view code, std::uint32_t, bool) { raised.emplace_back(code); }

    std::unique_ptr<DicomDataFileIO> Write(const std::string& name, const DicomWriter& w)
    {
        w.WriteTo(folder.Path(name));
        return std::make_unique<DicomDataFileIO>(name, folder.Folder(), u"");
    }
    static void Report(ImageDataList& list)
    {
        for (const ImageDataList::PendingError& pending : list.TakeErrors())
        {
            RaiseError(pending.error, pending.fatal);
        }
    }

    inline static std::vector<std::string> raised;
    ErrorHandler previous = nullptr;
    test::TempFolder folder;
};

TEST_F(ImageCacheTest, AThousandFrameFileIsFoundWithoutDecodingAndDecodesOnlyTheFrameAskedFor)
{
    ImageDataList list;
    list.AddFile(Write("cine", NativeFrames(1000, 8)));
    EXPECT_EQ(list.LoadNextFile(), 1000);
    EXPECT_EQ(list.CachedBytes(), 0u);
    const CImageData* image = list.GetImage(500);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Values()[63], FrameValue(500));
    EXPECT_EQ(image->Description().frameNumber, 500);
    EXPECT_EQ(image->Description().frameCount, 1000);
    int decoded = 0;
    for (int k = 0; k < list.ImageCount(); ++k)
    {
        decoded += list.HasPixels(k) ? 1 : 0;
    }
    EXPECT_EQ(decoded, 1);
}

TEST_F(ImageCacheTest, BudgetHoldsThePageOnScreenStaysAndADroppedImageComesBackAsTheUserLeftIt)
{
    // A 32 x 32 image holds 4 KiB of values and a 4 KiB bitmap: some seven fit in 64 KiB.
    constexpr std::size_t kBudget = 64 * 1024;
    ImageDataList list({1, 1}, ImageListOptions{kBudget, true, nullptr});
    list.AddFile(Write("series", NativeFrames(40, 32)));
    list.SetOnScreen(0, 4);
    for (int k = 0; k < 40; ++k)
    {
        CImageData* image = list.GetImage(k);
        ASSERT_NE(image, nullptr) << k;
        if (k == 10)
        {
            image->SetZoom(3.0);
            image->SetOrigin(-5, 7);
            image->SetWindow(50, 7);
        }
        EXPECT_LE(list.CachedBytes(), kBudget) << k;
    }
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_TRUE(list.HasPixels(k)) << "on screen: " << k;
    }
    ASSERT_FALSE(list.HasPixels(10));
    const CImageData* again = list.GetImage(10);
    EXPECT_TRUE(list.HasPixels(10));
    EXPECT_EQ(again->Values()[0], FrameValue(10));
    EXPECT_DOUBLE_EQ(again->GetZoom(), 3.0);
    EXPECT_EQ(again->GetOrigin(), (Point{-5, 7}));
    EXPECT_EQ(again->WindowCentre(), 50);
    EXPECT_EQ(again->WindowWidth(), 7);
    // The window applies to the bitmap built anew: 101 lies above 50 + 7 / 2, so it shows white.
    EXPECT_EQ(again->Bitmap().Pixels32(0)[0] & 0xFFu, 255u);
}

TEST_F(ImageCacheTest, FilesAreMappedAgainWhenShownAgainAndOneThatFailsByThenIsReportedOnce)
{
    // Twenty files, a cache of one byte: every image but the last asked for is dropped, and only the files used
    // last stay mapped.
    ImageDataList list({1, 1}, ImageListOptions{1, true, nullptr});
    for (int f = 0; f < 20; ++f)
    {
        list.AddFile(Write("file" + std::to_string(f), NativeFrames(f + 1, 4)));
    }
    int images = 0;
    for (int f = 0; f < 20; ++f)
    {
        images += f + 1;
        ASSERT_NE(list.GetImage(images - 1), nullptr);
    }
    EXPECT_LE(list.MappedFileCount(), 16);
    ASSERT_FALSE(list.HasPixels(0));
    const CImageData* first = list.GetImage(0);
    ASSERT_TRUE(list.HasPixels(0));
    EXPECT_EQ(first->Values()[0], FrameValue(0));
    EXPECT_EQ(list.GetImage(2)->Values()[0], FrameValue(1)) << "file 1, frame 1";
    Report(list);
    EXPECT_TRUE(raised.empty());

    // Files 2 and 3, used least recently, are no longer mapped when they are cut short.
    std::filesystem::resize_file(folder.Path("file2"), 100);
    std::filesystem::resize_file(folder.Path("file3"), 0);
    const CImageData* lost = list.GetImage(3);
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->UnshownReason(), u"File cannot be read: cannot be shown");
    EXPECT_EQ(list.GetImage(6)->UnshownReason(), u"File cannot be read: cannot be shown");
    EXPECT_EQ(list.GetImage(10)->Values()[0], FrameValue(0)) << "file 4 is untouched";
    Report(list);
    EXPECT_EQ(raised, std::vector<std::string>{"10100"});
}

struct UnshowableCase
{
    const char* name;
    std::string_view syntax;
    int frames;
    // Per fragment: a JPEG of this grey level, or 0 for bytes that are no JPEG.
    std::vector<int> fragments;
    std::vector<std::u16string> reasons;
};

void PrintTo(const UnshowableCase& c, std::ostream* out)
{
    *out << c.name;
}

class UnshowableTest : public ImageCacheTest, public ::testing::WithParamInterface<UnshowableCase>
{
};

std::vector<std::uint8_t> GreyJpeg(std::uint8_t level)
{
    DisplayBitmap bitmap;
    bitmap.Create(16, 8, 8);
    for (int row = 0; row < 8; ++row)
    {
        std::fill(bitmap.Row(row), bitmap.Row(row) + 16, level);
    }
    return test::GreyJpegOf(bitmap, 95);
}

TEST_P(UnshowableTest, KeepsItsPlaceAndSaysWhy)
{
    const UnshowableCase& c = GetParam();
    DicomWriter w;
    w.FileMeta(c.syntax).Text(0x0010, 0x0010, "PN", "Unshown^Case").GreyPixelModule(8, 16, 8, 8, c.frames);
    if (c.fragments.empty())
    {
        w.Element(0x7FE0, 0x0010, "OB", std::vector<std::uint8_t>(4, 1));
    }
    else
    {
        w.BeginEncapsulated().Fragment({});
        for (const int level : c.fragments)
        {
            w.Fragment(level == 0 ? std::vector<std::uint8_t>(100, 0x42) : GreyJpeg(static_cast<std::uint8_t>(level)));
        }
        w.EndSequence();
    }
    DicomWriter next = NativeFrames(1, 4);
    ImageDataList list({1, 1}, ImageListOptions{0, true, nullptr});
    list.AddFile(Write("case", w));
    list.AddFile(Write("next", next));
    for (std::size_t k = 0; k < c.reasons.size(); ++k)
    {
        const CImageData* image = list.GetImage(static_cast<int>(k));
        ASSERT_NE(image, nullptr) << k;
        EXPECT_EQ(image->UnshownReason(), c.reasons[k]) << k;
        EXPECT_EQ(image->HasPixels(), c.reasons[k].empty()) << k;
        EXPECT_EQ(image->GetText(1), u"Unshown^Case\n\n\n") << k;
    }
    const CImageData* after = list.GetImage(static_cast<int>(c.reasons.size()));
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->Values()[0], FrameValue(0)) << "the next file's image follows";
    EXPECT_EQ(list.ImageCount(), static_cast<int>(c.reasons.size()) + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnshowableTest,
    ::testing::Values(
        UnshowableCase{"DamagedMiddleFrame",
                       "1.2.840.10008.1.2.4.50",
                       3,
                       {40, 0, 200},
                       {u"", u"JPEG Baseline frame damaged: cannot be shown", u""}},
        UnshowableCase{
            "VideoIsOneImage", "1.2.840.10008.1.2.4.102", 30, {0, 0}, {u"Video (MPEG-4 AVC) cannot be shown"}},
        UnshowableCase{"DamagedHighThroughputJpeg2000",
                       "1.2.840.10008.1.2.4.203",
                       1,
                       {0},
                       {u"HTJ2K frame damaged: cannot be shown"}},
        UnshowableCase{"UnknownSyntax", "1.2.3.4.5", 1, {}, {u"Transfer syntax 1.2.3.4.5 cannot be shown"}},
        UnshowableCase{
            "NativeDataCutShort", test::kExplicitLittleEndian, 1, {}, {u"Pixel data incomplete: cannot be shown"}}),
    test::ByCaseName{});

TEST_F(ImageCacheTest, DecodesTheNeighbouringPagesNearestFirstAndCancelsWhatAnotherPageMadeStale)
{
    ThreadPool pool(1);
    ImageDataList list({1, 1}, ImageListOptions{0, true, &pool});
    std::atomic<int> finished = 0;
    list.SetDecodedNotifier([&] { ++finished; });
    list.AddFile(Write("series", NativeFrames(24, 16)));
    ASSERT_NE(list.GetImage(0), nullptr);

    // The only worker is held while two pages are asked for: what the first asked for is stale once it runs.
    platform::CountDownLatch release(1);
    pool.Submit([&] { release.wait(); });
    list.DecodeAround(0, 4);
    list.DecodeAround(12, 4);
    release.count_down();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (finished < 9 && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(finished, 9);
    // One worker runs the queue in order: the page after first, each step alternating with the page before, then
    // the image after the next page (the one the next step asks for first).
    EXPECT_EQ(list.CollectDecoded(), (std::vector<int>{16, 11, 17, 10, 18, 9, 19, 8, 20}));
    for (int k = 4; k < 8; ++k)
    {
        EXPECT_FALSE(list.HasPixels(k)) << "cancelled: " << k;
    }
    EXPECT_EQ(list.GetImage(19)->Values()[0], FrameValue(19));
}

TEST_F(ImageCacheTest, FramesDecodedAheadFitInTheBudgetBeforeTheyAreCollected)
{
    // 512 x 512 frames (about 2 MiB each with their bitmaps), pages of three and a budget of eight images: the
    // neighbouring pages decoded ahead must push older images out before they arrive, or until the owner collects
    // them the process holds the budget and them on top of it.
    constexpr std::size_t kBudget = 16u << 20;
    ThreadPool pool(1);
    ImageDataList list({1, 1}, ImageListOptions{kBudget, true, &pool});
    list.AddFile(Write("large", NativeFrames(30, 512)));
    const std::size_t before = platform::LargeBufferBytesInUse();
    for (int first = 0; first + 3 <= 30; first += 3)
    {
        list.SetOnScreen(first, 3);
        for (int k = first; k < first + 3; ++k)
        {
            ASSERT_NE(list.GetImage(k), nullptr) << k;
        }
        list.DecodeAround(first, 3);
        // The only worker runs in order: once this job runs, the decodes asked for above are over.
        platform::CountDownLatch drained(1);
        pool.Submit([&] { drained.count_down(); });
        drained.wait();
        EXPECT_LE(platform::LargeBufferBytesInUse() - before, kBudget + (1u << 20)) << "page from " << first;
    }
}

TEST_F(ImageCacheTest, StepsFasterThanThePoolDecodesShowEveryImageRight)
{
    // Each step asks for the image the pool is decoding or has queued: the owner takes queued decodes back, decodes
    // the next one while a worker finishes the one it wants, and waits for it. Run under ThreadSanitizer as well.
    ThreadPool pool(1);
    ImageDataList list({1, 1}, ImageListOptions{0, true, &pool});
    list.AddFile(Write("series", NativeFrames(60, 96)));
    for (int k = 0; k < 60; ++k)
    {
        list.SetOnScreen(k, 1);
        const CImageData* image = list.GetImage(k);
        ASSERT_NE(image, nullptr) << k;
        EXPECT_EQ(image->Values()[96 * 96 - 1], FrameValue(k)) << k;
        list.FindImage(k + 1);
        list.DecodeAround(k, 1);
    }
    for (int k = 59; k >= 0; k -= 3)
    {
        list.SetOnScreen(k, 3);
        EXPECT_EQ(list.GetImage(k)->Values()[0], FrameValue(k)) << k;
        list.DecodeAround(k, 3);
    }
}

TEST_F(ImageCacheTest, FilesNotWalkedYetAreWalkedAndDecodedAheadAndJoinInStudyOrderWhenReached)
{
    ThreadPool pool(1);
    ImageDataList list({1, 1}, ImageListOptions{0, true, &pool});
    // Each file is told by its side; the fourth has two frames.
    const std::vector<int> frameCounts = {1, 1, 1, 2, 1, 1};
    for (std::size_t k = 0; k < frameCounts.size(); ++k)
    {
        list.AddFile(Write("f" + std::to_string(k), NativeFrames(frameCounts[k], 4 + static_cast<int>(k))));
    }
    // A page of two and the image after it, as the viewer shows the first page: three files walked.
    for (int index = 0; index < 3; ++index)
    {
        ASSERT_NE(list.GetImage(index), nullptr);
    }
    list.SetOnScreen(0, 2);
    list.DecodeAround(0, 2);
    // The only worker runs in order: once this job runs, the walks asked for above are over.
    platform::CountDownLatch drained(1);
    pool.Submit([&] { drained.count_down(); });
    drained.wait();
    EXPECT_EQ(list.ImageCount(), 3) << "the paging buttons go by the images the owner found";

    // Gone from the disc: only what was walked and decoded ahead can still be shown.
    for (const char* name : {"f3", "f4", "f5"})
    {
        std::filesystem::remove(folder.Path(name));
    }
    const struct
    {
        int index;
        int side;
        std::uint16_t value;
    } ahead[] = {{3, 7, FrameValue(0)}, {4, 7, FrameValue(1)}, {5, 8, FrameValue(0)}};
    for (const auto& expected : ahead)
    {
        const CImageData* image = list.GetImage(expected.index);
        ASSERT_NE(image, nullptr) << expected.index;
        EXPECT_EQ(image->Description().columnCount, expected.side) << expected.index;
        EXPECT_EQ(image->Values()[0], expected.value) << expected.index;
    }
    EXPECT_TRUE(list.HasPixels(3) && list.HasPixels(4) && list.HasPixels(5));
    // The file after the pages asked for was left alone: read only now, it is missing.
    EXPECT_EQ(list.GetImage(6), nullptr);
    Report(list);
    EXPECT_EQ(raised, (std::vector<std::string>{"10100"}));
}

} // namespace
} // namespace orblane
