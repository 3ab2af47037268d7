#include "viewer/CDlgImgViewer.h"

#include "core/Settings.h"
#include "core/ViewerSettings.h"
#include "dicom/DicomDataFileIO.h"
#include "platform/ErrorSink.h"
#include "platform/SettingsPaths.h"
#include "viewer/CDlgPictPattern.h"
#include "viewer/CPictureFrame.h"
#include "viewer/WaitCursor.h"
#include "widgets/CBitmapButton.h"
#include "widgets/CBitmapCheckBox.h"
#include "widgets/Pictures.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QTimer>

#include <algorithm>

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

// Fills the process-wide viewer settings; answers the frame inset the image collection is built with.
Point ReadSettingsInto(const std::string& settingsPath)
{
    GlobalViewerSettings() = ReadViewerSettings(settingsPath);
    return GlobalViewerSettings().frameInset;
}

struct ToolbarControl
{
    int x;
    const char* name;
    int id;
};

// Left to right, in creation order.
constexpr ToolbarControl kToolbar[] = {
    {4, "ZOOMIN", CDlgImgViewer::kZoomInBox},          {72, "ZOOMOUT", CDlgImgViewer::kZoomOutBox},
    {140, "MODEPAN", CDlgImgViewer::kPanBox},          {208, "MODECONT", CDlgImgViewer::kContrastBox},
    {276, "SELECT", CDlgImgViewer::kSelectBox},        {350, "IMGFIT", CDlgImgViewer::kFitButton},
    {419, "RESET", CDlgImgViewer::kResetButton},       {492, "BEFOREIMG", CDlgImgViewer::kPreviousImageButton},
    {560, "NEXTIMG", CDlgImgViewer::kNextImageButton}, {628, "BEFOREPAGE", CDlgImgViewer::kPreviousPageButton},
    {696, "NEXTPAGE", CDlgImgViewer::kNextPageButton}, {770, "SAVEIMG", CDlgImgViewer::kSaveButton},
    {838, "CHGIMGPTN", CDlgImgViewer::kPatternButton}, {912, "IMGINFO", CDlgImgViewer::kOverlayBox},
    {980, "VIEWEND", CDlgImgViewer::kEndButton},
};

} // namespace

CDlgImgViewer::CDlgImgViewer(QWidget* parent) : CDlgImgViewer(GetSettingsPath(), parent) {}

CDlgImgViewer::CDlgImgViewer(const std::string& settingsPath, QWidget* parent)
    : QDialog(parent), imageList(std::make_unique<ImageDataList>(ReadSettingsInto(settingsPath))),
      zoomFactor(ReadZoomStep(settingsPath)), currentCursor(Qt::ArrowCursor)
{
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

    // The tiles read the settings when they are built, so they come after them.
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        auto* frame = new CPictureFrame(this);
        frame->setObjectName(QStringLiteral("tile%1").arg(kFirstTileId + static_cast<int>(i)));
        frame->setGeometry(0, 0, 1, 1);
        frame->hide();
        frames[i] = frame;
    }
}

CDlgImgViewer::~CDlgImgViewer()
{
    // The tiles point into the collection: let them go first.
    for (CPictureFrame*& frame : frames)
    {
        delete frame;
        frame = nullptr;
    }
}

void CDlgImgViewer::AddImageFile(std::unique_ptr<DicomDataFileIO> file)
{
    imageList->AddFile(std::move(file));
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
    tileArea = QRect(0, kTileAreaTop, width(), std::max(0, height() - kTileAreaTop));
    LayoutFrames();
    currentFrame = frames[0];
    currentFrame->SetSelected(true);
    CreateToolbar();
    UpdatePageButtons();
    selectBox->Check();
    overlayBox->Check();
    GlobalViewerSettings().overlayVisible = 1;
    modeCursors = {LoadCursorResource(128), LoadCursorResource(127), LoadCursorResource(126), LoadCursorResource(124),
                   LoadCursorResource(125)};
    currentCursor = QCursor(Qt::ArrowCursor);
    for (CBitmapButton* button : {fitButton, resetButton, previousImageButton, nextImageButton, previousPageButton,
                                  nextPageButton, saveButton, patternButton, endButton})
    {
        button->show();
    }
}

