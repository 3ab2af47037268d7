#include "platform/FileIdPath.h"
#include "platform/PathText.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace orblane::platform {
namespace {

using test::ScratchFolder;

std::vector<std::string> Split(std::u16string_view id, int expectedCode = 0)
{
    std::vector<std::string> components;
    EXPECT_EQ(SplitFileId(id, components), expectedCode);
    return components;
}

TEST(FileIdPathTest, SplitsAtBackslashesAndDropsThePadOfEachComponent)
{
    EXPECT_EQ(Split(u"DICOM\\ST0\\SE0\\IM0"), (std::vector<std::string>{"DICOM", "ST0", "SE0", "IM0"}));
    EXPECT_EQ(Split(u"DICOM \\IM1 "), (std::vector<std::string>{"DICOM", "IM1"}));
    // A slash inside a component would be a separator on Linux; taking it as one keeps ".." checks honest.
    EXPECT_EQ(Split(u"A/B\\\\.\\C"), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(Split(u"\u00C9TUDE\\IM"), (std::vector<std::string>{"\xC3\x89TUDE", "IM"}));
}

TEST(FileIdPathTest, RefusesIdsThatWouldLeaveTheMediumFolder)
{
    Split(u"\\etc\\passwd", EACCES);
    Split(u"/etc/passwd", EACCES);
    Split(u"C:\\DICOM\\IM0", EACCES);
    Split(u"DICOM\\..\\..\\IM0", EACCES);
    Split(u"DICOM\\.. \\IM0", EACCES);
    Split(u"A/../../B", EACCES);
    Split(u"", ENOENT);
    Split(u"  \\ ", ENOENT);
}

TEST(FileIdPathTest, PrefersTheExactPathAndFollowsTheFolderTextDirectly)
{
    ScratchFolder scratch;
    scratch.Write("DICOM/IM0", "x");
    scratch.Write("DICOM/im0", "y");
    std::filesystem::path path;
    ASSERT_EQ(ResolveFileIdPath(scratch.FolderText(), u"DICOM\\IM0 ", path), 0);
    EXPECT_EQ(path, scratch.Path() / "DICOM/IM0");
    ASSERT_EQ(ResolveFileIdPath(scratch.FolderText(), u"DICOM\\im0", path), 0);
    EXPECT_EQ(path, scratch.Path() / "DICOM/im0");
    // A folder text without its final separator is followed directly, as the settings' path value is.
    ASSERT_EQ(ResolveFileIdPath(Utf8FromPath(scratch.Path()) + "/DI", u"COM\\IM0", path), 0);
    EXPECT_EQ(path, scratch.Path() / "DICOM/IM0");
}

TEST(FileIdPathTest, MatchesEachComponentRegardlessOfCaseOrVersionSuffix)
{
    // Windows finds a name in any case by itself and answers it as the ID spells it: the same file, not the same text.
    const auto same = [](const std::filesystem::path& found, const std::filesystem::path& expected) {
#if defined(_WIN32)
        std::error_code error;
        return std::filesystem::equivalent(found, expected, error);
#else
        return found == expected;
#endif
    };
    ScratchFolder scratch;
    scratch.Write("dicom/st0/im0", "lower");
    scratch.Write("CDROM/SUB/IMAGE1;1", "iso");
    scratch.Write("CDROM/SUB/NOEXT.;1", "iso");
    std::filesystem::path path;
    ASSERT_EQ(ResolveFileIdPath(scratch.FolderText(), u"DICOM\\ST0\\IM0", path), 0);
    EXPECT_TRUE(same(path, scratch.Path() / "dicom/st0/im0")) << path;
    ASSERT_EQ(ResolveFileIdPath(scratch.FolderText(), u"cdrom\\sub\\image1", path), 0);
    EXPECT_TRUE(same(path, scratch.Path() / "CDROM/SUB/IMAGE1;1")) << path;
    ASSERT_EQ(ResolveFileIdPath(scratch.FolderText(), u"CDROM\\SUB\\NOEXT", path), 0);
    EXPECT_TRUE(same(path, scratch.Path() / "CDROM/SUB/NOEXT.;1")) << path;
    // Nothing matches: the exact path is answered, and opening it reports the failure.
    ASSERT_EQ(ResolveFileIdPath(scratch.FolderText(), u"DICOM\\ST1\\IM0", path), 0);
    EXPECT_EQ(path, scratch.Path() / "DICOM/ST1/IM0");
}

TEST(FileIdPathTest, ResolutionRefusesWhatSplittingRefuses)
{
    ScratchFolder scratch;
    std::filesystem::path path = "unchanged";
    EXPECT_EQ(ResolveFileIdPath(scratch.FolderText(), u"..\\secret", path), EACCES);
    EXPECT_EQ(path, "unchanged");
}

} // namespace
} // namespace orblane::platform
