#include "support/CliRun.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace orblane {
namespace {

using test::RunCli;

TEST(StudiesCliTest, ListsRowsWithTheirFilesInLinkOrder)
{
    test::ScratchFolder scratch;
    const std::vector<test::DirPatient> patients{
        {"Alpha^One=Ideo^Name",
         "P1",
         "19500101",
         "F",
         "",
         {{"20200101", "080000.25", {{"CT", {"A\\IM1", "A\\IM2"}}, {"MR", {"A\\IM3"}}}}, {"", "", {}}}},
        {"Beta", "", "", "", "", {{"2021", "", {{"", {"B\\IM1"}}}}}},
    };
    test::DicomDirOptions options;
    options.records = test::Length::Defined;
    test::BuildDicomDir(patients, options).WriteTo(scratch.Path() / "DICOMDIR");
    const auto result = RunCli(ORBLANE_CLI_PATH, {"studies", scratch.Path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // Empty values are null; the ideographic group is shown; file IDs keep their pad.
    EXPECT_EQ(result.out,
              "{\"studies\": ["
              "{\"patientName\": \"Ideo^Name\", \"patientId\": \"P1\", \"birthDate\": \"1950.01.01\", \"sex\": \"F\", "
              "\"studyDateTime\": \"2020.01.01 08:00:00\", \"modality\": \"CT\", "
              "\"files\": [\"A\\\\IM1 \", \"A\\\\IM2 \", \"A\\\\IM3 \"]}, "
              "{\"patientName\": \"Ideo^Name\", \"patientId\": \"P1\", \"birthDate\": \"1950.01.01\", \"sex\": \"F\", "
              "\"studyDateTime\": null, \"modality\": null, \"files\": []}, "
              "{\"patientName\": \"Beta\", \"patientId\": null, \"birthDate\": null, \"sex\": null, "
              "\"studyDateTime\": \"2021\", \"modality\": null, \"files\": [\"B\\\\IM1 \"]}]}\n");
}

TEST(StudiesCliTest, AFolderWithoutDicomDirExitsOneWithTheCode)
{
    test::ScratchFolder scratch;
    const auto result = RunCli(ORBLANE_CLI_PATH, {"studies", scratch.Path().string(), "--ansi-codepage", "1252"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "error 10103 (2)\n");
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(RunCli(ORBLANE_CLI_PATH, {"studies"}).exitCode, 2);
}

} // namespace
} // namespace orblane
