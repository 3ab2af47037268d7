#include "viewer/CDlgImgViewer.h"

#include "core/RunTrace.h"
#include "core/Settings.h"
#include "dicom/DicomDataFileIO.h"
#include "dicom/ReportDocument.h"
#include "imaging/CImageData.h"
#include "imaging/SeriesStripModel.h"
#include "imaging/SeriesThumbnail.h"
#include "platform/ErrorSink.h"
#include "platform/SettingsPaths.h"
#include "platform/ThreadPool.h"
#include "viewer/CDlgPictPattern.h"
#include "viewer/CDlgReport.h"
#include "viewer/CPictureFrame.h"
#include "viewer/CSeriesStrip.h"
#include "viewer/CThumbnailLoader.h"
#include "viewer/WaitCursor.h"
#include "widgets/Pictures.h"

#include <QCloseEvent>
#include <QHashFunctions>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <optional>
#include <utility>

namespace orblane {
namespace {

enum CursorIndex : std::size_t
{
    kPanCursor = 0,
    kDragCursor = 1,
    kZoomInCursor = 2,
    kZoomOutCursor = 3,
    kContrastCursor = 4,
};

// The key map numbers its keys as Qt does, so that key presses pass through as they come.
constexpr bool SameKey(int ours, Qt::Key qt) noexcept
{
    return ours == static_cast<int>(qt);
}
static_assert(SameKey(kKeySpace, Qt::Key_Space) && SameKey(kKeyEscape, Qt::Key_Escape) &&
              SameKey(kKeyReturn, Qt::Key_Return) && SameKey(kKeyEnter, Qt::Key_Enter) &&
              SameKey(kKeyHome, Qt::Key_Home) && SameKey(kKeyEnd, Qt::Key_End) && SameKey(kKeyLeft, Qt::Key_Left) &&
              SameKey(kKeyUp, Qt::Key_Up) && SameKey(kKeyRight, Qt::Key_Right) && SameKey(kKeyDown, Qt::Key_Down) &&
              SameKey(kKeyPageUp, Qt::Key_PageUp) && SameKey(kKeyPageDown, Qt::Key_PageDown));
static_assert(SameKey('+', Qt::Key_Plus) && SameKey('=', Qt::Key_Equal) && SameKey('-', Qt::Key_Minus) &&
              SameKey('F', Qt::Key_F) && SameKey('R', Qt::Key_R) && SameKey('I', Qt::Key_I) &&
              SameKey('N', Qt::Key_N) && SameKey('S', Qt::Key_S) && SameKey('D', Qt::Key_D) &&
              SameKey('0', Qt::Key_0) && SameKey('9', Qt::Key_9) && SameKey(')', Qt::Key_ParenRight) &&
              SameKey('!', Qt::Key_Exclam) && SameKey('@', Qt::Key_At) && SameKey('#', Qt::Key_NumberSign) &&
              SameKey('$', Qt::Key_Dollar) && SameKey('%', Qt::Key_Percent) && SameKey('^', Qt::Key_AsciiCircum) &&
              SameKey('(', Qt::Key_ParenLeft));

unsigned ModifiersOf(Qt::KeyboardModifiers modifiers) noexcept
{
    unsigned flags = kModifierNone;
    flags |= (modifiers & Qt::ShiftModifier) != 0 ? kModifierShift : 0U;
    flags |= (modifiers & Qt::ControlModifier) != 0 ? kModifierCtrl : 0U;
    flags |= (modifiers & Qt::AltModifier) != 0 ? kModifierAlt : 0U;
    flags |= (modifiers & Qt::MetaModifier) != 0 ? kModifierMeta : 0U;
    return flags;
}

// The command a key's action stands for, or 0 for the actions that are none.
int CommandOf(ViewerAction action) noexcept
{
    using V = CDlgImgViewer;
    constexpr std::pair<ViewerAction, int> kCommands[] = {
        {ViewerAction::NextImage, V::kNextImageButton},
        {ViewerAction::PreviousImage, V::kPreviousImageButton},
        {ViewerAction::NextPage, V::kNextPageButton},
        {ViewerAction::PreviousPage, V::kPreviousPageButton},
        {ViewerAction::FirstPage, V::kFirstPageCommand},
        {ViewerAction::LastPage, V::kLastPageCommand},
        {ViewerAction::ZoomInCentre, V::kZoomInCentreCommand},
        {ViewerAction::ZoomOutCentre, V::kZoomOutCentreCommand},
        {ViewerAction::Fit, V::kFitButton},
        {ViewerAction::Reset, V::kResetButton},
        {ViewerAction::Save, V::kSaveButton},
        {ViewerAction::ToggleOverlay, V::kOverlayKeyCommand},
        {ViewerAction::Invert, V::kInvertCommand},
        {ViewerAction::Cine, V::kCineCommand},
        {ViewerAction::Reports, V::kReportsCommand},
        {ViewerAction::ToggleSeriesStrip, V::kSeriesStripCommand},
    };
    for (const auto& [from, id] : kCommands)
    {
        if (from == action)
        {
            return id;
        }
    }
    return 0;
}

PointerButton PointerOf(Qt::MouseButton button) noexcept
{
    switch (button)
    {
    case Qt::LeftButton:
        return PointerButton::Left;
    case Qt::MiddleButton:
        return PointerButton::Middle;
    case Qt::RightButton:
        return PointerButton::Right;
    default:
        return PointerButton::Other;
    }
}

} // namespace

CDlgImgViewer::CDlgImgViewer(QWidget* parent) : CDlgImgViewer(GetSettingsPath(), parent) {}

CDlgImgViewer::CDlgImgViewer(const std::string& settingsPath, QWidget* parent)
    : QDialog(parent), settingsFile(settingsPath), settings(ReadViewerSettings(settingsPath)),
      imageList(std::make_unique<ImageDataList>(settings.frameInset,
                                                ImageListOptions{settings.imageCacheBytes, true, &SharedThreadPool()})),
      zoomFactor(ReadZoomStep(settingsPath)), currentCursor(Qt::ArrowCursor),
      cine(this, {[this](int index) { return frameRuns(index); },
                  [this](int shown, int next) { return CineFetch(shown, next); }, [this] { UpdateTileNumbers(); }}),
      tileSeries([this] { return imageList->ImageCount(); },
                 [this](int index) {
                     const ImageDataList::ImagePlace place = imageList->PlaceOf(index);
                     return TileSeries::ImageInfo{place.facts, place.frame};
                 })
{
    // Frames decoded ahead arrive on a pool thread; the list is this thread's, so it only hears of them here.
    imageList->SetDecodedNotifier(
        [this] { QMetaObject::invokeMethod(this, &CDlgImgViewer::CollectDecoded, Qt::QueuedConnection); });
    // A maximised window that can be neither restored nor moved: no minimise or maximise buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("TALVIREN DICOM MEDIA Viewer"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    // The mode cursor follows the mouse over the page, so moves are wanted without a button too.
    setMouseTracking(true);
    // The page itself takes the keys: arrows and digits must not move the focus among the toolbar's buttons.
    setFocusPolicy(Qt::StrongFocus);
    // A series dragged from the series strip onto a tile (the tiles take no mouse input: the page takes the drop).
    setAcceptDrops(true);
    // The frames of a multi-frame file are consecutive images of the study, each knowing its frame number.
    frameRuns = [this](int index) {
        const CImageData* image = imageList->GetImage(index);
        if (image == nullptr || image->Description().frameCount <= 1)
        {
            return FrameRun{index, 1, kDefaultCineRate};
        }
        const int first = std::max(0, index - image->Description().frameNumber);
        const int count = std::min(image->Description().frameCount, imageList->ImageCount() - first);
        const PixelDescription& d = image->Description();
        return FrameRun{first, std::max(1, count),
                        CineFramesPerSecond(d.frameTimeMs, d.cineRate, d.recommendedFrameRate)};
    };
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        auto* frame = new CPictureFrame(settings, this);
        frame->setObjectName(QStringLiteral("tile%1").arg(kFirstTileId + static_cast<int>(i)));
        frame->setGeometry(0, 0, 1, 1);
        frame->hide();
        frame->SetMarks(&marks);
        frames[i] = frame;
    }
    marks.SetValueSource([this](const CImageData& image) { return imageList->MeasureValuesOf(image); });
}

