// Real studies in the viewer: a CT, lossless and MR page and a colour page (JPEG baseline, RGB and YBR) as the user
// sees them. With ORBLANE_SCREENSHOT_DIR set, the pages are also written there as PNG files to be looked at.
#include "viewer/CDlgImgViewer.h"

#include "ViewerStudy.h"
#include "core/ViewerSettings.h"
#include "imaging/CImageData.h"
#include "support/LosslessEncoder.h"
#include "viewer/CPictureFrame.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace orblane {
namespace {

// A 256 x 256 CT-like phantom from the test writer: a body disc with two brighter inserts, under a window of its
// own.
std::unique_ptr<DicomDataFileIO> WritePhantom(const test::ScratchFolder& folder)
{
    test::GreyImageOptions imageOptions;
    imageOptions.rows = 256;
    imageOptions.columns = 256;
    imageOptions.windowCentre = 1100;
    imageOptions.windowWidth = 800;
    imageOptions.patientName = "PHANTOM^CT";
    imageOptions.value = [](int row, int column) {
        const auto inside = [&](int cy, int cx, int r) {
            return (row - cy) * (row - cy) + (column - cx) * (column - cx) < r * r;
        };
        if (inside(100, 100, 25) || inside(160, 150, 15))
        {
            return std::uint16_t{1450};
        }
        return inside(128, 128, 110) ? static_cast<std::uint16_t>(1000 + (row + column) / 4) : std::uint16_t{0};
    };
    return test::WriteGreyImage(folder, "phantom", imageOptions);
}

// A 200 x 160 JPEG lossless image (12 bits) from the test encoder.
std::unique_ptr<DicomDataFileIO> WriteLossless(const test::ScratchFolder& folder)
{
    test::LosslessEncodeOptions options;
    options.width = 200;
    options.height = 160;
    const auto samples = test::MakeTestImage(options.width, options.height, options.precision, 7);
    const auto stream = test::EncodeLossless(samples, options);
    test::DicomWriter w;
    w.FileMeta(test::kJpegLossless)
        .Text(0x0010, 0x0010, "PN", "LOSSLESS^MR")
        .UInt16(0x0028, 0x0002, 1)
        .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
        .UInt16(0x0028, 0x0010, 160)
        .UInt16(0x0028, 0x0011, 200)
        .UInt16(0x0028, 0x0100, 16)
        .UInt16(0x0028, 0x0101, 12)
        .UInt16(0x0028, 0x0102, 11)
        .UInt16(0x0028, 0x0103, 0)
        .Text(0x0028, 0x1050, "DS", "2048")
        .Text(0x0028, 0x1051, "DS", "4096");
    w.BeginEncapsulated().Fragment({}).Fragment(stream).EndSequence();
    w.WriteTo(folder.Path() / "lossless");
    return std::make_unique<DicomDataFileIO>("lossless", folder.FolderText(), u"");
}

std::unique_ptr<CDlgImgViewer> OpenSamples(const std::vector<std::string>& names,
                                           std::vector<std::unique_ptr<DicomDataFileIO>> written = {})
{
    auto viewer = std::make_unique<CDlgImgViewer>(std::string(ORBLANE_TEST_DATA_DIR) + "/files/no-settings.ini");
    for (auto& file : written)
    {
        viewer->AddImageFile(std::move(file));
    }
    for (const std::string& name : names)
    {
        viewer->AddImageFile(
            std::make_unique<DicomDataFileIO>(name, std::string(ORBLANE_TEST_DATA_DIR) + "/files/", u""));
    }
    viewer->show();
    QCoreApplication::processEvents();
    viewer->ApplyPattern(2, 2);
    // The page is judged by its pixels alone: the overlay's yellow numbers at the tiles' bottom would count as colour.
    viewer->OnCommand(CDlgImgViewer::kOverlayKeyCommand);
    return viewer;
}

QImage Screenshot(CDlgImgViewer& viewer, const char* name)
{
    const QImage shot = viewer.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (const char* folder = std::getenv("ORBLANE_SCREENSHOT_DIR"))
    {
        shot.save(QDir(QString::fromLocal8Bit(folder)).filePath(QString::fromLatin1(name)));
    }
    return shot;
}

// Pixels of a tile's inside whose channels differ by more than a little: colour, not grey.
int ColouredPixels(const QImage& shot, const QRect& tile)
{
    int coloured = 0;
    for (int y = tile.top() + 100; y < tile.bottom() - 5; y += 3)
    {
        for (int x = tile.left() + 5; x < tile.right() - 5; x += 3)
        {
            const QColor c = shot.pixelColor(x, y);
            coloured += std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 40;
        }
    }
    return coloured;
}

int LitPixels(const QImage& shot, const QRect& tile)
{
    int lit = 0;
    for (int y = tile.top() + 100; y < tile.bottom() - 5; y += 3)
    {
        for (int x = tile.left() + 5; x < tile.right() - 5; x += 3)
        {
            lit += shot.pixelColor(x, y).value() > 40;
        }
    }
    return lit;
}

TEST(ViewerPagesTest, GreyPageShowsCtLosslessAndMrImagesInEveryTile)
{
    test::ScratchFolder folder;
    std::vector<std::unique_ptr<DicomDataFileIO>> written;
    written.push_back(WritePhantom(folder));
    written.push_back(WriteLossless(folder));
    auto viewer = OpenSamples({"CT_small.dcm", "MR_small.dcm"}, std::move(written));
    const QImage shot = Screenshot(*viewer, "ct-page.png");
    for (int tile = 0; tile < 4; ++tile)
    {
        ASSERT_NE(viewer->Frame(tile)->GetTileImage(), nullptr) << tile;
        const QRect place = viewer->Frame(tile)->geometry();
        EXPECT_EQ(ColouredPixels(shot, place), 0) << tile;
        // The sample CT carries no window of its own and shows under the full range of its stored bits, dark.
        if (tile != 2)
        {
            EXPECT_GT(LitPixels(shot, place), 100) << tile;
        }
    }
}

TEST(ViewerPagesTest, ColourPageShowsColourFromJpegRgbAndYbrFiles)
{
    auto viewer = OpenSamples({"SC_rgb_jpeg_dcmtk.dcm", "SC_rgb_small_odd.dcm", "SC_ybr_full_422_uncompressed.dcm",
                               "SC_rgb_dcmtk_+eb+cr.dcm"});
    const QImage shot = Screenshot(*viewer, "colour-page.png");
    for (int tile = 0; tile < 4; ++tile)
    {
        if (viewer->Frame(tile)->GetTileImage() == nullptr)
        {
            continue;
        }
        EXPECT_GT(ColouredPixels(shot, viewer->Frame(tile)->geometry()), 100) << tile;
    }
    EXPECT_NE(viewer->Frame(0)->GetTileImage(), nullptr);
}

} // namespace
} // namespace orblane
