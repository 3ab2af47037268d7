// The report window on the demo medium's follow-up reports and on the report fixtures: pages and page keys, the
// structured report's lines and banner, saving the PDF as it is, and documents that cannot be shown.
#include "viewer/CDlgReport.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/DicomDirFileIO.h"
#include "dicom/ScanStudySource.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"
#include "viewer/CDlgImgViewer.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orblane {
namespace {

const std::filesystem::path kReports = std::filesystem::path(ORBLANE_TEST_DATA_DIR) / "reports";
const std::string kMedium = std::string(ORBLANE_DEMO_MEDIUM_DIR) + "/";
// The follow-up CT's documents, in their series.
const std::string kDemoPdf = "DICOM\\PAT00001\\STU00002\\SER00002\\IMG00001";
const std::string kDemoSr = "DICOM\\PAT00001\\STU00002\\SER00003\\IMG00001";
const std::string kDemoKos = "DICOM\\PAT00001\\STU00002\\SER00004\\IMG00001";

std::vector<char> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::unique_ptr<DicomDataFileIO> Fixture(const std::string& name)
{
    return DicomDataFileIO::ForPath(kReports / name, name, u"");
}

std::unique_ptr<DicomDataFileIO> OnMedium(const std::string& fileId)
{
    return std::make_unique<DicomDataFileIO>(fileId, kMedium, u"");
}

TEST(ReportWindowTest, DemoPdfShowsItsPagesAndThePageKeysMove)
{
    auto file = OnMedium(kDemoPdf);
    CDlgReport window(*file);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(window.Shown());
    EXPECT_EQ(window.Kind(), ReportKind::Pdf);
    EXPECT_EQ(window.PageCount(), 2);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("CT Chest Follow-up Report - M\u00FCller^Anna"));
    EXPECT_EQ(window.CurrentPage(), 0);
    QWidget* keys = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &window;
    QTest::keyClick(keys, Qt::Key_PageDown);
    EXPECT_EQ(window.CurrentPage(), 1);
    QTest::keyClick(keys, Qt::Key_PageDown); // the last page stays
    EXPECT_EQ(window.CurrentPage(), 1);
    QTest::keyClick(keys, Qt::Key_Home);
    EXPECT_EQ(window.CurrentPage(), 0);
    QTest::keyClick(keys, Qt::Key_End);
    EXPECT_EQ(window.CurrentPage(), 1);
    QTest::keyClick(keys, Qt::Key_PageUp);
    EXPECT_EQ(window.CurrentPage(), 0);
    const qreal fitted = window.ZoomFactor();
    QTest::keyClick(keys, Qt::Key_Plus);
    EXPECT_GT(window.ZoomFactor(), fitted);
    QTest::keyClick(keys, Qt::Key_Minus);
    QTest::keyClick(keys, Qt::Key_Minus);
    EXPECT_LT(window.ZoomFactor(), fitted);
}

