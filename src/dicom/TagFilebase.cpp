#include "dicom/TagFilebase.h"

#include "dicom/DicomTextRules.h"
#include "dicom/ValueReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace orblane {
namespace {

constexpr std::string_view kImplicitLittleEndian = "1.2.840.10008.1.2";
constexpr std::string_view kExplicitBigEndian = "1.2.840.10008.1.2.2";

// One lookup by the two VR letters instead of a search of the table; letters the table does not name read as UN.
constexpr std::array<VrForm, 26 * 26> MakeVrForms()
{
    std::array<VrForm, 26 * 26> forms{};
    forms.fill(VrForm::Long);
    for (const VrTableRow& row : kVrTable)
    {
        forms[static_cast<std::size_t>((row.name[0] - 'A') * 26 + (row.name[1] - 'A'))] = row.form;
    }
    return forms;
}

constexpr std::array<VrForm, 26 * 26> kVrForms = MakeVrForms();

// Whether tag is the Transfer Syntax UID and names uid.
bool IsTransferSyntax(const TagElement& tag, const std::uint8_t* end, std::string_view uid) noexcept
{
    if (!tag.Is(0x0002, 0x0010))
    {
        return false;
    }
    if (tag.entered == 0)
    {
        // A UID is padded to even length with a NUL (PS3.5 9.1), but writers also pad with a space or not at all.
        const ByteView stored = TrimUidPad(ByteView(tag.value, tag.length));
        return stored.size() == uid.size() && std::memcmp(stored.data(), uid.data(), uid.size()) == 0;
    }
    // An undefined 2-byte length leaves no bound of its own: the NUL-padded UID is looked for before the end of data.
    if (static_cast<std::size_t>(end - tag.value) <= uid.size())
    {
        return false;
    }
    return std::memcmp(tag.value, uid.data(), uid.size()) == 0 && tag.value[uid.size()] == 0;
}

// Two letters that name a VR of the table: what the bytes after a tag are in explicit VR, and (almost) never in
// implicit VR, where they are the low half of a length.
bool IsKnownVr(std::uint8_t first, std::uint8_t second) noexcept
{
    return std::any_of(kVrTable.begin(), kVrTable.end(), [first, second](const VrTableRow& row) {
        return static_cast<std::uint8_t>(row.name[0]) == first && static_cast<std::uint8_t>(row.name[1]) == second;
    });
}

// Real files declare one VR style in their File Meta group and write the data set in the other (pydicom and GDCM
// read them). As the common toolkits do, the first element of the data set decides: VR letters after its tag mean
// explicit VR, anything else implicit. A big-endian data set is taken as declared (implicit big endian is no form).
void SettleVrStyle(const std::uint8_t* position, std::size_t remaining, std::uint32_t level, bool insideUnknownSequence,
                   TagElement& tag) noexcept
{
    if (tag.vrStyle == 2 || level != 0 || insideUnknownSequence)
    {
        return;
    }
    const std::uint16_t group = ValueReader::Load16(position, ByteOrder::Little);
    if (tag.vrStyle == 0)
    {
        tag.vrStyle = group == 0x0002 ? 1 : 0;
        return;
    }
    if (group == 0x0002 || group == 0xFFFE)
    {
        return;
    }
    tag.vrStyle = 2;
    if (tag.bigEndian == 0 && remaining >= 8)
    {
        tag.implicit = IsKnownVr(position[4], position[5]) ? std::uint8_t{0} : std::uint8_t{1};
    }
}

bool IsDelimitation(std::uint16_t group, std::uint16_t element) noexcept
{
    return group == 0xFFFE && (element == 0xE00D || element == 0xE0DD);
}

// The header of one element, read in one byte order chosen per element (a branch per element, not per number).
struct ElementHeader
{
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::uint32_t length = 0;
    std::size_t size = 8;
    bool undefined = false;
    bool unknownSequence = false; // an explicit UN of undefined length
};

template <ByteOrder order>
bool ReadHeader(const std::uint8_t* position, std::size_t remaining, bool insideUnknownSequence, TagElement& tag,
                ElementHeader& read) noexcept
{
    read.group = ValueReader::Load16(position, order);
    read.element = ValueReader::Load16(position + 2, order);
    if (read.group == 0xFFFE || insideUnknownSequence || (tag.implicit == 1 && read.group != 0x0002))
    {
        read.length = ValueReader::Load32(position + 4, order);
        read.undefined = read.length == kUndefinedLength;
        return true;
    }
    const VrForm form = LookUpVr(position[4], position[5]);
    if (form == VrForm::Unknown)
    {
        return false;
    }
    if (form == VrForm::Long)
    {
        read.size = 12;
        if (remaining < read.size)
        {
            return false;
        }
        read.length = ValueReader::Load32(position + 8, order);
        read.undefined = read.length == kUndefinedLength;
        read.unknownSequence = read.undefined && position[4] == 'U' && position[5] == 'N';
    }
    else
    {
        read.length = ValueReader::Load16(position + 6, order);
        read.undefined = read.length == kUndefinedShortLength;
    }
    tag.vr = {static_cast<char>(position[4]), static_cast<char>(position[5])};
    return true;
}

} // namespace