CDlgImgViewer::~CDlgImgViewer()
{
    // The thumbnail decode that runs reads no tile, but reports to the strip: it ends first.
    thumbnails.reset();
    // The tiles point into the collection: let them go first.
    for (CPictureFrame*& frame : frames)
    {
        delete frame;
        frame = nullptr;
    }
}

void CDlgImgViewer::AddImageFile(std::unique_ptr<DicomDataFileIO> file)
{
    if (!file->ListedSopInstance().empty() && !file->FileId().empty())
    {
        listedFiles.push_back(
            {file->ListedSopInstance(), file->FileId(), file->Folder(), file->StudyLabel(), file->FilePath()});
    }
    if (ReportKindOfSopClass(file->ListedSopClass()) != ReportKind::None)
    {
        reports.push_back(std::move(file));
        return;
    }
    imageList->AddFile(std::move(file));
}

QString CDlgImgViewer::ReportLabel(std::size_t k) const
{
    switch (ReportKindOfSopClass(reports.at(k)->ListedSopClass()))
    {
    case ReportKind::Pdf:
        return tr("PDF report");
    case ReportKind::Cda:
        return tr("Clinical document");
    case ReportKind::Sr:
        return tr("Structured report");
    case ReportKind::Kos:
        return tr("Key images");
    default:
        return tr("Document");
    }
}

bool CDlgImgViewer::RunReportsOnly()
{
    if (reports.empty() || imageList->FileCount() != 0)
    {
        return false;
    }
    if (reports.size() == 1)
    {
        ShowReport(0);
        return true;
    }
    QStringList labels;
    for (std::size_t k = 0; k < reports.size(); ++k)
    {
        labels << tr("%1. %2").arg(k + 1).arg(ReportLabel(k));
    }
    // Until the user cancels: one report read, the next may be chosen.
    for (;;)
    {
        bool chosen = false;
        const QString label = QInputDialog::getItem(nullptr, tr("Reports"), tr("This study holds these reports:"),
                                                    labels, 0, false, &chosen);
        if (!chosen)
        {
            return true;
        }
        ShowReport(static_cast<std::size_t>(labels.indexOf(label)));
    }
}

void CDlgImgViewer::OpenReports()
{
    if (reports.empty())
    {
        return;
    }
    if (reports.size() == 1)
    {
        ShowReport(0);
        return;
    }
    QMenu menu(this);
    for (std::size_t k = 0; k < reports.size(); ++k)
    {
        menu.addAction(ReportLabel(k), this, [this, k] { ShowReport(k); });
    }
    const QPoint at = reportsButton != nullptr ? reportsButton->mapToGlobal(QPoint(0, reportsButton->height()))
                                               : mapToGlobal(tileArea.topLeft());
    // D then Enter opens the first, as arrows choose another.
    menu.setActiveAction(menu.actions().constFirst());
    menu.exec(at);
}

void CDlgImgViewer::ShowReport(std::size_t k)
{
    if (k >= reports.size())
    {
        return;
    }
    StopCine();
    CDlgReport report(*reports[k], isVisible() ? this : nullptr);
    report.SetImageOpener([this](const std::vector<std::string>& uids) { return OpenReferencedImages(uids); });
    Trace("report opened: " + reports[k]->FileId());
    report.exec();
    Trace("report closed");
}

bool CDlgImgViewer::OpenReferencedImages(const std::vector<std::string>& sopInstanceUids)
{
    CDlgImgViewer viewer(settingsFile);
    std::string files;
    for (const std::string& uid : sopInstanceUids)
    {
        const auto found = std::find_if(listedFiles.begin(), listedFiles.end(),
                                        [&uid](const ListedFile& f) { return f.sopInstanceUid == uid; });
        if (found != listedFiles.end())
        {
            files += " " + found->fileId;
            viewer.imageList->AddFile(
                found->path.empty() ? std::make_unique<DicomDataFileIO>(found->fileId, found->folder, found->studyLabel)
                                    : DicomDataFileIO::ForPath(found->path, found->fileId, found->studyLabel));
        }
    }
    if (viewer.imageList->FileCount() == 0)
    {
        return false;
    }
    Trace("referenced images opened:" + files);
    viewer.exec();
    return true;
}

