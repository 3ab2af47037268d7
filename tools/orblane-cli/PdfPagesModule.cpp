// The command line's PDF renderer, a module of its own: Qt's PDF module renders the pages the viewer shows, and only
// `report` loads it, so that no other verb pays for loading Qt.
#include "PdfPagesAbi.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QtMath>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#if defined(_WIN32)
#define ORBLANE_PDF_EXPORT __declspec(dllexport)
#else
#define ORBLANE_PDF_EXPORT __attribute__((visibility("default")))
#endif

namespace {

int Fail(const std::string& message, char* failure, std::size_t failureSize)
{
    if (failureSize > 0)
    {
        const std::size_t kept = std::min(message.size(), failureSize - 1);
        std::memcpy(failure, message.data(), kept);
        failure[kept] = '\0';
    }
    return 1;
}

int RenderPages(const std::uint8_t* pdf, std::size_t size, int maxPages, OrblanePdfPageSink sink, void* context,
                int* pages, char* failure, std::size_t failureSize)
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
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(pdf), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    if (document.status() != QPdfDocument::Status::Ready)
    {
        return Fail("the PDF document cannot be read (error " + std::to_string(static_cast<int>(document.error())) +
                        ")",
                    failure, failureSize);
    }
    *pages = document.pageCount();
    for (int page = 0; page < *pages && page < maxPages; ++page)
    {
        // 96 pixels per inch of a page measured in points (1/72 inch), rounded up as pdftoppm rounds.
        const QSizeF points = document.pagePointSize(page);
        const QSize pixels(qMax(1, qCeil(points.width() * 96.0 / 72.0 - 1e-6)),
                           qMax(1, qCeil(points.height() * 96.0 / 72.0 - 1e-6)));
        QImage image = document.render(page, pixels);
        if (image.isNull())
        {
            return Fail("page " + std::to_string(page + 1) + " cannot be rendered", failure, failureSize);
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
        if (sink(context, page + 1, reinterpret_cast<const std::uint8_t*>(png.constData()),
                 static_cast<std::size_t>(png.size())) != 0)
        {
            return Fail("page " + std::to_string(page + 1) + " cannot be written", failure, failureSize);
        }
    }
    return 0;
}

} // namespace

extern "C" ORBLANE_PDF_EXPORT int OrblaneRenderPdfPages(const std::uint8_t* pdf, std::size_t size, int maxPages,
                                                        OrblanePdfPageSink sink, void* context, int* pages,
                                                        char* failure, std::size_t failureSize)
{
    static_assert(std::is_same_v<decltype(&OrblaneRenderPdfPages), OrblanePdfPages>);
    *pages = 0;
    try
    {
        return RenderPages(pdf, size, maxPages, sink, context, pages, failure, failureSize);
    }
    catch (...)
    {
        return Fail("the PDF document cannot be rendered", failure, failureSize);
    }
}
