#include "dicom/TopLevelIndex.h"

#include "dicom/DicomDataFileIO.h"

namespace orblane {

TopLevelIndex::TopLevelIndex(const DicomDataFileIO& file, ByteOrder byteOrder) : order(byteOrder)
{
    const DicomData* data = file.DataSet();
    if (data == nullptr)
    {
        return;
    }
    std::size_t depth = 0;
    for (const TagElement& tag : data->Kept())
    {
        if (depth == 0)
        {
            byTag[Key(tag.group, tag.element)].push_back(&tag);
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
