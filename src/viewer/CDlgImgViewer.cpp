#include "viewer/CDlgImgViewer.h"

#include "core/Settings.h"
#include "dicom/DicomDataFileIO.h"
#include "platform/ErrorSink.h"
#include "platform/SettingsPaths.h"
#include "widgets/CBitmapButton.h"
#include "widgets/CBitmapCheckBox.h"
#include "viewer/CDlgPictPattern.h"
#include "viewer/CPictureFrame.h"
#include "widgets/Pictures.h"
#include "viewer/WaitCursor.h"

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
    : QDialog(parent), settings(ReadViewerSettings(settingsPath)),
      imageList(std::make_unique<ImageDataList>(settings.frameInset)), zoomFactor(ReadZoomStep(settingsPath)), currentCursor(Qt::ArrowCursor)
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

    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        auto* frame = new CPictureFrame(settings, this);
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
    settings.overlayVisible = 1;
    modeCursors = {LoadCursorResource(128), LoadCursorResource(127), LoadCursorResource(126), LoadCursorResource(124),
                   LoadCursorResource(125)};
    currentCursor = QCursor(Qt::ArrowCursor);
    for (CBitmapButton* button : {fitButton, resetButton, previousImageButton, nextImageButton, previousPageButton,
                                  nextPageButton, saveButton, patternButton, endButton})
    {
        button->show();
    }
}

std::span<const CDlgImgViewer::ToolbarRow> CDlgImgViewer::Toolbar() noexcept
{
    using V = CDlgImgViewer;
    // Left to right, in creation order.
    static constexpr ToolbarRow kRows[] = {
        {4, "ZOOMIN", kZoomInBox, &V::ZoomInMode, &V::zoomInBox, nullptr},
        {72, "ZOOMOUT", kZoomOutBox, &V::ZoomOutMode, &V::zoomOutBox, nullptr},
        {140, "MODEPAN", kPanBox, &V::PanMode, &V::panBox, nullptr},
        {208, "MODECONT", kContrastBox, &V::ContrastMode, &V::contrastBox, nullptr},
        {276, "SELECT", kSelectBox, &V::SelectMode, &V::selectBox, nullptr},
        {350, "IMGFIT", kFitButton, &V::FitCurrent, nullptr, &V::fitButton},
        {419, "RESET", kResetButton, &V::ResetCurrent, nullptr, &V::resetButton},
        {492, "BEFOREIMG", kPreviousImageButton, &V::PreviousImage, nullptr, &V::previousImageButton},
        {560, "NEXTIMG", kNextImageButton, &V::NextImage, nullptr, &V::nextImageButton},
        {628, "BEFOREPAGE", kPreviousPageButton, &V::PreviousPage, nullptr, &V::previousPageButton},
        {696, "NEXTPAGE", kNextPageButton, &V::NextPage, nullptr, &V::nextPageButton},
        {770, "SAVEIMG", kSaveButton, &V::SaveCurrent, nullptr, &V::saveButton},
        {838, "CHGIMGPTN", kPatternButton, &V::ChangePattern, nullptr, &V::patternButton},
        {912, "IMGINFO", kOverlayBox, &V::ToggleOverlay, &V::overlayBox, nullptr},
        {980, "VIEWEND", kEndButton, &V::EndViewer, nullptr, &V::endButton},
    };
    return kRows;
}

void CDlgImgViewer::CreateToolbar()
{
    for (const ToolbarRow& row : Toolbar())
    {
        const QRect place(row.x, kToolbarMargin, kControlSize, kControlSize);
        const QString name = QString::fromLatin1(row.name);
        QAbstractButton* created = nullptr;
        if (row.box != nullptr)
        {
            auto* box = new CBitmapCheckBox(this);
            // The mode boxes behave as radio buttons; only the overlay box toggles.
            box->Create(place, this, row.id, row.id == kOverlayBox);
            box->LoadBitmaps(name);
            connect(box, &CBitmapCheckBox::Command, this, &CDlgImgViewer::OnCommand);
            this->*row.box = box;
            created = box;
        }
        else
        {
            auto* button = new CBitmapButton(this);
            button->Create(name, place, this, row.id, row.id == kEndButton);
            button->LoadBitmaps();
            connect(button, &CBitmapButton::Command, this, &CDlgImgViewer::OnCommand);
            this->*row.button = button;
            created = button;
        }
        created->setObjectName(name);
        // The mode cursors belong to the page; the toolbar always shows the arrow.
        created->setCursor(Qt::ArrowCursor);
    }
}

QWidget* CDlgImgViewer::Control(int id) const
{
    for (const ToolbarRow& row : Toolbar())
    {
        if (row.id == id)
        {
            return findChild<QWidget*>(QString::fromLatin1(row.name), Qt::FindDirectChildrenOnly);
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

PageState CDlgImgViewer::CurrentPage() const noexcept
{
    return {firstIndex, lastSlot + 1, imageList->ImageCount()};
}

void CDlgImgViewer::UpdatePageButtons()
{
    if (nextImageButton == nullptr)
    {
        return;
    }
    const PageState page = CurrentPage();
    nextImageButton->setEnabled(CanPageForward(page));
    nextPageButton->setEnabled(CanPageForward(page));
    previousImageButton->setEnabled(CanPageBack(page));
    previousPageButton->setEnabled(CanPageBack(page));
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

void CDlgImgViewer::Step(bool (*rule)(const PageState&, PageStep&))
{
    // Only as far as the decoded images reach, as the disabled buttons promise.
    PageStep step;
    if (rule(CurrentPage(), step))
    {
        ShowFrom(step.newFirst, step.fitBegin, step.fitEnd, step.prefetchNext);
    }
}

void CDlgImgViewer::NextImage()
{
    Step(&NextImageStep);
}

void CDlgImgViewer::PreviousImage()
{
    Step(&PreviousImageStep);
}

void CDlgImgViewer::NextPage()
{
    Step(&NextPageStep);
}

void CDlgImgViewer::PreviousPage()
{
    Step(&PreviousPageStep);
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
    for (const ToolbarRow& row : Toolbar())
    {
        if (row.id == id)
        {
            (this->*row.run)();
            return;
        }
    }
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
    settings.overlayVisible = overlayBox->IsChecked() ? 1 : 0;
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
        }
        return;
    }
}

void CDlgImgViewer::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const PointerButton button = PointerOf(event->button());
    if (button != PointerButton::Left || currentFrame == nullptr || !InsidePage(position))
    {
        QDialog::mousePressEvent(event);
        return;
    }
    if (dragging)
    {
        // A second button during a drag changes nothing; the first button's release ends the drag.
        return;
    }
    SelectFrameAt(position);
    lastPoint = downPoint = position;
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
