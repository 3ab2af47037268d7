// Folder scans and command-line paths over trees written here: which files count as images, how they group into
// studies and in what order a study's files reach the viewer. Expected orders are worked by hand from the numbers
// each file is given.
#include "dicom/StudySource.h"
#include "dicom/ScanStudySource.h"

#include "support/CaseName.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace orblane {
namespace {

namespace fs = std::filesystem;
using test::DicomWriter;
using test::kExplicitLittleEndian;

struct ImageFields
{
    std::string studyUid;
    std::string seriesUid;
    std::string seriesNumber; // empty: no (0020,0011)
    std::string instanceNumber;
    std::string patientName = "Doe^Jane";
    std::string modality = "CT";
    std::size_t privateBytes = 0;       // an OB value before the pixel data, to push it past the first read
    std::string seriesDescription = {}; // Latin-1 (ISO_IR 100) where given
};

void WriteImage(const fs::path& path, const ImageFields& fields)
{
    fs::create_directories(path.parent_path());
    DicomWriter writer;
    writer.FileMeta(kExplicitLittleEndian);
    if (!fields.seriesDescription.empty())
    {
        writer.Text(0x0008, 0x0005, "CS", "ISO_IR 100");
    }
    writer.Text(0x0008, 0x0020, "DA", "20240105")
        .Text(0x0008, 0x0030, "TM", "101500")
        .Text(0x0008, 0x0060, "CS", fields.modality);
    if (!fields.seriesDescription.empty())
    {
        writer.Text(0x0008, 0x103E, "LO", fields.seriesDescription);
    }
    writer.Text(0x0010, 0x0010, "PN", fields.patientName)
        .Text(0x0010, 0x0020, "LO", "ID-" + fields.patientName.substr(0, 3));
    writer.Text(0x0020, 0x000D, "UI", fields.studyUid).Text(0x0020, 0x000E, "UI", fields.seriesUid);
    if (!fields.seriesNumber.empty())
    {
        writer.Text(0x0020, 0x0011, "IS", fields.seriesNumber);
    }
    if (!fields.instanceNumber.empty())
    {
        writer.Text(0x0020, 0x0013, "IS", fields.instanceNumber);
    }
    writer.UInt16(0x0028, 0x0010, 1).UInt16(0x0028, 0x0011, 1);
    if (fields.privateBytes != 0)
    {
        writer.Element(0x0029, 0x1010, "OB", test::Bytes(fields.privateBytes, 0x7F));
    }
    writer.Element(0x7FE0, 0x0010, "OW", test::Bytes(2, 0));
    writer.WriteTo(path);
}

std::vector<std::string> ChainOf(StudySource& source, std::uint32_t key)
{
    DicomFileChain chain;
    source.CollectImageFiles(chain, key, u"");
    std::vector<std::string> ids;
    for (const auto& file : chain)
    {
        ids.push_back(file->FileId());
    }
    return ids;
}

std::vector<StudyEntry> RowsOf(StudySource& source)
{
    source.WaitUntilFinished();
    std::vector<StudyEntry> rows;
    std::vector<StudyEntry> changed;
    source.TakeRows(rows, changed);
    return rows;
}

const StudyEntry* RowOf(const std::vector<StudyEntry>& rows, std::u16string_view name)
{
    for (const StudyEntry& row : rows)
    {
        if (row.patientName == name)
        {
            return &row;
        }
    }
    return nullptr;
}

TEST(ScanStudySourceTest, GroupsImagesIntoStudiesInSeriesThenInstanceOrderAndPassesOverEverythingElse)
{
    const test::ScratchFolder scratch;
    const fs::path root = scratch.Path();
    // Study A: series 1 holds instances 2, 10 and one without a number (numbers compare as numbers, the unnumbered
    // last); series 2 comes after although its file sorts first by name.
    WriteImage(root / "a/z1.dcm", {"1.2.3.1", "1.2.3.1.2", "2", "1", "Doe^Jane", "MR"});
    WriteImage(root / "a/b/y.dcm", {"1.2.3.1", "1.2.3.1.1", "1", "10"});
    WriteImage(root / "x.dcm", {"1.2.3.1", "1.2.3.1.1", " 1", "2 "});
    WriteImage(root / "c/none.dcm", {"1.2.3.1", "1.2.3.1.1", "1", ""});
    // Study B: its second image's pixel data lies beyond the first read.
    WriteImage(root / "b.dcm", {"1.2.3.2", "1.2.3.2.5", "5", "1", "Roe^Rich", "DX"});
    WriteImage(root / "deep/big.dcm", {"1.2.3.2", "1.2.3.2.5", "5", "2", "Roe^Rich", "DX", 40000, "H\xE4nde "});

    // Not images: text, a short file, a DICOM file without pixel data, a DICOMDIR, and a file whose only pixel
    // data is an icon inside a sequence.
    scratch.Write("notes.txt", "These are not the files you are looking for.\n");
    scratch.Write("short.dcm", std::string(100, '\0'));
    DicomWriter report;
    report.FileMeta(kExplicitLittleEndian).Text(0x0020, 0x000D, "UI", "1.2.3.9");
    report.WriteTo(root / "report.dcm");
    std::filesystem::create_directories(root / "sub");
    test::BuildDicomDir({{"Doe^Jane", "ID", "", "", "", {{"20240105", "", {{"CT", {"X"}}}}}}})
        .WriteTo(root / "sub/DICOMDIR");
    DicomWriter icon;
    icon.FileMeta(kExplicitLittleEndian)
        .Text(0x0020, 0x000D, "UI", "1.2.3.3")
        .BeginSequence(0x0088, 0x0200, test::Length::Undefined)
        .BeginItem(test::Length::Undefined)
        .Element(0x7FE0, 0x0010, "OW", test::Bytes(2, 0))
        .EndItem()
        .EndSequence();
    icon.WriteTo(root / "icon.dcm");

    ScanStudySource source({root});
    const std::vector<StudyEntry> rows = RowsOf(source);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(source.ImageCount(), 6u);
    EXPECT_EQ(source.FilesRead(), 11u);

    const StudyEntry* a = RowOf(rows, u"Doe^Jane");
    const StudyEntry* b = RowOf(rows, u"Roe^Rich");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ChainOf(source, a->firstSeries),
              (std::vector<std::string>{"x.dcm", "a/b/y.dcm", "c/none.dcm", "a/z1.dcm"}));
    EXPECT_EQ(ChainOf(source, b->firstSeries), (std::vector<std::string>{"b.dcm", "deep/big.dcm"}));
    // The row shows the study's first image: series 1's CT, not the MR of series 2.
    EXPECT_EQ(a->modality, u"CT");
    EXPECT_EQ(a->patientId, u"ID-Doe");
    EXPECT_EQ(a->studyDateTime, u"2024.01.05 10:15:00");
    EXPECT_EQ(b->modality, u"DX");

