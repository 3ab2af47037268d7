#include "dicom/DicomDirFileIO.h"
#include "support/OpenAndReport.h"

#include "platform/CodePage.h"
#include "platform/ErrorSink.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace orblane {
namespace {

using test::BuildDicomDir;
using test::DicomDirFile;
using test::DicomDirOptions;
using test::DirPatient;
using test::DirSeries;
using test::DirStudy;
using test::Length;

std::vector<std::pair<std::string, std::uint32_t>> raised;

void Record(std::string_view code, std::uint32_t number, bool exitAfter)
{
    EXPECT_FALSE(exitAfter);
    raised.emplace_back(code, number);
}

std::vector<std::string> FileIds(const DicomFileChain& chain)
{
    std::vector<std::string> ids;
    for (const auto& file : chain)
    {
        ids.push_back(file->FileId());
    }
    return ids;
}

std::vector<DirPatient> TwoPatientsTwoStudiesEach()
{
    return {
        {"Alpha^One",
         "P1",
         "19500101",
         "F",
         "",
         {
             {"20200101", "080000", {{"CT", {"P1\\S1\\IM1", "P1\\S1\\IM2"}}, {"MR", {"P1\\S1\\IM3"}}}},
             {"20200202", "090000.5", {{"US", {"P1\\S2\\IM1"}}}},
         }},
        {"Beta^Two",
         "P2",
         "19600202",
         "M",
         "ISO_IR 100",
         {
             {"20210303", "", {{"XA", {"P2\\S1\\IM1"}}}},
             {"20210404", "101010", {}},
         }},
    };
}

class DicomDirFileIOTest : public ::testing::TestWithParam<Length>
{
protected:
    void SetUp() override
    {
        raised.clear();
        previous = SetErrorHandler(&Record);
    }
    void TearDown() override { SetErrorHandler(previous); }

    int Open(const DicomDirFile& file)
    {
        file.WriteTo(scratch.Path() / "DICOMDIR");
        return test::OpenAndReport(dicomDir, scratch.FolderText());
    }

    DicomDirOptions Options() const
    {
        DicomDirOptions options;
        options.records = GetParam();
        options.sequence = GetParam();
        return options;
    }

    std::vector<std::string> Collect(int index, std::u16string_view label = u"")
    {
        DicomFileChain chain;
        const auto entry = dicomDir.GetStudyEntry(index);
        if (entry)
        {
            dicomDir.CollectImageFiles(chain, entry->firstSeries, label);
        }
        return FileIds(chain);
    }