void CDlgImgViewer::PlaceReportsButton(int toolbarBottom)
{
    // At the right end of the toolbar's last row, clear of the fifteen controls where one row holds them; the
    // measuring tools' button to the left of the reports. Where the row is too short for both at their steady widths
    // (1280 pixels beside one row of controls), the measuring button takes the room that is left rather than
    // covering the reports button.
    const int left = toolbarBottom == kTileAreaTop ? kToolbarWidth : 0;
    int right = width() - kToolbarMargin;
    const auto place = [&](QPushButton* button, int wanted) {
        const int buttonWidth = std::max(std::min(wanted, right - left), 0);
        button->setGeometry(right - buttonWidth, toolbarBottom - kToolbarMargin - kControlSize, buttonWidth,
                            kControlSize);
        right -= buttonWidth + kToolbarMargin;
    };
    if (reportsButton != nullptr)
    {
        place(reportsButton, reportsButton->sizeHint().width() + 2 * kToolbarMargin);
    }
    if (QPushButton* measure = marks.Button())
    {
        place(measure, std::max(measure->sizeHint().width(), marks.ButtonSteadyWidth()) + 2 * kToolbarMargin);
    }
}

void CDlgImgViewer::setVisible(bool visible)
{
    if (visible && !initialised)
    {
        initialised = true;
        // Without a window manager nothing maximises the window: it is given the screen's working area first (a
        // new geometry would clear the maximised state, so the state comes second).
        if (const QScreen* where = screen())
        {
            setGeometry(where->availableGeometry());
        }
        setWindowState(windowState() | Qt::WindowMaximized);
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CDlgImgViewer::OnInitDialog()
{
    WaitCursor wait;
    toolbar.Create(this, [this](int id) { OnCommand(id); });
    if (!reports.empty())
    {
        reportsButton = new QPushButton(tr("Reports (D)"), this);
        reportsButton->setObjectName(QStringLiteral("REPORTS"));
        // Neither Space (cine) nor Enter may reach it: the keys stay the viewer's.
        reportsButton->setFocusPolicy(Qt::NoFocus);
        reportsButton->setAutoDefault(false);
        reportsButton->setToolTip(tr("The study's reports"));
        connect(reportsButton, &QPushButton::clicked, this, [this] { OnCommand(kReportsCommand); });
        reportsButton->show();
    }
    CreateSeriesStrip();
    marks.CreateButton(this, [this](ViewerAction action) { RunKeyAction({action, 0}); })->show();
    const int toolbarBottom = toolbar.Layout(width());
    PlaceReportsButton(toolbarBottom);
    PlaceSeriesStrip(toolbarBottom);
    tileArea = TileAreaBelow(toolbarBottom);
    LayoutFrames(true);
    currentFrame = frames[0];
    currentFrame->SetSelected(true);
    UpdatePageButtons();
    toolbar.CheckMode(ViewerMode::Select);
    toolbar.SetOverlayChecked(true);
    settings.overlayVisible = 1;
    marks.SetOverlayShown(true);
    modeCursors = {LoadCursorResource(128), LoadCursorResource(127), LoadCursorResource(126), LoadCursorResource(124),
                   LoadCursorResource(125)};
    currentCursor = QCursor(Qt::ArrowCursor);
    toolbar.ShowButtons();
    toolbar.ApplyToolTips(GetInfoSettingsPath());
    UpdateTileNumbers();
    // The viewer opens with the keyboard on the page, not on the first toolbar control.
    setFocus(Qt::OtherFocusReason);
    // Told once the window shows, when the tiles have their final size.
    QTimer::singleShot(0, this, &CDlgImgViewer::TracePage);
    // The thumbnails only after the first page is drawn, and then below every decode the tiles ask for.
    QTimer::singleShot(0, this, &CDlgImgViewer::StartThumbnails);
}

QRect CDlgImgViewer::TileAreaBelow(int top) const
{
    // The series strip takes its column at the left; the tiles share the rest.
    const int left = StripShown() ? CSeriesStrip::kWidth : 0;
    return {left, top, std::max(0, width() - left), std::max(0, height() - top)};
}

void CDlgImgViewer::LayoutFrames(bool refitAll)
{
    // A resize keeps what the user did to a tile (zoom, pan); only a tile still showing its fit follows the new size.
    std::array<bool, kTileCount> keepView{};
    for (std::size_t j = 0; j < frames.size(); ++j)
    {
        keepView[j] =
            !refitAll && frames[j]->isVisible() && frames[j]->GetTileImage() != nullptr && !frames[j]->IsFitted();
    }
    for (CPictureFrame* frame : frames)
    {
        frame->hide();
    }
    const int tileWidth = std::max(0, tileArea.width() / columns);
    const int tileHeight = std::max(0, tileArea.height() / rows);
    lastSlot = columns * rows - 1;
    imageList->SetOnScreen(firstIndex, lastSlot + 1);
    for (int j = 0; j < kTileCount; ++j)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        frame->setGeometry(tileArea.left() + (j % columns) * tileWidth, tileArea.top() + (j / columns) * tileHeight,
                           tileWidth, tileHeight);
        if (j <= lastSlot)
        {
            if (frame->GetTileImage() == nullptr)
            {
                frame->SetImage(ImageAt(firstIndex + j));
            }
            if (!keepView[static_cast<std::size_t>(j)])
            {
                frame->FitImage();
            }
            frame->show();
        }
    }
    FindImageAfterPage();
    imageList->DecodeAround(firstIndex, lastSlot + 1);
}

CImageData* CDlgImgViewer::ImageAt(int index)
{
    CImageData* image = imageList->GetImage(index);
    // The list answers its failures as values; they are shown here, in the order they happened.
    for (const ImageDataList::PendingError& pending : imageList->TakeErrors())
    {
        RaiseError(pending.error, pending.fatal);
    }
    return image;
}

void CDlgImgViewer::FindImageAfterPage()
{
    // The paging buttons go by the images found, so the image after the page is found now; its pixels are decoded
    // ahead on the pool, and the next step waits for them (or decodes them) only if it comes first.
    imageList->FindImage(firstIndex + lastSlot + 1);
    for (const ImageDataList::PendingError& pending : imageList->TakeErrors())
    {
        RaiseError(pending.error, pending.fatal);
    }
}

void CDlgImgViewer::CollectDecoded()
{
    const std::vector<int> arrived = imageList->CollectDecoded();
    for (const ImageDataList::PendingError& pending : imageList->TakeErrors())
    {
        RaiseError(pending.error, pending.fatal);
    }
    // Usually the page after or before this one; a tile shows an arrival only when the user paged onto it first.
    for (const int index : arrived)
    {
        const CImageData* image = imageList->HasPixels(index) ? imageList->GetImage(index) : nullptr;
        for (int j = 0; image != nullptr && j <= lastSlot; ++j)
        {
            CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
            if (frame->GetTileImage() == image)
            {
                frame->update();
            }
        }
    }
}

PageState CDlgImgViewer::CurrentPage() const noexcept
{
    return {firstIndex, lastSlot + 1, imageList->ImageCount()};
}

void CDlgImgViewer::UpdatePageButtons()
{
    if (!toolbar.Created())
    {
        return;
    }
    const PageState page = CurrentPage();
    toolbar.EnablePaging(CanPageForward(page), CanPageBack(page));
    UpdateTileNumbers();
}

void CDlgImgViewer::UpdateTileNumbers()
{
    const int decoded = imageList->ImageCount();
    for (int i = 0; i < kTileCount; ++i)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(i)];
        if (i > lastSlot || frame->GetTileImage() == nullptr)
        {
            frame->SetNumbers(0, 0, 0, 0);
            continue;
        }
        // A tile playing cine shows another image of its file than the page's slot.
        const int index = frame == cine.Tile() ? cine.Index() : ShownIndex(i);
        const FrameRun run = frameRuns(index);
        // Counted within the image's series; while the viewer pages, the study-wide place the paging goes by too.
        const TileSeries::Place place = tileSeries.PlaceOf(index);
        if (place.series >= 0)
        {
            frame->SetNumbers(place.slice + 1, place.count, index - run.first + 1, run.count);
            frame->SetStudyPlace(tileSeries.Active() ? 0 : index + 1, decoded);
        }
        else
        {
            frame->SetNumbers(index + 1, decoded, index - run.first + 1, run.count);
            frame->SetStudyPlace(0, 0);
        }
    }
    MarkCurrentSeries();
    UpdateTileSeriesTexts();
}

