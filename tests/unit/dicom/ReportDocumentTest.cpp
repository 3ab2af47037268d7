#include "dicom/ReportDocument.h"
#include "dicom/DicomDataFileIO.h"
#include "platform/Utf16.h"
#include "support/CliRun.h"
#include "support/ReportWriter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace orblane {
namespace {

const std::filesystem::path kReports = std::filesystem::path(ORBLANE_TEST_DATA_DIR) / "reports";

ReportDocument ReadFile(const std::string& name)
{
    DicomDataFileIO file;
    EXPECT_EQ(file.LoadFile(kReports / name), 0);
    ReportDocument document;
    EXPECT_EQ(document.Read(file), 0);
    return document;
}

ReportDocument ReadBuilt(const test::Bytes& bytes)
{
    ReportDocument document;
    EXPECT_EQ(document.ReadBytes(bytes), 0);
    return document;
}

struct FileCase
{
    std::string name;
    ReportKind kind;
    DocumentRefusal refusal;
    std::size_t items;
    std::string completion;
    std::string verification;
    std::string title;
};

class ReportFileTest : public testing::TestWithParam<FileCase>
{
};

// Files other tools wrote: the kind, the refusal and the flags are what their writers put there.
TEST_P(ReportFileTest, ReadsAsItsWriterMeantIt)
{
    const FileCase& c = GetParam();
    const ReportDocument document = ReadFile(c.name);
    EXPECT_EQ(document.Kind(), c.kind);
    EXPECT_EQ(document.Refusal(), c.refusal);
    EXPECT_EQ(document.Structured().items.size(), c.items);
    EXPECT_EQ(document.Structured().completion, c.completion);
    EXPECT_EQ(document.Structured().verification, c.verification);
    EXPECT_EQ(EncodeUtf8(document.Title()), c.title);
    EXPECT_EQ(EncodeUtf8(document.PatientName()), "Lindqvist^Maja");
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ReportFileTest,
    testing::Values(FileCase{"sr-comprehensive-partial.dcm", ReportKind::Sr, DocumentRefusal::None, 15, "PARTIAL",
                             "UNVERIFIED", "Imaging Measurement Report"},
                    FileCase{"sr-comprehensive-undefined.dcm", ReportKind::Sr, DocumentRefusal::None, 15, "PARTIAL",
                             "UNVERIFIED", "Imaging Measurement Report"},
                    FileCase{"sr-comprehensive-verified-implicit.dcm", ReportKind::Sr, DocumentRefusal::None, 15,
                             "COMPLETE", "VERIFIED", "Imaging Measurement Report"},
                    FileCase{"kos-of-interest.dcm", ReportKind::Kos, DocumentRefusal::None, 4, "", "", "Of Interest"},
                    FileCase{"pdf-2-pages.dcm", ReportKind::Pdf, DocumentRefusal::None, 0, "", "", "CT chest report"},
                    FileCase{"pdf-wrong-mime.dcm", ReportKind::Pdf, DocumentRefusal::MimeType, 0, "", "",
                             "CT chest report"},
                    FileCase{"pdf-not-pdf.dcm", ReportKind::Pdf, DocumentRefusal::NotPdf, 0, "", "", "CT chest report"},
                    FileCase{"cda.dcm", ReportKind::Cda, DocumentRefusal::None, 0, "", "", "Discharge note"}),
    [](const testing::TestParamInfo<FileCase>& row) {
        std::string name = row.param.name.substr(0, row.param.name.find('.'));
        for (char& c : name)
        {
            c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
        }
        return name;
    });

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// DCMTK's dsrdump is the independent rendering: the same concepts in the same order at the same depths, and each
// value it prints quoted appears in our line.
TEST(ReportDocumentTest, SrLinesFollowTheIndependentDump)
{
    for (const char* name : {"sr-comprehensive-partial", "kos-of-interest"})
    {
        const ReportDocument document = ReadFile(std::string(name) + ".dcm");
        const std::string dump = ReadText(kReports / (std::string(name) + ".dsrdump.txt"));
        std::vector<std::pair<std::size_t, std::string>> expected; // depth, concept meaning
        std::istringstream lines(dump);
        const std::regex item(R"re(^( *)<(?:[^:>]*:(?:\(,,"([^"]*)"\))?)?)re");
        for (std::string line; std::getline(lines, line);)
        {
            std::smatch match;
            if (std::regex_search(line, match, item))
            {
                expected.emplace_back(match[1].length() / 2, match[2].str());
            }
        }
        const auto& items = document.Structured().items;
        ASSERT_EQ(items.size(), expected.size()) << name;
        for (std::size_t i = 0; i < items.size(); ++i)
        {
            EXPECT_EQ(items[i].depth, expected[i].first) << name << " item " << i;
            if (items[i].byReference.empty())
            {
                EXPECT_EQ(EncodeUtf8(items[i].conceptName), expected[i].second) << name << " item " << i;
            }
        }
    }
}

