#pragma once

// Studies for the viewer's widget tests, written with the test DICOM writer: every image is told apart by its
// patient name and its values, so a test can say which image a tile shows.

#include "dicom/DicomDataFileIO.h"
#include "support/DicomWriter.h"
#include "support/ScratchFolder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orblane::test {

struct GreyImageOptions
{
    int rows = 32;
    int columns = 32;
    int windowCentre = 2048;
    int windowWidth = 4096;
    std::string patientName = "TEST^IMAGE";
    std::string aspect; // Pixel Aspect Ratio text; empty leaves it out
    std::string modality = "CT";
    int frames = 1;           // frames of the same pixels; more than one writes Number of Frames
    std::string frameTime;    // Frame Time (0018,1063) text; empty leaves it out
    std::string pixelSpacing; // Pixel Spacing (0028,0030) text; empty leaves it out
    std::function<std::uint16_t(int row, int column)> value; // 12-bit values; a diagonal ramp when not set
    // Series Instance UID and number; empty leaves them out.
    std::string seriesUid;
    std::string seriesNumber;
    // An axial plane at this height (1 mm pixels) in this frame of reference; empty leaves the geometry out.
    std::string sliceZ;
    std::string frameOfReference;
};

inline std::uint16_t DiagonalRamp(int row, int column)
{
    return static_cast<std::uint16_t>(((row + column) * 64) % 4096);
}

// A 16-bit MONOCHROME2 image (12 bits stored) as an unopened file below the folder.
inline std::unique_ptr<DicomDataFileIO> WriteGreyImage(const ScratchFolder& folder, const std::string& name,
                                                       const GreyImageOptions& imageOptions)
{
    Bytes pixels;
    pixels.reserve(static_cast<std::size_t>(imageOptions.rows) * static_cast<std::size_t>(imageOptions.columns) * 2 *
                   static_cast<std::size_t>(imageOptions.frames));
    for (int row = 0; row < imageOptions.rows * imageOptions.frames; ++row)
    {
        for (int column = 0; column < imageOptions.columns; ++column)
        {
            const int frameRow = row % imageOptions.rows;
            const std::uint16_t v =
                imageOptions.value ? imageOptions.value(frameRow, column) : DiagonalRamp(frameRow, column);
            pixels.push_back(static_cast<std::uint8_t>(v));
            pixels.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    DicomWriter w;
    w.FileMeta(kExplicitLittleEndian)
        .Text(0x0008, 0x0060, "CS", imageOptions.modality)
        .Text(0x0008, 0x0080, "LO", "ORBLANE TEST INSTITUTE")
        .Text(0x0010, 0x0010, "PN", imageOptions.patientName)
        .Text(0x0010, 0x0020, "LO", "ID0001");
    if (!imageOptions.frameTime.empty())
    {
        w.Text(0x0018, 0x1063, "DS", imageOptions.frameTime);
    }
    if (!imageOptions.seriesUid.empty())
    {
        w.Text(0x0020, 0x000E, "UI", imageOptions.seriesUid).Text(0x0020, 0x0011, "IS", imageOptions.seriesNumber);
    }
    if (!imageOptions.sliceZ.empty())
    {
        w.Text(0x0020, 0x0032, "DS", "0\\0\\" + imageOptions.sliceZ)
            .Text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0")
            .Text(0x0020, 0x0052, "UI", imageOptions.frameOfReference);
    }
    w.UInt16(0x0028, 0x0002, 1).Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    if (imageOptions.frames > 1)
    {
        w.Text(0x0028, 0x0008, "IS", std::to_string(imageOptions.frames));
    }
    w.UInt16(0x0028, 0x0010, static_cast<std::uint16_t>(imageOptions.rows))
        .UInt16(0x0028, 0x0011, static_cast<std::uint16_t>(imageOptions.columns));
    if (!imageOptions.pixelSpacing.empty() || !imageOptions.sliceZ.empty())
    {
        w.Text(0x0028, 0x0030, "DS", !imageOptions.pixelSpacing.empty() ? imageOptions.pixelSpacing : "1\\1");
    }
    if (!imageOptions.aspect.empty())
    {
        w.Text(0x0028, 0x0034, "IS", imageOptions.aspect);
    }
    w.UInt16(0x0028, 0x0100, 16)
        .UInt16(0x0028, 0x0101, 12)
        .UInt16(0x0028, 0x0102, 11)
        .UInt16(0x0028, 0x0103, 0)
        .Text(0x0028, 0x1050, "DS", std::to_string(imageOptions.windowCentre))
        .Text(0x0028, 0x1051, "DS", std::to_string(imageOptions.windowWidth))
        .Element(0x7FE0, 0x0010, "OW", pixels);
    w.WriteTo(folder.Path() / name);
    return std::make_unique<DicomDataFileIO>(name, folder.FolderText(), u"");
}

// count small images named "IMAGE^0", "IMAGE^1", ... in file order.
inline std::vector<std::unique_ptr<DicomDataFileIO>> WriteGreyStudy(const ScratchFolder& folder, int count)
{
    std::vector<std::unique_ptr<DicomDataFileIO>> files;
    for (int i = 0; i < count; ++i)
    {
        GreyImageOptions imageOptions;
        imageOptions.patientName = "IMAGE^" + std::to_string(i);
        files.push_back(WriteGreyImage(folder, "img" + std::to_string(i), imageOptions));
    }
    return files;
}

} // namespace orblane::test