VrForm LookUpVr(std::uint8_t first, std::uint8_t second) noexcept
{
    if (first < 'A' || first > 'Z' || second < 'A' || second > 'Z')
    {
        return VrForm::Unknown;
    }
    return kVrForms[static_cast<std::size_t>((first - 'A') * 26 + (second - 'A'))];
}

// Bounds compare what remains with what is needed, never a sum with the end, so no length can wrap past it.
// A header is readable when it fits before end, so that an empty element ending exactly there is still read.
const std::uint8_t* TagFilebase::ReadTag(const std::uint8_t* position, const std::uint8_t* end,
                                         TagElement& tag) noexcept
{
    // The level this element starts at: one deeper when the element before opened one (its 4-byte length was
    // undefined; the 2-byte 0xFFFF form is stepped into but never closed, so it opens none).
    const bool opened = tag.entered != 0 && tag.length == kUndefinedLength;
    std::uint32_t level = tag.depth;
    if (opened && level != std::numeric_limits<std::uint32_t>::max())
    {
        ++level;
    }
    tag.group = 0;
    tag.element = 0;
    tag.length = 0;
    tag.value = nullptr;
    tag.entered = 0;
    tag.vr = {};
    if (position == nullptr || end == nullptr || position >= end)
    {
        return nullptr;
    }
    const auto remaining = static_cast<std::size_t>(end - position);
    if (remaining < 8)
    {
        return nullptr;
    }
    const bool insideUnknownSequence = tag.implicitFrom != 0 && level >= tag.implicitFrom;
    SettleVrStyle(position, remaining, level, insideUnknownSequence, tag);
    // A big-endian data set keeps its File Meta group little endian (PS3.10 7.1), and the contents of an explicit UN
    // of undefined length are Implicit VR Little Endian whatever the transfer syntax (PS3.5 6.2.2): the group number
    // read little endian says which encoding this element has. Items and delimiters are tags like any other.
    const bool bigEndian =
        tag.bigEndian != 0 && !insideUnknownSequence && ValueReader::Load16(position, ByteOrder::Little) != 0x0002;
    ElementHeader read;
    const bool readable = bigEndian
                              ? ReadHeader<ByteOrder::Big>(position, remaining, insideUnknownSequence, tag, read)
                              : ReadHeader<ByteOrder::Little>(position, remaining, insideUnknownSequence, tag, read);
    if (!readable)
    {
        return nullptr;
    }
    const std::size_t header = read.size;
    const std::uint32_t length = read.length;
    const bool undefined = read.undefined;
    if (!undefined && length > remaining - header)
    {
        return nullptr;
    }
    tag.group = read.group;
    tag.element = read.element;
    tag.length = length;
    tag.value = position + header;
    tag.entered = undefined ? 1 : 0;
    if (IsDelimitation(tag.group, tag.element) && level > 0)
    {
        --level;
    }
    tag.depth = level;
    if (tag.implicitFrom != 0 && level < tag.implicitFrom)
    {
        tag.implicitFrom = 0; // the delimitation of the UN sequence: explicit VR again after it
    }
    if (read.unknownSequence && level != std::numeric_limits<std::uint32_t>::max())
    {
        tag.implicitFrom = level + 1;
    }
    if (tag.Is(0x0002, 0x0010))
    {
        tag.implicit = IsTransferSyntax(tag, end, kImplicitLittleEndian) ? std::uint8_t{1} : tag.implicit;
        tag.bigEndian = IsTransferSyntax(tag, end, kExplicitBigEndian) ? 1 : tag.bigEndian;
    }
    return undefined ? tag.value : tag.value + length;
}

int TagFilebase::OnTag(const TagElement&)
{
    return kKeepAndGoOn;
}

void TagFilebase::ParseTags(const std::uint8_t* start, const std::uint8_t* end)
{
    endOfData = end;
    endOfGroup = nullptr;
    mode = WalkMode::Single;
    TagElement current;
    const std::uint8_t* position = ReadTag(start, end, current);
    if (position == nullptr)
    {
        return;
    }
    if (current.group == 0xFFFE)
    {
        mode = WalkMode::Item;
        if (enterDefinedItem && current.element == 0xE000 && current.length != kUndefinedLength)
        {
            endOfData = position;
            position = current.value;
        }
    }
    else if (current.element == 0x0000)
    {
        mode = WalkMode::Group;
        // A group length that was stepped into has no value of its own to read.
        const std::uint32_t groupLength =
            current.entered == 0 && current.length >= 4 ? ValueReader::Load32(current.value, current.ValueOrder()) : 0;
        endOfGroup = position + std::min<std::size_t>(groupLength, static_cast<std::size_t>(end - position));
    }
    for (;;)
    {
        const int verdict = OnTag(current);
        if (verdict == kKeepAndGoOn || verdict == kKeepAndStop)
        {
            kept.Append(current);
        }
        if (position >= endOfData || verdict == kKeepAndStop || verdict == kSkipAndStop)
        {
            return;
        }
        if (!wholeData)
        {
            if (mode == WalkMode::Single || (mode == WalkMode::Group && position >= endOfGroup) ||
                (mode == WalkMode::Item && current.Is(0xFFFE, 0xE00D)))
            {
                return;
            }
        }
        // An element that cannot be read ends the walk unvisited; what was kept before it stays.
        position = ReadTag(position, endOfData, current);
        if (position == nullptr)
        {
            return;
        }
    }
}

} // namespace orblane
