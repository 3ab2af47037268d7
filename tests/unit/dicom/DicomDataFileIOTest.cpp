#include "dicom/DicomDataFileIO.h"

#include "platform/CodePage.h"
#include "support/CaseName.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace orblane {
namespace {

using test::DicomWriter;
using test::Length;
using test::ScratchFolder;

std::string AsText(const test::Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

std::string ValueText(const DicomDataFileIO& file, std::uint16_t group, std::uint16_t element, int occurrence = 0)
{
    const auto value = file.FindValue(group, element, occurrence);
    return value ? std::string(reinterpret_cast<const char*>(value->data()), value->size()) : "<absent>";
}

class DicomDataFileIOTest : public ::testing::Test
{
protected:
    // Writes the file below the scratch folder and loads it through its file ID (with `padding` after it), as the
    // viewer does. Each load has a file of its own: an earlier record still maps its file, and Windows refuses to
    // truncate a mapped file.
    int Load(DicomDataFileIO*& out, const test::Bytes& bytes, const std::string& padding = "")
    {
        const std::string name = "IM" + std::to_string(files.size());
        scratch.Write("DICOM/" + name, AsText(bytes));
        files.push_back(std::make_unique<DicomDataFileIO>("DICOM\\" + name + padding, scratch.FolderText(), u""));
        out = files.back().get();
        return out->LoadDataSet();
    }

    ScratchFolder scratch;
    std::vector<std::unique_ptr<DicomDataFileIO>> files;
};

TEST_F(DicomDataFileIOTest, LoadsThroughThePaddedFileIdBelowTheFolder)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian).Text(0x0010, 0x0010, "PN", "Doe^Jane");
    DicomDataFileIO* file = nullptr;
    ASSERT_EQ(Load(file, w.Data(), " "), 0);
    EXPECT_EQ(ValueText(*file, 0x0010, 0x0010), "Doe^Jane");
    EXPECT_EQ(file->FileId(), "DICOM\\IM0 ");
}

TEST_F(DicomDataFileIOTest, AnswersTheOpenErrorAndKeepsNoDataSet)
{
    DicomDataFileIO missing("DICOM\\NONE", scratch.FolderText(), u"");
    EXPECT_EQ(missing.LoadDataSet(), ENOENT);
    std::uint32_t length = 77;
    const std::uint8_t* value = reinterpret_cast<const std::uint8_t*>("x");
    EXPECT_EQ(missing.GetElement(0x0010, 0x0010, 0, length, value), -1);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(length, 77u);
    const PatientStudyInfo info = missing.MakeInfoRecord();
    EXPECT_FALSE(info.patientName || info.patientId || info.birthDate || info.sex || info.studyDateTime ||
                 info.institutionName);

    scratch.Write("DICOM/empty", "");
    DicomDataFileIO empty("DICOM\\EMPTY", scratch.FolderText(), u"");
    EXPECT_EQ(empty.LoadDataSet(), EINVAL);
    DicomDataFileIO folder("DICOM", scratch.FolderText(), u"");
    EXPECT_EQ(folder.LoadDataSet(), EISDIR);
}

TEST_F(DicomDataFileIOTest, RefusesFileIdsOutsideTheMediumWithoutOpeningThem)
{
    scratch.Write("outside/secret.dcm", std::string(200, 'x'));
    DicomDataFileIO climbing("..\\outside\\secret.dcm", scratch.FolderText() + "DICOM/", u"");
    EXPECT_EQ(climbing.LoadDataSet(), EACCES);
    EXPECT_FALSE(climbing.Mapping().IsMapped());
    DicomDataFileIO absolute("\\" + (scratch.Path() / "outside/secret.dcm").string(), scratch.FolderText(), u"");
    EXPECT_EQ(absolute.LoadDataSet(), EACCES);
}

TEST_F(DicomDataFileIOTest, AFileIdNamingAFifoIsRefusedWithoutWaitingForAWriter)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no FIFOs in its file systems";
#else
    const auto fifo = scratch.Path() / "DICOM" / "FIFO";
    std::filesystem::create_directories(fifo.parent_path());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    DicomDataFileIO file("DICOM\\FIFO", scratch.FolderText(), u"");
    EXPECT_EQ(file.LoadDataSet(), ENODEV);
    EXPECT_EQ(file.DataSet(), nullptr);
