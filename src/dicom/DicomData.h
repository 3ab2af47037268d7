#pragma once

#include "dicom/TagFilebase.h"
#include "platform/Bytes.h"

#include <cstdint>

namespace orblane {

// A value that a visitor picked out while walking: where it is in the view, its length, and whether it was seen.
struct RememberedValue
{
    const std::uint8_t* value = nullptr;
    std::uint32_t length = 0;
    bool present = false;

    // Present with at least one byte: the condition for every text built from a value.
    bool HasText() const noexcept { return present && value != nullptr && length != 0; }
    ByteView Bytes() const noexcept { return value != nullptr ? ByteView(value, length) : ByteView(); }
    void Remember(const TagElement& tag) noexcept;
};

// The visitor that keeps a whole data set: every element, all nesting levels, in file order. While it walks it
// remembers the attributes the overlay and the character conversion need, from the top level of the data set only;
// a later top-level occurrence replaces an earlier one.
class DicomData : public TagFilebase
{
public:
    DicomData() noexcept : TagFilebase(true) {}

    RememberedValue patientName;     // (0010,0010)
    RememberedValue patientId;       // (0010,0020)
    RememberedValue birthDate;       // (0010,0030)
    RememberedValue sex;             // (0010,0040)
    RememberedValue characterSet;    // (0008,0005)
    RememberedValue studyDate;       // (0008,0020)
    RememberedValue studyTime;       // (0008,0030)
    RememberedValue institutionName; // (0008,0080)
    // Of the numbers in the data set's own elements: big endian once the walk has read that transfer syntax.
    ByteOrder byteOrder = ByteOrder::Little;

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
