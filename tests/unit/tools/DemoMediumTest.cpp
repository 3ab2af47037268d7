// The demo medium as the build writes it: what the study list would show, and every image as the viewer builds it.

#include "dicom/DicomDataFileIO.h"
#include "dicom/DicomDirFileIO.h"
#include "dicom/DicomTextRules.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane {
namespace {

const std::string kMedium = std::string(ORBLANE_DEMO_MEDIUM_DIR) + "/";

struct ExpectedStudy
{
    std::u16string name;
    std::u16string id;
    std::u16string birthDate;
    std::u16string sex;
    std::u16string dateTime;
    std::u16string modality;
    std::size_t files;
};

// DICOMDIR order: patients in order, each patient's studies in order. Texts keep their pad spaces, as the list
// shows them.
const std::vector<ExpectedStudy> kStudies = {
    {u"M\u00FCller^Anna ", u"ORB-10021 ", u"1958.04.12", u"F ", u"2024.03.11 09:30:15", u"CT", 48},
    {u"M\u00FCller^Anna ", u"ORB-10021 ", u"1958.04.12", u"F ", u"2025.09.16 14:12:00", u"CT", 40},
    {u"Phantom^Bernard ", u"ORB-10022 ", u"1971.07.23", u"M ", u"2023.11.05 08:10:45", u"CR", 1},
    {u"Phantom^Bernard ", u"ORB-10022 ", u"1971.07.23", u"M ", u"2022.06.14 16:30:00", u"MR", 24},
    {u"\u4F50\u85E4^\u82B1\u5B50", u"ORB-20031 ", u"1985.11.20", u"F ", u"2024.07.22 11:05:00", u"XC", 1},
    {u"\u91D1^\u654F\u667A", u"ORB-30047 ", u"1990.03.05", u"F ", u"2025.02.03 09:45:00", u"MR", 40},
};

void Collect(std::string_view code, std::uint32_t, bool)
{
    ADD_FAILURE() << "error " << code;
}

class DemoMediumTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        previous = SetErrorHandler(&Collect);
        ASSERT_EQ(dicomDir.OpenDicomDir(kMedium), 0);
    }
    void TearDown() override { SetErrorHandler(previous); }

    DicomFileChain Files(int study)
    {
        const std::optional<StudyEntry> entry = dicomDir.GetStudyEntry(study);
        DicomFileChain chain;
        if (entry && entry->firstSeries != 0)
        {
            dicomDir.CollectImageFiles(chain, entry->firstSeries, entry->studyDateTime.value_or(u""));
        }
        return chain;
    }

    DicomDirFileIO dicomDir;
    ErrorHandler previous = nullptr;
};

TEST_F(DemoMediumTest, ListsEveryStudyWithItsPatientAsTheStudyListShowsIt)
{
    ASSERT_EQ(dicomDir.StudyCount(), kStudies.size());
    for (std::size_t i = 0; i < kStudies.size(); ++i)
    {
        SCOPED_TRACE(i);
        const std::optional<StudyEntry> entry = dicomDir.GetStudyEntry(static_cast<int>(i));
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->patientName, kStudies[i].name);
        EXPECT_EQ(entry->patientId, kStudies[i].id);
        EXPECT_EQ(entry->birthDate, kStudies[i].birthDate);
        EXPECT_EQ(entry->sex, kStudies[i].sex);
        EXPECT_EQ(entry->studyDateTime, kStudies[i].dateTime);
        EXPECT_EQ(entry->modality, kStudies[i].modality);
        EXPECT_EQ(Files(static_cast<int>(i)).size(), kStudies[i].files);
    }
    EXPECT_FALSE(dicomDir.GetStudyEntry(static_cast<int>(kStudies.size())));
    EXPECT_EQ(dicomDir.CachedPatientCount(), 4u);
}

// The whole name, all three component groups, as the image files carry it: the phonetic groups are kana and
// hangul, which the list never shows.
TEST_F(DemoMediumTest, JapaneseAndKoreanNamesDecodeInEveryComponentGroup)
{
    const std::vector<std::pair<int, std::u16string>> names = {
        {4, u"Sato^Hanako=\u4F50\u85E4^\u82B1\u5B50=\u3055\u3068\u3046^\u306F\u306A\u3053 "},
        {5, u"Kim^Minji=\u91D1^\u654F\u667A=\uAE40^\uBBFC\uC9C0 "},
        {0, u"M\u00FCller^Anna "},
    };
    for (const auto& [study, expected] : names)
    {
        DicomFileChain files = Files(study);
        ASSERT_FALSE(files.empty());
        ASSERT_EQ(files.front()->LoadDataSet(), 0);
        const std::optional<ByteView> charset = files.front()->FindValue(0x0008, 0x0005);
        const std::optional<ByteView> name = files.front()->FindValue(0x0010, 0x0010);
        ASSERT_TRUE(charset && name);
        EXPECT_EQ(ConvertText(*charset, *name), expected);
        EXPECT_EQ(files.front()->MakeInfoRecord().patientName, kStudies[static_cast<std::size_t>(study)].name);
    }
}