// A PDF of `pages` empty pages, encapsulated.
std::filesystem::path WriteManyPagePdf(const test::ScratchFolder& folder, int pages)
{
    std::string kids;
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "",
                                        "<< /Length 0 >>\nstream\n\nendstream"};
    for (int i = 0; i < pages; ++i)
    {
        kids += std::to_string(4 + i) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 3 0 R >>");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    std::string pdf = "%PDF-1.4\n";
    std::string xref;
    for (std::size_t n = 0; n < objects.size(); ++n)
    {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
        xref += entry;
        pdf += std::to_string(n + 1) + " 0 obj\n" + objects[n] + "\nendobj\n";
    }
    const std::size_t start = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " +
           std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
    if (pdf.size() % 2 != 0)
    {
        pdf += '\n';
    }
    test::DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.104.1")
        .Text(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.10.1010.28.77")
        .Text(0x0042, 0x0010, "ST", "Many pages")
        .Element(0x0042, 0x0011, "OB", test::ToBytes(pdf))
        .Text(0x0042, 0x0012, "LO", "application/pdf");
    const std::filesystem::path path = folder.Path() / "many-pages.dcm";
    w.WriteTo(path);
    return path;
}

// A document of more pages than one scrolled column holds shows a page at a time: it opens at once (all its pages
// laid out would hold the window for minutes at 200 000) and the page keys still reach every page.
TEST(ReportWindowTest, APdfOfManyPagesOpensAndPagesToItsEnd)
{
    test::ScratchFolder scratch;
    auto file = DicomDataFileIO::ForPath(WriteManyPagePdf(scratch, 5000), "many", u"");
    CDlgReport window(*file);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(window.PageCount(), 5000);
    QWidget* keys = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &window;
    QTest::keyClick(keys, Qt::Key_End);
    EXPECT_EQ(window.CurrentPage(), 4999);
    QTest::keyClick(keys, Qt::Key_PageUp);
    EXPECT_EQ(window.CurrentPage(), 4998);
}

// Read from memory: showing a PDF writes nothing into the temporary folder, the home folder or the cache.
TEST(ReportWindowTest, ShowingAPdfWritesNoFileAnywhere)
{
    test::ScratchFolder scratch;
    const char* names[] = {"TMPDIR", "HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"};
    std::vector<QByteArray> saved;
    for (const char* name : names)
    {
        saved.push_back(qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        qputenv(name, QByteArray::fromStdString(scratch.Path().string()));
    }
    {
        auto fixture = Fixture("pdf-20-pages.dcm");
        CDlgReport window(*fixture);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_EQ(window.PageCount(), 20);
        window.GoToPage(19);
        QTest::qWait(100);
        EXPECT_EQ(window.CurrentPage(), 19);
    }
    for (std::size_t i = 0; i < std::size(names); ++i)
    {
        if (saved[i].isNull())
        {
            qunsetenv(names[i]);
        }
        else
        {
            qputenv(names[i], saved[i]);
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(scratch.Path()));
}

// A study that holds a report and no image opens into the report, not into an empty page.
TEST(ReportWindowTest, AStudyOfOneReportOpensIntoIt)
{
    test::ScratchFolder settings;
    CDlgImgViewer viewer((settings.Path() / "Orblane.ini").string());
    auto sr = OnMedium(kDemoSr);
    sr->SetListedUids("1.2.840.10008.5.1.4.1.1.88.33", "");
    viewer.AddImageFile(std::move(sr));
    QString opened;
    QTimer::singleShot(200, [&opened] {
        if (QWidget* modal = QApplication::activeModalWidget())
        {
            opened = modal->windowTitle();
            modal->close();
        }
    });
    EXPECT_TRUE(viewer.RunReportsOnly());
    EXPECT_TRUE(opened.startsWith(QStringLiteral("Diagnostic Imaging Report"))) << opened.toStdString();
    EXPECT_FALSE(viewer.isVisible());
}

// The PDF's bytes as stored, into the folder chosen; never onto the medium the report came from.
TEST(ReportWindowTest, SaveAsPdfWritesTheDocumentAsItIs)
{
    test::ScratchFolder out;
    auto fixture = Fixture("pdf-2-pages.dcm");
    CDlgReport window(*fixture);
    ASSERT_TRUE(window.Shown());
    const QString saved = QString::fromStdString((out.Path() / "report.pdf").string());
    ASSERT_TRUE(window.SavePdfTo(saved));
    EXPECT_EQ(ReadAll(out.Path() / "report.pdf"), ReadAll(kReports / "report-2-pages.pdf"));

    auto demo = OnMedium(kDemoPdf);
    CDlgReport onMedium(*demo);
    ASSERT_TRUE(onMedium.Shown());
    EXPECT_FALSE(onMedium.SavePdfTo(QString::fromStdString(kMedium + "DICOM/report.pdf")));
    EXPECT_FALSE(std::filesystem::exists(kMedium + "DICOM/report.pdf"));

    // A medium without a DICOMDIR, scanned: its folder is the one scanned, above the file's own.
    const std::filesystem::path disc = out.Path() / "disc";
    std::filesystem::create_directories(disc / "DOCS");
    std::filesystem::copy_file(kReports / "pdf-2-pages.dcm", disc / "DOCS/pdf.dcm");
    auto scanned = DicomDataFileIO::ForPath(disc / "DOCS/pdf.dcm", "DOCS/pdf.dcm", u"");
    CDlgReport fromScan(*scanned);
    ASSERT_TRUE(fromScan.Shown());
    EXPECT_FALSE(fromScan.SavePdfTo(QString::fromStdString((disc / "report.pdf").string())));
    EXPECT_FALSE(std::filesystem::exists(disc / "report.pdf"));
    EXPECT_TRUE(fromScan.SavePdfTo(QString::fromStdString((out.Path() / "scanned.pdf").string())));
}

TEST(ReportWindowTest, StructuredReportsShowTheirLinesBannerAndObservers)
{
    struct Case
    {
        std::unique_ptr<DicomDataFileIO> file;
        QString line;
        QString banner; // empty: none
    };
    Case cases[] = {
        {OnMedium(kDemoSr), QStringLiteral("Nodule size: 8.5 mm"), QStringLiteral("UNVERIFIED")},
        {Fixture("sr-comprehensive-partial.dcm"), QStringLiteral("Length: 12.5 mm"), QStringLiteral("PARTIAL")},
        {Fixture("sr-comprehensive-verified-implicit.dcm"), QStringLiteral("Length: 12.5 mm"), QString()},
        {OnMedium(kDemoKos), QStringLiteral("Of Interest"), QString()},
        {Fixture("cda.dcm"), QStringLiteral("Nodule of 12.5 mm & stable."), QString()},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.file->FileId());
        CDlgReport window(*c.file);
        ASSERT_TRUE(window.Shown());
        EXPECT_TRUE(window.DocumentText().contains(c.line)) << window.DocumentText().toStdString();
        if (c.banner.isEmpty())
        {
            EXPECT_TRUE(window.BannerText().isEmpty());
        }
        else
        {
            EXPECT_TRUE(window.BannerText().contains(c.banner)) << window.BannerText().toStdString();
        }
    }
    auto demo = OnMedium(kDemoSr);
    CDlgReport sr(*demo);
    EXPECT_TRUE(sr.DocumentText().contains(QStringLiteral("Author: Reader^Rita^^Dr.")));
    EXPECT_EQ(sr.References().size(), 1u);
}

// Key images open in a viewer of their own, found on the medium by their SOP Instance UIDs.
TEST(ReportWindowTest, KeyImagesOpenAsTheirOwnSet)
{
    auto kos = OnMedium(kDemoKos);
    CDlgReport window(*kos);
    ASSERT_TRUE(window.Shown());
    ASSERT_EQ(window.References().size(), 2u);
    std::vector<std::string> asked;
    window.SetImageOpener([&asked](const std::vector<std::string>& uids) {
        asked = uids;
        return true;
    });
    QPushButton* open = nullptr;
    for (QPushButton* button : window.findChildren<QPushButton*>())
    {
        if (button->text() == QStringLiteral("Open key images"))
        {
            open = button;
        }
    }
    ASSERT_NE(open, nullptr);
    QTest::mouseClick(open, Qt::LeftButton);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], window.References()[0].sopInstanceUid);
}

