// orblane-large-medium OUTDIR SLICES: a medium of one CT study of SLICES native 512 x 512 slices (12 bits in 16,
// invented patient, synthetic pixels) under OUTDIR, indexed by a DICOMDIR, for paging the real viewer through a
// large study (bench/viewer/page-large-study.sh).
#include "support/DicomWriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace orblane;

constexpr int kSide = 512;

// A body-like disc whose radius and brightness follow the slice number, on air, with a ramp across it: neighbouring
// slices look alike, distant ones plainly differ.
std::vector<std::uint8_t> SlicePixels(int slice, int slices)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kSide) * kSide * 2);
    const int radius = 60 + 180 * slice / std::max(1, slices - 1);
    const int level = 1024 - 160 + (slice * 3) % 250;
    std::size_t at = 0;
    for (int y = 0; y < kSide; ++y)
    {
        for (int x = 0; x < kSide; ++x)
        {
            const int dx = x - kSide / 2;
            const int dy = y - kSide / 2;
            const bool inside = dx * dx + dy * dy <= radius * radius;
            const int value = inside ? level + (x + y) / 8 : 24;
            bytes[at++] = static_cast<std::uint8_t>(value);
            bytes[at++] = static_cast<std::uint8_t>(value >> 8);
        }
    }
    return bytes;
}

void WriteSlice(const std::filesystem::path& path, int slice, int slices)
{
    test::DicomWriter w;
    w.FileMeta(test::kExplicitLittleEndian)
        .Text(0x0008, 0x0020, "DA", "20250102")
        .Text(0x0008, 0x0030, "TM", "080000")
        .Text(0x0008, 0x0060, "CS", "CT")
        .Text(0x0010, 0x0010, "PN", "Large^Study")
        .Text(0x0010, 0x0020, "LO", "2000")
        .Text(0x0020, 0x0013, "IS", std::to_string(slice + 1))
        .GreyPixelModule(kSide, kSide, 16, 12)
        .CtWindowAndRescale()
        .Element(0x7FE0, 0x0010, "OW", SlicePixels(slice, slices));
    w.WriteTo(path);
}

} // namespace

int main(int argc, char** argv)
{
    const int slices = argc == 3 ? std::atoi(argv[2]) : 0;
    if (slices <= 0 || slices > 99999)
    {
        std::fputs("usage: orblane-large-medium OUTDIR SLICES (1 to 99999)\n", stderr);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder / "DICOM" / "CT");
    std::vector<std::string> fileIds;
    for (int slice = 0; slice < slices; ++slice)
    {
        char name[16];
        std::snprintf(name, sizeof name, "I%05d", slice);
        fileIds.push_back(std::string("DICOM\\CT\\") + name);
        WriteSlice(folder / "DICOM" / "CT" / name, slice, slices);
    }
    const std::vector<test::DirPatient> patients{test::DirPatient{
        "Large^Study", "2000", "19600101", "O", "", {test::DirStudy{"20250102", "080000", {{"CT", fileIds}}}}}};
    test::BuildDicomDir(patients).WriteTo(folder / "DICOMDIR");
    return 0;
}
