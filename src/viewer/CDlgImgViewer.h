#pragma once

// ImageDataList's inline constructor needs the complete file type.
#include "core/ViewerSettings.h"
#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "imaging/TileSeries.h"
#include "imaging/ViewMath.h"
#include "imaging/ViewerKeys.h"
#include "imaging/ViewerRules.h"
#include "viewer/CCinePlayer.h"
#include "viewer/CMeasureLayer.h"
#include "viewer/CViewerToolbar.h"

#include <QCursor>
#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QPushButton;

namespace orblane {

class CPictureFrame;
class CSeriesStrip;
class CThumbnailLoader;

// The full-screen viewer of one request's images. The study list hands it every file of the selected studies
// before running it; exec() answers 0 (VIEWEND), 1 (the window's close command) or 2 (Esc).
class CDlgImgViewer : public QDialog
{
    Q_OBJECT

public:
    // Command ids of the toolbar controls.
    enum CommandId : int
    {
        kZoomInBox = 1005,
        kZoomOutBox = 1006,
        kPanBox = 1007,
        kContrastBox = 1008,
        kSelectBox = 1009,
        kFitButton = 1010,
        kResetButton = 1011,
        kPreviousImageButton = 1012,
        kNextImageButton = 1013,
        kPreviousPageButton = 1014,
        kNextPageButton = 1015,
        kSaveButton = 1093,
        kPatternButton = 1016,
        kOverlayBox = 1017,
        kEndButton = 1018,
        // Commands that only keys give.
        kFirstPageCommand = 1101,
        kLastPageCommand = 1102,
        kZoomInCentreCommand = 1103,
        kZoomOutCentreCommand = 1104,
        kInvertCommand = 1105,
        kCineCommand = 1106,
        kOverlayKeyCommand = 1107,
        // The study's reports: the Reports button and the D key.
        kReportsCommand = 1108,
        // The series strip shown or hidden (S).
        kSeriesStripCommand = 1109,
        // Window presets by digit: kPresetPage + d applies to every image of the page, kPresetTile + d to the
        // current tile (0 the file's window, 1-6 the CT presets, 9 the full value range).
        kPresetPage = 1110,
        kPresetTile = 1120,
    };
    static constexpr int kResultEnd = 0;
    static constexpr int kResultClose = 1;
    static constexpr int kResultEscape = 2;
    static constexpr int kTileCount = 36;
    static constexpr int kFirstTileId = 1053;
    // Toolbar margin, control size, and the top of the tile area (twice the margin plus a control) while the toolbar
    // fits one row; a window narrower than kToolbarWidth (a 1920-pixel screen at 2x is 960 wide) wraps the controls
    // that pass its right edge onto further rows, each a control and a margin lower, and the tiles start below them.
    static constexpr int kToolbarMargin = CViewerToolbar::kMargin;
    static constexpr int kControlSize = CViewerToolbar::kControlSize;
    static constexpr int kTileAreaTop = 2 * kToolbarMargin + kControlSize;
    static constexpr int kToolbarWidth = CViewerToolbar::kWidth;

    // Reads the viewer settings from "Orblane.ini" beside the executable.
    explicit CDlgImgViewer(QWidget* parent = nullptr);
    // The same with the settings file named (tests and tools).
    explicit CDlgImgViewer(const std::string& settingsPath, QWidget* parent = nullptr);
    ~CDlgImgViewer() override;

    // Takes the file; the image collection decides the order of the files. A file the medium lists as a report
    // (an encapsulated document, a structured report, a key object selection) is kept apart: it is offered through
    // the Reports button and key, never shown as a tile.
    void AddImageFile(std::unique_ptr<DicomDataFileIO> file);
    std::size_t ReportCount() const noexcept { return reports.size(); }
    // A request that holds reports and no image opens straight into its report (or a choice of them) instead of
    // an empty viewer: answers true when it did so and the viewer need not run.
    bool RunReportsOnly();
    // The Reports command: the study's one report, or a choice of them.
    void OpenReports();
    // Opens report k in its window, modal; its image links open in a viewer of their own.
    void ShowReport(std::size_t k);
    // Opens the study's images with these SOP Instance UIDs in a viewer of their own; false when none is here.
    bool OpenReferencedImages(const std::vector<std::string>& sopInstanceUids);
    // The report button (null while the study holds no report).
    QPushButton* ReportsButton() const noexcept { return reportsButton; }
    // A label for report k, by its kind.
    QString ReportLabel(std::size_t k) const;

    ImageDataList& Images() noexcept { return *imageList; }

    // Runs one command, as a click on its toolbar control (or its key) does: the one place every command goes through.
    void OnCommand(int id);
    // Runs what a key asks for, through OnCommand where the key stands for a command; false when the key is not the
    // viewer's. Every key press comes through here.
    bool RunKeyAction(const KeyAction& action);
    // The settings the viewer read when it was built; its tiles read them too.
    const ViewerSettings& Settings() const noexcept { return settings; }

