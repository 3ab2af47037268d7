#include "viewer/CDlgReport.h"

#include "dicom/DicomDataFileIO.h"
#include "platform/AtomicFile.h"
#include "platform/PathText.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#if ORBLANE_HAVE_QT_PDF
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#endif
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace orblane {
namespace {

constexpr qreal kZoomStep = 1.25;
constexpr qreal kMinZoom = 0.1;
constexpr qreal kMaxZoom = 8.0;
// 2 000 pages lay out in well under a second; 200 000 take minutes.
constexpr int kMaxScrolledPages = 2000;

QString FromU16(const std::u16string& text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString& LastPdfFolder()
{
    static QString folder;
    return folder;
}

QPushButton* AddButton(QHBoxLayout* row, const QString& text, QWidget* owner)
{
    auto* button = new QPushButton(text, owner);
    // A button that takes Enter or the focus would take the page keys from the document.
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    row->addWidget(button);
    return button;
}

// The folder the file was found below, which a save must stay out of: the medium's folder for a DICOMDIR's file;
// for a scanned file the folder scanned, as many folders up from the file as its shown path below it names (a file
// named by itself: its own folder).
std::string MediumFolderOf(const DicomDataFileIO& file)
{
    if (!file.Folder().empty() || file.FilePath().empty())
    {
        return file.Folder();
    }
    std::filesystem::path folder = file.FilePath().parent_path();
    const std::string& below = file.FileId();
    for (std::size_t at = below.find('/'); at != std::string::npos && folder.has_relative_path();
         at = below.find('/', at + 1))
    {
        folder = folder.parent_path();
    }
    return platform::Utf8FromPath(folder.empty() ? std::filesystem::path(".") : folder);
}

bool Incomplete(const StructuredReport& report)
{
    return report.completion == "PARTIAL" || report.verification == "UNVERIFIED";
}

} // namespace

CDlgReport::CDlgReport(DicomDataFileIO& file, QWidget* parent) : QDialog(parent), mediumFolder(MediumFolderOf(file))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    if ((file.DataSet() != nullptr || file.LoadDataSet() == 0) && document.Read(file) == 0)
    {
        shown = document.Kind() != ReportKind::None && document.Kind() != ReportKind::OtherDocument &&
                document.Refusal() == DocumentRefusal::None;
    }
    // The mapping is let go: the report holds its own copy of the bytes.
    file.Unload();

    auto* layout = new QVBoxLayout(this);
    QString title =
        FromU16(document.Kind() == ReportKind::Sr || document.Kind() == ReportKind::Kos ? document.Structured().title
                                                                                        : document.Title());
    if (title.isEmpty())
    {
        title = tr("Report");
    }
    const QString patient = FromU16(document.PatientName());
    setWindowTitle(patient.isEmpty() ? title : tr("%1 - %2").arg(title, patient));

    auto* body = new QWidget(this);
    layout->addWidget(body, 1);
    if (shown && document.Kind() == ReportKind::Pdf)
    {
        BuildPdf(body);
    }
    else if (shown && document.Kind() == ReportKind::Cda)
    {
        BuildCda(body);
    }
    else if (shown)
    {
        BuildStructured(body);
    }
    if (!shown)
    {
        BuildRefusal(body);
    }
    // A page's width at a readable size, and no taller than the screen leaves room for.
    QSize size(900, 1000);
    if (const QScreen* where = screen())
    {
        const QRect room = where->availableGeometry();
        size = size.boundedTo(QSize(room.width() * 9 / 10, room.height() * 9 / 10));
    }
    resize(size);
}

CDlgReport::~CDlgReport()
{
#if ORBLANE_HAVE_QT_PDF
    // The view reads the document and the document the buffer: taken down in that order.
    delete pdfView;
    delete pdf;
#endif
}

#if !ORBLANE_HAVE_QT_PDF
// A build without Qt's PDF module (the Windows viewer: the module comes with a browser engine that is not built for
// it) still offers the document as it is, for the system's own PDF reader.
void CDlgReport::BuildPdf(QWidget* body)
{
    auto* column = new QVBoxLayout(body);
    auto* note = new QLabel(tr("This viewer cannot show the pages of a PDF document. Save it as PDF to read it with "
                               "another program."),
                            body);
    note->setWordWrap(true);
    column->addWidget(note);
    column->addStretch(1);
    auto* row = new QHBoxLayout();
    column->addLayout(row);
    row->addStretch(1);
    QPushButton* save = AddButton(row, tr("Save as PDF\u2026"), body);
    QPushButton* close = AddButton(row, tr("Close"), body);
    connect(save, &QPushButton::clicked, this, &CDlgReport::SaveAsPdf);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    save->setFocus();
}
#else
void CDlgReport::BuildPdf(QWidget* body)
{
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout();
    column->addLayout(row);
    const ByteView bytes = document.Document();
    pdfBytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    pdfBuffer.setBuffer(&pdfBytes);
    pdfBuffer.open(QIODevice::ReadOnly);
    pdf = new QPdfDocument(nullptr);
    pdf->load(&pdfBuffer);
    if (pdf->status() != QPdfDocument::Status::Ready || pdf->pageCount() <= 0)
    {
        delete pdf;
        pdf = nullptr;
        shown = false;
        return;
    }
    pdfView = new QPdfView(body);
    pdfView->setDocument(pdf);
    // Pages in one scrolled column, but for a document of so many pages that laying them all out (each page read
    // for its size) would hold the window for minutes: that one shows a page at a time.
    pdfView->setPageMode(pdf->pageCount() <= kMaxScrolledPages ? QPdfView::PageMode::MultiPage
                                                               : QPdfView::PageMode::SinglePage);
    pdfView->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    pdfView->installEventFilter(this);
    pdfView->setFocusPolicy(Qt::StrongFocus);

    QPushButton* previous = AddButton(row, tr("Previous page"), body);
    QPushButton* next = AddButton(row, tr("Next page"), body);
    auto* pageLabel = new QLabel(body);
    row->addWidget(pageLabel);
    QPushButton* zoomIn = AddButton(row, tr("Zoom in"), body);
    QPushButton* zoomOut = AddButton(row, tr("Zoom out"), body);
    QPushButton* fit = AddButton(row, tr("Fit width"), body);
    row->addStretch(1);
    QPushButton* save = AddButton(row, tr("Save as PDF\u2026"), body);
    QPushButton* close = AddButton(row, tr("Close"), body);
    column->addWidget(pdfView, 1);

    const auto showPage = [this, pageLabel] {
        pageLabel->setText(tr("Page %1 of %2").arg(CurrentPage() + 1).arg(PageCount()));
    };
    connect(pdfView->pageNavigator(), &QPdfPageNavigator::currentPageChanged, pageLabel, showPage);
    showPage();
    connect(previous, &QPushButton::clicked, this, [this] { GoToPage(CurrentPage() - 1); });
    connect(next, &QPushButton::clicked, this, [this] { GoToPage(CurrentPage() + 1); });
    connect(zoomIn, &QPushButton::clicked, this, &CDlgReport::ZoomIn);
    connect(zoomOut, &QPushButton::clicked, this, &CDlgReport::ZoomOut);
    connect(fit, &QPushButton::clicked, this, &CDlgReport::FitWidth);
    connect(save, &QPushButton::clicked, this, &CDlgReport::SaveAsPdf);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    pdfView->setFocus();
}
#endif

void CDlgReport::BuildStructured(QWidget* body)
{
    const StructuredReport& report = document.Structured();
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    if (Incomplete(report))
    {
        QStringList parts;
        if (report.completion == "PARTIAL")
        {
            parts << tr("This report is not complete (PARTIAL).");
        }
        if (report.verification == "UNVERIFIED")
        {
            parts << tr("This report has not been verified (UNVERIFIED).");
        }
        banner = new QLabel(parts.join(QLatin1Char(' ')), body);
        banner->setWordWrap(true);
        banner->setStyleSheet(
            QStringLiteral("QLabel { background: #FFF3C4; color: #5A4300; border: 1px solid #D9B44A; padding: 6px; "
                           "font-weight: bold; }"));
        column->addWidget(banner);
    }
    text = new QTextBrowser(body);
    text->setOpenLinks(false);
    text->setOpenExternalLinks(false);
    column->addWidget(text, 1);

    QString html;
    for (const ReportObserver& observer : report.observers)
    {
        QString line = FromU16(observer.role) + QStringLiteral(": ") + FromU16(observer.name).toHtmlEscaped();
        if (!observer.organization.empty())
        {
            line += QStringLiteral(", ") + FromU16(observer.organization).toHtmlEscaped();
        }
        if (!observer.dateTime.empty())
        {
            line += QStringLiteral(", ") + FromU16(observer.dateTime).toHtmlEscaped();
        }
        html += QStringLiteral("<p style=\"color:#444\">") + line + QStringLiteral("</p>");
    }
    int link = 0;
    for (const ReportItem& item : report.items)
    {
        const int indent = 24 * static_cast<int>(item.depth);
        const QString line = FromU16(ReportItemText(item)).toHtmlEscaped();
        if (item.valueType == "CONTAINER" && item.byReference.empty())
        {
            const int level = std::min(2 + static_cast<int>(item.depth), 4);
            html += QStringLiteral("<h%1 style=\"margin-left:%2px\">%3</h%1>")
                        .arg(item.depth == 0 ? 1 : level)
                        .arg(indent)
                        .arg(FromU16(item.conceptName).toHtmlEscaped());
        }
        else if (!item.references.empty())
        {
            // A key object selection's images name no concept: the link says what it opens.
            const QString label = item.conceptName.empty() ? tr("Image: %1").arg(line) : line;
            html += QStringLiteral("<p style=\"margin-left:%1px\"><a href=\"ref:%2\">%3</a></p>")
                        .arg(indent)
                        .arg(link)
                        .arg(label);
        }
        else
        {
            html += QStringLiteral("<p style=\"margin-left:%1px\">%2</p>").arg(indent).arg(line);
        }
        if (!item.references.empty())
        {
            ++link;
        }
    }
    if (report.itemsTooDeep != 0)
    {
        html += QStringLiteral("<p>") +
                tr("%n item(s) nested too deep are not shown.", nullptr, static_cast<int>(report.itemsTooDeep)) +
                QStringLiteral("</p>");
    }
    text->setHtml(html);
    connect(text, &QTextBrowser::anchorClicked, this, &CDlgReport::OpenLink);

    auto* row = new QHBoxLayout();
    column->addLayout(row);
    if (document.Kind() == ReportKind::Kos && !report.referenced.empty())
    {
        QPushButton* open = AddButton(row, tr("Open key images"), body);
        connect(open, &QPushButton::clicked, this, [this] {
            std::vector<std::string> uids;
            for (const ReferencedObject& object : document.Structured().referenced)
            {
                uids.push_back(object.sopInstanceUid);
            }
            if (!openImages || !openImages(uids))
            {
                QMessageBox::information(this, windowTitle(), tr("The images are not on this medium."));
            }
        });
    }
    row->addStretch(1);
    QPushButton* close = AddButton(row, tr("Close"), body);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    text->setFocus();
}

void CDlgReport::BuildCda(QWidget* body)
{
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    text = new QTextBrowser(body);
    text->setPlainText(FromU16(document.Text()));
    column->addWidget(text, 1);
    auto* row = new QHBoxLayout();
    column->addLayout(row);
    row->addStretch(1);
    QPushButton* close = AddButton(row, tr("Close"), body);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void CDlgReport::BuildRefusal(QWidget* body)
{
    // A PDF the renderer turned down after the checks passed leaves its half-built page behind.
    for (QObject* child : body->children())
    {
        if (child->isWidgetType())
        {
            static_cast<QWidget*>(child)->hide();
        }
    }
    QLayout* column = body->layout();
    if (column == nullptr)
    {
        column = new QVBoxLayout(body);
    }
    refusal = new QLabel(tr("This document cannot be shown"), body);
    refusal->setAlignment(Qt::AlignCenter);
    column->addWidget(refusal);
    auto* close = new QPushButton(tr("Close"), body);
    close->setAutoDefault(false);
    column->addWidget(close);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void CDlgReport::OpenLink(const QUrl& link)
{
    if (link.scheme() != QLatin1String("ref"))
    {
        return;
    }
    bool ok = false;
    const int wanted = link.path().toInt(&ok);
    int index = 0;
    for (const ReportItem& item : document.Structured().items)
    {
        if (item.references.empty())
        {
            continue;
        }
        if (ok && index++ == wanted)
        {
            std::vector<std::string> uids;
            for (const ReferencedObject& object : item.references)
            {
                uids.push_back(object.sopInstanceUid);
            }
            if (!openImages || !openImages(uids))
            {
                QMessageBox::information(this, windowTitle(), tr("The image is not on this medium."));
            }
            return;
        }
    }
}

QString CDlgReport::DocumentText() const
{
    return text != nullptr ? text->toPlainText() : QString();
}

QString CDlgReport::BannerText() const
{
    return banner != nullptr ? banner->text() : QString();
}

#if ORBLANE_HAVE_QT_PDF
int CDlgReport::PageCount() const
{
    return pdf != nullptr ? pdf->pageCount() : 0;
}

int CDlgReport::CurrentPage() const
{
    return pdfView != nullptr ? pdfView->pageNavigator()->currentPage() : 0;
}

qreal CDlgReport::ZoomFactor() const
{
    return pdfView != nullptr ? pdfView->zoomFactor() : 1.0;
}

void CDlgReport::GoToPage(int page)
{
    if (pdfView == nullptr)
    {
        return;
    }
    page = std::clamp(page, 0, PageCount() - 1);
    pdfView->pageNavigator()->jump(page, QPointF(), pdfView->zoomFactor());
}

void CDlgReport::ZoomIn()
{
    if (pdfView != nullptr)
    {
        const qreal zoom = std::min(pdfView->zoomFactor() * kZoomStep, kMaxZoom);
        pdfView->setZoomMode(QPdfView::ZoomMode::Custom);
        pdfView->setZoomFactor(zoom);
    }
}

void CDlgReport::ZoomOut()
{
    if (pdfView != nullptr)
    {
        const qreal zoom = std::max(pdfView->zoomFactor() / kZoomStep, kMinZoom);
        pdfView->setZoomMode(QPdfView::ZoomMode::Custom);
        pdfView->setZoomFactor(zoom);
    }
}

void CDlgReport::FitWidth()
{
    if (pdfView != nullptr)
    {
        pdfView->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    }
}
#else
int CDlgReport::PageCount() const
{
    return 0;
}

int CDlgReport::CurrentPage() const
{
    return 0;
}

qreal CDlgReport::ZoomFactor() const
{
    return 1.0;
}

void CDlgReport::GoToPage(int) {}
void CDlgReport::ZoomIn() {}
void CDlgReport::ZoomOut() {}
void CDlgReport::FitWidth() {}
#endif

bool CDlgReport::OnMedium(const QString& path) const
{
    if (mediumFolder.empty())
    {
        return false;
    }
    const QString medium = QFileInfo(QString::fromStdString(mediumFolder)).canonicalFilePath();
    const QString folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    return !medium.isEmpty() && (folder == medium || folder.startsWith(medium + QLatin1Char('/')));
}

bool CDlgReport::SavePdfTo(const QString& path)
{
    if (document.Kind() != ReportKind::Pdf || !shown || OnMedium(path))
    {
        return false;
    }
    return platform::WriteFileAtomically(std::filesystem::path(QFile::encodeName(path).toStdString()),
                                         document.Document());
}

void CDlgReport::SaveAsPdf()
{
    if (document.Kind() != ReportKind::Pdf || !shown)
    {
        return;
    }
    QString folder = LastPdfFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || OnMedium(folder + QStringLiteral("/x")))
    {
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
        {
            folder = QDir::homePath();
        }
    }
    QString name = FromU16(document.Title()).trimmed();
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1F]")), QStringLiteral("_"));
    if (name.isEmpty())
    {
        name = tr("Report");
    }
    QFileDialog dialog(this, tr("Save as PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(tr("PDF documents (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.setDirectory(folder);
    dialog.selectFile(name + QStringLiteral(".pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    {
        return;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    if (OnMedium(chosen))
    {
        QMessageBox::warning(this, tr("Save as PDF"),
                             tr("The medium cannot be written to. Choose a folder on this computer."));
        return;
    }
    if (!SavePdfTo(chosen))
    {
        QMessageBox::warning(this, tr("Save as PDF"), tr("The document could not be saved to %1.").arg(chosen));
        return;
    }
    LastPdfFolder() = QFileInfo(chosen).absolutePath();
}

bool CDlgReport::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != nullptr && watched == PdfViewObject() && event->type() == QEvent::KeyPress &&
        HandleKey(static_cast<QKeyEvent*>(event)))
    {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

QObject* CDlgReport::PdfViewObject() const
{
#if ORBLANE_HAVE_QT_PDF
    return pdfView;
#else
    return nullptr;
#endif
}

bool CDlgReport::HandleKey(QKeyEvent* event)
{
    const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
    switch (event->key())
    {
    case Qt::Key_PageDown:
        GoToPage(CurrentPage() + 1);
        return pdfView != nullptr;
    case Qt::Key_PageUp:
        GoToPage(CurrentPage() - 1);
        return pdfView != nullptr;
    case Qt::Key_Home:
        GoToPage(0);
        return pdfView != nullptr;
    case Qt::Key_End:
        GoToPage(PageCount() - 1);
        return pdfView != nullptr;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomIn();
        return pdfView != nullptr;
    case Qt::Key_Minus:
        ZoomOut();
        return pdfView != nullptr;
    case Qt::Key_F:
        if (ctrl || pdfView == nullptr)
        {
            return false;
        }
        FitWidth();
        return true;
    case Qt::Key_S:
        if (ctrl && pdfView != nullptr)
        {
            SaveAsPdf();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void CDlgReport::keyPressEvent(QKeyEvent* event)
{
    if (HandleKey(event))
    {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace orblane
