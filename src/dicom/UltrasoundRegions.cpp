#include "dicom/UltrasoundRegions.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/NestedItems.h"
#include "dicom/TopLevelIndex.h"
#include "dicom/ValueReader.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

namespace orblane {
namespace {

std::optional<std::uint32_t> Ul(const SequenceItem& item, std::uint16_t element) noexcept
{
    const auto value = NestedItems::Value(item, 0x0018, element);
    return value ? ValueReader(*value, item.order).U32(0) : std::nullopt;
}

std::uint16_t Us(const SequenceItem& item, std::uint16_t element) noexcept
{
    const auto value = NestedItems::Value(item, 0x0018, element);
    return value ? ValueReader(*value, item.order).U16(0).value_or(0) : 0;
}

double Fd(const SequenceItem& item, std::uint16_t element) noexcept
{
    const auto value = NestedItems::Value(item, 0x0018, element);
    const auto bits = value ? ValueReader(*value, item.order).U64(0) : std::nullopt;
    return bits ? std::bit_cast<double>(*bits) : 0.0;
}

} // namespace

bool UltrasoundRegion::MeasuresInCentimetres() const noexcept
{
    const auto usable = [](double delta) { return std::isfinite(delta) && std::fabs(delta) > 0.0; };
    return unitsX == kUltrasoundUnitsCm && unitsY == kUltrasoundUnitsCm && usable(deltaX) && usable(deltaY);
}

std::vector<UltrasoundRegion> ReadUltrasoundRegions(const DicomDataFileIO& file, const TopLevelIndex& index)
{
    std::vector<UltrasoundRegion> regions;
    for (const SequenceItem& item : TopLevelItems(index, file.DataBytes(), 0x0018, 0x6011, kMaxUltrasoundRegions))
    {
        const auto x0 = Ul(item, 0x6018);
        const auto y0 = Ul(item, 0x601A);
        const auto x1 = Ul(item, 0x601C);
        const auto y1 = Ul(item, 0x601E);
        if (!x0 || !y0 || !x1 || !y1 || *x0 > *x1 || *y0 > *y1)
        {
            continue;
        }
        UltrasoundRegion region;
        region.minColumn = *x0;
        region.minRow = *y0;
        region.maxColumn = *x1;
        region.maxRow = *y1;
        region.spatialFormat = Us(item, 0x6012);
        region.unitsX = Us(item, 0x6024);
        region.unitsY = Us(item, 0x6026);
        region.deltaX = Fd(item, 0x602C);
        region.deltaY = Fd(item, 0x602E);
        regions.push_back(region);
    }
    return regions;
}

} // namespace orblane