    // State as the user sees it.
    int FirstIndex() const noexcept { return firstIndex; }
    int Columns() const noexcept { return columns; }
    int Rows() const noexcept { return rows; }
    int LastSlot() const noexcept { return lastSlot; }
    ViewerMode Mode() const noexcept { return mode; }
    double ZoomFactor() const noexcept { return zoomFactor; }
    const QRect& TileArea() const noexcept { return tileArea; }
    CPictureFrame* Frame(int index) const noexcept { return frames.at(static_cast<std::size_t>(index)); }
    CPictureFrame* CurrentFrame() const noexcept { return currentFrame; }
    // The toolbar control with this command id, or null.
    QWidget* Control(int id) const { return toolbar.Control(id); }
    const QCursor& CurrentCursor() const noexcept { return currentCursor; }
    bool Dragging() const noexcept { return dragging; }
    bool CinePlaying() const noexcept;
    // Milliseconds between two cine frames while cine plays (the file's rate), else 0.
    int CineIntervalMs() const noexcept;
    // The frames of image k's file: the multi-frame decoding answers these; until it does, every image is its own
    // only frame and cine has nothing to play.
    void SetFrameRuns(std::function<FrameRun(int)> runs) { frameRuns = std::move(runs); }

    // The measurements and overlay planes drawn over every tile, with the measuring tools.
    CMeasureLayer& Marks() noexcept { return marks; }

    // Sets the page grid as the pattern chooser does when it ends with OK; counts of 0 change nothing.
    void ApplyPattern(int newColumns, int newRows);

    void setVisible(bool visible) override;

    // The series strip (null until the viewer shows); shown while the viewer holds more than one series and S has
    // not hidden it.
    CSeriesStrip* SeriesStrip() const noexcept { return strip; }
    CThumbnailLoader* Thumbnails() const noexcept { return thumbnails.get(); }

    // The second way of reading (CDlgImgViewerTiles.cpp). The viewer's series, in the order the images come: the
    // index ShowSeriesInTile and a dropped series name.
    const std::vector<ViewerSeries>& SeriesList();
    // Whether some tile holds a series of its own; P (ReturnToPaging) ends it.
    bool ReadsTileSeries() const noexcept { return tileSeries.Active(); }
    // The image tile `tile` shows (the study's index), -1 for none.
    int ShownIndex(int tile) const noexcept;
    bool ReferenceLinesOn() const noexcept { return referenceLinesOn; }
    bool TilesLinked() const noexcept { return tileSeries.Linked(); }
    // What a drop carries: a series index as decimal ASCII.
    static constexpr const char* kSeriesMimeType = "application/x-orblane-series";

public slots:
    // Pages so that the first image of series `series` (the strip's numbering) is in the current tile: the tile
    // keeps its place where the study has images enough before it, else the page starts at the study's first image
    // and the tile showing the series' first image becomes the current one.
    void ShowSeriesFirstImage(int series);
    // Puts the series in the tile on its own (every series is first found, so that its images are all known): the
    // tile then scrolls its series with the wheel and the arrows while the other tiles keep their images.
    void ShowSeriesInTile(int series, int tile);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // A command and what it runs: the toolbar's controls and the commands only keys give.
    struct CommandRow
    {
        int id;
        void (CDlgImgViewer::*run)();
    };
    static std::span<const CommandRow> Commands() noexcept;

    void OnInitDialog();
    // The room the tiles share below the toolbar whose controls end at top.
    QRect TileAreaBelow(int top) const;
    // Lays the tiles out for the pattern; refitAll fits every image, otherwise only those still at their fit.
    void LayoutFrames(bool refitAll);
    void PlaceFrames();
    // Image `index` of the study, decoding as needed; failures the list met on the way are shown first.
    void FindImageAfterPage();
    CImageData* ImageAt(int index);
    // Takes the frames decoded ahead on the pool (on this thread) and repaints the tiles that show them.
    void CollectDecoded();
    void UpdatePageButtons();
    void AssignImages();
    // Starts the page at newFirst and fits the tiles [fitBegin, fitEnd) to their frames.
    void ShowFrom(int newFirst, int fitBegin, int fitEnd, bool prefetchNext);
    // Runs a paging step a rule answered; nothing when the rule says the step is not possible.
    void Step(bool (*rule)(const PageState&, PageStep&));
    PageState CurrentPage() const noexcept;
    void NextImage();
    void PreviousImage();
    void NextPage();
    void PreviousPage();
    void ChangePattern();
    void SetMode(ViewerMode newMode);
    void ZoomInMode() { SetMode(ViewerMode::ZoomIn); }
    void ZoomOutMode() { SetMode(ViewerMode::ZoomOut); }
    void PanMode() { SetMode(ViewerMode::Pan); }
    void ContrastMode() { SetMode(ViewerMode::Contrast); }
    void SelectMode() { SetMode(ViewerMode::Select); }
    void FitCurrent();
    void ResetCurrent();
    void SaveCurrent();
    void ToggleOverlay();
    void EndViewer();
    void FirstPage();
    void LastPage();
    void ZoomCurrentIn();
    void ZoomCurrentOut();
    void InvertCurrent();
    void ToggleCine();
    void ToggleOverlayBox();
    void ApplyPreset(int digit, bool wholePage);
    void StopCine();
    // Image `next` for the tile playing cine, with image `shown` kept decoded meanwhile.
    CImageData* CineFetch(int shown, int next);
    int TileIndexOf(const CPictureFrame* frame) const noexcept;
    CPictureFrame* FrameAt(QPoint position) const noexcept;
    // Brings the overlay's image and frame numbers of every tile up to date.
    void UpdateTileNumbers();
    // With ORBLANE_TRACE=1: one line naming the page's first image and a digest of what tile 0 shows.
    void TracePage();
    // Ends a window drag at position: what the drag shows becomes the base of the next one.
    void CommitWindowDrag(QPoint position);
    QCursor ModeCursor() const;
    void SelectFrameAt(QPoint position);
    bool InsidePage(QPoint position) const;
    void RepaintTiles();