// A study's reports are kept apart from its images, and offered by the Reports button.
TEST(ReportWindowTest, ViewerOffersTheStudysReportsAndKeepsThemOffThePage)
{
    DicomDirFileIO dir;
    ASSERT_EQ(dir.OpenDicomDir(kMedium), 0);
    const std::optional<StudyEntry> followUp = dir.GetStudyEntry(1);
    ASSERT_TRUE(followUp);
    DicomFileChain chain;
    dir.CollectImageFiles(chain, followUp->firstSeries, u"");
    test::ScratchFolder settings;
    CDlgImgViewer viewer((settings.Path() / "Orblane.ini").string());
    for (auto& file : chain)
    {
        viewer.AddImageFile(std::move(file));
    }
    EXPECT_EQ(viewer.ReportCount(), 3u);
    EXPECT_EQ(viewer.Images().FileCount(), 40);
    EXPECT_FALSE(viewer.RunReportsOnly());
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    ASSERT_NE(viewer.ReportsButton(), nullptr);
    EXPECT_TRUE(viewer.ReportsButton()->isVisible());
    const QWidget* measure = viewer.findChild<QWidget*>(QStringLiteral("MEASURE"));
    ASSERT_NE(measure, nullptr);
    // Clear of the fifteen controls and of each other, also where the row beside the controls is short (at 1280
    // pixels the measuring button's steady width once covered the reports button).
    for (const int width : {1920, 1280, 1100})
    {
        viewer.resize(width, 900);
        QCoreApplication::processEvents();
        const QRect reports = viewer.ReportsButton()->geometry();
        EXPECT_GE(reports.left(), viewer.Control(CDlgImgViewer::kEndButton)->geometry().right()) << width;
        EXPECT_GE(measure->geometry().left(), viewer.Control(CDlgImgViewer::kEndButton)->geometry().right()) << width;
        EXPECT_FALSE(reports.intersects(measure->geometry())) << width;
        EXPECT_TRUE(viewer.rect().contains(reports)) << width;
    }
}

