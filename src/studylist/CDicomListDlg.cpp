#include "studylist/CDicomListDlg.h"

#include "core/RunTrace.h"
#include "dicom/DicomDataFileIO.h"
#include "dicom/DicomDirFileIO.h"
#include "dicom/DicomDirStudySource.h"
#include "platform/SettingsPaths.h"
#include "viewer/CDlgImgViewer.h"
#include "widgets/CAboutDlg.h"
#include "widgets/CBitmapButton.h"
#include "widgets/Pictures.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QTimerEvent>

namespace orblane {

namespace {

constexpr int kButtonSize = 64;
constexpr int kListLeft = 4;
constexpr int kListTop = 72;
constexpr int kRestoredWidth = 600;
constexpr int kRestoredHeight = 450;
// How often a running scan's finds reach the list: often enough to look live, seldom enough to cost nothing.
constexpr int kPollMilliseconds = 100;

// The screen's client area for a maximised window: what the work area leaves.
QSize FullScreenClientSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry().size() : QSize(kRestoredWidth, kRestoredHeight);
}

} // namespace

CDicomListDlg::CDicomListDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      list(new DicomDirList(this)), viewStartButton(new CBitmapButton(this)), versionButton(new CBitmapButton(this)),
      exitButton(new CBitmapButton(this))
{
    list->setObjectName(QStringLiteral("list%1").arg(kListId));
    setSizeGripEnabled(false);
    connect(list, &DicomDirList::Clicked, this, &CDicomListDlg::UpdateViewButton);
    connect(list, &DicomDirList::RightClicked, this, &CDicomListDlg::UpdateViewButton);
    connect(list, &DicomDirList::BeginDrag, this, &CDicomListDlg::UpdateViewButton);
    connect(list, &DicomDirList::KeyDown, this, &CDicomListDlg::UpdateViewButton);
    connect(list, &DicomDirList::ColumnClicked, this, &CDicomListDlg::OnColumnClick);
    // A double-click on a row and Enter on a selection open the viewer as the view start button does.
    connect(list, &DicomDirList::OpenRequested, this, &CDicomListDlg::OpenSelection);
}

CDicomListDlg::~CDicomListDlg() = default;

int CDicomListDlg::exec()
{
    OnInitDialog();
    return QDialog::exec();
}

