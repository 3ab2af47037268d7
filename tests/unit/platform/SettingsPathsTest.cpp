#include "platform/SettingsPaths.h"
#include "platform/FileAccess.h"
#include "platform/ModulePath.h"

#include "unit/TempFolder.h"

#include <gtest/gtest.h>

namespace orblane {
namespace {

using test::TempFolder;

TEST(SettingsPathsTest, ModuleFolderIsTheExecutablesFolderWithATrailingSlash)
{
    const std::string folder = GetModuleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
#if defined(_WIN32)
    EXPECT_TRUE(FileExists(folder + "orblane_unit_tests.exe"));
#else
    EXPECT_TRUE(FileExists(folder + "orblane_unit_tests"));
#endif
    EXPECT_EQ(GetSettingsPath(), folder + "Orblane.ini");
    EXPECT_EQ(GetInfoSettingsPath(), folder + "OrblInf.ini");
}

TEST(SettingsPathsTest, DicomDirFolderAppendsThePathSettingUnchanged)
{
    TempFolder folder;
    const std::string base = folder.Folder();
    // Missing file, missing key and empty value all mean the parent folder.
    EXPECT_EQ(DicomDirFolderIn(base), base + "../");
    folder.Write("Orblane.ini", "[DICOMDIRInformation]\npath=\n");
    EXPECT_EQ(DicomDirFolderIn(base), base + "../");

    folder.Write("Orblane.ini", "[DICOMDIRInformation]\npath=DATA\\IMAGES\\\n");
    EXPECT_EQ(DicomDirFolderIn(base), base + "DATA/IMAGES/");
    // No separator is inserted: "DATA" makes the DICOMDIR "DATADICOMDIR".
    folder.Write("Orblane.ini", "[DICOMDIRInformation]\npath=DATA\n");
    EXPECT_EQ(DicomDirFolderIn(base) + "DICOMDIR", base + "DATADICOMDIR");
    folder.Write("Orblane.ini", "[dicomdirinformation]\nPATH=..\\..\\\n");
    EXPECT_EQ(DicomDirFolderIn(base), base + "../../");
}

TEST(SettingsPathsTest, FileExistsFindsFilesAndFoldersWithoutOpeningThem)
{
    TempFolder folder;
    const std::string file = folder.Write("a.ini", "");
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(folder.Folder()));
    EXPECT_FALSE(FileExists(folder.Path("b.ini")));
    EXPECT_FALSE(FileExists(""));
}

} // namespace
} // namespace orblane
