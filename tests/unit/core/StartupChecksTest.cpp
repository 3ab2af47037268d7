#include "core/StartupChecks.h"

#include "unit/TempFolder.h"

#include <gtest/gtest.h>

namespace orblane {
namespace {

using test::TempFolder;

// A medium: the viewer's folder VIEWER/ and the DICOMDIR one level up, as the default `path` expects.
class StartupChecksTest : public ::testing::Test
{
protected:
    StartupChecksTest()
    {
        for (const char* name : {"VIEWER/Orblane.ini", "VIEWER/OrblInf.ini", "VIEWER/Orblane.bmp", "DICOMDIR"})
        {
            medium.Write(name, "");
        }
    }
    std::string Viewer() const { return medium.Folder() + "VIEWER/"; }
    void Remove(const char* name) const { std::filesystem::remove(medium.Path(name)); }
    TempFolder medium;
};

TEST_F(StartupChecksTest, CompleteMediumPassesEveryCheck)
{
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "");
}

TEST_F(StartupChecksTest, TheFirstMissingFileDecidesTheOneCode)
{
    Remove("DICOMDIR");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10103");
    Remove("VIEWER/Orblane.bmp");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10001");
    Remove("VIEWER/OrblInf.ini");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10000");
    Remove("VIEWER/Orblane.ini");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10000");
}

TEST_F(StartupChecksTest, EitherSettingsFileAloneIsMissed)
{
    Remove("VIEWER/Orblane.ini");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10000");
}

TEST_F(StartupChecksTest, DicomDirIsLookedForWhereThePathSettingPoints)
{
    medium.Write("VIEWER/Orblane.ini", "[DICOMDIRInformation]\npath=DATA\\\n");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10103");
    medium.Write("VIEWER/DATA/DICOMDIR", "");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "");

    // Without the trailing backslash the name is DATADICOMDIR beside the executable.
    medium.Write("VIEWER/Orblane.ini", "[DICOMDIRInformation]\npath=DATA\n");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10103");
    medium.Write("VIEWER/DATADICOMDIR", "");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "");
}

TEST_F(StartupChecksTest, DicomDirIsFoundUnderTheNamesTheReaderAccepts)
{
    // Media mounted with lower-case names, or with the CD file system's version suffix, still start.
    Remove("DICOMDIR");
    medium.Write("dicomdir", "");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "");
    Remove("dicomdir");
    medium.Write("DICOMDIR;1", "");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "");
    // Another name that merely starts alike is no DICOMDIR.
    Remove("DICOMDIR;1");
    medium.Write("DICOMDIR.BAK", "");
    EXPECT_EQ(FirstFailedStartupCheck(Viewer()), "10103");
}

} // namespace
} // namespace orblane