#endif
}

#if defined(_WIN32)
std::size_t CountDescriptors()
{
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    return handles;
}

// Views of files (MEM_MAPPED), one per allocation.
std::size_t CountMappings()
{
    std::size_t count = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize)
    {
        count += region.Type == MEM_MAPPED && region.BaseAddress == region.AllocationBase ? 1 : 0;
    }
    return count;
}
#else
std::size_t CountDescriptors()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    {
        ++count;
    }
    return count;
}

std::size_t CountMappings()
{
    std::ifstream maps("/proc/self/maps");
    std::size_t count = 0;
    for (std::string line; std::getline(maps, line);)
    {
        ++count;
    }
    return count;
}
#endif

// A DICOMDIR may name one file from many image records. Each loaded record holds its own mapping, but no
// descriptor: a study of thousands of records must not run into the descriptor limit (often 1024).
TEST_F(DicomDataFileIOTest, ManyRecordsOfOneFileHoldNoDescriptorsAndLeaveNoMappings)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian).Text(0x0010, 0x0010, "PN", "Doe^Jane");
    scratch.Write("DICOM/IM0", AsText(w.Data()));
    constexpr std::size_t kRecords = 300;
    const std::size_t descriptorsBefore = CountDescriptors();
    const std::size_t mappingsBefore = CountMappings();
    {
        std::vector<std::unique_ptr<DicomDataFileIO>> chain;
        for (std::size_t i = 0; i < kRecords; ++i)
        {
            chain.push_back(std::make_unique<DicomDataFileIO>("DICOM\\IM0", scratch.FolderText(), u""));
            ASSERT_EQ(chain.back()->LoadDataSet(), 0);
        }
        EXPECT_EQ(ValueText(*chain.back(), 0x0010, 0x0010), "Doe^Jane");
        EXPECT_LE(CountDescriptors(), descriptorsBefore + 2);
        EXPECT_GE(CountMappings(), mappingsBefore + kRecords);
    }
    EXPECT_LE(CountMappings(), mappingsBefore + 2);
}

TEST_F(DicomDataFileIOTest, ShortFilesGiveAnEmptyDataSetNotAnError)
{
    for (std::size_t size : {1u, 131u, 132u, 136u})
    {
        DicomDataFileIO* file = nullptr;
        ASSERT_EQ(Load(file, test::Bytes(size, 0x10)), 0) << size;
        ASSERT_NE(file->DataSet(), nullptr);
        EXPECT_TRUE(file->DataSet()->Kept().empty()) << size;
    }
}

TEST_F(DicomDataFileIOTest, GetElementCountsOccurrencesInFileOrderAcrossNesting)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .BeginSequence(0x0008, 0x1115, Length::Undefined)
        .BeginItem(Length::Undefined)
        .Text(0x0008, 0x0060, "CS", "MR")
        .EndItem()
        .EndSequence()
        .BeginSequence(0x0008, 0x1140, Length::Defined)
        .BeginItem(Length::Defined)
        .Text(0x0008, 0x0060, "CS", "PT")
        .EndItem()
        .EndSequence()
        .Text(0x0008, 0x0060, "CS", "CT")
        .Element(0x7FE0, 0x0010, "OW", test::ToBytes("ab"))
        .Element(0x7FE0, 0x0010, "OW", test::ToBytes("cdef"));
    DicomDataFileIO* file = nullptr;
    ASSERT_EQ(Load(file, w.Data()), 0);
    // The nested MR comes first; the PT of the defined-length sequence is never seen.
    EXPECT_EQ(ValueText(*file, 0x0008, 0x0060, 0), "MR");
    EXPECT_EQ(ValueText(*file, 0x0008, 0x0060, 1), "CT");
    EXPECT_EQ(ValueText(*file, 0x0008, 0x0060, 2), "<absent>");

    std::uint32_t length = 0;
    const std::uint8_t* value = nullptr;
    ASSERT_EQ(file->GetElement(0x7FE0, 0x0010, 1, length, value), 0);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value), 4), "cdef");
    const std::uint8_t* const before = value;
    EXPECT_EQ(file->GetElement(0x7FE0, 0x0010, 2, length, value), -1);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(value, before);
    EXPECT_EQ(file->GetElement(0x7FE0, 0x0010, -1, length, value), -1);
}

