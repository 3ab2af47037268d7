#pragma once

#include "dicom/ReportDocument.h"

#include <QBuffer>
#include <QByteArray>
#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QKeyEvent;
class QLabel;
class QPdfDocument;
class QPdfView;
class QPushButton;
class QTextBrowser;

namespace orblane {

class DicomDataFileIO;

// One report of the study in a window of its own: an Encapsulated PDF's pages, a structured report or key object
// selection as a readable document, a CDA document's text. The document is read from memory only: nothing of it
// is written anywhere unless the user saves it.
class CDlgReport : public QDialog
{
    Q_OBJECT

public:
    // Opens the images with these SOP Instance UIDs in a viewer of their own; answers false when none of them is
    // on the medium.
    using ImageOpener = std::function<bool(const std::vector<std::string>& sopInstanceUids)>;

    // Reads the file (loading it when it is not loaded); a file that cannot be read or shown gives the window
    // that says so.
    explicit CDlgReport(DicomDataFileIO& file, QWidget* parent = nullptr);
    ~CDlgReport() override;

    void SetImageOpener(ImageOpener opener) { openImages = std::move(opener); }

    // What the window shows, as the tests and the trace see it.
    ReportKind Kind() const noexcept { return document.Kind(); }
    bool Shown() const noexcept { return shown; }
    int PageCount() const;
    int CurrentPage() const;
    qreal ZoomFactor() const;
    // The structured report's or CDA document's text as shown (plain).
    QString DocumentText() const;
    // The banner of a report that is not complete or not verified, or empty.
    QString BannerText() const;
    // The referenced images the document lists, in its order.
    const std::vector<ReferencedObject>& References() const noexcept { return document.Structured().referenced; }

    // Writes the PDF's bytes as stored to path through the atomic writer; false (and nothing written) on a failure
    // or for a path on the medium.
    bool SavePdfTo(const QString& path);
    // "Save as PDF…": asks for the file, in Documents (or where the last save went), never on the medium.
    void SaveAsPdf();
    void ZoomIn();
    void ZoomOut();
    void FitWidth();
    void GoToPage(int page);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The PDF view would scroll by a screen on the page keys: they step whole pages here.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool HandleKey(QKeyEvent* event);
    // The PDF view as an object to compare watched objects with; null where no PDF view is built.
    QObject* PdfViewObject() const;
    void BuildPdf(QWidget* body);
    void BuildStructured(QWidget* body);
    void BuildCda(QWidget* body);
    void BuildRefusal(QWidget* body);
    void OpenLink(const QUrl& link);
    bool OnMedium(const QString& path) const;

    ReportDocument document;
    std::string mediumFolder;
    bool shown = false;
    ImageOpener openImages;
    // The PDF renderer reads the bytes through the buffer while the document lives; both live as long as it.
    QByteArray pdfBytes;
    QBuffer pdfBuffer;
    QPdfDocument* pdf = nullptr;
    QPdfView* pdfView = nullptr;
    QTextBrowser* text = nullptr;
    QLabel* banner = nullptr;
    QLabel* refusal = nullptr;
};

} // namespace orblane
