// What `render` and `info` answer for files they cannot show: never an empty success. A file that is not DICOM is an
// error; a DICOM file whose pixel data cannot be decoded lists each image with "decodable": false and the reason the
// viewer's tile shows.
#include "imaging/codecs/Codecs.h"
#include "support/CaseName.h"
#include "support/CliRun.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace orblane {
namespace {

namespace fs = std::filesystem;
const std::string kData = ORBLANE_TEST_DATA_DIR;

enum class Input
{
    PlainText,   // a text file named like an image
    DamagedJpeg, // a JPEG Baseline frame that is no JPEG stream
    SlowJpegLs,  // the fuzzing finding CharLS spends seconds on
    CutShort,    // pydicom's MR_truncated.dcm: the Pixel Data element runs past the end of the file
};

struct RenderCase
{
    const char* name;
    Input input;
    int exitCode;
    // Found in standard output (render) or standard error (a failure).
    const char* expected;
};

fs::path MakeInput(Input input, const fs::path& folder)
{
    const fs::path path = folder / "input.dcm";
    switch (input)
    {
    case Input::PlainText:
        std::ofstream(path) << "not an image, though long enough to pass for one's first 132 bytes\n"
                            << std::string(200, 'x');
        break;
    case Input::DamagedJpeg: {
        test::DicomWriter w;
        w.FileMeta("1.2.840.10008.1.2.4.50").GreyPixelModule(16, 16, 8, 8);
        const std::vector<std::uint8_t> garbage(64, 0x5A);
        w.BeginEncapsulated().Fragment({}).Fragment(garbage).EndSequence();
        w.WriteTo(path);
        break;
    }
    case Input::SlowJpegLs:
        return fs::path(kData) / "findings" / "jpegls-damaged-slow.dcm";
    case Input::CutShort:
        return fs::path(kData) / "files" / "MR_truncated.dcm";
    }
    return path;
}

class RenderCliTest : public ::testing::TestWithParam<RenderCase>
{
};

TEST_P(RenderCliTest, ReportsWhatCannotBeShown)
{
    const RenderCase& c = GetParam();
    const test::ScratchFolder scratch;
    const fs::path input = MakeInput(c.input, scratch.Path());
    const auto render = test::RunCli(ORBLANE_CLI_PATH, {"render", input.string(), (scratch.Path() / "out").string()});
    EXPECT_EQ(render.exitCode, c.exitCode) << render.err;
    const std::string& text = c.exitCode == 0 ? render.out : render.err;
    if (c.input == Input::SlowJpegLs && !HasJpegLsLibrary())
    {
        // Without CharLS the frame is refused as unsupported before any decode: never called damaged.
        EXPECT_NE(text.find("JPEG-LS Near-Lossless frame not supported"), std::string::npos) << text;
        return;
    }
    EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    if (c.exitCode != 0)
    {
        const auto info = test::RunCli(ORBLANE_CLI_PATH, {"info", input.string()});
        EXPECT_EQ(info.exitCode, c.exitCode);
        EXPECT_NE(info.err.find(c.expected), std::string::npos) << info.err;
        EXPECT_TRUE(info.out.empty()) << info.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RenderCliTest,
    ::testing::Values(RenderCase{"NotDicom", Input::PlainText, 1, "not a DICOM file"},
                      RenderCase{"DamagedFrame", Input::DamagedJpeg, 0,
                                 R"({"index": 0, "decodable": false, "transferSyntaxName": "JPEG Baseline", )"
                                 R"("reason": "JPEG Baseline frame damaged: cannot be shown"})"},
                      RenderCase{"StreamTheLibrarySpendsSecondsOn", Input::SlowJpegLs, 0,
                                 R"("decodable": false, "transferSyntaxName": "JPEG-LS Near-Lossless", )"
                                 R"("reason": "JPEG-LS Near-Lossless frame damaged: cannot be shown")"},
                      RenderCase{"PixelDataCutShort", Input::CutShort, 0,
                                 R"("reason": "Pixel data missing or cut short: cannot be shown")"}),
    test::ByCaseName());

} // namespace
} // namespace orblane
