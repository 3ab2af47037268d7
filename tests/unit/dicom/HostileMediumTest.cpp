// A medium made to break the viewer: every DICOMDIR link that can loop or point away, file IDs that leave the medium,
// files cut short or empty, and images declaring absurd sizes. Listing it and opening every study must end in the
// outcomes the viewer defines (a code raised, fewer rows or images), and nothing outside the medium is read.
#include "dicom/DicomDirFileIO.h"
#include "imaging/ImageDataList.h"
#include "imaging/JpegBaseline.h"
#include "platform/ErrorSink.h"
#include "support/DicomWriter.h"
#include "support/GreyJpeg.h"
#include "support/OpenAndReport.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace orblane {
namespace {

namespace fs = std::filesystem;
using test::DicomWriter;
using test::DirPatient;

std::vector<std::string> raised;

void Record(std::string_view code, std::uint32_t, bool)
{
    raised.emplace_back(code);
}

// A 4 x 2 16-bit image, each pixel `level`, declaring `rows` x `columns` (its real size unless a case lies).
test::Bytes NativeImage(std::uint16_t level, std::uint16_t rows = 2, std::uint16_t columns = 4)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0010, 0x0010, "PN", "Hostile^Medium")
        .UInt16(0x0028, 0x0002, 1)
        .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
        .UInt16(0x0028, 0x0010, rows)
        .UInt16(0x0028, 0x0011, columns)
        .UInt16(0x0028, 0x0100, 16)
        .UInt16(0x0028, 0x0101, 16)
        .UInt16(0x0028, 0x0103, 0);
    const test::Bytes pixels(16, static_cast<std::uint8_t>(level));
    w.Element(0x7FE0, 0x0010, "OW", pixels);
    return w.Data();
}

// A grey baseline JPEG of 16 x 16 whose frame header claims 16000 x 16000, in encapsulated pixel data.
test::Bytes JpegClaimingAHugeFrame()
{
    DisplayBitmap bitmap;
    EXPECT_TRUE(bitmap.Create(16, 16, 8));
    for (int row = 0; row < bitmap.Height(); ++row)
    {
        std::fill(bitmap.Row(row), bitmap.Row(row) + bitmap.Width(), std::uint8_t{0});
    }
    test::Bytes jpeg = test::GreyJpegOf(bitmap, 90);
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
        {
            jpeg[i + 5] = jpeg[i + 7] = 0x3E; // 0x3E80 = 16000
            jpeg[i + 6] = jpeg[i + 8] = 0x80;
            break;
        }
    }
    DicomWriter w;
    w.FileMeta("1.2.840.10008.1.2.4.50")
        .UInt16(0x0028, 0x0002, 1)
        .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
        .UInt16(0x0028, 0x0010, 16000)
        .UInt16(0x0028, 0x0011, 16000)
        .UInt16(0x0028, 0x0100, 8)
        .UInt16(0x0028, 0x0101, 8)
        .BeginEncapsulated()
        .Fragment({})
        .Fragment(jpeg)
        .EndSequence();
    return w.Data();
}

