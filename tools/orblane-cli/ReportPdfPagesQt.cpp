#include "ReportPdfPages.h"

#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QtMath>

#include <cstdlib>
#include <memory>

namespace orblane::cli {

int WritePdfPages(ByteView pdf, const std::filesystem::path& outdir, int& pages, std::string& failure)
{
    // Qt's renderer wants an application object; the command line has no display, so it runs offscreen.
    std::unique_ptr<QGuiApplication> application;
    if (QCoreApplication::instance() == nullptr)
    {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "orblane-cli";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    // Read from memory, as the viewer reads it: nothing of the document is written anywhere but the pages.
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(pdf.data()), static_cast<qsizetype>(pdf.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    if (document.status() != QPdfDocument::Status::Ready)
    {
        failure = "the PDF document cannot be read (error " + std::to_string(static_cast<int>(document.error())) + ")";
        return 1;
    }
    pages = document.pageCount();
    for (int page = 0; page < pages && page < kMaxWrittenPages; ++page)
    {
        // 96 pixels per inch of a page measured in points (1/72 inch), rounded up as pdftoppm rounds.
        const QSizeF points = document.pagePointSize(page);
        const QSize pixels(qMax(1, qCeil(points.width() * 96.0 / 72.0 - 1e-6)),
                           qMax(1, qCeil(points.height() * 96.0 / 72.0 - 1e-6)));
        QImage image = document.render(page, pixels);
        if (image.isNull())
        {
            failure = "page " + std::to_string(page + 1) + " cannot be rendered";
            return 1;
        }
        // Pages are opaque paper: a transparent background would read as black in most viewers.
        QImage paper(image.size(), QImage::Format_RGB32);
        paper.fill(Qt::white);
        {
            QPainter painter(&paper);
            painter.drawImage(0, 0, image);
        }
        QByteArray png;
        QBuffer out(&png);
        out.open(QIODevice::WriteOnly);
        paper.save(&out, "PNG");
        const auto path = outdir / ("page-" + std::to_string(page + 1) + ".png");
        if (!platform::WriteFileAtomically(path, ByteView(reinterpret_cast<const std::uint8_t*>(png.constData()),
                                                          static_cast<std::size_t>(png.size()))))
        {
            failure = "cannot write " + path.string();
            return 1;
        }
    }
    return 0;
}

} // namespace orblane::cli