TEST(ReportDocumentTest, ValuesReadAsAReaderExpects)
{
    const ReportDocument document = ReadFile("sr-comprehensive-partial.dcm");
    std::vector<std::string> lines;
    for (const ReportItem& item : document.Structured().items)
    {
        lines.push_back(EncodeUtf8(ReportItemText(item)));
    }
    EXPECT_EQ(lines[5], "Length: 12.5 mm");
    EXPECT_EQ(lines[6], "1.2.826.0.1.3680043.10.1010.28.2.7 (frame 1)");
    EXPECT_EQ(lines[7], "Finding Site: Upper lobe of right lung");
    EXPECT_EQ(lines[8], "Study Date: 2026.03.01");
    EXPECT_EQ(lines[9], "Study Time: 10:15:00");
    EXPECT_EQ(lines[14], "Length: 12.5 mm (see 1.3.2)");
    const ReportDocument verified = ReadFile("sr-comprehensive-verified-implicit.dcm");
    ASSERT_FALSE(verified.Structured().observers.empty());
    EXPECT_EQ(EncodeUtf8(verified.Structured().observers.front().name), "Okafor^Chidi^^Dr");
    const ReportDocument kos = ReadFile("kos-of-interest.dcm");
    ASSERT_EQ(kos.Structured().referenced.size(), 2u);
    EXPECT_EQ(kos.Structured().referenced[1].sopInstanceUid, "1.2.826.0.1.3680043.10.1010.28.2.8");
}

TEST(ReportDocumentTest, DocumentsKeepTheirBytesAndCdaItsText)
{
    const ReportDocument pdf = ReadFile("pdf-2-pages.dcm");
    const std::string original = ReadText(kReports / "report-2-pages.pdf");
    ASSERT_GE(pdf.Document().size(), original.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pdf.Document().data()), original.size()), original);
    const ReportDocument cda = ReadFile("cda.dcm");
    EXPECT_EQ(EncodeUtf8(cda.Text()),
              "Discharge note\nFindings\nNodule of 12.5 mm & stable.\nNo effusion\nHeart size normal");
}

// Hostile trees end in bounded work: nesting is cut at the report depth, references never recur, a missing one is
// marked, values of the wrong VR render as something.
TEST(ReportDocumentTest, HostileTreesStayBounded)
{
    for (const test::Length length : {test::Length::Defined, test::Length::Undefined})
    {
        const ReportDocument deep = ReadBuilt(test::DeepReport(10000, length));
        EXPECT_EQ(deep.Kind(), ReportKind::Sr);
        EXPECT_EQ(deep.Structured().items.size(), kMaxReportDepth + 1);
        EXPECT_EQ(deep.Structured().itemsTooDeep, 1u);
    }
    const ReportDocument looped = ReadBuilt(test::ReportWithReferences({{1, 1}, {1, 2}, {1, 9}, {2}}));
    const auto& items = looped.Structured().items;
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(EncodeUtf8(ReportItemText(items[2])), "Target: the referenced text (see 1.1)");
    EXPECT_TRUE(items[4].referenceFound); // 1.2 is the referring item itself
    EXPECT_FALSE(items[6].referenceFound);
    EXPECT_EQ(EncodeUtf8(ReportItemText(items[6])), "(see 1.9, not in the document)");
    const ReportDocument odd = ReadBuilt(test::ReportWithWrongVrs());
    ASSERT_EQ(odd.Structured().items.size(), 3u);
    EXPECT_EQ(EncodeUtf8(odd.Structured().items[2].conceptName), "Odd text");
}

TEST(ReportDocumentTest, CommandLineWritesPagesAndTree)
{
    const std::filesystem::path out = std::filesystem::temp_directory_path() / "orblane-report-cli-test";
    std::filesystem::remove_all(out);
    const test::CliResult pdf =
        test::RunCli(ORBLANE_CLI_PATH, {"report", (kReports / "pdf-2-pages.dcm").string(), (out / "pdf").string()});
    if (!ORBLANE_CLI_RENDERS_PDF)
    {
        // A build without Qt says so and fails, never writes an empty success.
        EXPECT_EQ(pdf.exitCode, 1);
        EXPECT_NE(pdf.err.find("no PDF renderer"), std::string::npos) << pdf.err;
    }
    else
    {
        ASSERT_EQ(pdf.exitCode, 0) << pdf.err;
        EXPECT_EQ(pdf.out, "{\"kind\": \"pdf\", \"pages\": 2}\n");
        // An A4 page of 595 x 842 points at 96 dpi: 794 x 1123 pixels, as pdftoppm -r 96 gives.
        const std::string png = ReadText(out / "pdf" / "page-2.png");
        ASSERT_GE(png.size(), 24u);
        const auto be32 = [&png](std::size_t at) {
            return (static_cast<std::uint32_t>(static_cast<unsigned char>(png[at])) << 24) |
                   (static_cast<std::uint32_t>(static_cast<unsigned char>(png[at + 1])) << 16) |
                   (static_cast<std::uint32_t>(static_cast<unsigned char>(png[at + 2])) << 8) |
                   static_cast<unsigned char>(png[at + 3]);
        };
        EXPECT_EQ(be32(16), 794u);
        EXPECT_EQ(be32(20), 1123u);
    }
    const test::CliResult sr = test::RunCli(
        ORBLANE_CLI_PATH, {"report", (kReports / "sr-comprehensive-partial.dcm").string(), (out / "sr").string()});
    ASSERT_EQ(sr.exitCode, 0) << sr.err;
    EXPECT_EQ(sr.out,
              "{\"kind\": \"sr\", \"items\": 15, \"completion\": \"PARTIAL\", \"verification\": \"UNVERIFIED\"}\n");
    EXPECT_NE(ReadText(out / "sr" / "report.txt").find("\n    Length: 12.5 mm\n      1.2.826"), std::string::npos);
    const test::CliResult refused =
        test::RunCli(ORBLANE_CLI_PATH, {"report", (kReports / "pdf-wrong-mime.dcm").string(), (out / "bad").string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("This document cannot be shown"), std::string::npos);
    std::filesystem::remove_all(out);
}

} // namespace
} // namespace orblane