void CDlgImgViewer::AssignImages()
{
    for (int i = 0; i < kTileCount; ++i)
    {
        frames[static_cast<std::size_t>(i)]->SetImage(i <= lastSlot ? ImageAt(firstIndex + i) : nullptr);
    }
}

void CDlgImgViewer::RepaintTiles()
{
    // Each tile by itself: a repaint of the dialog's area leaves its opaque children as they were.
    for (int j = 0; j <= lastSlot; ++j)
    {
        frames[static_cast<std::size_t>(j)]->repaint();
    }
}

void CDlgImgViewer::ShowFrom(int newFirst, int fitBegin, int fitEnd, bool prefetchNext)
{
    WaitCursor wait;
    StopCine();
    marks.CancelPlacing();
    firstIndex = newFirst;
    imageList->SetOnScreen(firstIndex, lastSlot + 1);
    AssignImages();
    for (int i = fitBegin; i < fitEnd; ++i)
    {
        frames[static_cast<std::size_t>(i)]->FitImage();
    }
    if (prefetchNext)
    {
        FindImageAfterPage();
    }
    imageList->DecodeAround(firstIndex, lastSlot + 1);
    UpdatePageButtons();
    RepaintTiles();
    TracePage();
}

void CDlgImgViewer::TracePage()
{
    if (!TraceOn())
    {
        return;
    }
    // Whole-program tests page where nothing can be looked at: what tile 0 shows is told by a digest of its pixels.
    // Benchmarks page with the trace on, so the digest must cost little next to a paint: a cryptographic one of a
    // full-screen tile took longer than the paint itself.
    const QImage shot = frames[0]->grab().toImage();
    const std::size_t digest = qHashBits(shot.constBits(), static_cast<std::size_t>(shot.sizeInBytes()));
    Trace("page from image " + std::to_string(firstIndex + 1) + " of " + std::to_string(imageList->ImageCount()) +
          ", tile 0 " +
          QByteArray::number(static_cast<qulonglong>(digest), 16).rightJustified(16, '0').left(12).toStdString());
}

void CDlgImgViewer::Step(bool (*rule)(const PageState&, PageStep&))
{
    // Only as far as the decoded images reach, as the disabled buttons promise.
    PageStep step;
    if (rule(CurrentPage(), step))
    {
        // Paging through a stack must keep up with the wheel: each tile's new image may be drawn roughly first.
        for (int j = 0; j <= lastSlot; ++j)
        {
            frames[static_cast<std::size_t>(j)]->PaintQuickly(true);
        }
        ShowFrom(step.newFirst, step.fitBegin, step.fitEnd, step.prefetchNext);
        for (CPictureFrame* frame : frames)
        {
            frame->PaintQuickly(false);
        }
    }
}

void CDlgImgViewer::NextImage()
{
    if (tileSeries.Active())
    {
        StepTile(TileIndexOf(currentFrame), 1);
        return;
    }
    Step(&NextImageStep);
}

void CDlgImgViewer::PreviousImage()
{
    if (tileSeries.Active())
    {
        StepTile(TileIndexOf(currentFrame), -1);
        return;
    }
    Step(&PreviousImageStep);
}

void CDlgImgViewer::NextPage()
{
    ReturnToPaging();
    Step(&NextPageStep);
}

void CDlgImgViewer::PreviousPage()
{
    ReturnToPaging();
    Step(&PreviousPageStep);
}

void CDlgImgViewer::ChangePattern()
{
    CDlgPictPattern chooser;
    chooser.SetPosition(toolbar.PatternAnchor());
    if (chooser.exec() != CDlgPictPattern::kResultOk)
    {
        return;
    }
    const PatternChoice choice = chooser.GetChoice();
    ApplyPattern(choice.columns, choice.rows);
}

void CDlgImgViewer::ApplyPattern(int newColumns, int newRows)
{
    // A zero count is a release outside the grid; more than six would ask for tiles that do not exist.
    if (newColumns <= 0 || newRows <= 0 || newColumns > CDlgPictPattern::kGridSize ||
        newRows > CDlgPictPattern::kGridSize)
    {
        return;
    }
    WaitCursor wait;
    StopCine();
    columns = newColumns;
    rows = newRows;
    LayoutFrames(true);
    if (tileSeries.Active())
    {
        // A tile the larger layout adds holds the series of the image paging put there.
        for (int j = 0; j <= lastSlot; ++j)
        {
            if (tileSeries.SeriesOf(j) < 0)
            {
                tileSeries.Adopt(j, firstIndex + j);
            }
        }
        ShowTileImages();
    }
    UpdatePageButtons();
    if (currentFrame != nullptr)
    {
        currentFrame->SetSelected(false);
    }
    currentFrame = frames[0];
    currentFrame->SetSelected(true);
    RepaintTiles();
}

