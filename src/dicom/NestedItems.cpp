#include "dicom/NestedItems.h"

#include "dicom/TagElement.h"
#include "dicom/TagFilebase.h"
#include "dicom/ValueReader.h"

#include <cstring>

namespace orblane {
namespace {

constexpr std::uint16_t kItemGroup = 0xFFFE;
constexpr std::uint16_t kItem = 0xE000;
constexpr std::uint16_t kItemEnd = 0xE00D;
constexpr std::uint16_t kSequenceEnd = 0xE0DD;

// One element among an item's elements, as its header gives it.
struct RawElement
{
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::size_t valueStart = 0;
    std::uint32_t length = 0;
    bool undefined = false;
    // The encoding of what an undefined-length value holds: an explicit UN of undefined length holds Implicit VR
    // Little Endian items (PS3.5 6.2.2).
    bool contentsImplicit = false;
    ByteOrder contentsOrder = ByteOrder::Little;
    std::size_t next = 0; // where the element after it starts
};

class Reader
{
public:
    Reader(ByteView data, bool implicitVr, ByteOrder byteOrder) noexcept
        : bytes(data), values(data, byteOrder), implicit(implicitVr), order(byteOrder)
    {
    }

    bool TagAt(std::size_t position, std::uint16_t& group, std::uint16_t& element) const noexcept
    {
        const auto g = values.U16(position);
        const auto e = values.U16(position + 2);
        if (!g || !e)
        {
            return false;
        }
        group = *g;
        element = *e;
        return true;
    }

    // Reads the element at position; for an undefined length it finds the end through the nested items. False when
    // the element cannot be read whole within the bytes (or is an item header, which ends an item's elements).
    bool ElementAt(std::size_t position, int depth, RawElement& out) const noexcept
    {
        if (!TagAt(position, out.group, out.element) || out.group == kItemGroup)
        {
            return false;
        }
        std::size_t header = 8;
        bool unknownVr = false;
        if (implicit)
        {
            const auto length = values.U32(position + 4);
            if (!length)
            {
                return false;
            }
            out.length = *length;
        }
        else
        {
            if (bytes.size() - position < 8)
            {
                return false;
            }
            const std::uint8_t first = bytes[position + 4];
            const std::uint8_t second = bytes[position + 5];
            const VrForm form = LookUpVr(first, second);
            if (form == VrForm::Unknown)
            {
                return false;
            }
            unknownVr = first == 'U' && second == 'N';
            if (form == VrForm::Long)
            {
                header = 12;
                const auto length = values.U32(position + 8);
                if (!length)
                {
                    return false;
                }
                out.length = *length;
            }
            else
            {
                out.length = values.U16(position + 6).value_or(0);
            }
        }
        out.valueStart = position + header;
        out.undefined = out.length == kUndefinedLength;
        out.contentsImplicit = implicit || (unknownVr && out.undefined);
        out.contentsOrder = out.contentsImplicit && !implicit ? ByteOrder::Little : order;
        if (!out.undefined)
        {
            const std::size_t remaining = bytes.size() - position;
            if (header > remaining || out.length > remaining - header)
            {
                return false;
            }
            out.next = out.valueStart + out.length;
            return true;
        }
        if (depth >= NestedItems::kMaxDepth)
        {
            return false;
        }
        const Reader inner(bytes, out.contentsImplicit, out.contentsOrder);
        const auto end = inner.SequenceEnd(out.valueStart, depth + 1);
        if (!end)
        {
            return false;
        }
        out.next = *end + 8;
        return true;
    }

    // Where the Sequence Delimitation Item of items starting at position begins; none when it cannot be found.
    std::optional<std::size_t> SequenceEnd(std::size_t position, int depth) const noexcept
    {
        while (true)
        {
            std::uint16_t group = 0;
            std::uint16_t element = 0;
            const auto length = values.U32(position + 4);
            if (!TagAt(position, group, element) || !length || group != kItemGroup)
            {
                return std::nullopt;
            }
            if (element == kSequenceEnd)
            {
                return position;
            }
            if (element != kItem)
            {
                return std::nullopt;
            }
            const auto end = ItemEnd(position, *length, depth);
            if (!end)
            {
                return std::nullopt;
            }
            position = *end;
        }
    }

    // The bytes after the item whose header starts at position, its delimiter included.
    std::optional<std::size_t> ItemEnd(std::size_t position, std::uint32_t length, int depth) const noexcept
    {
        const std::size_t contents = position + 8;
        if (length != kUndefinedLength)
        {
            if (length > bytes.size() - contents)
            {
                return std::nullopt;
            }
            return contents + length;
        }
        const auto delimiter = ItemDelimiter(contents, depth);
        return delimiter ? std::optional<std::size_t>(*delimiter + 8) : std::nullopt;
    }

