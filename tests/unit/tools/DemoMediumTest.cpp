// The demo medium as the build writes it: what the study list would show, and every image as the viewer builds it.

#include "dicom/DicomDataFileIO.h"
#include "dicom/DicomDirFileIO.h"
#include "dicom/DicomTextRules.h"
#include "dicom/FrameSource.h"
#include "dicom/OverlayPlanes.h"
#include "dicom/TopLevelIndex.h"
#include "imaging/ImageDataList.h"
#include "imaging/Measurement.h"
#include "platform/ErrorSink.h"
#include "support/CliRun.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
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
    {u"M\u00FCller^Anna", u"ORB-10021", u"1958.04.12", u"F", u"2024.03.11 09:30:15", u"CT", 49},
    {u"M\u00FCller^Anna", u"ORB-10021", u"1958.04.12", u"F", u"2025.09.16 14:12:00", u"CT", 43},
    {u"Phantom^Bernard", u"ORB-10022", u"1971.07.23", u"M", u"2023.11.05 08:10:45", u"CR", 1},
    {u"Phantom^Bernard", u"ORB-10022", u"1971.07.23", u"M", u"2022.06.14 16:30:00", u"MR", 24},
    {u"\u4F50\u85E4^\u82B1\u5B50", u"ORB-20031", u"1985.11.20", u"F", u"2024.07.22 11:05:00", u"XC", 1},
    {u"\u91D1^\u654F\u667A", u"ORB-30047", u"1990.03.05", u"F", u"2025.02.03 09:45:00", u"MR", 40},
};

// The follow-up CT's documents, after its 40 slices: each in its own series, with the record type media readers
// look for.
struct ExpectedReport
{
    std::string recordType; // as stored, pad included
    std::string kind;       // what `orblane-cli report` says
};
const std::vector<ExpectedReport> kFollowUpReports = {
    {"ENCAP DOC ", "{\"kind\": \"pdf\", \"pages\": 2}"},
    {"SR DOCUMENT ", "{\"kind\": \"sr\", \"items\": 10, \"completion\": \"COMPLETE\", \"verification\": "
                     "\"UNVERIFIED\"}"},
    {"KEY OBJECT DOC", "{\"kind\": \"kos\", \"items\": 4}"},
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
        // The follow-up's reports come last and give no image.
        const std::size_t count = files.size() - (study == 1 ? kFollowUpReports.size() : 0);
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
            if (modality == u"CT" && study == 0 && index == 48)
            {
                // The chest study's localizer: a frontal projection of square 1.4 mm pixels.
                EXPECT_EQ(d.columnCount, 256);
                EXPECT_EQ(d.rowCount, 200);
            }
            else if (modality == u"CT")
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

// The calibration each demo image measures with, and the one MR image that carries an overlay plane.
TEST_F(DemoMediumTest, MeasuresWithItsCalibrationAndShowsItsOverlayPlane)
{
    const std::pair<int, const char*> labels[] = {{0, "mm"}, {2, "mm at detector"}, {3, "mm"}, {4, "px"}};
    for (const auto& [study, label] : labels)
    {
        DicomFileChain files = Files(study);
        ASSERT_FALSE(files.empty());
        ASSERT_EQ(files.front()->LoadDataSet(), 0);
        MeasureScale scale;
        MeasureValues values;
        ASSERT_EQ(LoadMeasureFrame(*files.front(), 0, scale, values), 1);
        EXPECT_EQ(scale.calibration.label, label) << study;
    }
    DicomFileChain mr = Files(3);
    for (std::size_t i = 0; i < mr.size(); ++i)
    {
        ASSERT_EQ(mr[i]->LoadDataSet(), 0);
        const TopLevelIndex index(*mr[i]);
        const std::vector<OverlayPlane> planes = ReadOverlayPlanes(index, ReadPixelDescription(*mr[i], 0));
        ASSERT_EQ(planes.size(), i == 12 ? 1u : 0u) << i;
        if (!planes.empty())
        {
            const std::vector<std::uint8_t> mask = OverlayMask(planes.front(), 0, 256, 256);
            EXPECT_GT(std::count(mask.begin(), mask.end(), 1), 300);
        }
    }
}

// ---- The DICOMDIR as other media readers see it --------------------------------------------------------------

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return Le16(b, at) | (Le16(b, at + 2) << 16);
}