void CDlgImgViewer::CreateToolbar()
{
    for (const ToolbarControl& control : kToolbar)
    {
        const QRect place(control.x, kToolbarMargin, kControlSize, kControlSize);
        const QString name = QString::fromLatin1(control.name);
        QAbstractButton* created = nullptr;
        if (control.id <= kSelectBox || control.id == kOverlayBox)
        {
            auto* box = new CBitmapCheckBox(this);
            // The mode boxes behave as radio buttons; only the overlay box toggles.
            box->Create(place, this, control.id, control.id == kOverlayBox);
            box->LoadBitmaps(name);
            connect(box, &CBitmapCheckBox::Command, this, &CDlgImgViewer::OnCommand);
            created = box;
            switch (control.id)
            {
            case kZoomInBox:
                zoomInBox = box;
                break;
            case kZoomOutBox:
                zoomOutBox = box;
                break;
            case kPanBox:
                panBox = box;
                break;
            case kContrastBox:
                contrastBox = box;
                break;
            case kSelectBox:
                selectBox = box;
                break;
            default:
                overlayBox = box;
                break;
            }
        }
        else
        {
            auto* button = new CBitmapButton(this);
            button->Create(name, place, this, control.id, control.id == kEndButton);
            button->LoadBitmaps();
            connect(button, &CBitmapButton::Command, this, &CDlgImgViewer::OnCommand);
            created = button;
            switch (control.id)
            {
            case kFitButton:
                fitButton = button;
                break;
            case kResetButton:
                resetButton = button;
                break;
            case kPreviousImageButton:
                previousImageButton = button;
                break;
            case kNextImageButton:
                nextImageButton = button;
                break;
            case kPreviousPageButton:
                previousPageButton = button;
                break;
            case kNextPageButton:
                nextPageButton = button;
                break;
            case kSaveButton:
                saveButton = button;
                break;
            case kPatternButton:
                patternButton = button;
                break;
            default:
                endButton = button;
                break;
            }
        }
        created->setObjectName(name);
        // The mode cursors belong to the page; the toolbar always shows the arrow.
        created->setCursor(Qt::ArrowCursor);
    }
}

QWidget* CDlgImgViewer::Control(int id) const
{
    for (const ToolbarControl& control : kToolbar)
    {
        if (control.id == id)
        {
            return findChild<QWidget*>(QString::fromLatin1(control.name), Qt::FindDirectChildrenOnly);
        }
    }
    return nullptr;
}

void CDlgImgViewer::LayoutFrames()
{
    for (CPictureFrame* frame : frames)
    {
        frame->hide();
    }
    const int tileWidth = std::max(0, width() / columns);
    const int tileHeight = std::max(0, (height() - kTileAreaTop) / rows);
    lastSlot = columns * rows - 1;
    for (int j = 0; j < kTileCount; ++j)
    {
        CPictureFrame* frame = frames[static_cast<std::size_t>(j)];
        frame->setGeometry((j % columns) * tileWidth, kTileAreaTop + (j / columns) * tileHeight, tileWidth, tileHeight);
        if (j <= lastSlot)
        {
            if (frame->GetTileImage() == nullptr)
            {
                frame->SetImage(ImageAt(firstIndex + j));
            }
            frame->FitImage();
            frame->show();
        }
    }
    // The image after the page is decoded now: the paging buttons count only decoded images.
    ImageAt(firstIndex + lastSlot + 1);
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

void CDlgImgViewer::UpdatePageButtons()
{
    if (nextImageButton == nullptr)
    {
        return;
    }
    const int decoded = imageList->ImageCount();
    const bool more = decoded > firstIndex + lastSlot + 1;
    const bool earlier = firstIndex > 0;
    nextImageButton->setEnabled(more);
    nextPageButton->setEnabled(more);
    previousImageButton->setEnabled(earlier);
    previousPageButton->setEnabled(earlier);
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
    repaint(tileArea);
}

void CDlgImgViewer::ShowFrom(int newFirst, int fitBegin, int fitEnd, bool prefetchNext)
{
    WaitCursor wait;
    firstIndex = newFirst;
    AssignImages();
    for (int i = fitBegin; i < fitEnd; ++i)
    {
        frames[static_cast<std::size_t>(i)]->FitImage();
    }
    if (prefetchNext)
    {
        // Decoding the image after the page now keeps the next step as quick as this one.
        ImageAt(firstIndex + lastSlot + 1);
    }
    UpdatePageButtons();
    RepaintTiles();
}

void CDlgImgViewer::NextImage()
{
    // Only as far as the decoded images reach, as the disabled button promises.
    if (imageList->ImageCount() <= firstIndex + lastSlot + 1)
    {
        return;
    }
    ShowFrom(firstIndex + 1, lastSlot, lastSlot + 1, true);
}

void CDlgImgViewer::PreviousImage()
{
    if (firstIndex <= 0)
    {
        return;
    }
    ShowFrom(firstIndex - 1, 0, 1, true);
}

void CDlgImgViewer::NextPage()
{
    if (imageList->ImageCount() <= firstIndex + lastSlot + 1)
    {
        return;
    }
    ShowFrom(firstIndex + lastSlot + 1, 0, lastSlot + 1, true);
}

void CDlgImgViewer::PreviousPage()
{
    if (firstIndex <= 0)
    {
        return;
    }
    // Images that were on the page before keep their view; only those coming back from before it are fitted.
    const int newFirst = std::max(0, firstIndex - (lastSlot + 1));
    ShowFrom(newFirst, 0, std::min(lastSlot + 1, firstIndex - newFirst), false);
}

void CDlgImgViewer::ChangePattern()
{
    CDlgPictPattern chooser;
    chooser.SetPosition(patternButton->mapToGlobal(QPoint(0, patternButton->height())));
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
    columns = newColumns;
    rows = newRows;
    LayoutFrames();
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
    const std::pair<CBitmapCheckBox*, ViewerMode> boxes[] = {{zoomInBox, ViewerMode::ZoomIn},
                                                             {zoomOutBox, ViewerMode::ZoomOut},
                                                             {panBox, ViewerMode::Pan},
                                                             {contrastBox, ViewerMode::Contrast},
                                                             {selectBox, ViewerMode::Select}};
    for (const auto& [box, boxMode] : boxes)
    {
        if (boxMode != newMode && box != nullptr)
        {
            box->Uncheck();
        }
    }
    currentCursor = ModeCursor();
}

void CDlgImgViewer::OnCommand(int id)
{
    switch (id)
    {
    case kZoomInBox:
        SetMode(ViewerMode::ZoomIn);
        break;
    case kZoomOutBox:
        SetMode(ViewerMode::ZoomOut);
        break;
    case kPanBox:
        SetMode(ViewerMode::Pan);
        break;
    case kContrastBox:
        SetMode(ViewerMode::Contrast);
        break;
    case kSelectBox:
        SetMode(ViewerMode::Select);
        break;
    case kFitButton:
        currentFrame->FitImage();
        RepaintTiles();
        break;
    case kResetButton: {
        WaitCursor wait;
        currentFrame->ResetImage();
        RepaintTiles();
        break;
    }
    case kPreviousImageButton:
        PreviousImage();
        break;
    case kNextImageButton:
        NextImage();
        break;
    case kPreviousPageButton:
        PreviousPage();
        break;
    case kNextPageButton:
        NextPage();
        break;
    case kSaveButton:
        currentFrame->SaveImage();
        break;
    case kPatternButton:
        ChangePattern();
        break;
    case kOverlayBox:
        GlobalViewerSettings().overlayVisible = overlayBox->IsChecked() ? 1 : 0;
        RepaintTiles();
        break;
    case kEndButton:
        done(kResultEnd);
        break;
    default:
        break;
    }
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
        }
        return;
    }
}

