#include "imaging/ThumbnailDecode.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/SeriesModel.h"
#include "imaging/ImageDataList.h"
#include "imaging/SeriesStripModel.h"
#include "imaging/SeriesThumbnail.h"
#include "platform/FileOpenCount.h"

#include "support/CaseName.h"
#include "support/Jpeg2000Encoder.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace orblane {
namespace {

const std::string kMedium = std::string(ORBLANE_DEMO_MEDIUM_DIR) + "/";

MediumSeries DemoMedium()
{
    MediumSeries medium;
    EXPECT_EQ(ReadDicomDirSeries(kMedium + "DICOMDIR", medium), 0);
    return medium;
}

// The first series of the demo study with this description.
const SeriesEntry* SeriesNamed(const MediumSeries& medium, std::u16string_view description)
{
    for (const StudyEntryOfSeries& study : medium.studies)
    {
        for (const SeriesEntry& series : study.series)
        {
            if (series.description && *series.description == description)
            {
                return &series;
            }
        }
    }
    return nullptr;
}

// The mean level of a bitmap's first channel.
double MeanLevel(const DisplayBitmap& bitmap)
{
    const int channels = bitmap.BitsPerPixel() / 8;
    double sum = 0;
    for (int y = 0; y < bitmap.Height(); ++y)
    {
        for (int x = 0; x < bitmap.Width(); ++x)
        {
            sum += bitmap.Row(y)[x * channels];
        }
    }
    return sum / (static_cast<double>(bitmap.Width()) * bitmap.Height());
}

struct RouteCase
{
    const char* name;
    const char16_t* series;
    ThumbnailRoute route;
    int width;
    int height;
};

class ThumbnailDecodeTest : public ::testing::TestWithParam<RouteCase>
{
};

// Each codec takes its reduced route, and the picture is the one a whole decode shrunk would give: the same size
// and, within what subsampling and a scaled inverse DCT change, the same levels.
TEST_P(ThumbnailDecodeTest, TakesTheReducedRouteAndShowsWhatTheWholeDecodeShows)
{
    const MediumSeries medium = DemoMedium();
    const SeriesEntry* series = SeriesNamed(medium, GetParam().series);
    ASSERT_NE(series, nullptr);
    const std::string fileId = series->images[series->MiddleImage()].fileId;

    DicomDataFileIO file(fileId, kMedium, u"");
    DisplayBitmap reduced;
    EXPECT_EQ(DecodeThumbnail(file, kThumbnailSize, reduced), GetParam().route);
    EXPECT_EQ(file.DataSet(), nullptr) << "the file is let go of afterwards";
    ASSERT_FALSE(reduced.IsNull());
    EXPECT_EQ(reduced.Width(), GetParam().width);
    EXPECT_EQ(reduced.Height(), GetParam().height);

    ImageDataList whole;
    whole.AddFile(std::make_unique<DicomDataFileIO>(fileId, kMedium, u""));
    const CImageData* image = whole.GetImage(0);
    ASSERT_NE(image, nullptr);
    DisplayBitmap expected;
    ASSERT_TRUE(ReduceToFit(image->Bitmap(), kThumbnailSize, expected));
    EXPECT_EQ(expected.Width(), reduced.Width());
    EXPECT_EQ(expected.Height(), reduced.Height());
    EXPECT_NEAR(MeanLevel(reduced), MeanLevel(expected), 4.0);
}

INSTANTIATE_TEST_SUITE_P(
    DemoMedium, ThumbnailDecodeTest,
    ::testing::Values(RouteCase{"NativeCt", u"Chest 5.0 mm soft tissue", ThumbnailRoute::Subsampled, 128, 128},
                      RouteCase{"LosslessCt", u"Chest 5.0 mm lossless", ThumbnailRoute::Reduced, 128, 128},
                      RouteCase{"NativeRadiograph", u"Chest PA", ThumbnailRoute::Subsampled, 102, 128},
                      RouteCase{"JpegPhotograph", u"Lesion close-up", ThumbnailRoute::ScaledJpeg, 128, 96}),
    test::ByCaseName());

struct LevelCase
{
    const char* name;
    int columns;
    int rows;
    int width;
    int height;
};

class Jpeg2000LevelTest : public ::testing::TestWithParam<LevelCase>
{
};

// A JPEG 2000 thumbnail comes from a reduced resolution level, and looks as the whole image shrunk does: the level's
// low-pass samples and the area average differ at edges by a few levels, never in what the picture shows.
TEST_P(Jpeg2000LevelTest, ReducedLevelShowsWhatTheWholeDecodeShrunkShows)
{
    const LevelCase& c = GetParam();
    const test::ScratchFolder folder;
    const std::vector<std::uint8_t> bytes = test::Jpeg2000CtFile(c.columns, c.rows);
    ASSERT_FALSE(bytes.empty());
    folder.Write("CT1", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));