struct Record
{
    std::uint32_t itemLength = 0;
    std::map<std::uint32_t, std::string> values; // by tag, as stored (pad included)
};

// A plain explicit VR little endian reader of the top level and of the record items, written apart from the
// viewer's reader so that it does not share its assumptions.
struct ParsedDicomDir
{
    std::map<std::uint32_t, std::string> top;
    std::map<std::uint32_t, Record> records; // by the offset of the item tag

    explicit ParsedDicomDir(const std::vector<std::uint8_t>& b)
    {
        std::size_t at = 132;
        while (at + 8 <= b.size())
        {
            const std::uint32_t tag = (Le16(b, at) << 16) | Le16(b, at + 2);
            const std::string vr(b.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                 b.begin() + static_cast<std::ptrdiff_t>(at + 6));
            const bool longForm = vr == "OB" || vr == "OW" || vr == "SQ" || vr == "UN" || vr == "UT";
            const std::uint32_t length = longForm ? Le32(b, at + 8) : Le16(b, at + 6);
            const std::size_t value = at + (longForm ? 12 : 8);
            if (tag == 0x00041220)
            {
                ReadItems(b, value, value + length);
            }
            else
            {
                top[tag] = std::string(b.begin() + static_cast<std::ptrdiff_t>(value),
                                       b.begin() + static_cast<std::ptrdiff_t>(value + length));
            }
            at = value + length;
        }
    }

    void ReadItems(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t end)
    {
        while (at + 8 <= end)
        {
            Record& record = records[static_cast<std::uint32_t>(at)];
            record.itemLength = Le32(b, at + 4);
            ASSERT_EQ(Le32(b, at), 0xE000FFFEu);
            ASSERT_NE(record.itemLength, 0xFFFFFFFFu);
            const std::size_t itemEnd = at + 8 + record.itemLength;
            for (std::size_t e = at + 8; e < itemEnd;)
            {
                // Records may carry an icon (a sequence holding pixel data): long-form VRs have a 4-byte length.
                const std::uint32_t tag = (Le16(b, e) << 16) | Le16(b, e + 2);
                const std::string vr(b.begin() + static_cast<std::ptrdiff_t>(e + 4),
                                     b.begin() + static_cast<std::ptrdiff_t>(e + 6));
                const bool longForm = vr == "OB" || vr == "OW" || vr == "SQ" || vr == "UN" || vr == "UT";
                const std::uint32_t length = longForm ? Le32(b, e + 8) : Le16(b, e + 6);
                ASSERT_NE(length, 0xFFFFFFFFu) << "records are written with defined lengths";
                const std::size_t value = e + (longForm ? 12 : 8);
                ASSERT_LE(value + length, itemEnd);
                record.values[tag] = std::string(b.begin() + static_cast<std::ptrdiff_t>(value),
                                                 b.begin() + static_cast<std::ptrdiff_t>(value + length));
                e = value + length;
            }
            at = itemEnd;
        }
    }
};

std::uint32_t Offset(const std::string& value)
{
    return value.size() == 4 ? static_cast<std::uint32_t>(static_cast<std::uint8_t>(value[0]) |
                                                          static_cast<std::uint8_t>(value[1]) << 8 |
                                                          static_cast<std::uint8_t>(value[2]) << 16 |
                                                          static_cast<std::uint8_t>(value[3]) << 24)
                             : 0xFFFFFFFFu;
}

