#include "support/CliRun.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace orblane {
namespace {

using test::RunCli;

const std::string kData = ORBLANE_TEST_DATA_DIR;

TEST(ReaderCliTest, DumpListsTagsLengthsAndValueOffsetsInWalkOrder)
{
    test::ScratchFolder scratch;
    test::DicomWriter w;
    w.Text(0x0010, 0x0010, "PN", "AB").BeginEncapsulated().Fragment(test::ToBytes("xyzw")).EndSequence();
    w.WriteTo(scratch.Path() / "f.dcm");
    const auto result = RunCli(ORBLANE_CLI_PATH, {"dump", (scratch.Path() / "f.dcm").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "{\"elements\": [{\"tag\": \"00100010\", \"length\": 2, \"offset\": 140}, "
                          "{\"tag\": \"7FE00010\", \"length\": 4294967295, \"offset\": 154}, "
                          "{\"tag\": \"FFFEE000\", \"length\": 4, \"offset\": 162}, "
                          "{\"tag\": \"FFFEE0DD\", \"length\": 0, \"offset\": 174}]}\n");
}

TEST(ReaderCliTest, InfoPrintsTheOverlayTextsWithNullForNone)
{
    const auto result = RunCli(ORBLANE_CLI_PATH, {"info", kData + "/files/CT_small.dcm", "--ansi-codepage", "1252"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "{\"patientName\": \"CompressedSamples^CT1\", \"patientId\": \"1CT1\", \"birthDate\": null, "
                          "\"sex\": \"O\", \"studyDateTime\": \"2004.01.19 07:27:30\", "
                          "\"institutionName\": \"JFK IMAGING CENTER\", \"frames\": 1, "
                          "\"transferSyntax\": \"Explicit VR Little Endian\"}\n");
}

TEST(ReaderCliTest, FilesThatCannotBeOpenedExitOneWithTheCode)
{
    const auto missing = RunCli(ORBLANE_CLI_PATH, {"dump", kData + "/files/none.dcm"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.rfind("error 2 ", 0), 0u) << missing.err;
    const auto folder = RunCli(ORBLANE_CLI_PATH, {"info", kData + "/files"});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.err.rfind("error 21 ", 0), 0u) << folder.err;
    EXPECT_TRUE(missing.out.empty());
}

TEST(ReaderCliTest, BadArgumentsExitTwo)
{
    EXPECT_EQ(RunCli(ORBLANE_CLI_PATH, {"dump"}).exitCode, 2);
    EXPECT_EQ(RunCli(ORBLANE_CLI_PATH, {"info", "a", "b"}).exitCode, 2);
    EXPECT_EQ(RunCli(ORBLANE_CLI_PATH, {"info", "a", "--ansi-codepage"}).exitCode, 2);
    EXPECT_EQ(RunCli(ORBLANE_CLI_PATH, {"info", "a", "--ansi-codepage", "x"}).exitCode, 2);
}

} // namespace
} // namespace orblane
