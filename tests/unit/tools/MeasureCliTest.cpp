// The measure and overlays verbs: their JSON and files, against the fixtures' numpy figures and PBM masks.
#include "support/CaseName.h"
#include "support/CliRun.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane {
namespace {

namespace fs = std::filesystem;
const std::string kMeasureData = std::string(ORBLANE_TEST_DATA_DIR) + "/measure/";

struct MeasureCliCase
{
    const char* name;
    std::vector<std::string> args; // after "measure FILE"
    const char* file;
    int exitCode;
    std::vector<std::string> expected; // each found in standard output (or error)
};

const MeasureCliCase kCases[] = {
    {"Line",
     {"--line", "0,0,10,0"},
     "ct_rescale.dcm",
     0,
     {"{\"kind\": \"line\", \"value\": 5, \"unit\": \"mm\", \"label\": \"mm\"}"}},
    {"Angle", {"--angle", "10,0,0,0,0,10"}, "ct_rescale.dcm", 0, {"\"kind\": \"angle\", \"value\": 90,"}},
    {"Ellipse",
     {"--ellipse", "20,15,5,5"},
     "ct_rescale.dcm",
     0,
     {"\"count\": 81, \"areaMm2\": 28.349999999999998, \"mean\": -167.83950617283", "\"min\": -1220, \"max\": 773"}},
    {"RectWithoutSpacing",
     {"--rect", "0,0,3,3"},
     "rgb.dcm",
     0,
     {"\"unit\": \"px\u00b2\"", "\"label\": \"px\"", "\"count\": 16, \"areaMm2\": null", "\"luminance\": true"}},
    {"SecondFrame", {"--frame", "2", "--ellipse", "8,8,4,6"}, "two_frames.dcm", 0, {"\"mean\": 1598.8082191780823"}},
    {"AcrossUltrasoundRegions",
     {"--line", "40,10,60,10"},
     "us_regions.dcm",
     0,
     {"\"value\": null", "\"reason\": \"the points lie in different ultrasound regions\""}},
    // Pixel data cut short: no values for a region, but the geometry for a length.
    {"LineOnImageWithoutValues",
     {"--line", "0,0,10,10"},
     "../files/MR_truncated.dcm",
     0,
     {"\"value\": 4.41941738241592", "\"label\": \"mm\""}},
    {"RegionOnImageWithoutValues",
     {"--rect", "0,0,10,10"},
     "../files/MR_truncated.dcm",
     0,
     {"\"mean\": null", "\"reason\": \"the image has no values to measure\""}},
    {"FrameBeyondTheImage", {"--frame", "3", "--line", "0,0,1,1"}, "two_frames.dcm", 1, {"holds 2 frame(s)"}},
    {"TooFewNumbers", {"--line", "0,0,1"}, "ct_rescale.dcm", 2, {"comma-separated"}},
    {"TwoShapes", {"--line", "0,0,1,1", "--rect", "0,0,1,1"}, "ct_rescale.dcm", 2, {"one of"}},
};

class MeasureCliTest : public ::testing::TestWithParam<MeasureCliCase>
{
};

TEST_P(MeasureCliTest, PrintsTheMeasurement)
{
    const MeasureCliCase& c = GetParam();
    std::vector<std::string> args{"measure", kMeasureData + c.file};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = test::RunCli(ORBLANE_CLI_PATH, args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    const std::string& text = c.exitCode == 0 ? run.out : run.err;
    for (const std::string& expected : c.expected)
    {
        EXPECT_NE(text.find(expected), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Verbs, MeasureCliTest, ::testing::ValuesIn(kCases), test::ByCaseName{});

std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(OverlaysCliTest, WritesEachPlaneOfEachFrameBitForBit)
{
    const struct
    {
        const char* file;
        const char* json;
        std::vector<std::pair<std::string, std::string>> files; // written, expected
    } cases[] = {
        {"overlays.dcm",
         "{\"overlays\": [{\"frame\": 1, \"group\": \"6000\", \"type\": \"G\", \"file\": \"overlay-1-6000.pbm\"}, "
         "{\"frame\": 1, \"group\": \"6002\", \"type\": \"R\", \"file\": \"overlay-1-6002.pbm\"}, "
         "{\"frame\": 1, \"group\": \"601E\", \"type\": \"G\", \"file\": \"overlay-1-601E.pbm\"}]}\n",
         {{"overlay-1-6000.pbm", "expected-1-6000.pbm"},
          {"overlay-1-6002.pbm", "expected-1-6002.pbm"},
          {"overlay-1-601E.pbm", "expected-1-601E.pbm"}}},
        {"overlay_frames.dcm",
         "{\"overlays\": [{\"frame\": 2, \"group\": \"6000\", \"type\": \"G\", \"file\": \"overlay-2-6000.pbm\"}, "
         "{\"frame\": 3, \"group\": \"6000\", \"type\": \"G\", \"file\": \"overlay-3-6000.pbm\"}]}\n",
         {{"overlay-2-6000.pbm", "expected-frames-2-6000.pbm"}, {"overlay-3-6000.pbm", "expected-frames-3-6000.pbm"}}},
        {"ct_rescale.dcm", "{\"overlays\": []}\n", {}},
    };
    for (const auto& c : cases)
    {
        const test::ScratchFolder scratch;
        const auto run = test::RunCli(ORBLANE_CLI_PATH, {"overlays", kMeasureData + c.file, scratch.Path().string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, c.json);
        for (const auto& [written, expected] : c.files)
        {
            EXPECT_EQ(Contents(scratch.Path() / written), Contents(kMeasureData + expected)) << written;
        }
    }
}

} // namespace
} // namespace orblane
