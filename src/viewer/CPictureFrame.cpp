#include "viewer/CPictureFrame.h"

#include "core/ViewerSettings.h"
#include "imaging/CImageData.h"
#include "platform/ErrorSink.h"
#include "platform/Saturate.h"
#include "viewer/WaitCursor.h"

#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QPainter>
#include <QStringList>

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

void CPictureFrame::SaveImage()
{
    if (image == nullptr)
    {
        return;
    }
    const QString jpegFilter = QString::fromLatin1(kJpegFilter);
    const QString bitmapFilter = QString::fromLatin1(kBitmapFilter);
    QFileDialog dialog(nullptr);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({jpegFilter, bitmapFilter});
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    // A name typed without an extension takes the extension of the type chosen, so that the file's name matches
    // its content.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, jpegFilter](const QString& filter) {
        dialog.setDefaultSuffix(filter == jpegFilter ? QStringLiteral("jpg") : QStringLiteral("bmp"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    {
        return;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    const int format = dialog.selectedNameFilter() == jpegFilter ? kImageFileJpeg : kImageFileBmp;
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
        written = image->SaveAs(path, format);
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
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (image != nullptr)
    {
        DrawVisibleImage(painter);
        if (settings->overlayVisible == 1)
        {
            DrawOverlay(painter);
        }
    }
    DrawBorder(painter);
}

void CPictureFrame::DrawVisibleImage(QPainter& painter) const
{
    const DisplayBitmap& bitmap = image->Bitmap();
    const int dw = image->DisplayWidth();
    const int dh = image->DisplayHeight();
    if (bitmap.IsNull() || dw <= 0 || dh <= 0)
    {
        return;
    }
    QImage::Format format = QImage::Format_RGB32;
    int bytesPerPixel = 4;
    if (bitmap.BitsPerPixel() == 8)
    {
        format = QImage::Format_Grayscale8;
        bytesPerPixel = 1;
    }
    else if (bitmap.BitsPerPixel() != 32)
    {
        return;
    }

    // Only the part of the bitmap that lands inside the tile is scaled: a zoomed-in 3000 x 3000 image costs what
    // the tile shows, not what the image holds.
    const Point o = image->GetOrigin();
    const double scaleX = static_cast<double>(bitmap.Width()) / dw;
    const double scaleY = static_cast<double>(bitmap.Height()) / dh;
    const double visibleLeft = std::max(0.0, -static_cast<double>(o.x));
    const double visibleTop = std::max(0.0, -static_cast<double>(o.y));
    const double visibleRight = std::min(static_cast<double>(dw), static_cast<double>(width()) - o.x);
    const double visibleBottom = std::min(static_cast<double>(dh), static_cast<double>(height()) - o.y);
    if (visibleRight <= visibleLeft || visibleBottom <= visibleTop)
    {
        return;
    }
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
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, part, QRectF(0, 0, x1 - x0, y1 - y0));
}

void CPictureFrame::DrawOverlay(QPainter& painter) const
{
    QFont font(QString::fromStdU16String(settings->overlayFont.face));
    font.setPointSizeF(std::max(1, settings->overlayFont.tenthsOfPoint) / 10.0);
    painter.setFont(font);
    painter.setPen(ToQColor(settings->overlayTextColor));
    const QRect area = rect().adjusted(kOverlayInset, kOverlayInset, -kOverlayInset, 0);
    const QString text1 = OverlayText(image->GetText(1));
    if (!text1.isEmpty())
    {
        painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, text1);
    }
    const QString text2 = OverlayText(image->GetText(2));
    if (!text2.isEmpty())
    {
        painter.drawText(area, Qt::AlignRight | Qt::AlignTop, text2);
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