QCursor CDlgImgViewer::ModeCursor() const
{
    if (marks.Tool() != MeasureTool::None)
    {
        return QCursor(Qt::CrossCursor);
    }
    switch (mode)
    {
    case ViewerMode::Pan:
        return modeCursors[kPanCursor];
    case ViewerMode::ZoomIn:
        return modeCursors[kZoomInCursor];
    case ViewerMode::ZoomOut:
        return modeCursors[kZoomOutCursor];
    case ViewerMode::Contrast:
        return modeCursors[kContrastCursor];
    case ViewerMode::Select:
        break;
    }
    return QCursor(Qt::ArrowCursor);
}

void CDlgImgViewer::SetMode(ViewerMode newMode)
{
    mode = newMode;
    // A toolbar mode gives the left button back from a measuring tool.
    if (marks.Tool() != MeasureTool::None)
    {
        marks.ChooseTool(MeasureTool::None);
        RepaintTiles();
    }
    toolbar.UncheckModesBut(newMode);
    currentCursor = ModeCursor();
}

std::span<const CDlgImgViewer::CommandRow> CDlgImgViewer::Commands() noexcept
{
    using V = CDlgImgViewer;
    static constexpr CommandRow kRows[] = {
        // The toolbar's controls, left to right.
        {kZoomInBox, &V::ZoomInMode},
        {kZoomOutBox, &V::ZoomOutMode},
        {kPanBox, &V::PanMode},
        {kContrastBox, &V::ContrastMode},
        {kSelectBox, &V::SelectMode},
        {kFitButton, &V::FitCurrent},
        {kResetButton, &V::ResetCurrent},
        {kPreviousImageButton, &V::PreviousImage},
        {kNextImageButton, &V::NextImage},
        {kPreviousPageButton, &V::PreviousPage},
        {kNextPageButton, &V::NextPage},
        {kSaveButton, &V::SaveCurrent},
        {kPatternButton, &V::ChangePattern},
        {kOverlayBox, &V::ToggleOverlay},
        {kEndButton, &V::EndViewer},
        // Commands that only keys give.
        {kFirstPageCommand, &V::FirstPage},
        {kLastPageCommand, &V::LastPage},
        {kZoomInCentreCommand, &V::ZoomCurrentIn},
        {kZoomOutCentreCommand, &V::ZoomCurrentOut},
        {kInvertCommand, &V::InvertCurrent},
        {kCineCommand, &V::ToggleCine},
        {kOverlayKeyCommand, &V::ToggleOverlayBox},
        {kReportsCommand, &V::OpenReports},
        {kSeriesStripCommand, &V::ToggleSeriesStrip},
    };
    return kRows;
}

void CDlgImgViewer::OnCommand(int id)
{
    if (!initialised)
    {
        return;
    }
    for (const CommandRow& row : Commands())
    {
        if (row.id == id)
        {
            (this->*row.run)();
            return;
        }
    }
    if (id >= kPresetPage && id < kPresetPage + 10)
    {
        ApplyPreset(id - kPresetPage, true);
    }
    else if (id >= kPresetTile && id < kPresetTile + 10)
    {
        ApplyPreset(id - kPresetTile, false);
    }
}

bool CDlgImgViewer::RunKeyAction(const KeyAction& action)
{
    switch (action.action)
    {
    case ViewerAction::None:
        return false;
    case ViewerAction::Escape:
        done(kResultEscape);
        return true;
    case ViewerAction::Swallow:
        return true;
    case ViewerAction::PresetPage:
        OnCommand(kPresetPage + action.digit);
        return true;
    case ViewerAction::PresetTile:
        OnCommand(kPresetTile + action.digit);
        return true;
    case ViewerAction::ReturnToPaging:
        ReturnToPaging();
        return true;
    case ViewerAction::ToggleReferenceLines:
        ToggleReferenceLines();
        return true;
    case ViewerAction::LinkTiles:
        ToggleLink();
        return true;
    default:
        break;
    }
    if (marks.RunAction(action.action, currentFrame != nullptr ? currentFrame->GetTileImage() : nullptr))
    {
        currentCursor = ModeCursor();
        setCursor(currentCursor);
        RepaintTiles();
        return true;
    }
    const int id = CommandOf(action.action);
    if (id == 0)
    {
        return false;
    }
    OnCommand(id);
    return true;
}

void CDlgImgViewer::FirstPage()
{
    // Paging a page takes the viewer back to paging through the study.
    ReturnToPaging();
    Step(&FirstPageStep);
}

void CDlgImgViewer::LastPage()
{
    ReturnToPaging();
    {
        // The last page is that of the study's last image: every file is decoded first.
        WaitCursor wait;
        while (imageList->LoadNextFile() > 0)
        {
        }
        ImageAt(imageList->ImageCount());
    }
    Step(&LastPageStep);
    UpdatePageButtons();
}

void CDlgImgViewer::ZoomCurrentIn()
{
    currentFrame->ZoomIn(currentFrame->rect().center(), zoomFactor);
    currentFrame->repaint();
}

void CDlgImgViewer::ZoomCurrentOut()
{
    currentFrame->ZoomOut(currentFrame->rect().center(), zoomFactor);
    currentFrame->repaint();
}

void CDlgImgViewer::InvertCurrent()
{
    if (CImageData* image = currentFrame->GetTileImage())
    {
        image->SetInverted(!image->Inverted());
        currentFrame->repaint();
    }
}

void CDlgImgViewer::ToggleOverlayBox()
{
    toolbar.SetOverlayChecked(!toolbar.OverlayChecked());
    ToggleOverlay();
}

void CDlgImgViewer::ApplyPreset(int digit, bool wholePage)
{
    const std::optional<WindowPreset> ct = CtPreset(digit);
    if (digit != 0 && digit != 9 && !ct)
    {
        return;
    }
    WaitCursor wait;
    for (int j = 0; j <= lastSlot; ++j)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        CImageData* image = frame->GetTileImage();
        if ((!wholePage && frame != currentFrame) || image == nullptr)
        {
            continue;
        }
        // Colour images have no window; the CT presets are Hounsfield values, meaningless for colour and for the
        // values of any other modality.
        if (!IsMonochrome(image->Description().photometric) || (ct && !image->Description().computedTomography))
        {
            continue;
        }
        if (digit == 0)
        {
            image->ResetWindow();
        }
        else if (digit == 9)
        {
            const WindowPreset full = FullRangeWindow(image->PresentMin(), image->PresentMax());
            image->SetWindow(full.centre, full.width);
        }
        else
        {
            image->SetModalityWindow(ct->centre, ct->width);
        }
    }
    RepaintTiles();
}

