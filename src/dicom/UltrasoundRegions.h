#pragma once

#include <cstdint>
#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

// One item of the Sequence of Ultrasound Regions (0018,6011), PS3.3 C.8.5.5: a rectangle of the image with its own
// physical calibration. An ultrasound image often holds several (a B-mode sector beside a Doppler strip), each with
// deltas of its own, so a distance is measured in the region its ends lie in, never with the first region's.
struct UltrasoundRegion
{
    // Region Location Min X0, Min Y0, Max X1, Max Y1 (0018,6018-601E): inclusive pixel bounds, column then row.
    std::uint32_t minColumn = 0;
    std::uint32_t minRow = 0;
    std::uint32_t maxColumn = 0;
    std::uint32_t maxRow = 0;
    std::uint16_t spatialFormat = 0; // (0018,6012)
    std::uint16_t unitsX = 0;        // Physical Units X Direction (0018,6024); 3 is cm
    std::uint16_t unitsY = 0;        // (0018,6026)
    double deltaX = 0.0;             // Physical Delta X (0018,602C): units a column
    double deltaY = 0.0;             // Physical Delta Y (0018,602E): units a row

    bool Contains(std::uint32_t column, std::uint32_t row) const noexcept
    {
        return column >= minColumn && column <= maxColumn && row >= minRow && row <= maxRow;
    }
    // Both directions in centimetres with a positive finite delta: a region lengths can be measured in.
    bool MeasuresInCentimetres() const noexcept;
};

inline constexpr std::uint16_t kUltrasoundUnitsCm = 3;
// More regions than any real image holds; a damaged sequence is read no further.
inline constexpr std::size_t kMaxUltrasoundRegions = 64;

// The regions of the file's top-level Sequence of Ultrasound Regions, in order. An item without its four bounds,
// or with bounds the wrong way round, is left out. Throws std::bad_alloc.
std::vector<UltrasoundRegion> ReadUltrasoundRegions(const DicomDataFileIO& file, const TopLevelIndex& index);

} // namespace orblane