// Records are items of defined length that name their type, link their levels consistently (every record reached
// once, each level of the type it should be), and describe the files they reference truthfully, so that media
// readers that use the type, the last root record or the referenced UIDs agree with the viewer.
TEST(DemoMediumDirectory, RecordsAreTypedLinkedAndTrueToTheirFiles)
{
    const std::filesystem::path medium(ORBLANE_DEMO_MEDIUM_DIR);
    const ParsedDicomDir dir(ReadBytes(medium / "DICOMDIR"));
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    const std::vector<std::string> levels = {"PATIENT ", "STUDY ", "SERIES", "IMAGE "};
    std::map<std::uint32_t, int> reached;
    std::size_t images = 0;
    std::uint32_t lastRoot = 0;
    const std::function<void(std::uint32_t, std::size_t)> walk = [&](std::uint32_t offset, std::size_t level) {
        for (; offset != 0; offset = Offset(dir.records.at(offset).values.at(0x00041400)))
        {
            ASSERT_EQ(dir.records.count(offset), 1u) << offset;
            ++reached[offset];
            const Record& record = dir.records.at(offset);
            const std::string& type = record.values.at(0x00041430);
            const bool document =
                level == 3 && std::any_of(kFollowUpReports.begin(), kFollowUpReports.end(),
                                          [&](const ExpectedReport& r) { return r.recordType == type; });
            if (!document)
            {
                EXPECT_EQ(type, levels[level]);
            }
            EXPECT_EQ(record.values.at(0x00041410), "\xFF\xFF"); // in use
            if (level == 0)
            {
                lastRoot = offset;
            }
            if (level + 1 < levels.size())
            {
                walk(Offset(record.values.at(0x00041420)), level + 1);
                continue;
            }
            ++images;
            EXPECT_EQ(Offset(record.values.at(0x00041420)), 0u);
            std::string id = record.values.at(0x00041500);
            id.erase(id.find_last_not_of(' ') + 1);
            std::replace(id.begin(), id.end(), '\\', '/');
            DicomDataFileIO file;
            ASSERT_EQ(file.LoadFile(medium / id), 0) << id;
            const auto value = [&](std::uint16_t group, std::uint16_t element) {
                const std::optional<ByteView> bytes = file.FindValue(group, element);
                return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
            };
            EXPECT_EQ(record.values.at(0x00041510), value(0x0008, 0x0016)) << id;
            EXPECT_EQ(record.values.at(0x00041511), value(0x0008, 0x0018)) << id;
            EXPECT_EQ(record.values.at(0x00041512), value(0x0002, 0x0010)) << id;
        }
    };
    walk(Offset(dir.top.at(0x00041200)), 0);
    EXPECT_EQ(Offset(dir.top.at(0x00041202)), lastRoot);
    EXPECT_EQ(images, 158u);
    EXPECT_EQ(reached.size(), dir.records.size()); // no record left out of the tree
    for (const auto& [offset, count] : reached)
    {
        EXPECT_EQ(count, 1) << offset;
    }
}

// The follow-up's three documents, in their DICOMDIR order, read as the report window reads them.
TEST_F(DemoMediumTest, FollowUpReportsReadAsTheirKinds)
{
    DicomFileChain files = Files(1);
    ASSERT_EQ(files.size(), 40 + kFollowUpReports.size());
    for (std::size_t i = 0; i < kFollowUpReports.size(); ++i)
    {
        const std::string id = files[40 + i]->FileId();
        SCOPED_TRACE(id);
        test::ScratchFolder out;
        std::string path = kMedium + id;
        path.erase(path.find_last_not_of(' ') + 1);
        std::replace(path.begin(), path.end(), '\\', '/');
        const test::CliResult result = test::RunCli(ORBLANE_CLI_PATH, {"report", path, out.Path().string()});
        if (i == 0 && !ORBLANE_CLI_RENDERS_PDF)
        {
            EXPECT_EQ(result.exitCode, 1);
            continue;
        }
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, kFollowUpReports[i].kind + "\n");
    }
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
    // Started directly, no shell in between, so that the same call runs on Windows.
    const test::CliResult run = test::RunCli(ORBLANE_DEMO_GENERATOR_PATH, {scratch.Path().string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
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
    EXPECT_EQ(compared, 1u + 49u + 43u + 1u + 24u + 1u + 40u);
}

} // namespace
} // namespace orblane
