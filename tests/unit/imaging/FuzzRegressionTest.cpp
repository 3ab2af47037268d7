// Replays the inputs kept from fuzzing and the hand-made hostile files (tests/data/fuzz/image/) the way the image
// fuzz target runs them: every image of the file built. Under the sanitizer build a fault in any of them fails here.
#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace orblane {
namespace {

namespace fs = std::filesystem;

void Ignore(std::string_view, std::uint32_t, bool) {}

// Builds every image of the file; answers how many there were, and checks each against what the file can justify.
int BuildEveryImage(const fs::path& path)
{
    auto file = std::make_unique<DicomDataFileIO>();
    if (file->LoadFile(path) != 0)
    {
        return 0;
    }
    const std::uint64_t fileSize = fs::file_size(path);
    ImageDataList list;
    list.AddFile(std::move(file));
    int count = 0;
    for (; const CImageData* image = list.GetImage(count); ++count)
    {
        const std::uint64_t pixels =
            static_cast<std::uint64_t>(image->Description().columnCount) * image->Description().rowCount;
        EXPECT_LE(pixels, MaxPixelsForStream(fileSize)) << "image " << count << " is larger than the file justifies";
    }
    return count;
}

TEST(FuzzRegressionTest, KeptImageInputsBuildOnlyWhatTheirBytesJustify)
{
    const ErrorHandler previous = SetErrorHandler(&Ignore);
    const fs::path folder = fs::path(ORBLANE_TEST_DATA_DIR) / "fuzz" / "image";
    // The hand-made inputs and what each must give; any other file there (a kept fuzzing finding) must just replay.
    const std::map<std::string, int> expected{
        {"native-16000x16000-in-16-bytes.dcm", 0},
        {"jpeg-frame-16000x16000.dcm", 0},
        {"lossless-in-16000x16000.dcm", 0},
        {"many-one-pixel-images.dcm", 2000},
    };
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(folder))
    {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".md" || entry.path().extension() == ".py")
        {
            continue;
        }
        SCOPED_TRACE(name);
        const int count = BuildEveryImage(entry.path());
        if (const auto known = expected.find(name); known != expected.end())
        {
            EXPECT_EQ(count, known->second);
        }
        ++replayed;
    }
    EXPECT_GE(replayed, static_cast<int>(expected.size()));
    SetErrorHandler(previous);
}

} // namespace
} // namespace orblane