bool CDicomListDlg::OnInitDialog()
{
    if (initRun)
    {
        return true;
    }
    initRun = true;
    setWindowIcon(LoadApplicationIcon());
    setWindowTitle(QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
    CreateButtons();

    const QSize full = FullScreenClientSize();
    const int cx = full.width();
    const int cy = full.height();
    setGeometry((cx - kRestoredWidth) / 2, (cy - kRestoredHeight) / 2, kRestoredWidth, kRestoredHeight);
    list->setGeometry(kListLeft, kListTop, cx - 2 * kListLeft, cy - kListTop - kListLeft);
    if (infoPath.empty())
    {
        infoPath = GetInfoSettingsPath();
    }
    list->SetupColumns(cx - 2 * kListLeft, infoPath);

    if (source != nullptr)
    {
        PollSource();
    }
    viewStartButton->setEnabled(false);
    // The list is the dialog's first control and takes the keyboard first.
    list->setFocus();
    setWindowState(windowState() | Qt::WindowMaximized);
    viewStartButton->show();
    versionButton->show();
    exitButton->show();
    initialised = true;
    return true;
}

void CDicomListDlg::CreateButtons()
{
    const struct
    {
        CBitmapButton* button;
        const char* name;
        int x;
        int id;
    } kButtons[] = {
        {viewStartButton, "VWSTART", 4, kViewStartId},
        {versionButton, "VERINFO", 72, kVersionInfoId},
        {exitButton, "EXIT", 140, kExitId},
    };
    for (const auto& row : kButtons)
    {
        row.button->Create(QLatin1String(row.name), QRect(row.x, 4, kButtonSize, kButtonSize), this, row.id, false);
        row.button->LoadBitmaps();
        row.button->setAccessibleName(QLatin1String(row.name));
    }
    connect(viewStartButton, &CBitmapButton::Command, this, &CDicomListDlg::OnViewStart);
    connect(versionButton, &CBitmapButton::Command, this, &CDicomListDlg::OnVersionInfo);
    connect(exitButton, &CBitmapButton::Command, this, &QDialog::reject);
}

void CDicomListDlg::SetDirectory(DicomDirFileIO* directory)
{
    directorySource = directory != nullptr ? std::make_unique<DicomDirStudySource>(*directory) : nullptr;
    source = directorySource.get();
}

int CDicomListDlg::FillRows(DicomDirFileIO& directory)
{
    DicomDirStudySource rows(directory);
    std::vector<StudyEntry> entries;
    std::vector<StudyEntry> changed;
    rows.TakeRows(entries, changed);
    list->AddRows(entries);
    return static_cast<int>(entries.size());
}

int CDicomListDlg::PollSource()
{
    if (source == nullptr)
    {
        return 0;
    }
    // Read before the rows are taken: rows taken after the source finished are its last.
    const bool finished = source->Finished();
    std::vector<StudyEntry> added;
    std::vector<StudyEntry> changed;
    source->TakeRows(added, changed);
    list->AddRows(added);
    for (const StudyEntry& entry : changed)
    {
        list->UpdateRow(entry);
    }
    if (!finished)
    {
        if (pollTimer == 0)
        {
            pollTimer = startTimer(kPollMilliseconds);
        }
        ShowProgress();
        return static_cast<int>(added.size());
    }
    if (pollTimer != 0)
    {
        killTimer(pollTimer);
        pollTimer = 0;
    }
    setWindowTitle(QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
    if (list->RowCount() > 0 && !list->AnyRowSelected())
    {
        list->SortByColumn(DicomDirList::kDateTimeColumn);
    }
    if (list->RowCount() > 0)
    {
        list->FitColumnsToContents(list->width());
    }
    emit SourceFinished();
    return static_cast<int>(added.size());
}

void CDicomListDlg::ShowProgress()
{
    // The window system adds the program's name after the title.
    setWindowTitle(QStringLiteral("Reading %1 files... %2 studies").arg(source->FilesRead()).arg(list->RowCount()));
}

void CDicomListDlg::timerEvent(QTimerEvent* event)
{
    if (pollTimer != 0 && event->timerId() == pollTimer)
    {
        PollSource();
        return;
    }
    QDialog::timerEvent(event);
}

void CDicomListDlg::UpdateViewButton()
{
    viewStartButton->setEnabled(list->AnyRowSelected());
}

void CDicomListDlg::LayoutList()
{
    const QRect client = rect();
    list->setGeometry(kListLeft, kListTop, client.width() - 2 * kListLeft, client.height() - kListTop - kListLeft);
}

void CDicomListDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Without a window manager nobody acts on the maximised state; the list must still fill the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (isMaximized() && screen != nullptr && width() < screen->availableGeometry().width() &&
        height() < screen->availableGeometry().height())
    {
        setGeometry(screen->availableGeometry());
    }
}

void CDicomListDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (initialised)
    {
        LayoutList();
    }
}

bool CDicomListDlg::event(QEvent* event)
{
    // Help is never shown.
    if (event->type() == QEvent::WhatsThis || event->type() == QEvent::EnterWhatsThisMode)
    {
        event->accept();
        return true;
    }
    return QDialog::event(event);
}

void CDicomListDlg::OnColumnClick(int column)
{
    list->ToggleSortDirection(column);
    list->SortByColumn(column);
}

DicomFileChain CDicomListDlg::CollectSelectedFiles()
{
    DicomFileChain chain;
    if (source == nullptr)
    {
        return chain;
    }
    for (const int row : list->SelectedRows())
    {
        // The study's label is its date-time as the row shows it.
        const QString label = list->RowText(row, DicomDirList::kDateTimeColumn);
        source->CollectImageFiles(chain, list->RowSeries(row), label.toStdU16String());
    }
    return chain;
}

void CDicomListDlg::OpenSelection()
{
    if (list->AnyRowSelected())
    {
        OnViewStart();
    }
}

void CDicomListDlg::OnViewStart()
{
    CDlgImgViewer viewer;
    DicomFileChain chain = CollectSelectedFiles();
    std::string files;
    for (std::unique_ptr<DicomDataFileIO>& file : chain)
    {
        files += " " + file->FileId();
        viewer.AddImageFile(std::move(file));
    }
    Trace("viewer opened with " + std::to_string(viewer.Images().FileCount()) + " files:" + files);
    // A study of reports alone opens into its report: an empty page of tiles would hide it.
    if (!viewer.RunReportsOnly())
    {
        viewer.exec();
    }
    Trace("viewer closed");
    ReturnFocusToList();
}

void CDicomListDlg::ReturnFocusToList()
{
    // The window that was behind the closed dialog is not always made active again by the window system.
    activateWindow();
    list->setFocus();
}

void CDicomListDlg::OnVersionInfo()
{
    CAboutDlg about;
    Trace("version dialog opened");
    about.exec();
    Trace("version dialog closed");
    ReturnFocusToList();
}

} // namespace orblane