    DicomDataFileIO file("CT1", folder.FolderText(), u"");
    DisplayBitmap reduced;
    ASSERT_EQ(DecodeThumbnail(file, kThumbnailSize, reduced), ThumbnailRoute::ReducedResolution);
    ASSERT_EQ(reduced.Width(), c.width);
    ASSERT_EQ(reduced.Height(), c.height);

    ImageDataList whole;
    whole.AddFile(std::make_unique<DicomDataFileIO>("CT1", folder.FolderText(), u""));
    const CImageData* image = whole.GetImage(0);
    ASSERT_NE(image, nullptr);
    DisplayBitmap expected;
    ASSERT_TRUE(ReduceToFit(image->Bitmap(), kThumbnailSize, expected));
    ASSERT_EQ(expected.Width(), reduced.Width());
    ASSERT_EQ(expected.Height(), reduced.Height());
    ASSERT_EQ(expected.BitsPerPixel(), reduced.BitsPerPixel());

    const int channels = reduced.BitsPerPixel() / 8;
    double levels[2] = {0, 0};
    double difference = 0;
    int far = 0;
    for (int y = 0; y < reduced.Height(); ++y)
    {
        for (int x = 0; x < reduced.Width(); ++x)
        {
            const int a = reduced.Row(y)[x * channels];
            const int b = expected.Row(y)[x * channels];
            levels[0] += a;
            levels[1] += b;
            difference += std::abs(a - b);
            far += std::abs(a - b) > 48 ? 1 : 0;
        }
    }
    const double pixels = static_cast<double>(reduced.Width()) * reduced.Height();
    // A shifted, transposed, rescaled or wrongly windowed level differs by tens of levels throughout; what a sound
    // one differs by is the edges the window clips (air, bone), whose values it averages before the window.
    EXPECT_NEAR(levels[0] / pixels, levels[1] / pixels, 1.0) << "mean level";
    EXPECT_LE(difference / pixels, 6.0) << "mean difference";
    EXPECT_LE(far, pixels / 20) << "pixels more than 48 levels apart";
}

INSTANTIATE_TEST_SUITE_P(Generated, Jpeg2000LevelTest,
                         ::testing::Values(LevelCase{"Landscape900x700", 900, 700, 128, 100},
                                           LevelCase{"Portrait520x1100", 520, 1100, 61, 128}),
                         test::ByCaseName());

TEST(ThumbnailDecodeTest, RefusesAFileThatIsNotThere)
{
    DicomDataFileIO file("NO\\SUCH", kMedium, u"");
    DisplayBitmap out;
    EXPECT_EQ(DecodeThumbnail(file, kThumbnailSize, out), ThumbnailRoute::Failed);
}

// The MR brain's records carry icons: its strip, pictures included, reads the DICOMDIR and no image file.
TEST(SeriesStripOpensTest, DirectoryIconsOpenNoImageFile)
{
    const MediumSeries medium = DemoMedium();
    std::vector<StripFile> files;
    for (const StudyEntryOfSeries& study : medium.studies)
    {
        for (const SeriesEntry& series : study.series)
        {
            if (series.modality == "MR" && study.series.size() == 2)
            {
                for (const SeriesImage& image : series.images)
                {
                    files.push_back({kMedium, image.fileId, u"2025.02.03"});
                }
            }
        }
    }
    ASSERT_EQ(files.size(), 40u);
    const std::uint64_t before = platform::FileOpenCount();
    StripMedia media;
    const StripModel model =
        BuildStripModel(files, {}, [&media](const std::string& folder) { return media.Of(folder); });
    int pictures = 0;
    for (const StripEntry& entry : model.entries)
    {
        DisplayBitmap icon;
        pictures += entry.icon && IconBitmap(*entry.icon, icon) ? 1 : 0;
    }
    EXPECT_EQ(pictures, 2);
    EXPECT_EQ(platform::FileOpenCount() - before, 1u) << "the DICOMDIR only";
}

} // namespace
} // namespace orblane
