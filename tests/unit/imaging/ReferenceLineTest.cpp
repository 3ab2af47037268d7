#include "imaging/ReferenceLine.h"
#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameGeometry.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/CImageData.h"
#include "imaging/ImageDataList.h"
#include "support/CaseName.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace orblane {
namespace {

const std::string kGeometry = std::string(ORBLANE_TEST_DATA_DIR) + "/geometry/";

// "name" or "name:frame" as the fixtures' generator names a frame, from 1.
FrameAttributes LoadFrame(const std::string& name)
{
    const std::size_t colon = name.find(':');
    const int frame = colon == std::string::npos ? 1 : std::stoi(name.substr(colon + 1));
    DicomDataFileIO file;
    EXPECT_EQ(file.LoadFile(kGeometry + name.substr(0, colon) + ".dcm"), 0) << name;
    const TopLevelIndex index(file);
    std::vector<FrameAttributes> frames = ReadFrameAttributes(file, index, frame);
    return frames.empty() ? FrameAttributes() : frames.back();
}

// Every case the generator worked out with numpy (edges of B's image cut by A's plane in patient space) agrees with
// the line solved in B's pixel space, end for end.
TEST(ReferenceLineTest, MatchesTheLinesWorkedIndependently)
{
    std::ifstream in(kGeometry + "expected.txt");
    ASSERT_TRUE(in);
    std::string text;
    int cases = 0;
    while (std::getline(in, text))
    {
        std::istringstream fields(text);
        std::string a;
        std::string b;
        std::string first;
        fields >> a >> b >> first;
        SCOPED_TRACE(text);
        const ReferenceLine line = IntersectFrames(LoadFrame(a), LoadFrame(b));
        if (first == "-")
        {
            std::string reason;
            std::getline(fields >> std::ws, reason);
            EXPECT_STREQ(LineOutcomeReason(line.outcome), reason.c_str());
        }
        else
        {
            double r0 = 0;
            double c1 = 0;
            double r1 = 0;
            fields >> r0 >> c1 >> r1;
            ASSERT_EQ(line.outcome, LineOutcome::Line);
            EXPECT_NEAR(line.from.column, std::stod(first), 1e-6);
            EXPECT_NEAR(line.from.row, r0, 1e-6);
            EXPECT_NEAR(line.to.column, c1, 1e-6);
            EXPECT_NEAR(line.to.row, r1, 1e-6);
        }
        ++cases;
    }
    EXPECT_GE(cases, 38);
}

// An enhanced image's frame takes each macro from its own item, else from the shared one.
TEST(ReferenceLineTest, EnhancedFramesReadTheirOwnGroupsBeforeTheSharedOnes)
{
    for (const char* name : {"enhanced_axial", "enhanced_undefined"})
    {
        SCOPED_TRACE(name);
        DicomDataFileIO file;
        ASSERT_EQ(file.LoadFile(kGeometry + name + ".dcm"), 0);
        const std::vector<FrameAttributes> frames = ReadFrameAttributes(file, TopLevelIndex(file), 3);
        ASSERT_EQ(frames.size(), 3u);
        for (int k = 0; k < 3; ++k)
        {
            const FrameAttributes& f = frames[static_cast<std::size_t>(k)];
            ASSERT_TRUE(f.plane);
            EXPECT_DOUBLE_EQ(f.plane->position.z, -31.0 - 3.0 * k); // per frame
            EXPECT_DOUBLE_EQ(f.plane->columnDirection.y, 1.0);      // shared
            EXPECT_DOUBLE_EQ(f.plane->rowSpacing, 0.7);             // shared
            EXPECT_EQ(f.rescaleIntercept, -1024.0 + k);
            EXPECT_EQ(f.windowCentre, 40.0 + 10.0 * k);
            EXPECT_EQ(f.sliceThickness, 2.0);
            EXPECT_EQ(f.stackId, "1");
            EXPECT_EQ(f.inStackPosition, k + 1);
        }
    }
}

// The viewer shows each frame under its own rescale and window, not the first frame's.
TEST(ReferenceLineTest, EnhancedFramesDecodeUnderTheirOwnRescaleAndWindow)
{
    ImageDataList list;
    list.AddFile(DicomDataFileIO::ForPath(kGeometry + "enhanced_axial.dcm", "enhanced_axial.dcm", u""));
    for (int k = 0; k < 3; ++k)
    {
        const CImageData* image = list.GetImage(k);
        ASSERT_NE(image, nullptr) << k;
        EXPECT_EQ(image->Description().rescaleIntercept, -1024.0 + k);
        EXPECT_EQ(image->WindowCentre(), 40 + 10 * k);
        EXPECT_EQ(image->WindowWidth(), 400);
    }
}

struct PlaneCase
{
    const char* name;
    const char* position;
    const char* orientation;
    const char* spacing;
    GeometryProblem problem;
};

class MakeImagePlaneTest : public ::testing::TestWithParam<PlaneCase>
{
};

ByteView Text(const char* text)
{
    return ByteView(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

// Geometry that is missing, unreadable or contradictory gives no plane, never a repaired one.
TEST_P(MakeImagePlaneTest, RefusesWhatIsNotAPlane)
{
    const PlaneCase& c = GetParam();
    GeometryProblem problem = GeometryProblem::None;
    const auto plane = MakeImagePlane(c.position ? std::optional(Text(c.position)) : std::nullopt, Text(c.orientation),
                                      Text(c.spacing), 10, 10, problem);
    EXPECT_EQ(problem, c.problem);
    EXPECT_EQ(plane.has_value(), c.problem == GeometryProblem::None);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeImagePlaneTest,
    ::testing::Values(
        PlaneCase{"Plain", "1\\2\\3 ", "1\\0\\0\\0\\1\\0", "0.5\\0.5", GeometryProblem::None},
        PlaneCase{"RoundedCosines", "0\\0\\0", "0.7071\\0.7071\\0\\0\\0\\-1", "1\\1", GeometryProblem::None},
        PlaneCase{"NoPosition", nullptr, "1\\0\\0\\0\\1\\0", "1\\1", GeometryProblem::Missing},
        PlaneCase{"NanPosition", "NaN\\0\\0", "1\\0\\0\\0\\1\\0", "1\\1", GeometryProblem::Unreadable},
        PlaneCase{"InfinitePosition", "1e400\\0\\0", "1\\0\\0\\0\\1\\0", "1\\1", GeometryProblem::Unreadable},
        PlaneCase{"TrailingJunk", "1mm\\0\\0", "1\\0\\0\\0\\1\\0", "1\\1", GeometryProblem::Unreadable},
        PlaneCase{"FiveCosines", "0\\0\\0", "1\\0\\0\\0\\1", "1\\1", GeometryProblem::Unreadable},
        PlaneCase{"SevenCosines", "0\\0\\0", "1\\0\\0\\0\\1\\0\\0", "1\\1", GeometryProblem::Unreadable},
        PlaneCase{"ZeroRow", "0\\0\\0", "0\\0\\0\\0\\1\\0", "1\\1", GeometryProblem::Degenerate},
        PlaneCase{"LongColumn", "0\\0\\0", "1\\0\\0\\0\\2\\0", "1\\1", GeometryProblem::Degenerate},
        PlaneCase{"Skewed", "0\\0\\0", "1\\0\\0\\0.2\\0.98\\0", "1\\1", GeometryProblem::NotOrthogonal},
        PlaneCase{"ZeroSpacing", "0\\0\\0", "1\\0\\0\\0\\1\\0", "0\\1", GeometryProblem::BadSpacing},
        PlaneCase{"NegativeSpacing", "0\\0\\0", "1\\0\\0\\0\\1\\0", "1\\-1", GeometryProblem::BadSpacing}),
    test::ByCaseName());

// The command line prints what the viewer draws, in the shape scripts read.
TEST(GeometryCliTest, PrintsTheLineOrWhyThereIsNone)
{
    const struct
    {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    } cases[] = {
        {{kGeometry + "axial_a.dcm", kGeometry + "localizer.dcm"}, 0, "{\"line\": [[-0.5, 40], [79.5, 40]]}\n"},
        {{kGeometry + "enhanced_axial.dcm:3", kGeometry + "localizer.dcm"},
         0,
         "{\"line\": [[-0.5, 47], [79.5, 47]]}\n"},
        {{kGeometry + "other_frame.dcm", kGeometry + "axial_a.dcm"},
         0,
         "{\"line\": null, \"reason\": \"different frame of reference\"}\n"},
        {{kGeometry + "enhanced_axial.dcm:4", kGeometry + "localizer.dcm"}, 1, ""},
        {{kGeometry + "axial_a.dcm:0", kGeometry + "localizer.dcm"}, 2, ""},
    };
    for (const auto& c : cases)
    {
        std::vector<std::string> args{"geometry"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = test::RunCli(ORBLANE_CLI_PATH, args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args[0] << result.err;
        EXPECT_EQ(result.out, c.out) << c.args[0];
    }
}

} // namespace
} // namespace orblane
