#pragma once

#include "dicom/DicomData.h"
#include "dicom/TagElement.h"

#include <cstdint>

namespace orblane {

// The two links every directory record carries: to the next record of its level, (0004,1400), and to the first
// record of the level below, (0004,1420). Offsets count from the first byte of the DICOMDIR file; 0 means none.
struct RecordLinks
{
    std::uint32_t next = 0;
    std::uint32_t lower = 0;
    bool nextPresent = false;
    bool lowerPresent = false;

    // Takes the element when it is one of the two links; answers whether it was.
    bool Take(const TagElement& tag) noexcept;
    std::uint32_t Next() const noexcept { return nextPresent ? next : 0; }
    std::uint32_t Lower() const noexcept { return lowerPresent ? lower : 0; }
    bool BothRead() const noexcept { return nextPresent && lowerPresent; }
};

// The first 32 bits of a value, little endian; a value shorter than that (or of undefined length) holds no offset
// and reads as 0, rather than reading past its end.
std::uint32_t ReadOffset(const TagElement& tag) noexcept;

} // namespace orblane
