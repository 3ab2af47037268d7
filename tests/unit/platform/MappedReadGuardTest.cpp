#include "platform/MappedReadGuard.h"

#include "platform/MappedFile.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include <unistd.h>

namespace orblane::platform {
namespace {

using test::ScratchFolder;

const std::size_t kPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

// A file of four pages, each filled with its own number, mapped and then cut down to its first page: the kernel
// unmaps the pages past the new end, and a load from them raises SIGBUS as a failing medium does.
class CutFile
{
public:
    CutFile()
    {
        std::string bytes;
        for (char page = 0; page < 4; ++page)
        {
            bytes.append(kPage, static_cast<char>('A' + page));
        }
        path = scratch.Write("cut.bin", bytes);
        EXPECT_EQ(file.Open(path), 0);
        EXPECT_EQ(file.Map(), 0);
        EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(kPage)), 0);
    }
    ByteView Bytes() const { return file.Bytes(); }

private:
    ScratchFolder scratch;
    std::filesystem::path path;
    MappedFile file;
};

// What a guarded read saw; volatile so that the load is made and kept where the test puts it.
volatile std::uint8_t sink = 0;

MappedRead ReadAt(ByteView guarded, const std::uint8_t* at)
{
    return GuardMappedRead(guarded, [at] { sink = *at; });
}

// AddressSanitizer lets a program's own SIGBUS handler run unless it is told to keep the signal to itself.
bool SanitizerOwnsSigbus()
{
    const char* options = std::getenv("ASAN_OPTIONS");
    return options != nullptr && std::string(options).find("handle_sigbus=2") != std::string::npos;
}

TEST(MappedReadGuardTest, AReadPastACutEndFaultsAndTheProcessGoesOn)
{
    if (SanitizerOwnsSigbus())
    {
        GTEST_SKIP() << "ASAN_OPTIONS has handle_sigbus=2: AddressSanitizer ignores every other SIGBUS handler";
    }
    CutFile cut;
    const ByteView bytes = cut.Bytes();
    sink = 0;
    EXPECT_EQ(ReadAt(bytes, bytes.data()), MappedRead::Completed);
    EXPECT_EQ(sink, 'A');
    EXPECT_EQ(ReadAt(bytes, bytes.data() + 2 * kPage), MappedRead::Faulted);
    // Again: the signal mask is restored after a fault, or the second SIGBUS would find it blocked and end the run.
    EXPECT_EQ(ReadAt(bytes, bytes.data() + 3 * kPage), MappedRead::Faulted);
    // A worker thread has its own guard.
    MappedRead onWorker = MappedRead::Completed;
    std::thread worker([&] { onWorker = ReadAt(bytes, bytes.data() + kPage); });
    worker.join();
    EXPECT_EQ(onWorker, MappedRead::Faulted);
    // Nested: the fault goes to the guard whose region holds it, and the outer guard is in force again afterwards.
    const ByteView firstPage = bytes.first(kPage);
    MappedRead inner = MappedRead::Completed;
    MappedRead afterInner = MappedRead::Completed;
    const MappedRead outer = GuardMappedRead(bytes, [&] {
        inner = ReadAt(firstPage, bytes.data());
        afterInner = ReadAt(firstPage, bytes.data()); // completes: this guard's region is intact
        sink = bytes[2 * kPage];                      // faults into the outer guard
    });
    EXPECT_EQ(inner, MappedRead::Completed);
    EXPECT_EQ(afterInner, MappedRead::Completed);
    EXPECT_EQ(outer, MappedRead::Faulted);
    EXPECT_EQ(ReadAt(bytes, bytes.data() + 2 * kPage), MappedRead::Faulted);
}

// The handler that was in place before the guard's (the viewer's fatal-signal report) still receives every SIGBUS
// that no guard claims: one from a load outside the guarded region, and one sent by kill.
void ReportAndExit(int signalNumber, siginfo_t* info, void*)
{
    ::_exit(signalNumber == SIGBUS && info->si_code > 0 ? 42 : 43);
}

void InstallReport()
{
    struct sigaction action
    {
    };
    action.sa_sigaction = &ReportAndExit;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, nullptr);
}

TEST(MappedReadGuardTest, FaultsOutsideTheGuardedRegionGoToThePreviousHandler)
{
    if (SanitizerOwnsSigbus())
    {
        GTEST_SKIP() << "ASAN_OPTIONS has handle_sigbus=2: AddressSanitizer ignores every other SIGBUS handler";
    }
    // A fresh process for each case, so that the report is in place before the first guard installs its handler.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            InstallReport();
            CutFile cut;
            const ByteView bytes = cut.Bytes();
            ReadAt(bytes.first(kPage), bytes.data() + 2 * kPage);
        },
        ::testing::ExitedWithCode(42), "");
    EXPECT_EXIT(
        {
            InstallReport();
            CutFile cut;
            GuardMappedRead(cut.Bytes(), [] { ::kill(::getpid(), SIGBUS); });
        },
        ::testing::ExitedWithCode(43), "");
}

} // namespace
} // namespace orblane::platform