    // The chain's files load from their paths as the viewer will load them.
    DicomFileChain chain;
    source.CollectImageFiles(chain, b->firstSeries, u"label");
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[1]->LoadDataSet(), 0);
    EXPECT_EQ(chain[1]->StudyLabel(), u"label");
    // And each carries its series as the scan read it, which the viewer's strip groups them by.
    EXPECT_EQ(chain[1]->Scanned().uid, "1.2.3.2.5");
    EXPECT_EQ(chain[1]->Scanned().number, 5);
    EXPECT_EQ(chain[1]->Scanned().modality, "DX");
    EXPECT_EQ(chain[1]->Scanned().description, u"H\u00E4nde");
}

// Reports on a medium without a DICOMDIR: offered as a DICOMDIR's report records are (typed by their class, after
// the images of their series order), never taking the row from an image, and a study of reports alone still listed.
TEST(ScanStudySourceTest, OffersReportsBesideTheImagesOfTheirStudy)
{
    const test::ScratchFolder scratch;
    const fs::path root = scratch.Path();
    const auto writeReport = [&root](const std::string& name, const std::string& sopClass, const std::string& study,
                                     const std::string& patient, std::size_t documentBytes) {
        DicomWriter report;
        report.FileMeta(kExplicitLittleEndian)
            .Text(0x0008, 0x0016, "UI", sopClass)
            .Text(0x0008, 0x0060, "CS", documentBytes != 0 ? "DOC" : "SR")
            .Text(0x0010, 0x0010, "PN", patient)
            .Text(0x0020, 0x000D, "UI", study)
            .Text(0x0020, 0x0011, "IS", "0");
        if (documentBytes != 0)
        {
            // The document runs past the first read: the scan must not need to reach its end.
            report.Element(0x0042, 0x0011, "OB", test::Bytes(documentBytes, 0x25));
        }
        report.WriteTo(root / name);
    };
    WriteImage(root / "ct.dcm", {"1.2.3.1", "1.2.3.1.1", "1", "1"});
    writeReport("sr.dcm", "1.2.840.10008.5.1.4.1.1.88.33", "1.2.3.1", "Doe^Jane", 0);
    writeReport("pdf.dcm", "1.2.840.10008.5.1.4.1.1.104.1", "1.2.3.2", "Roe^Rich", 200000);
    // A presentation state has no pixel data and is no report: still passed over.
    writeReport("pr.dcm", "1.2.840.10008.5.1.4.1.1.11.1", "1.2.3.1", "Doe^Jane", 0);

    ScanStudySource source({root});
    const std::vector<StudyEntry> rows = RowsOf(source);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(source.ImageCount(), 1u);
    const StudyEntry* withImages = RowOf(rows, u"Doe^Jane");
    const StudyEntry* reportOnly = RowOf(rows, u"Roe^Rich");
    ASSERT_NE(withImages, nullptr);
    ASSERT_NE(reportOnly, nullptr);
    EXPECT_EQ(withImages->modality, u"CT");
    // As stored, pad and all, as the rows of images show theirs.
    EXPECT_EQ(reportOnly->modality, u"DOC ");

    DicomFileChain chain;
    source.CollectImageFiles(chain, withImages->firstSeries, u"");
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0]->FileId(), "sr.dcm");
    EXPECT_EQ(chain[0]->ListedSopClass(), "1.2.840.10008.5.1.4.1.1.88.33");
    EXPECT_EQ(chain[1]->FileId(), "ct.dcm");
    EXPECT_EQ(chain[1]->ListedSopClass(), "1.2.840.10008.5.1.4.1.1.7");
    EXPECT_EQ(ChainOf(source, reportOnly->firstSeries), std::vector<std::string>{"pdf.dcm"});
}