TEST_F(DicomDataFileIOTest, InfoRecordBuildsTheOverlayTexts)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0020, "DA", "20240131")
        .Text(0x0008, 0x0030, "TM", "083000.25")
        .Text(0x0008, 0x0080, "LO", "General Hospital")
        .Text(0x0010, 0x0010, "PN", "Doe^Jane=Ideo^Graphic")
        .Text(0x0010, 0x0020, "LO", "ID-7")
        .Text(0x0010, 0x0030, "DA", "19701231")
        .Text(0x0010, 0x0040, "CS", "F");
    DicomDataFileIO* file = nullptr;
    ASSERT_EQ(Load(file, w.Data()), 0);
    const PatientStudyInfo info = file->MakeInfoRecord();
    EXPECT_EQ(info.patientName, u"Ideo^Graphic"); // the pad went with the last group and is not shown
    EXPECT_EQ(info.patientId, u"ID-7");
    EXPECT_EQ(info.birthDate, u"1970.12.31");
    EXPECT_EQ(info.sex, u"F"); // stored as "F "
    EXPECT_EQ(info.studyDateTime, u"2024.01.31 08:30:00.25");
    EXPECT_EQ(info.institutionName, u"General Hospital");
}

TEST_F(DicomDataFileIOTest, InfoRecordLeavesAbsentAndEmptyValuesOut)
{
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0020, "DA", "20240131")
        .Element(0x0008, 0x0080, "LO", {})
        .Text(0x0010, 0x0010, "PN", "Solo^Name")
        .Element(0x0010, 0x0030, "DA", {});
    DicomDataFileIO* file = nullptr;
    ASSERT_EQ(Load(file, w.Data()), 0);
    const PatientStudyInfo info = file->MakeInfoRecord();
    EXPECT_EQ(info.patientName, u"Solo^Name");
    EXPECT_FALSE(info.patientId);
    EXPECT_FALSE(info.birthDate);
    EXPECT_FALSE(info.sex);
    EXPECT_EQ(info.studyDateTime, u"2024.01.31");
    EXPECT_FALSE(info.institutionName);
}

// The identity is the data set's own, whether a nested patient (Referenced Patient, Other Patient IDs, Original
// Attributes) comes before or after it in the file.
TEST_F(DicomDataFileIOTest, IdentityComesFromTheTopLevelOnly)
{
    const auto nested = [](DicomWriter& w, std::uint16_t group, std::uint16_t element, const char* name) {
        w.BeginSequence(group, element, Length::Undefined)
            .BeginItem(Length::Undefined)
            .Text(0x0008, 0x0005, "CS", "ISO_IR 144")
            .Text(0x0008, 0x0080, "LO", "Nested Institution")
            .Text(0x0010, 0x0010, "PN", name)
            .Text(0x0010, 0x0020, "LO", "NESTED-ID")
            .Text(0x0010, 0x0040, "CS", "M")
            .EndItem()
            .EndSequence();
    };
    DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian).Text(0x0008, 0x0005, "CS", "ISO_IR 100");
    nested(w, 0x0008, 0x1120, "Before^Nested");
    w.Text(0x0010, 0x0010, "PN", "Top^L\xE9vel").Text(0x0010, 0x0020, "LO", "TOP-ID").Text(0x0010, 0x0040, "CS", "F");
    nested(w, 0x0010, 0x1002, "After^Nested");
    w.BeginSequence(0x0400, 0x0561, Length::Undefined).BeginItem(Length::Undefined);
    nested(w, 0x0400, 0x0550, "Deep^Nested");
    w.EndItem().EndSequence();
    DicomDataFileIO* file = nullptr;
    ASSERT_EQ(Load(file, w.Data()), 0);
    const PatientStudyInfo info = file->MakeInfoRecord();
    EXPECT_EQ(info.patientName, u"Top^L\u00E9vel"); // read in the top level's ISO_IR 100, not the nested ISO_IR 144
    EXPECT_EQ(info.patientId, u"TOP-ID");
    EXPECT_EQ(info.sex, u"F");
    EXPECT_FALSE(info.institutionName);
    // GetElement still answers every occurrence in file order.
    EXPECT_EQ(ValueText(*file, 0x0010, 0x0010), "Before^Nested ");
    EXPECT_EQ(ValueText(*file, 0x0010, 0x0010, 2), "After^Nested");
}

