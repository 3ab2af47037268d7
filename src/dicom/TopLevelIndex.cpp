#include "dicom/TopLevelIndex.h"

#include "dicom/DicomDataFileIO.h"

namespace orblane {

TopLevelIndex::TopLevelIndex(const DicomDataFileIO& file) : order(file.Order())
{
    const DicomData* data = file.DataSet();
    if (data == nullptr)
    {
        return;
    }
    std::size_t depth = 0;
    // A top-level sequence of undefined length whose first item is looked for, and that item once it is open.
    const TagElement* sequence = nullptr;
    const TagElement* item = nullptr;
    for (const TagElement& tag : data->Kept())
    {
        if (depth == 0)
        {
            byTag[Key(tag.group, tag.element)].push_back(&tag);
            sequence = tag.entered != 0 ? &tag : nullptr;
            item = nullptr;
        }
        else if (sequence != nullptr && depth == 1 && item == nullptr)
        {
            if (tag.Is(0xFFFE, 0xE000) && tag.entered == 0)
            {
                enteredFirstItems[sequence] = ByteView(tag.value, tag.length);
            }
            item = tag.Is(0xFFFE, 0xE000) && tag.entered != 0 ? &tag : nullptr;
            sequence = item != nullptr ? sequence : nullptr;
        }
        else if (item != nullptr && depth == 2 && tag.Is(0xFFFE, 0xE00D) && tag.value - item->value >= 8)
        {
            // The item ends where its delimitation item's 8-byte header starts.
            enteredFirstItems[sequence] = ByteView(item->value, static_cast<std::size_t>(tag.value - item->value) - 8);
            sequence = item = nullptr;
        }
        if (tag.group == 0xFFFE && (tag.element == 0xE00D || tag.element == 0xE0DD))
        {
            depth -= depth > 0 ? 1 : 0;
        }
        else if (tag.entered != 0)
        {
            ++depth;
        }
    }
}

const TagElement* TopLevelIndex::Find(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept
{
    const auto found = byTag.find(Key(group, element));
    if (found == byTag.end() || occurrence < 0 || static_cast<std::size_t>(occurrence) >= found->second.size())
    {
        return nullptr;
    }
    return found->second[static_cast<std::size_t>(occurrence)];
}

std::optional<ByteView> TopLevelIndex::Value(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept
{
    const TagElement* tag = Find(group, element, occurrence);
    if (tag == nullptr || tag->entered != 0 || tag->value == nullptr)
    {
        return std::nullopt;
    }
    return ByteView(tag->value, tag->length);
}

std::optional<SequenceItem> TopLevelIndex::FirstItem(std::uint16_t group, std::uint16_t element,
                                                     int occurrence) const noexcept
{
    const TagElement* tag = Find(group, element, occurrence);
    if (tag == nullptr)
    {
        return std::nullopt;
    }
    const bool implicit = tag->implicit == 1 || tag->implicitFrom != 0;
    // An explicit UN of undefined length holds Implicit VR Little Endian items whatever the data set's byte order.
    const ByteOrder itemOrder = implicit ? ByteOrder::Little : order;
    if (tag->entered != 0)
    {
        const auto found = enteredFirstItems.find(tag);
        if (found == enteredFirstItems.end())
        {
            return std::nullopt;
        }
        return SequenceItem{found->second, implicit, itemOrder};
    }
    if (tag->value == nullptr || tag->length < 8)
    {
        return std::nullopt;
    }
    const ValueReader reader(ByteView(tag->value, tag->length), order);
    if (reader.U16(0) != 0xFFFE || reader.U16(2) != 0xE000)
    {
        return std::nullopt;
    }
    const std::uint32_t length = reader.U32(4).value_or(0);
    const std::size_t remaining = tag->length - 8;
    // An item of undefined length inside a defined sequence runs to its delimitation item, at the latest to the end.
    const std::size_t size = length == kUndefinedLength || length > remaining ? remaining : length;
    return SequenceItem{ByteView(tag->value + 8, size), implicit, itemOrder};
}

std::optional<std::uint16_t> TopLevelIndex::Us(std::uint16_t group, std::uint16_t element,
                                               int occurrence) const noexcept
{
    const auto value = Value(group, element, occurrence);
    if (!value)
    {
        return std::nullopt;
    }
    return ValueReader(*value, order).U16(0);
}

} // namespace orblane