void CDlgImgViewer::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (event->button() != Qt::LeftButton || currentFrame == nullptr || !InsidePage(position))
    {
        QDialog::mousePressEvent(event);
        return;
    }
    SelectFrameAt(position);
    lastPoint = downPoint = position;
    switch (mode)
    {
    case ViewerMode::Pan:
    case ViewerMode::ZoomIn:
    case ViewerMode::ZoomOut:
        dragging = true;
        currentCursor = modeCursors[kDragCursor];
        setCursor(currentCursor);
        break;
    case ViewerMode::Contrast:
        dragging = true;
        break;
    case ViewerMode::Select:
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
    const bool leftDown = (event->buttons() & Qt::LeftButton) != 0;
    if (dragging && leftDown)
    {
        const QPoint delta = position - lastPoint;
        if (mode == ViewerMode::Contrast)
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
        if (mode == ViewerMode::Contrast)
        {
            const QPoint delta = position - lastPoint;
            currentFrame->AdjustWindow(delta.x(), delta.y(), true);
            currentFrame->repaint();
        }
        else
        {
            currentCursor = ModeCursor();
        }
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
    if (event->button() != Qt::LeftButton || !dragging || currentFrame == nullptr)
    {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
    const QPoint position = event->position().toPoint();
    if (!InsidePage(position))
    {
        // A window drag that ends outside the page keeps what is shown, so that the next drag does not jump back.
        if (mode == ViewerMode::Contrast)
        {
            const QPoint delta = position - lastPoint;
            currentFrame->AdjustWindow(delta.x(), delta.y(), true);
            currentFrame->repaint();
        }
        else
        {
            currentCursor = ModeCursor();
        }
        QDialog::mouseReleaseEvent(event);
        return;
    }
    const QPoint p = position - currentFrame->pos();
    switch (mode)
    {
    case ViewerMode::ZoomIn:
    case ViewerMode::ZoomOut:
        // Only a click without movement zooms; any drag has panned instead.
        if (position == downPoint)
        {
            if (mode == ViewerMode::ZoomIn)
            {
                currentFrame->ZoomIn(p, zoomFactor);
            }
            else
            {
                currentFrame->ZoomOut(p, zoomFactor);
            }
            currentFrame->repaint();
        }
        [[fallthrough]];
    case ViewerMode::Pan:
        currentCursor = ModeCursor();
        setCursor(currentCursor);
        break;
    case ViewerMode::Contrast: {
        const QPoint delta = position - lastPoint;
        currentFrame->AdjustWindow(delta.x(), delta.y(), true);
        currentFrame->repaint();
        break;
    }
    case ViewerMode::Select:
        break;
    }
}

void CDlgImgViewer::keyPressEvent(QKeyEvent* event)
{
    switch (event->key())
    {
    case Qt::Key_Escape:
        done(kResultEscape);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
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
    const QRect area(0, kTileAreaTop, width(), std::max(0, height() - kTileAreaTop));
    if (initialised && area != tileArea)
    {
        tileArea = area;
        LayoutFrames();
        UpdatePageButtons();
    }
}

} // namespace orblane