struct FixtureCase
{
    const char* name;
    const char* file;
    PatientStudyInfo expected;
    bool pixelData;
};

class ReaderFixtureTest : public ::testing::TestWithParam<FixtureCase>
{
};

// Files pydicom wrote (tests/data/reader/README.md); the expected texts are the values dcmdump lists for them.
TEST_P(ReaderFixtureTest, GivesTheTopLevelIdentityAndFindsThePixelData)
{
    const FixtureCase& row = GetParam();
    DicomDataFileIO file;
    ASSERT_EQ(file.LoadFile(std::string(ORBLANE_TEST_DATA_DIR) + "/reader/" + row.file), 0);
    const PatientStudyInfo info = file.MakeInfoRecord();
    EXPECT_EQ(info.patientName, row.expected.patientName);
    EXPECT_EQ(info.patientId, row.expected.patientId);
    EXPECT_EQ(info.birthDate, row.expected.birthDate);
    EXPECT_EQ(info.sex, row.expected.sex);
    EXPECT_EQ(info.studyDateTime, row.expected.studyDateTime);
    EXPECT_EQ(info.institutionName, row.expected.institutionName);
    const std::optional<ByteView> pixels = file.FindValue(0x7FE0, 0x0010);
    if (row.pixelData)
    {
        ASSERT_TRUE(pixels);
        EXPECT_EQ(std::vector<std::uint8_t>(pixels->begin(), pixels->end()),
                  (std::vector<std::uint8_t>{0, 64, 128, 255}));
    }
    else
    {
        EXPECT_FALSE(pixels);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ReaderFixtureTest,
    ::testing::Values(FixtureCase{"UnSequence", "un_sequence.dcm", {u"Orb^Test", u"ORB-1", {}, u"F", {}, {}}, true},
                      FixtureCase{"UnSequenceNeverEnding", "un_sequence_unended.dcm", {}, false},
                      FixtureCase{"NewVrs", "new_vrs.dcm", {u"Orb^Vr", u"ORB-2", {}, {}, {}, {}}, true},
                      FixtureCase{
                          "NestedIdentity",
                          "nested_identity.dcm",
                          {u"Top^Level", u"ORB-3", u"1970.01.01", u"F", u"2024.01.31 08:30:00", u"Top Institution"},
                          true},
                      FixtureCase{"SpacePaddedImplicitSyntax",
                                  "implicit_space_padded_uid.dcm",
                                  {u"Orb^Space", u"ORB-4", {}, {}, {}, {}},
                                  true}),
    test::ByCaseName());

TEST_F(DicomDataFileIOTest, ImplicitFilesGiveTheSameTexts)
{
    DicomWriter w;
    w.FileMeta(test::kImplicitLittleEndian).Text(0x0010, 0x0010, "PN", "Implicit^Pat").Text(0x0010, 0x0040, "CS", "O");
    DicomDataFileIO* file = nullptr;
    ASSERT_EQ(Load(file, w.Data()), 0);
    const PatientStudyInfo info = file->MakeInfoRecord();
    EXPECT_EQ(info.patientName, u"Implicit^Pat");
    EXPECT_EQ(info.sex, u"O");
}

} // namespace
} // namespace orblane

namespace orblane {
namespace {

// Without (0008,0005) a value is read in the default ANSI code page; with it, in the set it names.
TEST_F(DicomDataFileIOTest, NamesFollowTheFilesCharacterSetOrTheAnsiCodePage)
{
    SetDefaultAnsiCodePage(kCodePageWindows1252);
    DicomWriter plain;
    plain.FileMeta(test::kExplicitLittleEndian).Text(0x0010, 0x0010, "PN", "Ren\xE9");
    DicomDataFileIO* file = nullptr;
    ASSERT_EQ(Load(file, plain.Data()), 0);
    EXPECT_EQ(file->MakeInfoRecord().patientName, u"Ren\u00E9");

    DicomWriter cyrillic;
    cyrillic.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0005, "CS", "ISO_IR 144")
        .Text(0x0010, 0x0010, "PN", "Ren\xE9");
    ASSERT_EQ(Load(file, cyrillic.Data()), 0);
    EXPECT_EQ(file->MakeInfoRecord().patientName, u"Ren\u0449");
    SetDefaultAnsiCodePage(0);
}

} // namespace
} // namespace orblane