    void PlaceReportsButton(int toolbarBottom);
    // The strip: built from the files' listing when the viewer first shows, laid out beside the tiles.
    void CreateSeriesStrip();
    void StartThumbnails();
    void PlaceSeriesStrip(int toolbarBottom);
    // Places the strip and lays the tiles out in the room below the toolbar; answers whether the tile area moved.
    bool LayoutBelowToolbar(int toolbarBottom);
    bool StripShown() const noexcept;
    void ToggleSeriesStrip();
    // The strip marks the series of the current tile's image.
    void MarkCurrentSeries();

    // The tiles' own series (CDlgImgViewerTiles.cpp).
    void ReturnToPaging();
    void ToggleReferenceLines();
    void ToggleLink();
    // Scrolls the tile within its series; the tiles that follow it move too.
    void StepTile(int tile, int delta);
    // Gives every tile the image its series place says, keeping a tile's zoom and pan from one slice to the next.
    void ShowTileImages();
    // The series line of every tile's overlay and the reference lines every other tile draws.
    void UpdateTileSeriesTexts();
    // Finds the rest of every series a tile shows (headers only), so that its count is the series' own and not
    // what paging has found so far; then the numbers are drawn again.
    void CompleteShownSeries();
    void UpdateReferenceLines();
    // The tiles' series that holds the first image of the strip's series `stripSeries`, or -1.
    int TileSeriesOfStripSeries(int stripSeries);
    // Gives the strip an entry for each further stack of an enhanced image the tiles have found.
    void SplitStripStacks();
    // The frame of its file that strip entry `entry`'s thumbnail shows.
    int ThumbnailFrame(int entry);
    // The series index a drop carries over this position's tile, or -1.
    int DroppedSeries(const QMimeData* mime) const;

    // Declared before the tiles and the image list, which are built from it.
    std::string settingsFile;
    ViewerSettings settings;
    int lastSlot = 0;
    std::unique_ptr<ImageDataList> imageList;
    CViewerToolbar toolbar;
    QPoint lastPoint;
    QPoint downPoint;
    bool dragging = false;
    // What the press that started the drag does, and its button (its release ends the drag).
    DragKind drag = DragKind::None;
    Qt::MouseButton dragButton = Qt::LeftButton;
    ViewerMode mode = ViewerMode::Select;
    double zoomFactor = 1.2;
    CPictureFrame* currentFrame = nullptr;
    int firstIndex = 0;
    int columns = 1;
    int rows = 1;
    QRect tileArea;
    std::array<CPictureFrame*, kTileCount> frames{};
    // Pan, drag, zoom-in, zoom-out, contrast.
    std::array<QCursor, 5> modeCursors;
    QCursor currentCursor;
    bool initialised = false;
    // Wheel turns in eighths of a degree not yet stepped: a touchpad sends many small turns for one notch (120).
    int wheelRest = 0;
    std::function<FrameRun(int)> frameRuns;
    CCinePlayer cine;
    // The study's reports, in the medium's order, and every file the medium lists with its SOP Instance UID (what a
    // report's image reference is found by).
    std::vector<std::unique_ptr<DicomDataFileIO>> reports;
    struct ListedFile
    {
        std::string sopInstanceUid;
        std::string fileId;
        std::string folder;
        std::u16string studyLabel;
        std::filesystem::path path; // a scanned file's, which has no ID below a folder
    };
    std::vector<ListedFile> listedFiles;
    QPushButton* reportsButton = nullptr;
    CSeriesStrip* strip = nullptr;
    bool stripHidden = false;
    std::unique_ptr<CThumbnailLoader> thumbnails;
    TileSeries tileSeries;
    bool referenceLinesOn = true;
    bool completionQueued = false;
    CMeasureLayer marks;
};

} // namespace orblane