void WriteBytes(const test::ScratchFolder& scratch, const std::string& relative, const test::Bytes& bytes)
{
    scratch.Write(relative, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

class HostileMediumTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        raised.clear();
        previous = SetErrorHandler(&Record);
        // Valid images outside the medium: reading any of them would show as an extra image.
        WriteBytes(scratch, "OUTSIDE", NativeImage(99));
        WriteBytes(scratch, "medium/GOOD1", NativeImage(1));
        WriteBytes(scratch, "medium/GOOD2", NativeImage(2));
        test::Bytes cut = NativeImage(3);
        cut.resize(cut.size() - 10); // inside the pixel data
        WriteBytes(scratch, "medium/CUT", cut);
        test::Bytes header = NativeImage(4);
        header.resize(140); // the preamble, "DICM" and a few bytes of the meta group
        WriteBytes(scratch, "medium/HEADER", header);
        WriteBytes(scratch, "medium/EMPTY", {});
        WriteBytes(scratch, "medium/HUGE", NativeImage(5, 16000, 16000));
        WriteBytes(scratch, "medium/WIDE", NativeImage(6, 1, 65535));
        WriteBytes(scratch, "medium/HUGEJPEG", JpegClaimingAHugeFrame());
        fs::create_directory(scratch.Path() / "medium" / "FOLDER");
    }
    void TearDown() override { SetErrorHandler(previous); }

    std::string Medium() const { return scratch.FolderText() + "medium/"; }

    // Opens every study the way the viewer does, building every image; answers the levels of the images shown.
    std::vector<std::vector<std::int32_t>> OpenEveryStudy(DicomDirFileIO& dicomDir)
    {
        std::vector<std::vector<std::int32_t>> studies;
        for (int index = 0; const auto entry = dicomDir.GetStudyEntry(index); ++index)
        {
            DicomFileChain chain;
            dicomDir.CollectImageFiles(chain, entry->firstSeries, entry->studyDateTime.value_or(u""));
            ImageDataList list;
            for (auto& file : chain)
            {
                list.AddFile(std::move(file));
            }
            std::vector<std::int32_t> levels;
            for (int i = 0; const CImageData* image = test::GetImageAndReport(list, i); ++i)
            {
                levels.push_back(image->Values().empty() ? -1 : image->Values()[0]);
            }
            studies.push_back(levels);
        }
        return studies;
    }

    test::ScratchFolder scratch;
    ErrorHandler previous = nullptr;
};

TEST_F(HostileMediumTest, HostileFilesGiveFewerImagesAndOneCodeEach)
{
    std::string absolute = (scratch.Path() / "OUTSIDE").string();
    for (char& c : absolute)
    {
        c = c == '/' ? '\\' : c;
    }
    const std::vector<DirPatient> patients{
        {"Hostile^Files",
         "H1",
         "",
         "",
         "",
         {{"20200101",
           "080000",
           {{"CT",
             {"GOOD1", "..\\OUTSIDE", "FOLDER\\..\\..\\OUTSIDE", absolute, "C:\\OUTSIDE", "CUT", "HEADER", "EMPTY",
              "MISSING", "FOLDER", "HUGE", "WIDE", "HUGEJPEG", "GOOD2"}}}}}},
    };
    WriteBytes(scratch, "medium/DICOMDIR", test::BuildDicomDir(patients).bytes);

    DicomDirFileIO dicomDir;
    ASSERT_EQ(dicomDir.OpenDicomDir(Medium()), 0);
    ASSERT_EQ(dicomDir.StudyCount(), 1u);
    const auto studies = OpenEveryStudy(dicomDir);
    ASSERT_EQ(studies.size(), 1u);
    // Pixel data cut short, absurd sizes and files outside the medium give no image.
    EXPECT_EQ(studies[0], (std::vector<std::int32_t>{0x0101, 0x0202}));
    // Seven IDs leave the medium or name an empty, missing or folder entry: the study reports "image file
    // unreadable" once and shows the images it can read.
    EXPECT_EQ(raised, std::vector<std::string>(1, "10100"));
}