// A folder without a DICOMDIR: the scan reads each file's SOP Instance UID, so the SR's image link opens its
// image as on a medium whose directory lists it.
TEST(ReportWindowTest, AScannedFoldersReportOpensTheImageItReferences)
{
    auto sr = OnMedium(kDemoSr);
    CDlgReport window(*sr);
    ASSERT_EQ(window.References().size(), 1u);
    const std::string uid = window.References()[0].sopInstanceUid;
    DicomDirFileIO dir;
    ASSERT_EQ(dir.OpenDicomDir(kMedium), 0);
    DicomFileChain listed;
    dir.CollectImageFiles(listed, dir.GetStudyEntry(1)->firstSeries, u"");
    test::ScratchFolder folder;
    const auto copy = [&folder](const std::string& fileId, const char* name) {
        // The ID as stored, its pad dropped.
        std::string path = kMedium + fileId.substr(0, fileId.find_last_not_of(' ') + 1);
        std::replace(path.begin(), path.end(), '\\', '/');
        std::filesystem::copy_file(path, folder.Path() / name);
    };
    copy(kDemoSr, "report.dcm");
    for (const auto& file : listed)
    {
        if (file->ListedSopInstance() == uid)
        {
            copy(file->FileId(), "slice.dcm");
        }
    }
    // A second image, so that the link must find its image rather than the study's only one.
    ASSERT_NE(listed.front()->ListedSopInstance(), uid);
    copy(listed.front()->FileId(), "other.dcm");

    ScanStudySource source({folder.Path()});
    source.WaitUntilFinished();
    std::vector<StudyEntry> rows;
    std::vector<StudyEntry> changed;
    source.TakeRows(rows, changed);
    ASSERT_EQ(rows.size(), 1u);
    DicomFileChain chain;
    source.CollectImageFiles(chain, rows[0].firstSeries, u"");
    test::ScratchFolder settings;
    CDlgImgViewer viewer((settings.Path() / "Orblane.ini").string());
    for (auto& file : chain)
    {
        viewer.AddImageFile(std::move(file));
    }
    ASSERT_EQ(viewer.ReportCount(), 1u);
    std::vector<std::string> shown;
    bool decoded = false;
    QTimer::singleShot(200, [&shown, &decoded] {
        if (auto* opened = qobject_cast<CDlgImgViewer*>(QApplication::activeModalWidget()))
        {
            for (int k = 0; k < opened->Images().FileCount(); ++k)
            {
                shown.push_back(opened->Images().FileAt(k)->FileId());
            }
            decoded = opened->Images().GetImage(0) != nullptr;
            opened->close();
        }
    });
    EXPECT_TRUE(viewer.OpenReferencedImages({uid}));
    EXPECT_EQ(shown, std::vector<std::string>{"slice.dcm"});
    EXPECT_TRUE(decoded);
}

TEST(ReportWindowTest, DocumentsThatCannotBeShownSaySo)
{
    test::ScratchFolder scratch;
    const std::filesystem::path garbage = scratch.Write("garbage.dcm", "not a DICOM file at all");
    const std::filesystem::path files[] = {kReports / "pdf-not-pdf.dcm", kReports / "pdf-wrong-mime.dcm", garbage,
                                           scratch.Path() / "missing.dcm"};
    for (const std::filesystem::path& path : files)
    {
        SCOPED_TRACE(path.string());
        auto file = DicomDataFileIO::ForPath(path, path.filename().string(), u"");
        CDlgReport window(*file);
        EXPECT_FALSE(window.Shown());
        EXPECT_FALSE(window.SavePdfTo(QString::fromStdString((scratch.Path() / "out.pdf").string())));
        bool message = false;
        for (const QLabel* label : window.findChildren<QLabel*>())
        {
            message = message || label->text() == QStringLiteral("This document cannot be shown");
        }
        EXPECT_TRUE(message);
    }
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "out.pdf"));
}

} // namespace
} // namespace orblane
