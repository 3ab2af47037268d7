#include "support/CaseName.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace orblane {
namespace {

const std::string kGeometry = std::string(ORBLANE_TEST_DATA_DIR) + "/geometry/";

// The geometry fixtures (make_geometry.py): axial_a at z = -30, axial_b at -35, the enhanced axial frames at -31, -34
// and -37 (per-frame positions, 2 mm thick), a 2-degree tilt at -31, and a coronal of another frame of reference.
struct SyncCase
{
    const char* name;
    std::vector<std::string> args;
    std::string out;
};

class SyncCliTest : public ::testing::TestWithParam<SyncCase>
{
};

TEST_P(SyncCliTest, PrintsTheFollowersSlice)
{
    const SyncCase& c = GetParam();
    std::vector<std::string> args = {"sync"};
    for (const std::string& a : c.args)
    {
        args.push_back(a.starts_with("--") || std::isdigit(static_cast<unsigned char>(a[0])) ? a
                                                                                             : kGeometry + a + ".dcm");
    }
    const test::CliResult result = test::RunCli(ORBLANE_CLI_PATH, args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, c.out + "\n");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SyncCliTest,
                         ::testing::Values(SyncCase{"NearestEnhancedFrameByItsOwnPosition",
                                                    {"axial_b", "--to", "enhanced_axial", "--at", "1"},
                                                    R"({"relation": "position", "slice": 2, "outOfRange": false})"},
                                           SyncCase{"ASingleSliceFarAwayIsOutOfRange",
                                                    {"enhanced_axial", "--to", "axial_a", "--at", "3"},
                                                    R"({"relation": "position", "slice": 1, "outOfRange": true})"},
                                           SyncCase{"TwoDegreesApartDoNotScrollTogether",
                                                    {"axial_a", "--to", "tilt_two_degrees", "--at", "1"},
                                                    R"({"relation": "none", "slice": null, "outOfRange": false})"},
                                           SyncCase{"AnotherFrameOfReferenceUnlinked",
                                                    {"axial_a", "--to", "other_frame", "--at", "1"},
                                                    R"({"relation": "none", "slice": null, "outOfRange": false})"},
                                           // Linked at -30 and the coronal's own normal position: the leader has not
                                           // moved, the follower stays.
                                           SyncCase{"LinkedByDistance",
                                                    {"axial_a", "--to", "other_frame", "--at", "1", "--link", "1", "1"},
                                                    R"({"relation": "distance", "slice": 1, "outOfRange": false})"}),
                         test::ByCaseName());

TEST(SyncCliRefusalTest, ASliceBeyondTheSeriesIsAnInputErrorAndMissingArgumentsAUsageError)
{
    EXPECT_EQ(test::RunCli(ORBLANE_CLI_PATH,
                           {"sync", kGeometry + "axial_a.dcm", "--to", kGeometry + "axial_b.dcm", "--at", "2"})
                  .exitCode,
              1);
    EXPECT_EQ(test::RunCli(ORBLANE_CLI_PATH, {"sync", kGeometry + "axial_a.dcm", "--at", "1"}).exitCode, 2);
    EXPECT_EQ(test::RunCli(ORBLANE_CLI_PATH,
                           {"sync", kGeometry + "axial_a.dcm", "--to", kGeometry + "axial_b.dcm", "--at", "0"})
                  .exitCode,
              2);
}

// The fixtures name no series: one series throughout, split only where an enhanced image's frames hold two
// orientations (enhanced_mixed: an axial frame, then a coronal one); the enhanced axial frames join the first, and the
// classic slices stay one series of their own.
TEST(StacksCliTest, SplitsEnhancedFramesByOrientationAndLeavesClassicImagesTogether)
{
    const test::CliResult run =
        test::RunCli(ORBLANE_CLI_PATH, {"stacks", kGeometry + "enhanced_mixed.dcm", kGeometry + "enhanced_axial.dcm",
                                        kGeometry + "axial_a.dcm", kGeometry + "axial_b.dcm"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string none = R"("studyInstanceUid": "", "seriesInstanceUid": "")";
    EXPECT_EQ(run.out, "{\"stacks\": [{" + none + R"(, "stackId": "1", "frames": [1, 3, 4, 5]}, {)" + none +
                           R"(, "stackId": "1", "frames": [2]}, {)" + none + R"(, "stackId": "", "frames": [6, 7]}]})" +
                           "\n");
    EXPECT_EQ(test::RunCli(ORBLANE_CLI_PATH, {"stacks"}).exitCode, 2);
}

} // namespace
} // namespace orblane