TEST_F(HostileMediumTest, LinksThatLoopOrPointAwayEndTheirLevel)
{
    const std::vector<DirPatient> patients{
        {"Loop^One", "L1", "", "", "", {{"20200101", "", {{"CT", {"GOOD1", "GOOD2"}}}}, {"20200202", "", {}}}},
        {"Loop^Two", "L2", "", "", "", {{"20210101", "", {{"MR", {"GOOD2"}}, {"MR", {"GOOD1"}}}}}},
    };
    test::DicomDirFile dir = test::BuildDicomDir(patients);
    const auto offsetOf = [&](const char* type, int nth) {
        for (const auto& record : dir.records)
        {
            if (record.type == type && nth-- == 0)
            {
                return record;
            }
        }
        ADD_FAILURE() << type;
        return dir.records.front();
    };
    // Patient level: the second patient's next points back to the first (a cycle through every study).
    dir.PatchUInt32(offsetOf("PATIENT", 1).nextField, offsetOf("PATIENT", 0).offset);
    // Study level: the second study points to itself.
    dir.PatchUInt32(offsetOf("STUDY", 1).nextField, offsetOf("STUDY", 1).offset);
    // Image level: the last image of the first series loops back to the patient; the second series' first image
    // points far beyond the file, the third series' image into the preamble.
    dir.PatchUInt32(offsetOf("IMAGE", 1).nextField, offsetOf("PATIENT", 0).offset);
    dir.PatchUInt32(offsetOf("IMAGE", 2).nextField, 0xFFFFFFF0u);
    dir.PatchUInt32(offsetOf("IMAGE", 3).nextField, 4);
    // A series whose images start at the series itself.
    dir.PatchUInt32(offsetOf("SERIES", 2).lowerField, offsetOf("SERIES", 2).offset);
    WriteBytes(scratch, "medium/DICOMDIR", dir.bytes);

    DicomDirFileIO dicomDir;
    ASSERT_EQ(dicomDir.OpenDicomDir(Medium()), 0);
    EXPECT_LE(dicomDir.StudyCount(), 3u) << "no study is listed twice";
    const auto studies = OpenEveryStudy(dicomDir);
    ASSERT_EQ(studies.size(), dicomDir.StudyCount());
    ASSERT_GE(studies.size(), 1u);
    EXPECT_EQ(studies[0], (std::vector<std::int32_t>{0x0101, 0x0202}));
    for (const auto& levels : studies)
    {
        EXPECT_LE(levels.size(), 2u);
    }

    // Every link of the file replaced by each offset that is not a record start: still finite, still inside.
    for (const std::uint32_t bad :
         {0u, 1u, 131u, 0x7FFFFFFFu, 0xFFFFFFFFu, static_cast<std::uint32_t>(dir.bytes.size())})
    {
        test::DicomDirFile broken = test::BuildDicomDir(patients);
        for (const auto& record : broken.records)
        {
            broken.PatchUInt32(record.nextField, bad);
            broken.PatchUInt32(record.lowerField, bad);
        }
        WriteBytes(scratch, "medium/DICOMDIR", broken.bytes);
        DicomDirFileIO reopened;
        if (reopened.OpenDicomDir(Medium()) == 0)
        {
            EXPECT_LE(OpenEveryStudy(reopened).size(), 1u) << bad;
        }
    }
}

TEST_F(HostileMediumTest, SymbolicLinkLeavingTheMediumIsNotFollowed)
{
#if defined(_WIN32)
    GTEST_SKIP() << "making a symbolic link on Windows needs a privilege (or developer mode) the test cannot count on";
#endif
    fs::create_symlink(scratch.Path() / "OUTSIDE", scratch.Path() / "medium" / "LINK");
    fs::create_symlink(scratch.Path() / "medium" / "GOOD1", scratch.Path() / "medium" / "INSIDE");
    const std::vector<DirPatient> patients{
        {"Linked^Files", "S1", "", "", "", {{"20200101", "", {{"CT", {"LINK", "INSIDE"}}}}}},
    };
    WriteBytes(scratch, "medium/DICOMDIR", test::BuildDicomDir(patients).bytes);
    DicomDirFileIO dicomDir;
    ASSERT_EQ(dicomDir.OpenDicomDir(Medium()), 0);
    const auto studies = OpenEveryStudy(dicomDir);
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0], (std::vector<std::int32_t>{0x0101})) << "a link within the medium is followed";
    EXPECT_EQ(raised, std::vector<std::string>{"10100"});
}

} // namespace
} // namespace orblane
