#include "dicom/DicomData.h"

namespace orblane {

void RememberedValue::Remember(const TagElement& tag) noexcept
{
    value = tag.value;
    // A value the walk stepped into has no byte count of its own: taking its length field as one would read past
    // the element (and past the view, for a 0xFFFF in the 2-byte form near the end). It counts as empty.
    length = tag.entered != 0 ? 0 : tag.length;
    present = true;
}

int DicomData::OnTag(const TagElement& tag)
{
    if (tag.bigEndian != 0)
    {
        byteOrder = ByteOrder::Big;
    }
    // The identity shown is the data set's own: a name or ID inside a sequence (Other Patient IDs, Original
    // Attributes, Referenced Patient) belongs to another record or an earlier state of this one.
    if (tag.depth != 0)
    {
        return kKeepAndGoOn;
    }
    if (tag.group == 0x0010)
    {
        switch (tag.element)
        {
        case 0x0010:
            patientName.Remember(tag);
            break;
        case 0x0020:
            patientId.Remember(tag);
            break;
        case 0x0030:
            birthDate.Remember(tag);
            break;
        case 0x0040:
            sex.Remember(tag);
            break;
        default:
            break;
        }
    }
    else if (tag.group == 0x0008)
    {
        switch (tag.element)
        {
        case 0x0005:
            characterSet.Remember(tag);
            break;
        case 0x0020:
            studyDate.Remember(tag);
            break;
        case 0x0030:
            studyTime.Remember(tag);
            break;
        case 0x0080:
            institutionName.Remember(tag);
            break;
        default:
            break;
        }
    }
    return kKeepAndGoOn;
}

} // namespace orblane
