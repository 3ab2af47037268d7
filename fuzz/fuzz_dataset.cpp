// Walks any bytes as a referenced file, then reads them the way the image pipeline and the overlay do.
#include "dicom/Calibration.h"
#include "dicom/DicomDataFileIO.h"
#include "dicom/FrameGeometry.h"
#include "dicom/FrameSource.h"
#include "dicom/NestedItems.h"
#include "dicom/OverlayPlanes.h"
#include "dicom/SeriesModel.h"
#include "dicom/TopLevelIndex.h"
#include "dicom/UltrasoundRegions.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

// Keeps the reads of values from being optimised away.
volatile std::uint64_t fuzzSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The input goes through a real mapping, exactly sized, so any read past the file's end is caught.
    static const int fd = ::memfd_create("fuzz_dataset", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    {
        return 0;
    }
    orblane::DicomDataFileIO file;
    if (file.LoadFile("/proc/self/fd/" + std::to_string(fd)) != 0)
    {
        return 0;
    }
    static constexpr std::uint16_t kTags[][2] = {{0x0002, 0x0010}, {0x0028, 0x0002}, {0x0028, 0x0004},
                                                 {0x0028, 0x0010}, {0x0028, 0x0011}, {0x0028, 0x0100},
                                                 {0x0028, 0x1050}, {0x0010, 0x0010}, {0x7FE0, 0x0010}};
    std::uint64_t sum = 0;
    for (const auto& tag : kTags)
    {
        std::uint32_t length = 0;
        const std::uint8_t* raw = nullptr;
        sum += static_cast<std::uint64_t>(file.GetElement(tag[0], tag[1], 1, length, raw)) + length;
        for (int occurrence = 0; occurrence < 3; ++occurrence)
        {
            if (const auto value = file.FindValue(tag[0], tag[1], occurrence))
            {
                for (const std::uint8_t byte : *value)
                {
                    sum += byte;
                }
            }
        }
    }
    // The functional groups of an enhanced image, every frame the file claims up to a bound, and an icon item.
    const orblane::TopLevelIndex index(file);
    for (const orblane::FrameAttributes& frame : orblane::ReadFrameAttributes(file, index, 64))
    {
        sum += frame.plane ? 1 : 0;
        sum += static_cast<std::uint64_t>(frame.problem) + frame.stackId.size();
        sum += frame.rescaleIntercept ? 1 : 0;
    }
    for (const orblane::SequenceItem& item : orblane::TopLevelItems(index, file.DataBytes(), 0x0088, 0x0200, 4))
    {
        const auto icon = orblane::ReadIconImage(item.bytes, item.implicit, item.order);
        sum += icon ? icon->grey.size() : 0;
    }
    // The readers measurements and overlays take their attributes from: every overlay group against the image's
    // own pixel data, ultrasound regions, the calibration.
    const orblane::PixelDescription image = orblane::ReadPixelDescription(file, 0);
    for (const orblane::OverlayPlane& plane : orblane::ReadOverlayPlanes(index, image))
    {
        sum += plane.bits.size() + plane.label.size();
        const bool small = std::uint64_t{image.rowCount} * image.columnCount <= (1u << 20);
        for (std::int32_t frame = 0; small && frame < 2; ++frame)
        {
            for (const std::uint8_t bit : orblane::OverlayMask(plane, frame, image.rowCount, image.columnCount))
            {
                sum += bit;
            }
        }
    }
    for (const orblane::UltrasoundRegion& region : orblane::ReadUltrasoundRegions(file, index))
    {
        sum += region.maxColumn + (region.MeasuresInCentimetres() ? 1 : 0);
    }
    sum += orblane::CalibrationOf(orblane::ReadSpacingAttributes(file, index)).label.size();
    const orblane::PatientStudyInfo info = file.MakeInfoRecord();
    sum += info.patientName ? info.patientName->size() : 0;
    sum += info.studyDateTime ? info.studyDateTime->size() : 0;
    fuzzSink = sum;
    return 0;
}
