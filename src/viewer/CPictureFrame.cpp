#include "viewer/CPictureFrame.h"

#include "core/ViewerSettings.h"
#include "imaging/AreaScale.h"
#include "imaging/CImageData.h"
#include "imaging/ViewMath.h"
#include "platform/ErrorSink.h"
#include "platform/Saturate.h"
#include "viewer/CMeasureLayer.h"
#include "viewer/WaitCursor.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace orblane {
namespace {

constexpr char kErrorImageNotSaved[] = "10104";

QColor ToQColor(ColourRef colour)
{
    return QColor(ColourRed(colour), ColourGreen(colour), ColourBlue(colour));
}

// The overlay texts break their lines with CR LF; the painter wants bare line feeds.
QString OverlayText(const std::u16string& text)
{
    QString result = QString::fromStdU16String(text);
    result.remove(QLatin1Char('\r'));
    return result;
}

// The fit scale as a divisor; an image that was never fitted has 1.
double FitScaleOf(const CImageData& image) noexcept
{
    const double f = image.GetFitScale();
    return f > 0.0 && std::isfinite(f) ? f : 1.0;
}

const ViewerSettings kDefaultSettings;

// The folder of the last save of this session; empty until the first.
QString& LastSaveFolder()
{
    static QString folder;
    return folder;
}

// Gap between the left and right blocks of one overlay line, in pixels.
constexpr int kOverlayGap = 12;

// Cuts every line of text to width, with an ellipsis where it was cut.
QString Elided(const QFontMetrics& metrics, const QString& text, int width)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
    {
        line = metrics.elidedText(line, Qt::ElideRight, std::max(0, width));
    }
    return lines.join(QLatin1Char('\n'));
}

