#include "platform/MappedFile.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace orblane::platform {
namespace {

using test::ScratchFolder;

TEST(MappedFileTest, MapsTheWholeFileReadOnlyUntilClosed)
{
    ScratchFolder scratch;
    const auto path = scratch.Write("file.bin", std::string("\x01\x02\x03\x04\x05", 5));
    MappedFile file;
    ASSERT_EQ(file.Open(path), 0);
    EXPECT_FALSE(file.IsMapped());
    ASSERT_EQ(file.Map(), 0);
    ASSERT_EQ(file.Size(), 5u);
    EXPECT_EQ(file.End(), file.View() + 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.View()), 5), std::string("\x01\x02\x03\x04\x05", 5));
    file.Close();
    EXPECT_FALSE(file.IsMapped());
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_EQ(file.Map(), -1);
}

TEST(MappedFileTest, AnswersTheErrnoOfEveryFileThatCannotBeMapped)
{
    ScratchFolder scratch;
    MappedFile file;
    EXPECT_EQ(file.Open(scratch.Path() / "missing"), ENOENT);
    EXPECT_EQ(file.Open(scratch.Path()), EISDIR);
    // An empty file has nothing to map: it fails before any view exists, and nothing stays open.
    EXPECT_EQ(file.Open(scratch.Write("empty", "")), EINVAL);
    EXPECT_EQ(file.Map(), -1);
}

TEST(MappedFileTest, MapWithoutOpenAnswersMinusOne)
{
    MappedFile file;
    EXPECT_EQ(file.Map(), -1);
    EXPECT_TRUE(file.Bytes().empty());
}

} // namespace
} // namespace orblane::platform