TEST(ScanStudySourceTest, FollowsLinksOnlyInsideTheFolderEndsLinkLoopsAndListsALinkedFileOnce)
{
#if defined(_WIN32)
    GTEST_SKIP() << "making a symbolic link on Windows needs a privilege (or developer mode) the test cannot count on";
#endif
    const test::ScratchFolder scratch;
    const fs::path root = scratch.Path() / "medium";
    const fs::path outside = scratch.Path() / "outside";
    WriteImage(root / "in.dcm", {"1.2.3.1", "1.2.3.1.1", "1", "1"});
    WriteImage(outside / "out.dcm", {"1.2.3.2", "1.2.3.2.1", "1", "1", "Out^Side"});
    fs::create_directories(root / "sub");
    fs::create_directory_symlink(root, root / "loop");
    fs::create_directory_symlink("..", root / "sub/up");
    fs::create_symlink("self", root / "self");
    fs::create_symlink("in.dcm", root / "alias.dcm");
    fs::create_directory_symlink(outside, root / "out");
    fs::create_symlink(outside / "out.dcm", root / "outfile.dcm");

    ScanStudySource source({root});
    const std::vector<StudyEntry> rows = RowsOf(source);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].patientName, u"Doe^Jane");
    const std::vector<std::string> chain = ChainOf(source, rows[0].firstSeries);
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_TRUE(chain[0] == "in.dcm" || chain[0] == "alias.dcm") << chain[0];
}

TEST(ScanStudySourceTest, PassesOverAFileItCannotRead)
{
#if defined(_WIN32)
    GTEST_SKIP() << "chmod does not take read access away on Windows";
#else
    const test::ScratchFolder scratch;
    WriteImage(scratch.Path() / "readable.dcm", {"1.2.3.1", "1.2.3.1.1", "1", "1"});
    const fs::path locked = scratch.Path() / "locked.dcm";
    WriteImage(locked, {"1.2.3.2", "1.2.3.2.1", "1", "1", "Roe^Rich"});
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    const int probe = ::open(locked.c_str(), O_RDONLY);
    if (probe >= 0)
    {
        ::close(probe);
        GTEST_SKIP() << "this user reads a file of mode 000 (root): an unreadable file cannot be made here";
    }
    ScanStudySource source({scratch.Path()});
    const std::vector<StudyEntry> rows = RowsOf(source);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].patientName, u"Doe^Jane");
#endif
}

struct PathCase
{
    const char* name;
    std::vector<std::string> paths; // below the scratch folder
    bool opens;
    StudySourceKind kind;
    std::size_t rows;
};

void PrintTo(const PathCase& row, std::ostream* out)
{
    *out << row.name;
}