// Every file of every study builds exactly one image through the viewer's collection, with the attributes the
// medium promises.
TEST_F(DemoMediumTest, EveryImageBuildsWithItsModalitysAttributes)
{
    for (int study = 0; study < static_cast<int>(kStudies.size()); ++study)
    {
        SCOPED_TRACE(study);
        ImageDataList list;
        DicomFileChain files = Files(study);
        const std::size_t count = files.size();
        for (auto& file : files)
        {
            list.AddFile(std::move(file));
        }
        for (int index = 0; index < static_cast<int>(count); ++index)
        {
            const CImageData* image = list.GetImage(index);
            ASSERT_NE(image, nullptr) << index;
            const PixelDescription& d = image->Description();
            const std::u16string& modality = kStudies[static_cast<std::size_t>(study)].modality;
            if (modality == u"CT")
            {
                // The follow-up is stored JPEG lossless, as archives often send CT.
                EXPECT_EQ(d.transferSyntax,
                          study == 1 ? TransferSyntaxKind::JpegLossless : TransferSyntaxKind::ExplicitLittle);
                EXPECT_EQ(d.columnCount, 512);
                EXPECT_EQ(d.bitsAllocated, 16);
                EXPECT_EQ(d.bitsStored, 12);
                EXPECT_EQ(d.rescaleIntercept, -1024.0);
                EXPECT_EQ(image->WindowCentre(), 40);
                EXPECT_EQ(image->WindowWidth(), 400);
            }
            else if (modality == u"CR")
            {
                EXPECT_GE(d.columnCount, 2000);
                EXPECT_GE(d.rowCount, 2500);
                EXPECT_EQ(d.photometric, PhotometricKind::Monochrome1);
            }
            else if (modality == u"XC")
            {
                EXPECT_EQ(d.transferSyntax, TransferSyntaxKind::JpegBaseline);
                EXPECT_EQ(image->Bitmap().BitsPerPixel(), 32);
                EXPECT_EQ(image->Bitmap().Width(), 640);
            }
            else
            {
                EXPECT_EQ(d.photometric, PhotometricKind::Monochrome2);
                EXPECT_EQ(d.columnCount, 256);
            }
        }
        EXPECT_EQ(list.GetImage(static_cast<int>(count)), nullptr);
    }
}

// Mean modality value of a small square around (row, column).
double Mean(const CImageData& image, int row, int column)
{
    const auto values = image.Values();
    const int width = image.Description().columnCount;
    double sum = 0.0;
    for (int r = row - 3; r <= row + 3; ++r)
    {
        for (int c = column - 3; c <= column + 3; ++c)
        {
            sum += values[static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c)];
        }
    }
    return sum / 49.0;
}

// The phantoms carry real tissue values: air, lung and bone land where a reader of the images expects them, so
// the CT window 40/400 shows soft tissue and the radiograph shows bone white.
TEST_F(DemoMediumTest, PhantomsHoldTissueValuesWhereTheAnatomyIs)
{
    ImageDataList ct;
    DicomFileChain files = Files(0);
    ct.AddFile(std::move(files[24])); // mid-chest
    const CImageData* slice = ct.GetImage(0);
    ASSERT_NE(slice, nullptr);
    EXPECT_NEAR(Mean(*slice, 20, 256), -1000.0, 30.0); // air in front of the chest
    EXPECT_LT(Mean(*slice, 256, 110), -700.0);         // right lung
    EXPECT_GT(Mean(*slice, 359, 256), 150.0);          // vertebral body
    EXPECT_NEAR(Mean(*slice, 377, 313), 45.0, 25.0);   // back muscle beside the spine

    // The same anatomy through the lossless decoder.
    ImageDataList followUp;
    DicomFileChain lossless = Files(1);
    followUp.AddFile(std::move(lossless[20]));
    const CImageData* encoded = followUp.GetImage(0);
    ASSERT_NE(encoded, nullptr);
    EXPECT_NEAR(Mean(*encoded, 20, 256), -1000.0, 30.0);
    EXPECT_LT(Mean(*encoded, 256, 110), -700.0);
    EXPECT_GT(Mean(*encoded, 359, 256), 150.0);

    ImageDataList cr;
    DicomFileChain radiograph = Files(2);
    cr.AddFile(std::move(radiograph.front()));
    const CImageData* chest = cr.GetImage(0);
    ASSERT_NE(chest, nullptr);
    // Display grey (blue byte of the display pixel) of a lung field and of the spine below the heart.
    const auto grey = [&](int row, int column) { return chest->Bitmap().Pixels32(row)[column] & 0xFFu; };
    EXPECT_LT(grey(1200, 560), 80u);   // right lung: dark
    EXPECT_GT(grey(2300, 1024), 170u); // spine: bright
    EXPECT_LT(grey(5, 5), 30u);        // unattenuated exposure: black
}

std::vector<char> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The build's medium is reproducible: a second run writes the same bytes, so nothing in it depends on the clock
// or on uninitialised memory. A rerun into a medium folder replaces the DICOM part and leaves the viewer's folder
// beside it alone.
TEST(DemoMediumGenerator, RewritesTheSameMediumAndOnlyItsDicomPart)
{
    test::ScratchFolder scratch;
    const std::filesystem::path viewer = scratch.Write("VIEWER/Orblane.ini", "[DICOMDIRInformation]\r\n");
    const std::filesystem::path stale = scratch.Write("DICOM/PAT00009/OLD", "stale");
    const std::string command =
        std::string("'") + ORBLANE_DEMO_GENERATOR_PATH + "' '" + scratch.Path().string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(std::filesystem::exists(viewer));
    EXPECT_FALSE(std::filesystem::exists(stale));

    const std::filesystem::path medium(ORBLANE_DEMO_MEDIUM_DIR);
    std::size_t compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.Path()))
    {
        const std::filesystem::path relative = std::filesystem::relative(entry.path(), scratch.Path());
        if (!entry.is_regular_file() || *relative.begin() == "VIEWER")
        {
            continue;
        }
        EXPECT_EQ(ReadAll(entry.path()), ReadAll(medium / relative)) << relative;
        ++compared;
    }
    EXPECT_EQ(compared, 1u + 48u + 40u + 1u + 24u + 1u + 40u);
}

} // namespace
} // namespace orblane