int WidestLine(const QFontMetrics& metrics, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
    {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

} // namespace

CPictureFrame::CPictureFrame(QWidget* parent) : CPictureFrame(kDefaultSettings, parent) {}

CPictureFrame::CPictureFrame(const ViewerSettings& viewerSettings, QWidget* parent)
    : QWidget(parent), settings(&viewerSettings)
{
    selectedColour = ToQColor(settings->frameColor);
    idleColour = ToQColor(settings->idleFrameColor);
    // The viewer routes every mouse message itself; the tile paints all of its area, so nothing is erased first.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    refineTimer = new QTimer(this);
    refineTimer->setSingleShot(true);
    connect(refineTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void CPictureFrame::SetNumbers(int imageIndex, int images, int frame, int frames) noexcept
{
    imageNumber = imageIndex;
    imageTotal = images;
    frameNumber = frame;
    frameTotal = frames;
}

CImageData* CPictureFrame::SetImage(CImageData* newImage) noexcept
{
    return std::exchange(image, newImage);
}

void CPictureFrame::FitImage() noexcept
{
    if (image == nullptr)
    {
        return;
    }
    const int thickness = settings->frameThickness;
    const QRect r = rect().adjusted(thickness, thickness, -thickness, -thickness);
    image->FitTo(r.width(), r.height());
}

bool CPictureFrame::IsFitted() const noexcept
{
    if (image == nullptr)
    {
        return false;
    }
    const int thickness = settings->frameThickness;
    const QRect r = rect().adjusted(thickness, thickness, -thickness, -thickness);
    ViewState probe = image->View();
    probe.FitTo(r.width(), r.height());
    return probe.Zoom() == image->GetZoom() && probe.Origin() == image->GetOrigin();
}

void CPictureFrame::ResetImage() noexcept
{
    if (image == nullptr)
    {
        return;
    }
    image->ResetWindow();
    FitImage();
}

void CPictureFrame::Zoom(QPoint p, double target) noexcept
{
    const double s = image->GetZoom();
    const double f = FitScaleOf(*image);
    const double n = std::clamp(target, kMinZoom / f, kMaxZoom / f);
    image->SetZoom(n);
    const double k = n / s;
    const Point o = image->GetOrigin();
    image->SetOrigin(TruncToInt32(p.x() + std::trunc((o.x - p.x()) * k)),
                     TruncToInt32(p.y() + std::trunc((o.y - p.y()) * k)));
}

void CPictureFrame::ZoomIn(QPoint p, double factor) noexcept
{
    if (image == nullptr || image->GetZoom() >= kMaxZoom / FitScaleOf(*image) || image->GetZoom() <= 0.0)
    {
        return;
    }
    Zoom(p, image->GetZoom() * factor);
}

void CPictureFrame::ZoomOut(QPoint p, double factor) noexcept
{
    if (image == nullptr || image->GetZoom() <= kMinZoom / FitScaleOf(*image) || factor <= 0.0)
    {
        return;
    }
    Zoom(p, image->GetZoom() / factor);
}

void CPictureFrame::PanImage(int dx, int dy) noexcept
{
    if (image != nullptr)
    {
        image->MoveOrigin(dx, dy);
    }
}

void CPictureFrame::AdjustWindow(int dx, int dy, bool commit) noexcept
{
    if (image == nullptr)
    {
        return;
    }
    image->ChangeWindow(dx, dy, commit, settings->wlWidthDivisor, settings->wlCentreDivisor);
    image->UpdateDisplaySize();
}

QString CPictureFrame::SaveFolder()
{
    if (!LastSaveFolder().isEmpty() && QFileInfo(LastSaveFolder()).isDir())
    {
        return LastSaveFolder();
    }
    // The medium is read-only and the program's own folder is on it: a save starts where the user keeps pictures.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
    {
        return pictures;
    }
    return QDir::homePath();
}

void CPictureFrame::SaveImage()
{
    if (image == nullptr)
    {
        return;
    }
    struct SaveType
    {
        QString filter;
        const char* suffix;
        int format;
    };
    // PNG came last, so that the types keep their places for those used to them.
    const SaveType types[] = {{QString::fromLatin1(kJpegFilter), "jpg", kImageFileJpeg},
                              {QString::fromLatin1(kBitmapFilter), "bmp", kImageFileBmp},
                              {QString::fromLatin1(kPngFilter), "png", kImageFilePng}};
    const auto typeOf = [&types](const QString& filter) -> const SaveType& {
        for (const SaveType& type : types)
        {
            if (type.filter == filter)
            {
                return type;
            }
        }
        return types[0];
    };
    QFileDialog dialog(nullptr);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDirectory(SaveFolder());
    dialog.setNameFilters({types[0].filter, types[1].filter, types[2].filter});
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    // A name typed without an extension takes the extension of the type chosen, so that the file's name matches
    // its content.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &typeOf](const QString& filter) {
        dialog.setDefaultSuffix(QString::fromLatin1(typeOf(filter).suffix));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    {
        return;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    const int format = typeOf(dialog.selectedNameFilter()).format;
    LastSaveFolder() = QFileInfo(chosen).absolutePath();
    // The area under the closed dialog is drawn again before the wait.
    repaint();
    SaveImageAs(std::filesystem::path(QFile::encodeName(chosen).toStdString()), format);
}

bool CPictureFrame::SaveImageAs(const std::filesystem::path& path, int format)
{
    if (image == nullptr)
    {
        return false;
    }
    bool written = false;
    {
        WaitCursor wait;
        // Only what is shown goes into the file: marks hidden (I, O) are not exported.
        written =
            marks != nullptr && marks->ShowsMarksOn(*image)
                ? image->SaveAs(path, format, [this](DisplayBitmap& shown) { marks->PaintOnExport(shown, *image); })
                : image->SaveAs(path, format);
    }
    if (!written)
    {
        RaiseError(kErrorImageNotSaved, 0, false);
    }
    return written;
}

void CPictureFrame::paintEvent(QPaintEvent*)
{
    // The widget's backing store is the off-screen image: everything below lands there and reaches the screen in
    // one copy, so a drag does not flicker.
    paintingQuickly = quickNext;
    QPainter painter(this);
    // Black only where the image leaves the tile: filling the whole tile under an opaque image cost about a fifth of
    // a wheel step.
    const QRect cover = image != nullptr ? ImageCover() : QRect();
    const QRegion background = QRegion(rect()).subtracted(cover);
    for (const QRect& part : background)
    {
        painter.fillRect(part, Qt::black);
    }
    overlayBlocks = {};
    if (image != nullptr)
    {
        DrawVisibleImage(painter, cover);
        DrawReferenceLines(painter);
        if (marks != nullptr && image->UnshownReason().empty())
        {
            marks->Paint(painter, *image, Mapping(), rect());
        }
        if (!image->UnshownReason().empty())
        {
            // No pixels to show: one centred line says why, in the overlay's font and colour, under the texts.
            QFont font(QString::fromStdU16String(settings->overlayFont.face));
            font.setPointSizeF(std::max(1, settings->overlayFont.tenthsOfPoint) / 10.0);
            painter.setFont(font);
            painter.setPen(ToQColor(settings->overlayTextColor));
            painter.drawText(rect(), static_cast<int>(Qt::AlignCenter | Qt::TextWordWrap),
                             QString::fromStdU16String(image->UnshownReason()));
        }
        if (settings->overlayVisible == 1)
        {
            DrawOverlay(painter);
        }
    }
    if (!notice.isEmpty())
    {
        QFont font(QString::fromStdU16String(settings->overlayFont.face));
        font.setPointSizeF(std::max(1, settings->overlayFont.tenthsOfPoint) / 10.0);
        painter.setFont(font);
        painter.setPen(ToQColor(settings->overlayTextColor));
        painter.drawText(rect(), static_cast<int>(Qt::AlignCenter | Qt::TextWordWrap), notice);
    }
    DrawBorder(painter);
}

void CPictureFrame::DrawReferenceLines(QPainter& painter) const
{
    const PixelDescription& d = image->Description();
    if (referenceLines.empty() || d.columnCount == 0 || d.rowCount == 0)
    {
        return;
    }
    const Point o = image->GetOrigin();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setClipRect(rect());
    for (const TileLine& line : referenceLines)
    {
        const TilePoint a =
            PixelToTile(line.from, d.columnCount, d.rowCount, o.x, o.y, image->DisplayWidth(), image->DisplayHeight());
        const TilePoint b =
            PixelToTile(line.to, d.columnCount, d.rowCount, o.x, o.y, image->DisplayWidth(), image->DisplayHeight());
        // The current image's plane stands out; a series' first and last images are its bounds, drawn dashed.
        QPen pen(line.role == LineRole::Current ? QColor(255, 255, 0) : QColor(0, 200, 255));
        pen.setWidthF(1.5);
        pen.setStyle(line.role == LineRole::Current ? Qt::SolidLine : Qt::DashLine);
        painter.setPen(pen);
        painter.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
    }
    painter.restore();
}

TileMapping CPictureFrame::Mapping() const noexcept
{
    TileMapping map;
    if (image == nullptr || image->Description().columnCount == 0 || image->Description().rowCount == 0)
    {
        return map;
    }
    // As the bitmap is drawn: its top-left corner at the origin, stretched to the display size.
    const Point o = image->GetOrigin();
    map.left = o.x;
    map.top = o.y;
    map.columns = image->Description().columnCount;
    map.rows = image->Description().rowCount;
    map.scaleX = static_cast<double>(image->DisplayWidth()) / map.columns;
    map.scaleY = static_cast<double>(image->DisplayHeight()) / map.rows;
    return map;
}

QRect CPictureFrame::ImageCover() const
{
    const DisplayBitmap& bitmap = image->Bitmap();
    const int dw = image->DisplayWidth();
    const int dh = image->DisplayHeight();
    if (bitmap.IsNull() || dw <= 0 || dh <= 0 || (bitmap.BitsPerPixel() != 8 && bitmap.BitsPerPixel() != 32))
    {
        return {};
    }
    // The display rectangle starts on a whole pixel and the drawn target reaches past it on every side that the
    // tile cuts (DrawVisibleImage keeps a source pixel of margin), so each pixel inside is painted in full: both
    // bitmap kinds are opaque. Wide sums: a far pan puts the origin where origin + size no longer fits an int.
    const Point o = image->GetOrigin();
    const std::int64_t left = std::max<std::int64_t>(0, o.x);
    const std::int64_t top = std::max<std::int64_t>(0, o.y);
    const std::int64_t right = std::min<std::int64_t>(width(), std::int64_t{o.x} + dw);
    const std::int64_t bottom = std::min<std::int64_t>(height(), std::int64_t{o.y} + dh);
    if (right <= left || bottom <= top)
    {
        return {};
    }
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
}

void CPictureFrame::DrawVisibleImage(QPainter& painter, const QRect& cover)
{
    if (cover.isEmpty())
    {
        return;
    }
    const DisplayBitmap& bitmap = image->Bitmap();
    const int dw = image->DisplayWidth();
    const int dh = image->DisplayHeight();
    const QImage::Format format = bitmap.BitsPerPixel() == 8 ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
    const int bytesPerPixel = bitmap.BitsPerPixel() / 8;

    // Only the part of the bitmap that lands inside the tile is scaled: a zoomed-in 3000 x 3000 image costs what
    // the tile shows, not what the image holds.
    const Point o = image->GetOrigin();
    const double scaleX = static_cast<double>(bitmap.Width()) / dw;
    const double scaleY = static_cast<double>(bitmap.Height()) / dh;
    const double visibleLeft = static_cast<double>(cover.left()) - o.x;
    const double visibleTop = static_cast<double>(cover.top()) - o.y;
    const double visibleRight = visibleLeft + cover.width();
    const double visibleBottom = visibleTop + cover.height();
    // One source pixel of margin on every side keeps the smooth filter's edge samples those of the whole image.
    const int x0 = std::max(0, static_cast<int>(std::floor(visibleLeft * scaleX)) - 1);
    const int y0 = std::max(0, static_cast<int>(std::floor(visibleTop * scaleY)) - 1);
    const int x1 = std::min(bitmap.Width(), static_cast<int>(std::ceil(visibleRight * scaleX)) + 1);
    const int y1 = std::min(bitmap.Height(), static_cast<int>(std::ceil(visibleBottom * scaleY)) + 1);
    if (x1 <= x0 || y1 <= y0)
    {
        return;
    }
    // A view of the bitmap's memory, not a copy.
    const QImage part(bitmap.Row(y0) + static_cast<std::size_t>(x0) * static_cast<std::size_t>(bytesPerPixel), x1 - x0,
                      y1 - y0, static_cast<qsizetype>(bitmap.Stride()), format);
    const QRectF target(o.x + x0 / scaleX, o.y + y0 / scaleY, (x1 - x0) / scaleX, (y1 - y0) / scaleY);
    // The filter is chosen in device pixels: on a screen of ratio 2 a tile pixel is two device pixels.
    const double ratio = devicePixelRatioF();
    const double deviceScale = ratio / scaleX;
    // Only the first paint of an image new to this tile may be quick; any later paint draws it exactly.
    const bool quick = paintingQuickly && image != lastPainted;
    lastPainted = image;
    switch (FilterFor(deviceScale))
    {
    case ScaleFilter::Area: {
        const int targetWidth = std::clamp(static_cast<int>(std::lround(target.width() * ratio)), 1, x1 - x0);
        const int targetHeight = std::clamp(static_cast<int>(std::lround(target.height() * ratio)), 1, y1 - y0);
        const ShrinkKey key{image,
                            bitmap.Bits(),
                            image->WindowInModality().centre,
                            image->WindowInModality().width,
                            image->Inverted(),
                            image->UsesVoiLut(),
                            QRect(x0, y0, x1 - x0, y1 - y0),
                            QSize(targetWidth, targetHeight)};
        if (key == shrunkKey && !shrunk.isNull())
        {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(target, shrunk, QRectF(0, 0, targetWidth, targetHeight));
            break;
        }
        if (quick)
        {
            // A few nearest samples now; averaging every pixel waits until the user stops stepping.
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(target, part, QRectF(0, 0, x1 - x0, y1 - y0));
            refineTimer->start(kRefineMilliseconds);
            break;
        }
        shrunk = QImage(targetWidth, targetHeight, format);
        shrunkKey = {};
        const PixelRegion region{part.constBits(), x1 - x0, y1 - y0, static_cast<std::size_t>(part.bytesPerLine()),
                                 bytesPerPixel};
        if (!shrunk.isNull() && AreaScale(region, shrunk.bits(), targetWidth, targetHeight,
                                          static_cast<std::size_t>(shrunk.bytesPerLine())))
        {
            shrunkKey = key;
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(target, shrunk, QRectF(0, 0, targetWidth, targetHeight));
            break;
        }
        shrunk = QImage();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(target, part, QRectF(0, 0, x1 - x0, y1 - y0));
        break;
    }
    case ScaleFilter::Smooth:
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(target, part, QRectF(0, 0, x1 - x0, y1 - y0));
        break;
    case ScaleFilter::Nearest:
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(target, part, QRectF(0, 0, x1 - x0, y1 - y0));
        break;
    }
    if (image->Inverted() && !IsMonochrome(image->Description().photometric))
    {
        // Grey images are inverted in their bitmap; colour images share the decoder's pixels and are inverted here.
        painter.save();
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(target.intersected(QRectF(rect())), Qt::white);
        painter.restore();
    }
}

void CPictureFrame::DrawOverlay(QPainter& painter)
{
    QFont font(QString::fromStdU16String(settings->overlayFont.face));
    font.setPointSizeF(std::max(1, settings->overlayFont.tenthsOfPoint) / 10.0);
    painter.setFont(font);
    painter.setPen(ToQColor(settings->overlayTextColor));
    const QFontMetrics metrics(font);
    const QRect area = rect().adjusted(kOverlayInset, kOverlayInset, -kOverlayInset, -kOverlayInset);

    // The series above the image's place in it.
    QString bottomLeft = seriesText;
    if (imageNumber > 0)
    {
        bottomLeft += (bottomLeft.isEmpty() ? QString() : QStringLiteral("\n")) +
                      QStringLiteral("Im %1/%2").arg(imageNumber).arg(imageTotal);
        if (studyNumber > 0)
        {
            bottomLeft += QStringLiteral(" (%1/%2)").arg(studyNumber).arg(studyTotal);
        }
        if (frameTotal > 1)
        {
            bottomLeft += QStringLiteral("  Fr %1/%2").arg(frameNumber).arg(frameTotal);
        }
    }
    QString bottomRight;
    if (IsMonochrome(image->Description().photometric))
    {
        if (image->Scale().Identity())
        {
            bottomRight = QStringLiteral("W %1 / %2  ").arg(image->WindowCentre()).arg(image->WindowWidth());
        }
        else
        {
            // A rescale that integers cannot hold (a slope of 1e-6, say): the window in its own modality units.
            const CImageData::ModalityWindow window = image->WindowInModality();
            bottomRight = QStringLiteral("W %1 / %2  ").arg(window.centre, 0, 'g', 6).arg(window.width, 0, 'g', 6);
        }
    }
    bottomRight += QStringLiteral("%1%").arg(ZoomPercent(image->DisplayWidth(), image->Description().columnCount));

    // Each line is shared by a left and a right block: the right one keeps its width (up to half the line), the
    // left one is cut to what remains, so that the two never run into each other in a small tile.
    const auto place = [&](const QString& left, const QString& right, Qt::Alignment vertical, std::size_t slot) {
        // Two pixels of slack: eliding rounds differently from the advance and would cut a text that fits.
        const int rightWidth = std::min(WidestLine(metrics, right) + 2, area.width() / 2);
        const QString rightShown = Elided(metrics, right, rightWidth);
        const QString leftShown = Elided(metrics, left, area.width() - rightWidth - kOverlayGap);
        if (!leftShown.isEmpty())
        {
            overlayBlocks[slot] = painter.boundingRect(area, Qt::AlignLeft | vertical, leftShown);
        }
        if (!rightShown.isEmpty())
        {
            overlayBlocks[slot + 1] = painter.boundingRect(area, Qt::AlignRight | vertical, rightShown);
        }
        return std::pair{leftShown, rightShown};
    };
    const auto [topLeft, topRight] =
        place(OverlayText(image->GetText(1)), OverlayText(image->GetText(2)), Qt::AlignTop, 0);
    const auto [lowLeft, lowRight] = place(bottomLeft, bottomRight, Qt::AlignBottom, 2);
    // A tile too low for both keeps the attribute texts at the top: the numbers give way.
    const bool bottomFits = !overlayBlocks[2].intersects(overlayBlocks[0]) &&
                            !overlayBlocks[2].intersects(overlayBlocks[1]) &&
                            !overlayBlocks[3].intersects(overlayBlocks[0]) &&
                            !overlayBlocks[3].intersects(overlayBlocks[1]) && area.height() > 0;
    if (!bottomFits)
    {
        overlayBlocks[2] = overlayBlocks[3] = QRect();
    }
    const std::pair<const QString*, Qt::Alignment> texts[] = {{&topLeft, Qt::AlignLeft | Qt::AlignTop},
                                                              {&topRight, Qt::AlignRight | Qt::AlignTop},
                                                              {&lowLeft, Qt::AlignLeft | Qt::AlignBottom},
                                                              {&lowRight, Qt::AlignRight | Qt::AlignBottom}};
    for (std::size_t i = 0; i < 4; ++i)
    {
        if (!overlayBlocks[i].isEmpty())
        {
            painter.drawText(area, static_cast<int>(texts[i].second), *texts[i].first);
        }
    }
}

void CPictureFrame::DrawBorder(QPainter& painter) const
{
    const QColor colour = selected != 0 ? selectedColour : idleColour;
    QRect r = rect();
    for (int i = 0; i < settings->frameThickness && r.width() > 0 && r.height() > 0; ++i)
    {
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), colour);
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), colour);
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), colour);
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), colour);
        r.adjust(1, 1, -1, -1);
    }
}

} // namespace orblane