class OpenStudySourceTest : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(OpenStudySourceTest, TellsTheKindOfWhatThePathsName)
{
    const test::ScratchFolder scratch;
    const fs::path root = scratch.Path();
    // medium/: a DICOMDIR (in lower case, as some media are mounted) naming one image; loose/: two images of
    // two studies and no DICOMDIR.
    std::filesystem::create_directories(root / "medium");
    test::BuildDicomDir({{"Dir^Patient", "D1", "", "", "", {{"20240105", "", {{"CT", {"IMG"}}}}}}})
        .WriteTo(root / "medium/dicomdir");
    WriteImage(root / "medium/IMG", {"1.2.3.9", "1.2.3.9.1", "1", "1"});
    WriteImage(root / "loose/one.dcm", {"1.2.3.1", "1.2.3.1.1", "1", "1"});
    WriteImage(root / "loose/two.dcm", {"1.2.3.2", "1.2.3.2.1", "1", "1", "Roe^Rich"});
    scratch.Write("empty/readme.txt", "nothing here");

    const PathCase& row = GetParam();
    std::vector<fs::path> paths;
    for (const std::string& path : row.paths)
    {
        paths.push_back(root / path);
    }
    OpenedStudySource opened = OpenStudySource(paths);
    ASSERT_EQ(opened.source != nullptr, row.opens);
    if (!row.opens)
    {
        EXPECT_EQ(opened.error.code, ErrorCode::DicomDirUnreadable);
        return;
    }
    EXPECT_EQ(opened.kind, row.kind);
    EXPECT_EQ(RowsOf(*opened.source).size(), row.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OpenStudySourceTest,
    ::testing::Values(PathCase{"FolderWithDicomDir", {"medium"}, true, StudySourceKind::DicomDir, 1},
                      PathCase{"DicomDirFile", {"medium/dicomdir"}, true, StudySourceKind::DicomDir, 1},
                      PathCase{"FolderWithoutDicomDir", {"loose"}, true, StudySourceKind::Scan, 2},
                      PathCase{"OneFile", {"loose/two.dcm"}, true, StudySourceKind::Files, 1},
                      PathCase{"TwoFiles", {"loose/one.dcm", "loose/two.dcm"}, true, StudySourceKind::Files, 2},
                      PathCase{"TwoFoldersAreScannedBoth", {"loose", "medium"}, true, StudySourceKind::Scan, 3},
                      PathCase{"FolderWithoutImages", {"empty"}, true, StudySourceKind::Scan, 0},
                      PathCase{"MissingPath", {"loose", "nowhere"}, false, StudySourceKind::Scan, 0}),
    test::ByCaseName());

TEST(StudySourceTest, KnowsTheNamesAMediumGivesItsDicomDir)
{
    for (const char* name : {"DICOMDIR", "dicomdir", "DicomDir", "DICOMDIR;1", "DICOMDIR.;1"})
    {
        EXPECT_TRUE(IsDicomDirName(name)) << name;
    }
    for (const char* name : {"DICOMDIR2", "DICOMDI", "DICOMDIR.dcm", ""})
    {
        EXPECT_FALSE(IsDicomDirName(name)) << name;
    }
}

} // namespace
} // namespace orblane

namespace orblane {
namespace {

// A folder scan reads the header of a deflated or big-endian copy (written by DCMTK) as that of its original.
TEST(ScanStudySourceTest, ReadsDeflatedAndBigEndianHeadersAsTheirOriginals)
{
    const fs::path data = ORBLANE_TEST_DATA_DIR;
    ScannedHeader original;
    ASSERT_EQ(ReadImageHeader(data / "files/CT_small.dcm", original), HeaderVerdict::Image);
    for (const char* copy : {"datasets/CT_small_deflated.dcm", "datasets/CT_small_bigendian.dcm"})
    {
        ScannedHeader header;
        ASSERT_EQ(ReadImageHeader(data / copy, header), HeaderVerdict::Image) << copy;
        EXPECT_EQ(std::tie(header.studyUid, header.seriesUid, header.seriesNumber, header.instanceNumber,
                           header.patientName, header.patientId, header.studyDate, header.studyTime, header.modality),
                  std::tie(original.studyUid, original.seriesUid, original.seriesNumber, original.instanceNumber,
                           original.patientName, original.patientId, original.studyDate, original.studyTime,
                           original.modality))
            << copy;
    }
}

} // namespace
} // namespace orblane
