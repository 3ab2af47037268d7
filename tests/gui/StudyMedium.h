#pragma once

// A small medium for the study list and whole-program tests: a DICOMDIR of two patients and four studies (one
// without a date, two with the same date-time) and one tiny greyscale image per IMAGE record.

#include "support/DicomWriter.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <filesystem>
#include <string>
#include <vector>

namespace orblane::test {

inline void WriteTinyImage(const std::filesystem::path& path, std::uint16_t value)
{
    std::filesystem::create_directories(path.parent_path());
    const std::vector<std::uint8_t> pixels{
        static_cast<std::uint8_t>(value), 0, static_cast<std::uint8_t>(value), 0, 0, 0, 0, 0};
    DicomWriter writer;
    writer.FileMeta(kExplicitLittleEndian)
        .Text(0x0008, 0x0060, "CS", "OT")
        .Text(0x0010, 0x0010, "PN", "Test^Image")
        .UInt16(0x0028, 0x0002, 1)
        .Text(0x0028, 0x0004, "CS", "MONOCHROME2")
        .UInt16(0x0028, 0x0010, 2)
        .UInt16(0x0028, 0x0011, 2)
        .UInt16(0x0028, 0x0100, 16)
        .UInt16(0x0028, 0x0101, 12)
        .UInt16(0x0028, 0x0102, 11)
        .UInt16(0x0028, 0x0103, 0)
        .Element(0x7FE0, 0x0010, "OW", pixels);
    writer.WriteTo(path);
}

// The studies in DICOMDIR order: Doe's 2024 CT and 2023 MR, Roe's undated CR and a DX at the CT's date-time.
inline std::vector<DirPatient> SmallMediumPatients()
{
    return {
        DirPatient{"Doe^Jane",
                   "1001",
                   "19700101",
                   "F",
                   "",
                   {DirStudy{"20240105", "101500", {DirSeries{"CT", {"CT\\A1", "CT\\A2"}}}},
                    DirStudy{"20230310", "090000", {DirSeries{"MR", {"MR\\B1"}}}}}},
        DirPatient{"Roe^Rich",
                   "1002",
                   "19801231",
                   "M",
                   "",
                   {DirStudy{"", "", {DirSeries{"CR", {"CR\\C1"}}}},
                    DirStudy{"20240105", "101500", {DirSeries{"DX", {"DX\\D1", "DX\\D2", "DX\\D3"}}}}}},
    };
}

// Writes the DICOMDIR and its images into folder (which must exist).
inline void WriteSmallMedium(const std::filesystem::path& folder)
{
    BuildDicomDir(SmallMediumPatients()).WriteTo(folder / "DICOMDIR");
    std::uint16_t value = 1;
    for (const DirPatient& patient : SmallMediumPatients())
    {
        for (const DirStudy& study : patient.studies)
        {
            for (const DirSeries& series : study.series)
            {
                for (std::string id : series.fileIds)
                {
                    for (char& c : id)
                    {
                        c = c == '\\' ? '/' : c;
                    }
                    WriteTinyImage(folder / id, value++);
                }
            }
        }
    }
}

// A launch bitmap of the given size in folder, as "Orblane.bmp".
inline bool WriteLaunchBitmap(const QString& folder, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 60, 120));
    return image.save(folder + QStringLiteral("/Orblane.bmp"), "BMP");
}

} // namespace orblane::test