int CDlgImgViewer::TileIndexOf(const CPictureFrame* frame) const noexcept
{
    for (int j = 0; j < kTileCount; ++j)
    {
        if (frames[static_cast<std::size_t>(j)] == frame)
        {
            return j;
        }
    }
    return 0;
}

CPictureFrame* CDlgImgViewer::FrameAt(QPoint position) const noexcept
{
    for (int j = 0; j <= lastSlot; ++j)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        if (!frame->isHidden() && frame->geometry().contains(position))
        {
            return frame;
        }
    }
    return nullptr;
}

bool CDlgImgViewer::CinePlaying() const noexcept
{
    return cine.Playing();
}

int CDlgImgViewer::CineIntervalMs() const noexcept
{
    return cine.IntervalMs();
}

void CDlgImgViewer::ToggleCine()
{
    if (cine.Playing())
    {
        StopCine();
        return;
    }
    cine.Start(currentFrame, ShownIndex(TileIndexOf(currentFrame)));
}

void CDlgImgViewer::StopCine()
{
    cine.Stop();
}

CImageData* CDlgImgViewer::CineFetch(int shown, int next)
{
    // The frame shown now stays decoded while the next one is fetched.
    imageList->SetOnScreen(firstIndex, lastSlot + 1, shown);
    CImageData* image = ImageAt(next);
    imageList->SetOnScreen(firstIndex, lastSlot + 1, next);
    return image;
}

void CDlgImgViewer::FitCurrent()
{
    currentFrame->FitImage();
    RepaintTiles();
}

void CDlgImgViewer::ResetCurrent()
{
    WaitCursor wait;
    currentFrame->ResetImage();
    RepaintTiles();
}

void CDlgImgViewer::SaveCurrent()
{
    currentFrame->SaveImage();
}

void CDlgImgViewer::ToggleOverlay()
{
    settings.overlayVisible = toolbar.OverlayChecked() ? 1 : 0;
    marks.SetOverlayShown(settings.overlayVisible == 1);
    RepaintTiles();
}

void CDlgImgViewer::EndViewer()
{
    done(kResultEnd);
}

void CDlgImgViewer::CommitWindowDrag(QPoint position)
{
    // lastPoint stays at the button-down point during a window drag: the delta is the whole drag.
    const QPoint delta = position - lastPoint;
    currentFrame->AdjustWindow(delta.x(), delta.y(), true);
    currentFrame->repaint();
}

bool CDlgImgViewer::InsidePage(QPoint position) const
{
    const QRect page(frames[0]->geometry().topLeft(),
                     frames[static_cast<std::size_t>(lastSlot)]->geometry().bottomRight());
    return page.contains(position);
}

void CDlgImgViewer::SelectFrameAt(QPoint position)
{
    for (int j = 0; j <= lastSlot; ++j)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        if (frame->isHidden() || !frame->geometry().contains(position))
        {
            continue;
        }
        if (frame != currentFrame)
        {
            currentFrame->SetSelected(false);
            currentFrame->repaint();
            frame->SetSelected(true);
            frame->repaint();
            currentFrame = frame;
            MarkCurrentSeries();
            // The lines show the current tile's plane on the others.
            if (referenceLinesOn)
            {
                UpdateReferenceLines();
                RepaintTiles();
            }
        }
        return;
    }
}

void CDlgImgViewer::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const PointerButton button = PointerOf(event->button());
    if (button == PointerButton::Other || currentFrame == nullptr || !InsidePage(position))
    {
        QDialog::mousePressEvent(event);
        return;
    }
    // A click on the page takes the keyboard back from a toolbar control reached with Tab.
    setFocus(Qt::MouseFocusReason);
    if (dragging)
    {
        // A second button during a drag changes nothing; the first button's release ends the drag.
        return;
    }
    SelectFrameAt(position);
    lastPoint = downPoint = position;
    // A measuring tool, or a press on a measurement's point or outline, has the left button until its release.
    if (button == PointerButton::Left && marks.Press(*currentFrame, position - currentFrame->pos()))
    {
        return;
    }
    drag = DragFor(mode, button);
    dragButton = event->button();
    switch (drag)
    {
    case DragKind::Pan:
    case DragKind::ZoomInClick:
    case DragKind::ZoomOutClick:
        dragging = true;
        currentCursor = modeCursors[kDragCursor];
        setCursor(currentCursor);
        break;
    case DragKind::Window:
        dragging = true;
        // The contrast mode shows its cursor already; a right-button drag in another mode shows it while it lasts.
        currentCursor = modeCursors[kContrastCursor];
        setCursor(currentCursor);
        break;
    case DragKind::None:
        break;
    }
}

void CDlgImgViewer::mouseMoveEvent(QMouseEvent* event)
{
    if (currentFrame == nullptr)
    {
        return;
    }
    const QPoint position = event->position().toPoint();
    if (!dragging && marks.Move(*currentFrame, position - currentFrame->pos()))
    {
        return;
    }
    const bool held = (event->buttons() & dragButton) != 0;
    if (dragging && held)
    {
        const QPoint delta = position - lastPoint;
        if (drag == DragKind::Window)
        {
            // lastPoint stays at the button-down point: the window follows the whole drag, not the last step.
            currentFrame->AdjustWindow(delta.x(), delta.y(), false);
            currentFrame->repaint();
        }
        else if (currentFrame->geometry().contains(position))
        {
            lastPoint = position;
            currentFrame->PanImage(delta.x(), delta.y());
            currentFrame->repaint();
        }
        else
        {
            currentCursor = ModeCursor();
            setCursor(currentCursor);
            dragging = false;
        }
        return;
    }
    if (dragging)
    {
        // The release was not seen. A window drag keeps what is shown, so that the next drag does not jump back.
        dragging = false;
        if (drag == DragKind::Window)
        {
            CommitWindowDrag(position);
        }
        currentCursor = ModeCursor();
    }
    if (InsidePage(position))
    {
        setCursor(currentCursor);
    }
    else
    {
        setCursor(Qt::ArrowCursor);
    }
}

