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

struct GreyImageSpec
{
    int rows = 32;
    int columns = 32;
    int windowCentre = 2048;
    int windowWidth = 4096;
    std::string patientName = "TEST^IMAGE";
    std::string aspect; // Pixel Aspect Ratio text; empty leaves it out
    std::string modality = "CT";
    int frames = 1;        // frames of the same pixels; more than one writes Number of Frames
    std::string frameTime; // Frame Time (0018,1063) text; empty leaves it out
    std::function<std::uint16_t(int row, int column)> value; // 12-bit values; a diagonal ramp when not set
};

inline std::uint16_t DiagonalRamp(int row, int column)
{
    return static_cast<std::uint16_t>(((row + column) * 64) % 4096);
}

// A 16-bit MONOCHROME2 image (12 bits stored) as an unopened file below the folder.
inline std::unique_ptr<DicomDataFileIO> WriteGreyImage(const ScratchFolder& folder, const std::string& name,
                                                       const GreyImageSpec& imageSpec)
{
    Bytes pixels;
    pixels.reserve(static_cast<std::size_t>(imageSpec.rows) * static_cast<std::size_t>(imageSpec.columns) * 2 *
                   static_cast<std::size_t>(imageSpec.frames));
    for (int row = 0; row < imageSpec.rows * imageSpec.frames; ++row)
    {
        for (int column = 0; column < imageSpec.columns; ++column)
        {
            const int frameRow = row % imageSpec.rows;
            const std::uint16_t v =
                imageSpec.value ? imageSpec.value(frameRow, column) : DiagonalRamp(frameRow, column);
            pixels.push_back(static_cast<std::uint8_t>(v));
            pixels.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    DicomWriter w;
    w.FileMeta(kExplicitLittleEndian)
        .Text(0x0008, 0x0060, "CS", imageSpec.modality)
        .Text(0x0008, 0x0080, "LO", "ORBLANE TEST INSTITUTE")
        .Text(0x0010, 0x0010, "PN", imageSpec.patientName)
        .Text(0x0010, 0x0020, "LO", "ID0001");
    if (!imageSpec.frameTime.empty())
    {
        w.Text(0x0018, 0x1063, "DS", imageSpec.frameTime);
    }
    w.UInt16(0x0028, 0x0002, 1).Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    if (imageSpec.frames > 1)
    {
        w.Text(0x0028, 0x0008, "IS", std::to_string(imageSpec.frames));
    }
    w.UInt16(0x0028, 0x0010, static_cast<std::uint16_t>(imageSpec.rows))
        .UInt16(0x0028, 0x0011, static_cast<std::uint16_t>(imageSpec.columns));
    if (!imageSpec.aspect.empty())
    {
        w.Text(0x0028, 0x0034, "IS", imageSpec.aspect);
    }
    w.UInt16(0x0028, 0x0100, 16)
        .UInt16(0x0028, 0x0101, 12)
        .UInt16(0x0028, 0x0102, 11)
        .UInt16(0x0028, 0x0103, 0)
        .Text(0x0028, 0x1050, "DS", std::to_string(imageSpec.windowCentre))
        .Text(0x0028, 0x1051, "DS", std::to_string(imageSpec.windowWidth))
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
        GreyImageSpec imageSpec;
        imageSpec.patientName = "IMAGE^" + std::to_string(i);
        files.push_back(WriteGreyImage(folder, "img" + std::to_string(i), imageSpec));
    }
    return files;
}

} // namespace orblane::test