    // Where the Item Delimitation Item of an undefined-length item whose elements start at position begins.
    std::optional<std::size_t> ItemDelimiter(std::size_t position, int depth) const noexcept
    {
        while (true)
        {
            std::uint16_t group = 0;
            std::uint16_t element = 0;
            if (!TagAt(position, group, element))
            {
                return std::nullopt;
            }
            if (group == kItemGroup)
            {
                return element == kItemEnd && bytes.size() - position >= 8 ? std::optional<std::size_t>(position)
                                                                           : std::nullopt;
            }
            RawElement raw;
            if (!ElementAt(position, depth, raw))
            {
                return std::nullopt;
            }
            position = raw.next;
        }
    }

    // The items that start at position, up to a delimiter, the end of the bytes, or the first unreadable item.
    std::vector<SequenceItem> Items(std::size_t position, std::size_t limit) const
    {
        std::vector<SequenceItem> items;
        while (items.size() < limit)
        {
            std::uint16_t group = 0;
            std::uint16_t element = 0;
            const auto length = values.U32(position + 4);
            if (!TagAt(position, group, element) || !length || group != kItemGroup || element != kItem)
            {
                break;
            }
            const auto end = ItemEnd(position, *length, 1);
            if (!end)
            {
                break;
            }
            const std::size_t contentEnd = *length == kUndefinedLength ? *end - 8 : *end;
            items.push_back(
                SequenceItem{ByteView(bytes.data() + position + 8, contentEnd - position - 8), implicit, order});
            position = *end;
        }
        return items;
    }

    ByteView bytes;
    ValueReader values;
    bool implicit;
    ByteOrder order;
};

// Finds the item's own element with this tag; false when the item does not hold it readably.
bool FindElement(const SequenceItem& item, std::uint16_t group, std::uint16_t element, RawElement& found) noexcept
{
    const Reader reader(item.bytes, item.implicit, item.order);
    std::size_t position = 0;
    while (position < item.bytes.size())
    {
        RawElement raw;
        if (!reader.ElementAt(position, 1, raw))
        {
            return false;
        }
        if (raw.group == group && raw.element == element)
        {
            found = raw;
            return true;
        }
        position = raw.next;
    }
    return false;
}

} // namespace

std::optional<ByteView> NestedItems::Value(const SequenceItem& item, std::uint16_t group,
                                           std::uint16_t element) noexcept
{
    RawElement raw;
    if (!FindElement(item, group, element, raw) || raw.undefined)
    {
        return std::nullopt;
    }
    return ByteView(item.bytes.data() + raw.valueStart, raw.length);
}

std::vector<SequenceItem> NestedItems::Items(const SequenceItem& item, std::uint16_t group, std::uint16_t element)
{
    RawElement raw;
    if (!FindElement(item, group, element, raw))
    {
        return {};
    }
    const std::size_t end = raw.undefined ? raw.next - 8 : raw.next;
    const Reader reader(ByteView(item.bytes.data() + raw.valueStart, end - raw.valueStart), raw.contentsImplicit,
                        raw.contentsOrder);
    return reader.Items(0, kMaxItems);
}

std::optional<SequenceItem> NestedItems::FirstItem(const SequenceItem& item, std::uint16_t group, std::uint16_t element)
{
    RawElement raw;
    if (!FindElement(item, group, element, raw))
    {
        return std::nullopt;
    }
    const std::size_t end = raw.undefined ? raw.next - 8 : raw.next;
    const Reader reader(ByteView(item.bytes.data() + raw.valueStart, end - raw.valueStart), raw.contentsImplicit,
                        raw.contentsOrder);
    std::vector<SequenceItem> items = reader.Items(0, 1);
    return items.empty() ? std::nullopt : std::optional<SequenceItem>(items.front());
}

std::vector<SequenceItem> NestedItems::ItemsOf(ByteView value, bool undefined, bool implicit, ByteOrder order,
                                               std::size_t limit)
{
    static_cast<void>(undefined); // the items end at their delimiter or at the value's end either way
    return Reader(value, implicit, order).Items(0, limit);
}

std::vector<SequenceItem> TopLevelItems(const TopLevelIndex& index, ByteView dataBytes, std::uint16_t group,
                                        std::uint16_t element, std::size_t limit)
{
    const TagElement* tag = index.Find(group, element, 0);
    if (tag == nullptr || tag->value == nullptr || dataBytes.data() == nullptr || tag->value < dataBytes.data() ||
        tag->value > dataBytes.data() + dataBytes.size())
    {
        return {};
    }
    const bool implicit = tag->implicit == 1 || tag->implicitFrom != 0;
    const ByteOrder order = implicit ? ByteOrder::Little : index.Order();
    const std::size_t offset = static_cast<std::size_t>(tag->value - dataBytes.data());
    const std::size_t available = dataBytes.size() - offset;
    if (tag->entered != 0)
    {
        return NestedItems::ItemsOf(ByteView(tag->value, available), true, implicit, order, limit);
    }
    if (tag->length > available)
    {
        return {};
    }
    return NestedItems::ItemsOf(ByteView(tag->value, tag->length), false, implicit, order, limit);
}

} // namespace orblane