void CDlgImgViewer::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && currentFrame != nullptr && !dragging &&
        marks.Release(*currentFrame, event->position().toPoint() - currentFrame->pos()))
    {
        return;
    }
    if (event->button() != dragButton || !dragging || currentFrame == nullptr)
    {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
    const QPoint position = event->position().toPoint();
    // A window drag keeps what is shown wherever it ends, so that the next drag does not jump back.
    if (drag == DragKind::Window)
    {
        CommitWindowDrag(position);
    }
    currentCursor = ModeCursor();
    if (!InsidePage(position))
    {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    // Only a click without movement zooms; any drag has panned instead.
    if ((drag == DragKind::ZoomInClick || drag == DragKind::ZoomOutClick) && position == downPoint)
    {
        const QPoint p = position - currentFrame->pos();
        if (drag == DragKind::ZoomInClick)
        {
            currentFrame->ZoomIn(p, zoomFactor);
        }
        else
        {
            currentFrame->ZoomOut(p, zoomFactor);
        }
        currentFrame->repaint();
    }
    setCursor(currentCursor);
}

void CDlgImgViewer::keyPressEvent(QKeyEvent* event)
{
    if (RunKeyAction(ViewerKeyAction(event->key(), ModifiersOf(event->modifiers()))))
    {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CDlgImgViewer::wheelEvent(QWheelEvent* event)
{
    const QPoint position = event->position().toPoint();
    CPictureFrame* frame = currentFrame != nullptr && InsidePage(position) ? FrameAt(position) : nullptr;
    if (frame == nullptr)
    {
        QDialog::wheelEvent(event);
        return;
    }
    event->accept();
    // Some systems turn a wheel with Shift (or Alt) into a horizontal one.
    const QPoint turn = event->angleDelta();
    const int delta = turn.y() != 0 ? turn.y() : turn.x();
    if ((wheelRest > 0) != (delta > 0))
    {
        wheelRest = 0;
    }
    wheelRest += delta;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    // One step per notch (120 eighths of a degree); a touchpad's small turns add up to one.
    while (wheelRest >= 120 || wheelRest <= -120)
    {
        const bool back = wheelRest > 0;
        wheelRest += back ? -120 : 120;
        if ((modifiers & Qt::ControlModifier) != 0)
        {
            const QPoint p = position - frame->pos();
            if (back)
            {
                frame->ZoomIn(p, zoomFactor);
            }
            else
            {
                frame->ZoomOut(p, zoomFactor);
            }
            frame->repaint();
        }
        else if ((modifiers & Qt::ShiftModifier) != 0)
        {
            OnCommand(back ? kPreviousPageButton : kNextPageButton);
        }
        else if (tileSeries.Active())
        {
            // Each tile scrolls its own series: the one under the cursor, which becomes the current tile.
            SelectFrameAt(position);
            StepTile(TileIndexOf(frame), back ? -1 : 1);
        }
        else
        {
            OnCommand(back ? kPreviousImageButton : kNextImageButton);
        }
    }
}

void CDlgImgViewer::closeEvent(QCloseEvent* event)
{
    done(kResultClose);
    event->accept();
}

void CDlgImgViewer::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // The window cannot be restored: whatever takes it out of the maximised state, it goes back.
    if (event->type() == QEvent::WindowStateChange && initialised && isVisible() &&
        (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) == 0)
    {
        QTimer::singleShot(0, this, [this] { setWindowState(windowState() | Qt::WindowMaximized); });
    }
}

void CDlgImgViewer::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The window manager may maximise the window after it was first laid out; the page follows the final size.
    if (!initialised)
    {
        return;
    }
    const int toolbarBottom = toolbar.Layout(width());
    PlaceReportsButton(toolbarBottom);
    LayoutBelowToolbar(toolbarBottom);
}

bool CDlgImgViewer::LayoutBelowToolbar(int toolbarBottom)
{
    PlaceSeriesStrip(toolbarBottom);
    const QRect area = TileAreaBelow(toolbarBottom);
    if (area == tileArea)
    {
        return false;
    }
    tileArea = area;
    LayoutFrames(false);
    if (tileSeries.Active())
    {
        // The layout gave empty tiles the page's images; a tile out of range stays empty.
        ShowTileImages();
    }
    UpdatePageButtons();
    return true;
}

void CDlgImgViewer::CreateSeriesStrip()
{
    StripModel model;
    try
    {
        std::vector<StripFile> imageFiles;
        std::vector<StripFile> reportFiles;
        for (int k = 0; k < imageList->FileCount(); ++k)
        {
            const DicomDataFileIO* file = imageList->FileAt(k);
            const DicomDataFileIO::ScannedSeries& scanned = file->Scanned();
            imageFiles.push_back({file->Folder(), file->FileId(), file->StudyLabel(), scanned.uid, scanned.number,
                                  scanned.modality, scanned.description});
        }
        for (const std::unique_ptr<DicomDataFileIO>& file : reports)
        {
            const DicomDataFileIO::ScannedSeries& scanned = file->Scanned();
            reportFiles.push_back({file->Folder(), file->FileId(), file->StudyLabel(), scanned.uid, scanned.number,
                                   scanned.modality, scanned.description});
        }
        // Only the DICOMDIR is read: every entry, and every icon, comes from its records.
        StripMedia media;
        model =
            BuildStripModel(imageFiles, reportFiles, [&media](const std::string& folder) { return media.Of(folder); });
    }
    catch (const std::bad_alloc&)
    {
        // Without memory for the strip the viewer still pages as it always did.
        return;
    }
    strip = new CSeriesStrip(this);
    connect(strip, &CSeriesStrip::seriesActivated, this, &CDlgImgViewer::ShowSeriesFirstImage);
    connect(strip, &CSeriesStrip::seriesToTile, this,
            [this](int series, int tile) { ShowSeriesInTile(TileSeriesOfStripSeries(series), tile); });
    connect(strip, &CSeriesStrip::reportActivated, this, [this](int k) { ShowReport(static_cast<std::size_t>(k)); });
    strip->SetModel(std::move(model));
    for (int k = 0; k < strip->EntryCount(); ++k)
    {
        DisplayBitmap icon;
        const StripEntry& entry = strip->Model().entries[static_cast<std::size_t>(k)];
        if (entry.icon && IconBitmap(*entry.icon, icon))
        {
            strip->SetThumbnail(k, ThumbnailImage(icon));
        }
    }
    strip->setVisible(StripShown());
    Trace("series strip: " + std::to_string(strip->EntryCount()) + " entries");
}

void CDlgImgViewer::StartThumbnails()
{
    if (strip == nullptr || !StripShown() || thumbnails)
    {
        return;
    }
    std::vector<CThumbnailLoader::Job> jobs;
    for (int k = 0; k < strip->EntryCount(); ++k)
    {
        const StripEntry& entry = strip->Model().entries[static_cast<std::size_t>(k)];
        const DicomDataFileIO* file = imageList->FileAt(entry.thumbnailFile);
        if (entry.kind == SeriesKind::Images && !strip->HasThumbnail(k) && file != nullptr)
        {
            jobs.push_back({k, file->FileId(), file->Folder(), file->FilePath(), ThumbnailFrame(k)});
        }
    }
    // In the order of the files on the medium: a disc reads forwards.
    std::stable_sort(jobs.begin(), jobs.end(), [this](const CThumbnailLoader::Job& a, const CThumbnailLoader::Job& b) {
        return strip->Model().entries[static_cast<std::size_t>(a.entry)].thumbnailFile <
               strip->Model().entries[static_cast<std::size_t>(b.entry)].thumbnailFile;
    });
    thumbnails =
        std::make_unique<CThumbnailLoader>(*imageList, SharedThreadPool(), ImageCacheBudget(settings.imageCacheBytes));
    // The jobs name their series, not their entry: entries split off later (stacks) come between them.
    for (CThumbnailLoader::Job& job : jobs)
    {
        job.entry = strip->Model().entries[static_cast<std::size_t>(job.entry)].series;
    }
    thumbnails->Start(std::move(jobs), [this](int series, QImage picture) {
        strip->SetThumbnail(strip->EntryOfSeries(series), std::move(picture));
        if (thumbnails && thumbnails->Finished())
        {
            Trace("thumbnails: " + std::to_string(thumbnails->Decoded()) + " decoded");
        }
    });
}

int CDlgImgViewer::ThumbnailFrame(int entry)
{
    const StripEntry& e = strip->Model().entries[static_cast<std::size_t>(entry)];
    const int v = e.series >= 0 ? strip->Model().series[static_cast<std::size_t>(e.series)].viewerSeries : -1;
    if (v < 0 || e.stack == 0 || static_cast<std::size_t>(v) >= SeriesList().size())
    {
        return 0;
    }
    // A further stack shows its own middle frame, not the file's first.
    const ViewerSeries& stack = SeriesList()[static_cast<std::size_t>(v)];
    const int middle = stack.images[static_cast<std::size_t>(stack.imageCount - 1) / 2];
    const int first = imageList->FirstImageOfFile(imageList->FileOfImage(middle));
    return first >= 0 && imageList->FileOfImage(middle) == e.thumbnailFile ? middle - first : 0;
}

bool CDlgImgViewer::StripShown() const noexcept
{
    return strip != nullptr && strip->EntryCount() > 1 && !stripHidden;
}

void CDlgImgViewer::PlaceSeriesStrip(int toolbarBottom)
{
    if (strip == nullptr)
    {
        return;
    }
    strip->setGeometry(0, toolbarBottom, CSeriesStrip::kWidth, std::max(0, height() - toolbarBottom));
    strip->setVisible(StripShown());
}

void CDlgImgViewer::ToggleSeriesStrip()
{
    if (strip == nullptr || strip->EntryCount() <= 1)
    {
        return;
    }
    stripHidden = !stripHidden;
    Trace(stripHidden ? "series strip hidden" : "series strip shown");
    if (stripHidden && strip->hasFocus())
    {
        setFocus(Qt::OtherFocusReason);
    }
    const int toolbarBottom = toolbar.Layout(width());
    PlaceSeriesStrip(toolbarBottom);
    tileArea = TileAreaBelow(toolbarBottom);
    LayoutFrames(false);
    UpdatePageButtons();
    RepaintTiles();
    StartThumbnails();
}

void CDlgImgViewer::MarkCurrentSeries()
{
    if (strip == nullptr || currentFrame == nullptr)
    {
        return;
    }
    SplitStripStacks();
    const int tile = TileIndexOf(currentFrame);
    strip->SetCurrentTile(tile);
    const int index = currentFrame == cine.Tile() ? cine.Index() : ShownIndex(tile);
    const bool shown = currentFrame->GetTileImage() != nullptr && index >= 0;
    const int file = shown ? imageList->FileOfImage(index) : -1;
    strip->SetCurrentSeries(shown ? strip->Model().SeriesOfImage(file, tileSeries.PlaceOf(index).series) : -1);
}

void CDlgImgViewer::SplitStripStacks()
{
    if (strip == nullptr || strip->Model().viewerSeriesSeen == SeriesList().size())
    {
        return;
    }
    bool added = false;
    try
    {
        added = strip->SplitStacks(SeriesList(), [this](int image) { return imageList->FileOfImage(image); });
    }
    catch (const std::bad_alloc&)
    {
        // The strip keeps the entries it has; the tiles still page every stack.
        return;
    }
    if (!added)
    {
        return;
    }
    if (thumbnails)
    {
        std::vector<CThumbnailLoader::Job> jobs;
        for (int k = 0; k < strip->EntryCount(); ++k)
        {
            const StripEntry& entry = strip->Model().entries[static_cast<std::size_t>(k)];
            const DicomDataFileIO* file = imageList->FileAt(entry.thumbnailFile);
            if (entry.stack > 0 && !strip->HasThumbnail(k) && file != nullptr)
            {
                jobs.push_back({entry.series, file->FileId(), file->Folder(), file->FilePath(), ThumbnailFrame(k)});
            }
        }
        thumbnails->Add(std::move(jobs));
    }
    // The strip may show now (one file of two stacks): the tiles take the room that is left, once the numbers being
    // drawn now are done.
    QTimer::singleShot(0, this, [this] {
        if (LayoutBelowToolbar(toolbar.Layout(width())))
        {
            RepaintTiles();
        }
        StartThumbnails();
    });
}

void CDlgImgViewer::ShowSeriesFirstImage(int series)
{
    if (strip == nullptr || series < 0 || static_cast<std::size_t>(series) >= strip->Model().series.size() ||
        currentFrame == nullptr)
    {
        return;
    }
    int index = strip->Model().series[static_cast<std::size_t>(series)].firstImage;
    if (index < 0)
    {
        WaitCursor wait;
        index = imageList->FirstImageOfFile(strip->Model().series[static_cast<std::size_t>(series)].first);
    }
    if (index < 0)
    {
        return;
    }
    const int tile = TileIndexOf(currentFrame);
    const int newFirst = std::max(0, index - tile);
    const int landing = index - newFirst;
    if (landing != tile)
    {
        currentFrame->SetSelected(false);
        currentFrame = frames[static_cast<std::size_t>(landing)];
        currentFrame->SetSelected(true);
    }
    Trace("series " + std::to_string(series + 1) + " from image " + std::to_string(index + 1));
    ShowFrom(newFirst, 0, lastSlot + 1, true);
}

} // namespace orblane
