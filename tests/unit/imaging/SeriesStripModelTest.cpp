#include "imaging/SeriesStripModel.h"

#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orblane {
namespace {

// Items written as "study/series", expected series as "study/series@first+count".
struct GroupCase
{
    const char* name;
    std::vector<std::string> items;
    std::vector<std::string> expected;
};

class GroupViewerSeriesTest : public ::testing::TestWithParam<GroupCase>
{
};

TEST_P(GroupViewerSeriesTest, OrdersStudiesThenSeriesByFirstAppearance)
{
    std::vector<StripSeriesKey> keys;
    for (const std::string& item : GetParam().items)
    {
        const auto slash = item.find('/');
        keys.push_back({item.substr(0, slash), item.substr(slash + 1)});
    }
    std::vector<std::string> got;
    for (const StripSeries& s : GroupStripSeries(keys))
    {
        got.push_back(s.study + "/" + s.series + "@" + std::to_string(s.first) + "+" + std::to_string(s.count));
    }
    EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, GroupViewerSeriesTest,
    ::testing::Values(GroupCase{"None", {}, {}}, GroupCase{"OneSeries", {"a/1", "a/1", "a/1"}, {"a/1@0+3"}},
                      GroupCase{"TwoSeriesInOrder", {"a/1", "a/1", "a/2"}, {"a/1@0+2", "a/2@2+1"}},
                      // A series met again later keeps its first place and counts every item.
                      GroupCase{"InterleavedSeries", {"a/1", "a/2", "a/1"}, {"a/1@0+2", "a/2@1+1"}},
                      // A study's series stay together even when another study's items come between them.
                      GroupCase{"StudiesInterleaved", {"a/1", "b/1", "a/2"}, {"a/1@0+1", "a/2@2+1", "b/1@1+1"}},
                      GroupCase{"EmptyKeysAreOneSeries", {"/", "/", "a/"}, {"/@0+2", "a/@2+1"}},
                      // The same series UID under two studies is two series.
                      GroupCase{"SameSeriesKeyInTwoStudies", {"a/1", "b/1"}, {"a/1@0+1", "b/1@1+1"}}),
    test::ByCaseName());

// A medium of two studies: an MR of two image series with icons on the second, and a CT with a report series.
MediumSeries TwoStudies()
{
    MediumSeries medium;
    StudyEntryOfSeries mr;
    mr.studyInstanceUid = "1.1";
    mr.description = u"Brain";
    SeriesEntry t2;
    t2.seriesInstanceUid = "1.1.1";
    t2.number = 1;
    t2.modality = "MR";
    t2.description = u"Axial T2";
    t2.kind = SeriesKind::Images;
    for (const char* id : {"MR\\1", "MR\\2", "MR\\3"})
    {
        t2.images.push_back({id, {}, {}, {}, {}, {}});
    }
    SeriesEntry t1 = t2;
    t1.seriesInstanceUid = "1.1.2";
    t1.number = 2;
    t1.description = u"Axial T1";
    t1.images = {{"MR\\4 ", {}, {}, {}, {}, {}}, {"MR\\5", {}, {}, {}, {}, {}}};
    t1.icon = IconImage{2, 2, {0, 64, 128, 255}};
    mr.series = {t2, t1};
    StudyEntryOfSeries ct;
    ct.studyInstanceUid = "2.1";
    SeriesEntry chest;
    chest.seriesInstanceUid = "2.1.1";
    chest.modality = "CT";
    chest.kind = SeriesKind::Images;
    chest.images = {{"CT\\1", {}, {}, {}, {}, {}}};
    SeriesEntry sr;
    sr.seriesInstanceUid = "2.1.2";
    sr.modality = "SR";
    sr.kind = SeriesKind::Report;
    sr.images = {{"CT\\SR1", {}, {}, {}, {}, {}}, {"CT\\SR2", {}, {}, {}, {}, {}}};
    SeriesEntry ko;
    ko.seriesInstanceUid = "2.1.3";
    ko.modality = "KO";
    ko.kind = SeriesKind::KeyImages;
    ko.images = {{"CT\\KO1", {}, {}, {}, {}, {}}};
    ct.series = {chest, sr, ko};
    StudyEntryOfSeries noUids;
    noUids.studyInstanceUid = "3.1";
    SeriesEntry first = t2;
    first.seriesInstanceUid.clear();
    first.description = u"First";
    first.images = {{"NU\\1", {}, {}, {}, {}, {}}};
    SeriesEntry second = first;
    second.description = u"Second";
    second.images = {{"NU\\2", {}, {}, {}, {}, {}}};
    noUids.series = {first, second};
    medium.studies = {mr, ct, noUids};
    return medium;
}

StripFile On(std::string id, std::u16string label = u"2025.02.03")
{
    return {"/medium/", std::move(id), std::move(label)};
}

// One line a strip entry: what it shows and what a click does.
std::string Describe(const StripModel& model, const StripEntry& e)
{
    return std::to_string(e.study) + " " + SeriesKindName(e.kind) + " " + e.modality + " " +
           std::string(e.description.begin(), e.description.end()) + " x" + std::to_string(e.images) +
           (e.series >= 0 ? " series" + std::to_string(e.series) + "@file" +
                                std::to_string(model.series[static_cast<std::size_t>(e.series)].first)
                          : std::string()) +
           (e.report >= 0 ? " report" + std::to_string(e.report) : std::string()) +
           (e.thumbnailFile >= 0 ? " thumb" + std::to_string(e.thumbnailFile) : std::string()) +
           (e.icon ? " icon" : "");
}

struct StripCase
{
    const char* name;
    std::vector<StripFile> images;
    std::vector<StripFile> reports;
    bool grouped;
    std::vector<std::string> entries;
};

class BuildStripModelTest : public ::testing::TestWithParam<StripCase>
{
};

TEST_P(BuildStripModelTest, DescribesEachSeriesFromTheDirectory)
{
    const MediumSeries medium = TwoStudies();
    const StripModel model =
        BuildStripModel(GetParam().images, GetParam().reports,
                        [&medium](const std::string& folder) { return folder == "/medium/" ? &medium : nullptr; });
    std::vector<std::string> got;
    for (const StripEntry& entry : model.entries)
    {
        got.push_back(Describe(model, entry));
    }
    EXPECT_EQ(got, GetParam().entries);
    EXPECT_EQ(model.Grouped(), GetParam().grouped);
    // Every file knows its series, and that series starts no later than the file.
    ASSERT_EQ(model.seriesOfFile.size(), GetParam().images.size());
    for (std::size_t f = 0; f < model.seriesOfFile.size(); ++f)
    {
        EXPECT_LE(model.series.at(static_cast<std::size_t>(model.seriesOfFile[f])).first, static_cast<int>(f));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Media, BuildStripModelTest,
    ::testing::Values(StripCase{"OneStudyTwoSeries",
                                {On("MR\\1"), On("MR\\2"), On("MR\\3"), On("MR\\4"), On("MR\\5")},
                                {},
                                false,
                                {"0 images MR Axial T2 x3 series0@file0 thumb1",
                                 "0 images MR Axial T1 x2 series1@file3 thumb3 icon"}},
                      // The pad of a listed ID does not keep a file from its series.
                      StripCase{"PaddedIdsMatch",
                                {On("MR\\4 "), On(std::string("MR\\5\0", 5))},
                                {},
                                false,
                                {"0 images MR Axial T1 x2 series0@file0 thumb0 icon"}},
                      StripCase{"ReportsFollowTheirStudysImages",
                                {On("MR\\1"), On("CT\\1", u"2024")},
                                {On("CT\\SR1", u"2024"), On("CT\\KO1", u"2024"), On("CT\\SR2", u"2024")},
                                true,
                                {"0 images MR Axial T2 x1 series0@file0 thumb0", "1 images CT  x1 series1@file1 thumb1",
                                 "1 report SR  x2 report0", "1 key images KO  x1 report1"}},
                      // Records without a Series Instance UID are series of their own all the same.
                      StripCase{
                          "SeriesWithoutUidsStayApart",
                          {On("NU\\1"), On("NU\\2")},
                          {},
                          false,
                          {"0 images MR First x1 series0@file0 thumb0", "0 images MR Second x1 series1@file1 thumb1"}},
                      // Files no directory lists join one series per study label.
                      StripCase{"UnlistedFilesOneSeriesPerLabel",
                                {{"/elsewhere/", "A", u"x"}, {"/elsewhere/", "B", u"x"}, {"/elsewhere/", "C", u"y"}},
                                {},
                                true,
                                {"0 images   x2 series0@file0 thumb0", "1 images   x1 series1@file2 thumb2"}},
                      // A folder scan's files carry their series: one entry per series UID, as a DICOMDIR's.
                      StripCase{"ScannedFilesOneSeriesPerUid",
                                {{"", "A", u"x", "1.2.1", 3, "CT ", u"Chest"},
                                 {"", "B", u"x", "1.2.2", 4, "CT"},
                                 {"", "C", u"x", "1.2.1", 3, "CT ", u"Chest"}},
                                {},
                                false,
                                {"0 images CT Chest x2 series0@file0 thumb0", "0 images CT  x1 series1@file1 thumb1"}}),
    test::ByCaseName());

// The MR series of two files: the second an enhanced image whose frames (images 2-5) hold two stacks, the tiles'
// series 1 (images 1, 2, 4: the first file's and the first stack) and 2 (images 3, 5).
TEST(SplitStripStacksTest, EachFurtherStackGetsAnEntryAfterItsSeriesThatPagesItsOwnFrames)
{
    const MediumSeries medium = TwoStudies();
    const std::vector<StripFile> files = {On("CT\\1"), On("MR\\1"), On("MR\\2")};
    StripModel model = BuildStripModel(files, {}, [&medium](const std::string&) { return &medium; });
    ASSERT_EQ(model.entries.size(), 2u);
    std::vector<ViewerSeries> tiles(3);
    tiles[0].images = {0};
    tiles[1].images = {1, 2, 4};
    tiles[2].images = {3, 5};
    tiles[2].part = 1;
    for (ViewerSeries& s : tiles)
    {
        s.firstImage = s.images.front();
        s.imageCount = static_cast<int>(s.images.size());
        s.studyInstanceUid = &s == &tiles[0] ? "ct" : "mr";
    }
    const auto fileOf = [](int image) { return image == 0 ? 0 : image == 1 ? 1 : 2; };
    const std::vector<std::string> before = {Describe(model, model.entries[0]), Describe(model, model.entries[1])};

    EXPECT_FALSE(SplitStripStacks(model, std::span(tiles).first(2), fileOf)) << "no further stack found yet";
    EXPECT_TRUE(SplitStripStacks(model, tiles, fileOf));
    ASSERT_EQ(model.entries.size(), 3u);
    EXPECT_EQ(Describe(model, model.entries[0]), before[0]);
    EXPECT_EQ(model.entries[1].images, 3);
    EXPECT_EQ(model.entries[2].images, 2);
    EXPECT_EQ(model.entries[2].stack, 1);
    EXPECT_EQ(model.entries[2].description, model.entries[1].description);
    EXPECT_FALSE(model.entries[2].icon.has_value());
    const StripSeries& first = model.series[static_cast<std::size_t>(model.entries[1].series)];
    const StripSeries& second = model.series[static_cast<std::size_t>(model.entries[2].series)];
    EXPECT_EQ(first.viewerSeries, 1);
    EXPECT_EQ(first.firstImage, 1);
    EXPECT_EQ(second.viewerSeries, 2);
    EXPECT_EQ(second.firstImage, 3);
    // The current image's entry: by its stack where its series was split, by its file elsewhere.
    EXPECT_EQ(model.SeriesOfImage(2, 2), model.entries[2].series);
    EXPECT_EQ(model.SeriesOfImage(2, 1), model.entries[1].series);
    EXPECT_EQ(model.SeriesOfImage(0, 0), model.entries[0].series);
    // Nothing new: nothing changes.
    EXPECT_FALSE(SplitStripStacks(model, tiles, fileOf));
    EXPECT_EQ(model.entries.size(), 3u);
}

} // namespace
} // namespace orblane
