#pragma once

#include "dicom/PixelDescription.h"
#include "dicom/TopLevelIndex.h"
#include "platform/Bytes.h"

#include <cstdint>
#include <optional>

namespace orblane {

// The pixel attributes of image occurrence `occurrence` (each top-level occurrence of Rows describes an image), with
// the defaults of a data set applied. The transfer syntax is left for the image build to resolve from its UID.
PixelDescription ReadPixelAttributes(const TopLevelIndex& index, int occurrence);

// Leading integer of a DICOM IS/DS text (optional spaces and sign, digits, up to the first other character);
// 0 when there is none, clamped to the 32-bit range.
std::int32_t ParseIntegerString(ByteView text) noexcept;
// Leading decimal number of a DS text; 0.0 when there is none.
double ParseDecimalString(ByteView text) noexcept;
// Sets the description's window from the decimal values read (the file's or a frame's), when they make one.
void SetFileWindow(PixelDescription& d, std::optional<double> centre, std::optional<double> width) noexcept;

} // namespace orblane
