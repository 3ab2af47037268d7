#include "platform/MappedFile.h"

#include "support/CaseName.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(MappedFileTest, ReadInCopiesTheBytesTheFileStillHas)
{
    ScratchFolder scratch;
    const auto path = scratch.Write("file.bin", std::string(10000, 'x'));
    for (const std::uintmax_t cutTo : {std::uintmax_t{10000}, std::uintmax_t{3}, std::uintmax_t{0}})
    {
        SCOPED_TRACE(cutTo);
        std::filesystem::resize_file(path, 10000);
        MappedFile file;
        ASSERT_EQ(file.Open(path), 0);
        std::filesystem::resize_file(path, cutTo);
        ASSERT_EQ(file.ReadIn(), cutTo == 0 ? EINVAL : 0);
        if (cutTo != 0)
        {
            EXPECT_EQ(file.Size(), cutTo);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.View()), file.Size()), std::string(cutTo, 'x'));
        }
    }
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

// Names that a file ID or a DICOMDIR folder could lead to and that are no file to map. Opening a FIFO for reading
// waits for a writer; none comes here, so an Open that blocks is caught by its deadline.
struct NotAFileCase
{
    const char* name;
    std::string (*make)(const ScratchFolder& scratch); // the path to open
    int expected;
};

std::string MakeFifo([[maybe_unused]] const ScratchFolder& scratch)
{
#if defined(_WIN32)
    return {}; // no FIFOs in Windows file systems
#else
    const std::string path = (scratch.Path() / "fifo").string();
    return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
#endif
}

// A device a file ID could name: the null device, also on Windows (where "NUL" is one in every folder).
std::string DeviceName()
{
#if defined(_WIN32)
    return "NUL";
#else
    return "/dev/null";
#endif
}

class MappedFileNotAFileTest : public ::testing::TestWithParam<NotAFileCase>
{
};

TEST_P(MappedFileNotAFileTest, IsRefusedWithoutBlocking)
{
    const NotAFileCase& row = GetParam();
    ScratchFolder scratch;
    const std::string path = row.make(scratch);
#if defined(_WIN32)
    if (path.empty())
    {
        GTEST_SKIP() << "Windows has no FIFOs in its file systems";
    }
#endif
    ASSERT_FALSE(path.empty());
    MappedFile file;
    auto opened = std::async(std::launch::async, [&] { return file.Open(path); });
    if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout)
    {
#if !defined(_WIN32)
        // Give the blocked open its writer, so that the test ends and reports instead of hanging.
        const int writer = ::open((scratch.Path() / "fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        opened.wait();
        if (writer >= 0)
        {
            ::close(writer);
        }
#endif
        FAIL() << "Open blocked";
    }
    EXPECT_EQ(opened.get(), row.expected);
    EXPECT_FALSE(file.IsMapped());
    EXPECT_EQ(file.Map(), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MappedFileNotAFileTest,
    ::testing::Values(NotAFileCase{"Fifo", &MakeFifo, ENODEV},
                      NotAFileCase{"Directory", [](const ScratchFolder& scratch) { return scratch.Path().string(); },
                                   EISDIR},
                      NotAFileCase{"CharacterDevice", [](const ScratchFolder&) { return DeviceName(); }, ENODEV},
                      NotAFileCase{"SymlinkToFifo",
                                   [](const ScratchFolder& scratch) {
                                       const std::string fifo = MakeFifo(scratch);
                                       const std::filesystem::path link = scratch.Path() / "link";
                                       std::error_code error;
                                       if (!fifo.empty())
                                       {
                                           std::filesystem::create_symlink(fifo, link, error);
                                       }
                                       return !fifo.empty() && !error ? link.string() : std::string();
                                   },
                                   ENODEV}),
    test::ByCaseName());

} // namespace
} // namespace orblane::platform
