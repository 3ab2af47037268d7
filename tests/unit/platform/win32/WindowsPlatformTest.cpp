// The Windows side of the platform layer, where its Linux tests cannot run as they are (flock, SIGBUS, FIFOs).
#include "platform/AtomicFile.h"
#include "platform/FileIdPath.h"
#include "platform/FolderWalk.h"
#include "platform/InstanceLock.h"
#include "platform/MappedFile.h"
#include "platform/MappedReadGuard.h"
#include "platform/ModulePath.h"
#include "platform/PathText.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orblane::platform {
namespace {

using test::ScratchFolder;

std::string ReadBack(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WindowsInstanceLockTest, TheNamedMutexAdmitsOneHolderUntilItIsReleased)
{
    const std::string name = "OrblaneTestMutex-" + std::to_string(::GetCurrentProcessId());
    InstanceLock first;
    InstanceLock second;
    ASSERT_EQ(first.Acquire(InstanceLock::DefaultFolder(), name), InstanceLock::Outcome::Acquired);
    EXPECT_EQ(second.Acquire(InstanceLock::DefaultFolder(), name), InstanceLock::Outcome::HeldByAnotherProcess);
    EXPECT_FALSE(second.IsHeld());
    first.Release();
    EXPECT_EQ(second.Acquire(InstanceLock::DefaultFolder(), name), InstanceLock::Outcome::Acquired);
}

TEST(WindowsMappedReadGuardTest, AFaultInsideTheRegionEndsTheReadAndTheNextReadStillWorks)
{
    // Reserved but never committed: every load from it faults, as a page of a lost medium does.
    auto* reserved =
        static_cast<const volatile std::uint8_t*>(::VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(reserved, nullptr);
    const ByteView region(const_cast<const std::uint8_t*>(reserved), 65536);
    for (int round = 0; round < 2; ++round)
    {
        int reached = 0;
        EXPECT_EQ(GuardMappedRead(region, [&] { reached = reserved[4096] + 1; }), MappedRead::Faulted) << round;
        EXPECT_EQ(reached, 0);
    }
    const std::uint8_t readable[4] = {1, 2, 3, 4};
    int sum = 0;
    EXPECT_EQ(GuardMappedRead(ByteView(readable, 4), [&] { sum = readable[0] + readable[3]; }), MappedRead::Completed);
    EXPECT_EQ(sum, 5);
    ::VirtualFree(const_cast<std::uint8_t*>(region.data()), 0, MEM_RELEASE);
}

TEST(WindowsModulePathTest, TheModuleFolderHoldsTheRunningExecutable)
{
    const std::string folder = GetModuleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    wchar_t self[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::filesystem::path(self).parent_path(), PathFromUtf8(folder).parent_path());
}

TEST(WindowsAtomicFileTest, ReplacesAnExistingFileAndLeavesNoTemporaryBehind)
{
    const ScratchFolder scratch;
    const std::filesystem::path target = scratch.Path() / "export.png";
    const std::string before = "old contents";
    scratch.Write("export.png", before);
    const std::string after = "new";
    ASSERT_TRUE(
        WriteFileAtomically(target, ByteView(reinterpret_cast<const std::uint8_t*>(after.data()), after.size())));
    EXPECT_EQ(ReadBack(target), after);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path()), {}), 1);
    EXPECT_FALSE(WriteFileAtomically(scratch.Path() / "missing" / "x.png",
                                     ByteView(reinterpret_cast<const std::uint8_t*>(after.data()), after.size())));
}

// Names outside ASCII, as a receiver's profile folder or a medium's folders may carry them: UTF-8 text throughout
// the program, UTF-16 at every system call.
struct WidePathCase
{
    const char* name;
    const char* folderUtf8; // below the scratch folder
    const char* fileUtf8;
};

class WindowsWidePathTest : public ::testing::TestWithParam<WidePathCase>
{
};

TEST_P(WindowsWidePathTest, MapsResolvesAndWalksTheFile)
{
    const WidePathCase& row = GetParam();
    const ScratchFolder scratch;
    const std::filesystem::path folder = scratch.Path() / PathFromUtf8(row.folderUtf8);
    std::filesystem::create_directories(folder / "DICOM");
    const std::filesystem::path file = folder / "DICOM" / PathFromUtf8(row.fileUtf8);
    std::ofstream(file, std::ios::binary) << "DICOM bytes";

    MappedFile mapped;
    ASSERT_EQ(mapped.Open(file), 0);
    ASSERT_EQ(mapped.Map(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped.View()), mapped.Size()), "DICOM bytes");

    // The ID in capitals finds the file through the medium's folder text (UTF-8).
    std::u16string id = u"dicom\\";
    for (const char8_t c : std::u8string(reinterpret_cast<const char8_t*>(row.fileUtf8)))
    {
        id += static_cast<char16_t>(c); // ASCII file names only, so that the case rules apply
    }
    std::transform(id.begin(), id.end(), id.begin(),
                   [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; });
    std::filesystem::path resolved;
    ASSERT_EQ(ResolveFileIdPath(Utf8FromPath(folder) + "/", id, resolved), 0);
    EXPECT_TRUE(std::filesystem::equivalent(resolved, file));

    std::vector<std::string> shown;
    WalkFolderFiles(
        folder, [] { return false; }, [&](std::filesystem::path, std::string below) { shown.push_back(below); });
    EXPECT_EQ(shown, std::vector<std::string>{std::string("DICOM/") + row.fileUtf8});
}

INSTANTIATE_TEST_SUITE_P(Names, WindowsWidePathTest,
                         ::testing::Values(WidePathCase{"Latin", "M\xC3\xBCller", "im0"},
                                           WidePathCase{"Ideographs",
                                                        "\xE4\xBD\x90\xE8\x97\xA4 \xE8\x8A\xB1\xE5\xAD\x90", "im1.dcm"},
                                           WidePathCase{"Hangul", "\xEA\xB9\x80\xEB\xAF\xBC\xEC\xA7\x80", "ct"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(WindowsFolderWalkTest, ShownIdsOfNonAsciiNamesAreUtf8)
{
    const ScratchFolder scratch;
    std::filesystem::create_directories(scratch.Path() / PathFromUtf8("\xC3\x84rzte"));
    std::ofstream(scratch.Path() / PathFromUtf8("\xC3\x84rzte/b\xC3\xA9.dcm")) << "x";
    std::vector<std::string> shown;
    WalkFolderFiles(
        scratch.Path(), [] { return false; },
        [&](std::filesystem::path full, std::string below) {
            EXPECT_TRUE(std::filesystem::exists(full));
            shown.push_back(below);
        });
    EXPECT_EQ(shown, std::vector<std::string>{"\xC3\x84rzte/b\xC3\xA9.dcm"});
}

} // namespace
} // namespace orblane::platform