    test::ScratchFolder scratch;
    DicomDirFileIO dicomDir;
    ErrorHandler previous = nullptr;
};

// Records written as items of defined length, as most media writers store them, must list exactly what the same
// records in undefined-length items list.
INSTANTIATE_TEST_SUITE_P(BothLengthStyles, DicomDirFileIOTest, ::testing::Values(Length::Undefined, Length::Defined),
                         [](const auto& style) { return style.param == Length::Defined ? "Defined" : "Undefined"; });

TEST_P(DicomDirFileIOTest, LinksStudiesPatientByPatientInRecordOrder)
{
    ASSERT_EQ(Open(BuildDicomDir(TwoPatientsTwoStudiesEach(), Options())), 0);
    EXPECT_TRUE(raised.empty());
    ASSERT_EQ(dicomDir.StudyCount(), 4u);
    const char16_t* expected[][2] = {{u"Alpha^One", u"2020.01.01 08:00:00"},
                                     {u"Alpha^One", u"2020.02.02 09:00:00"},
                                     {u"Beta^Two", u"2021.03.03"},
                                     {u"Beta^Two", u"2021.04.04 10:10:10"}};
    for (int i = 0; i < 4; ++i)
    {
        const auto entry = dicomDir.GetStudyEntry(i);
        ASSERT_TRUE(entry) << i;
        EXPECT_EQ(entry->patientName, expected[i][0]) << i;
        EXPECT_EQ(entry->studyDateTime, expected[i][1]) << i;
    }
    EXPECT_FALSE(dicomDir.GetStudyEntry(4));
    EXPECT_FALSE(dicomDir.GetStudyEntry(-1));
}

TEST_P(DicomDirFileIOTest, RowTextsFollowTheListsRules)
{
    ASSERT_EQ(Open(BuildDicomDir(TwoPatientsTwoStudiesEach(), Options())), 0);
    const auto first = dicomDir.GetStudyEntry(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->patientId, u"P1");
    EXPECT_EQ(first->birthDate, u"1950.01.01");
    EXPECT_EQ(first->sex, u"F"); // stored as "F ": the pad is not shown
    // The first series decides the modality, however many others the study has.
    EXPECT_EQ(first->modality, u"CT");
    EXPECT_NE(first->firstSeries, 0u);

    const auto withoutSeries = dicomDir.GetStudyEntry(3);
    ASSERT_TRUE(withoutSeries);
    EXPECT_EQ(withoutSeries->firstSeries, 0u);
    EXPECT_FALSE(withoutSeries->modality);
    EXPECT_TRUE(Collect(3).empty());
}

// The patient record's own (0008,0005) decides, and without one the default ANSI code page does.
TEST_P(DicomDirFileIOTest, PatientTextsFollowTheRecordsCharacterSet)
{
    SetDefaultAnsiCodePage(kCodePageWindows1252);
    std::vector<DirPatient> patients{{"Ren\xE9", "\xE9", "", "", "", {{"20200101", "", {}}}},
                                     {"Ren\xE9", "\xE9", "", "", "ISO_IR 144", {{"20200101", "", {}}}}};
    ASSERT_EQ(Open(BuildDicomDir(patients, Options())), 0);
    EXPECT_EQ(dicomDir.GetStudyEntry(0)->patientName, u"Ren\u00E9");
    EXPECT_EQ(dicomDir.GetStudyEntry(0)->patientId, u"\u00E9");
    EXPECT_EQ(dicomDir.GetStudyEntry(1)->patientName, u"Ren\u0449");
    SetDefaultAnsiCodePage(0);
}

TEST_P(DicomDirFileIOTest, ReadsEachPatientRecordOnceForAllItsStudies)
{
    ASSERT_EQ(Open(BuildDicomDir(TwoPatientsTwoStudiesEach(), Options())), 0);
    const auto a = dicomDir.GetStudyEntry(0);
    const auto b = dicomDir.GetStudyEntry(1);
    EXPECT_EQ(dicomDir.CachedPatientCount(), 1u);
    EXPECT_EQ(a->patientName, b->patientName);
    EXPECT_EQ(a->patientId, b->patientId);
    dicomDir.GetStudyEntry(2);
    dicomDir.GetStudyEntry(0);
    EXPECT_EQ(dicomDir.CachedPatientCount(), 2u);
}

TEST_P(DicomDirFileIOTest, CollectsEveryImageOfEverySeriesInOrderOntoOneChain)
{
    ASSERT_EQ(Open(BuildDicomDir(TwoPatientsTwoStudiesEach(), Options())), 0);
    DicomFileChain chain;
    for (int row : {0, 2})
    {
        const auto entry = dicomDir.GetStudyEntry(row);
        dicomDir.CollectImageFiles(chain, entry->firstSeries, *entry->studyDateTime);
    }
    EXPECT_EQ(FileIds(chain),
              (std::vector<std::string>{"P1\\S1\\IM1 ", "P1\\S1\\IM2 ", "P1\\S1\\IM3 ", "P2\\S1\\IM1 "}));
    EXPECT_EQ(chain.front()->StudyLabel(), u"2020.01.01 08:00:00");
    EXPECT_EQ(chain.back()->StudyLabel(), u"2021.03.03");
    EXPECT_EQ(chain.front()->Folder(), scratch.FolderText());
}

// A disc that fails (or a file cut) after the DICOMDIR was opened: its records were read whole at opening, so later
// walks still list and collect them instead of faulting on a lost page of a mapping.
TEST_P(DicomDirFileIOTest, RecordsStayReadableWhenTheFileIsCutAfterOpening)
{
    ASSERT_EQ(Open(BuildDicomDir(TwoPatientsTwoStudiesEach(), Options())), 0);
    std::filesystem::resize_file(scratch.Path() / "DICOMDIR", 0);
    EXPECT_EQ(Collect(0), (std::vector<std::string>{"P1\\S1\\IM1 ", "P1\\S1\\IM2 ", "P1\\S1\\IM3 "}));
    EXPECT_EQ(Collect(3), std::vector<std::string>{});
}

TEST_P(DicomDirFileIOTest, SkipsImageRecordsWithoutAFileId)
{
    std::vector<DirPatient> patients{{"A", "1", "", "", "", {{"20200101", "", {{"CT", {"IM1", "", "IM3"}}}}}}};
    ASSERT_EQ(Open(BuildDicomDir(patients, Options())), 0);
    EXPECT_EQ(Collect(0), (std::vector<std::string>{"IM1 ", "IM3 "}));
}

TEST_P(DicomDirFileIOTest, MissingOrZeroRootOffsetRaisesAndListsNothing)
{
    DicomDirOptions options = Options();
    options.rootOffset = false;
    EXPECT_EQ(Open(BuildDicomDir(TwoPatientsTwoStudiesEach(), options)), -1);
    EXPECT_EQ(raised, (std::vector<std::pair<std::string, std::uint32_t>>{{"10103", 0}}));
    EXPECT_EQ(dicomDir.StudyCount(), 0u);

    DicomDirFile zero = BuildDicomDir(TwoPatientsTwoStudiesEach(), Options());
    zero.PatchUInt32(zero.rootField, 0);
    EXPECT_EQ(Open(zero), -1);
    EXPECT_EQ(raised.size(), 2u);
}

TEST_P(DicomDirFileIOTest, LinksIntoThePrefixOrBeyondTheFileEndTheirLevel)
{
    DicomDirFile file = BuildDicomDir(TwoPatientsTwoStudiesEach(), Options());
    const auto size = static_cast<std::uint32_t>(file.bytes.size());
    // Second study of the first patient: its next link now points past the end; the first patient's second
    // study is reached through the first one's next, which now points into the prefix.
    std::vector<const test::DirRecordInfo*> studies;
    for (const auto& record : file.records)
    {
        if (record.type == "STUDY")
        {
            studies.push_back(&record);
        }
    }
    file.PatchUInt32(studies[0]->nextField, 130);
    file.PatchUInt32(studies[2]->nextField, size);
    ASSERT_EQ(Open(file), 0);
    EXPECT_EQ(dicomDir.StudyCount(), 2u); // P1-S1 and P2-S1

    DicomDirFile badRoot = BuildDicomDir(TwoPatientsTwoStudiesEach(), Options());
    badRoot.PatchUInt32(badRoot.rootField, 0xFFFFFFF0);
    ASSERT_EQ(Open(badRoot), 0);
    EXPECT_EQ(dicomDir.StudyCount(), 0u);
}

TEST_P(DicomDirFileIOTest, CyclesEndTheirLevelInsteadOfLoopingForever)
{
    DicomDirFile file = BuildDicomDir(TwoPatientsTwoStudiesEach(), Options());
    const auto& records = file.records;
    // Records in file order: P1, its first study, series CT (IM1, IM2), series MR (IM3), its second study … P2.
    // The last patient's next leads back to the first patient, IM1's next to itself, the MR series' next back to
    // the CT series, and IM3's next to a study record, read as an image without a file ID.
    file.PatchUInt32(records[10].nextField, records[0].offset);
    file.PatchUInt32(records[6].nextField, records[1].offset);
    file.PatchUInt32(records[3].nextField, records[3].offset);
    file.PatchUInt32(records[5].nextField, records[2].offset);
    ASSERT_EQ(records[0].type, "PATIENT");
    ASSERT_EQ(records[10].type, "PATIENT");
    ASSERT_EQ(Open(file), 0);
    EXPECT_EQ(dicomDir.StudyCount(), 4u);
    EXPECT_EQ(Collect(0), (std::vector<std::string>{"P1\\S1\\IM1 ", "P1\\S1\\IM3 "}));
}

TEST_P(DicomDirFileIOTest, TruncatedDicomDirsNeverReadPastTheirEnd)
{
    const DicomDirFile full = BuildDicomDir(TwoPatientsTwoStudiesEach(), Options());
    for (std::size_t size = 0; size < full.bytes.size(); size += 7)
    {
        DicomDirFile cut = full;
        cut.bytes.resize(size);
        DicomDirFileIO reader;
        cut.WriteTo(scratch.Path() / "DICOMDIR");
        if (test::OpenAndReport(reader, scratch.FolderText()) != 0)
        {
            continue;
        }
        EXPECT_LE(reader.StudyCount(), 4u);
        for (int i = 0; const auto entry = reader.GetStudyEntry(i); ++i)
        {
            DicomFileChain chain;
            reader.CollectImageFiles(chain, entry->firstSeries, u"");
            EXPECT_LE(chain.size(), 4u);
        }
    }
}

TEST_P(DicomDirFileIOTest, FindsTheDicomDirWhateverTheCaseOfItsName)
{
    BuildDicomDir(TwoPatientsTwoStudiesEach(), Options()).WriteTo(scratch.Path() / "dicomdir");
    EXPECT_EQ(test::OpenAndReport(dicomDir, scratch.FolderText()), 0);
    EXPECT_EQ(dicomDir.StudyCount(), 4u);
}

TEST(DicomDirOpenTest, AMissingDicomDirRaisesWithTheErrno)
{
    raised.clear();
    const ErrorHandler previous = SetErrorHandler(&Record);
    test::ScratchFolder scratch;
    DicomDirFileIO dicomDir;
    EXPECT_EQ(test::OpenAndReport(dicomDir, scratch.FolderText()), ENOENT);
    EXPECT_EQ(raised, (std::vector<std::pair<std::string, std::uint32_t>>{{"10103", ENOENT}}));
    EXPECT_FALSE(dicomDir.GetStudyEntry(0));
    SetErrorHandler(previous);
}

// Records read one at a time: a nested sequence of undefined length ends the record's walk at its first Item
// Delimitation, so attributes written after it are not found.
TEST(DicomDirOpenTest, ARecordWalkEndsAtTheFirstItemDelimitationItReads)
{
    test::DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian);
    const std::size_t rootField = w.Size() + 8;
    w.UInt32(0x0004, 0x1200, 0).BeginSequence(0x0004, 0x1220, Length::Undefined);
    const auto patient = static_cast<std::uint32_t>(w.Size());
    w.BeginItem(Length::Undefined).UInt32(0x0004, 0x1400, 0).UInt32(0x0004, 0x1420, 0);
    const std::size_t lowerField = w.Size() - 4;
    w.Text(0x0010, 0x0020, "LO", "ID1")
        .BeginSequence(0x0008, 0x1110, Length::Undefined)
        .BeginItem(Length::Undefined)
        .EndItem()
        .EndSequence()
        .Text(0x0010, 0x0010, "PN", "Hidden^Name")
        .EndItem();
    const auto study = static_cast<std::uint32_t>(w.Size());
    w.BeginItem(Length::Undefined).Text(0x0008, 0x0020, "DA", "20200101").EndItem().EndSequence();
    w.PatchUInt32(rootField, patient);
    w.PatchUInt32(lowerField, study);
    test::ScratchFolder scratch;
    w.WriteTo(scratch.Path() / "DICOMDIR");
    DicomDirFileIO dicomDir;
    ASSERT_EQ(test::OpenAndReport(dicomDir, scratch.FolderText()), 0);
    const auto entry = dicomDir.GetStudyEntry(0);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->patientId, u"ID1");
    EXPECT_FALSE(entry->patientName);
    EXPECT_EQ(entry->studyDateTime, u"2020.01.01");
}

} // namespace
} // namespace orblane
