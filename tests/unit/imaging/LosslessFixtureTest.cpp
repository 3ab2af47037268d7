// Streams from another encoder, replayed fuzz findings, and the command-line decoder.
#include "LosslessTestUtil.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace orblane::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const fs::path kFixtures = fs::path(ORBLANE_TEST_DATA_DIR) / "jpegll";

struct Fixture
{
    const char* name;
    const char* expected; // the .raw file of the source's samples (scaled by the point transform where one is used)
    std::uint16_t lines;
    std::uint16_t samplesPerLine;
    std::uint16_t precision;
};

TEST(LosslessFixtureTest, StreamsFromAnotherEncoderDecodeBitExactly)
{
    // Every selection value, and the point transform in both containers.
    for (const Fixture& f :
         {Fixture{"ct_small_p16", "ct_small_p16", 128, 128, 16}, Fixture{"mr_small_p16", "mr_small_p16", 64, 64, 16},
          Fixture{"mr_small_p8", "mr_small_p8", 64, 64, 8}, Fixture{"mr_small_predictor2", "mr_small_p16", 64, 64, 16},
          Fixture{"mr_small_sv3", "mr_small_p16", 64, 64, 16}, Fixture{"mr_small_sv4", "mr_small_p16", 64, 64, 16},
          Fixture{"mr_small_sv5", "mr_small_p16", 64, 64, 16}, Fixture{"mr_small_sv6", "mr_small_p16", 64, 64, 16},
          Fixture{"mr_small_sv7", "mr_small_p16", 64, 64, 16},
          Fixture{"mr_small_sv7_pt3", "mr_small_sv7_pt3", 64, 64, 16},
          Fixture{"mr_small_p8_sv6_pt2", "mr_small_p8_sv6_pt2", 64, 64, 8}})
    {
        SCOPED_TRACE(f.name);
        const std::vector<std::uint8_t> stream = ReadFile(kFixtures / (std::string(f.name) + ".ljpeg"));
        const std::vector<std::uint8_t> expected = ReadFile(kFixtures / (std::string(f.expected) + ".raw"));
        const std::size_t sampleBytes = f.precision < 9 ? 1 : 2;
        // Exactly the capacity the samples need.
        const auto capacity = static_cast<std::int32_t>(std::size_t{f.lines} * f.samplesPerLine * sampleBytes);
        const DecodeResult result = DecodeStreamBytes(stream, capacity);
        ASSERT_EQ(result.code, 0);
        EXPECT_EQ(result.lines, f.lines);
        EXPECT_EQ(result.samplesPerLine, f.samplesPerLine);
        EXPECT_EQ(result.precision, f.precision);
        ASSERT_EQ(expected.size(), result.samples.size() * sampleBytes);
        for (std::size_t i = 0; i < result.samples.size(); ++i)
        {
            const unsigned want =
                sampleBytes == 1 ? expected[i] : unsigned(expected[2 * i] | (expected[2 * i + 1] << 8));
            ASSERT_EQ(result.samples[i], want) << "sample " << i;
        }
    }
}

TEST(LosslessFixtureTest, StreamsOutsideTheSupportedProcessAreRefused)
{
    EXPECT_EQ(DecodeStreamBytes(ReadFile(kFixtures / "rgb_odd_three_components.ljpeg")).code, lossless::kSofComponents);
}

TEST(LosslessFixtureTest, ReplayedFuzzFindingsFailWithACode)
{
    const fs::path folder = fs::path(ORBLANE_TEST_DATA_DIR) / "fuzz" / "lossless";
    if (!fs::exists(folder))
    {
        GTEST_SKIP() << "no fuzz findings recorded";
    }
    for (const auto& entry : fs::directory_iterator(folder))
    {
        if (entry.path().extension() == ".md")
        {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<std::uint8_t> stream = ReadFile(entry.path());
        const DecodeResult result = DecodeStreamBytes(stream, 1 << 18);
        EXPECT_NE(result.code, lossless::kUnexpectedFault);
    }
}

struct CliRun
{
    int exitCode = -1;
    std::string output;
};

CliRun RunCli(const std::string& arguments)
{
    CliRun run;
    const std::string command = std::string(ORBLANE_CLI_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
    {
        return run;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
    {
        run.output += buffer;
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(LosslessCliTest, DecodeJpegllWritesTheSamplesAndReportsTheFrame)
{
    const fs::path out = fs::temp_directory_path() / ("orblane-jpegll-" + std::to_string(::getpid()) + ".raw");
    const CliRun run = RunCli("decode-jpegll " + (kFixtures / "mr_small_p8.ljpeg").string() + " " + out.string());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "{\"code\": 0, \"lines\": 64, \"samplesPerLine\": 64, \"precision\": 8}\n");
    EXPECT_EQ(ReadFile(out), ReadFile(kFixtures / "mr_small_p8.raw"));
    fs::remove(out);

    const CliRun sixteen = RunCli("decode-jpegll " + (kFixtures / "ct_small_p16.ljpeg").string() + " " + out.string());
    EXPECT_EQ(sixteen.exitCode, 0);
    EXPECT_EQ(ReadFile(out), ReadFile(kFixtures / "ct_small_p16.raw"));
    fs::remove(out);
}

TEST(LosslessCliTest, DecodeJpegllFailuresReportTheCode)
{
    const fs::path out = fs::temp_directory_path() / ("orblane-jpegll-" + std::to_string(::getpid()) + ".bad");
    const CliRun refused =
        RunCli("decode-jpegll " + (kFixtures / "rgb_odd_three_components.ljpeg").string() + " " + out.string());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.output, "{\"code\": 116}\n");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(RunCli("decode-jpegll " + (kFixtures / "README.md").string() + " " + out.string()).output,
              "{\"code\": 109}\n");
    EXPECT_EQ(RunCli("decode-jpegll /nonexistent/stream " + out.string()).exitCode, 1);
    EXPECT_EQ(RunCli("decode-jpegll " + kFixtures.string() + " " + out.string()).exitCode, 1);
    EXPECT_EQ(RunCli("decode-jpegll " + (kFixtures / "mr_small_p8.ljpeg").string()).exitCode, 2);
}

} // namespace
} // namespace orblane::test
