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

bool IsDelimitation(std::uint16_t group, std::uint16_t element) noexcept
{
    return group == 0xFFFE && (element == 0xE00D || element == 0xE0DD);
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
    // A big-endian data set keeps its File Meta group little endian (PS3.10 7.1), and the contents of an explicit UN
    // of undefined length are Implicit VR Little Endian whatever the transfer syntax (PS3.5 6.2.2): the group number
    // read little endian says which encoding this element has. Items and delimiters are tags like any other.
    const ByteOrder order =
        tag.bigEndian != 0 && !insideUnknownSequence && ValueReader::Load16(position, ByteOrder::Little) != 0x0002
            ? ByteOrder::Big
            : ByteOrder::Little;
    const auto load16 = [order](const std::uint8_t* p) noexcept { return ValueReader::Load16(p, order); };
    const auto load32 = [order](const std::uint8_t* p) noexcept { return ValueReader::Load32(p, order); };
    const std::uint16_t group = load16(position);
    tag.vr = {};
    std::size_t header = 8;
    std::uint32_t length = 0;
    bool undefined = false;
    bool unknownSequence = false;
    if (group == 0xFFFE || insideUnknownSequence || (tag.implicit == 1 && group != 0x0002))
    {
        length = load32(position + 4);
        undefined = length == kUndefinedLength;
    }
    else
    {
        const VrForm form = LookUpVr(position[4], position[5]);
        if (form == VrForm::Unknown)
        {
            return nullptr;
        }
        if (form == VrForm::Long)
        {
            header = 12;
            if (remaining < header)
            {
                return nullptr;
            }
            length = load32(position + 8);
            undefined = length == kUndefinedLength;
            unknownSequence = undefined && position[4] == 'U' && position[5] == 'N';
        }
        else
        {
            length = load16(position + 6);
            undefined = length == kUndefinedShortLength;
        }
        tag.vr = {static_cast<char>(position[4]), static_cast<char>(position[5])};
    }
    if (!undefined && length > remaining - header)
    {
        return nullptr;
    }
    tag.group = group;
    tag.element = load16(position + 2);
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
    if (unknownSequence && level != std::numeric_limits<std::uint32_t>::max())
    {
        tag.implicitFrom = level + 1;
    }
    if (IsTransferSyntax(tag, end, kImplicitLittleEndian))
    {
        tag.implicit = 1;
    }
    else if (IsTransferSyntax(tag, end, kExplicitBigEndian))
    {
        tag.bigEndian = 1;
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
