#pragma once

#include "dicom/TopLevelIndex.h"
#include "platform/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orblane {

// Reads the elements of one sequence item as bytes, with nothing of the file's walk: the functional groups of an
// enhanced image and the records of a DICOMDIR nest sequences in items of defined or undefined length, which the
// flat walk steps over or leaves flattened. Every read is bounded by the item's bytes and by a nesting limit, so a
// damaged item ends the read of that item and never runs past it.
class NestedItems
{
public:
    // Deeper than any real data set nests (an enhanced image's functional groups need four levels).
    static constexpr int kMaxDepth = 16;
    // A sequence cannot hold more items than its bytes hold item headers; the cap also bounds what a caller builds.
    static constexpr std::size_t kMaxItems = 1u << 20;

    // The value of element (group, element) among the item's own elements (never a nested one); absent when the
    // item does not hold it or holds it as a sequence of undefined length.
    static std::optional<ByteView> Value(const SequenceItem& item, std::uint16_t group, std::uint16_t element) noexcept;
    // The items of the sequence (group, element) among the item's own elements, in order; empty when it is absent,
    // empty or unreadable (an item that cannot be read ends the list). Throws std::bad_alloc.
    static std::vector<SequenceItem> Items(const SequenceItem& item, std::uint16_t group, std::uint16_t element);
    // The first item of that sequence.
    static std::optional<SequenceItem> FirstItem(const SequenceItem& item, std::uint16_t group, std::uint16_t element);
    // The items of a sequence whose value (defined length) or contents up to the end of the data (undefined length,
    // `undefined`) start at value. Throws std::bad_alloc.
    static std::vector<SequenceItem> ItemsOf(ByteView value, bool undefined, bool implicit, ByteOrder order,
                                             std::size_t limit = kMaxItems);
};

// The items of a top-level sequence of a walked file, in order, read from the file's bytes. Throws std::bad_alloc.
std::vector<SequenceItem> TopLevelItems(const TopLevelIndex& index, ByteView dataBytes, std::uint16_t group,
                                        std::uint16_t element, std::size_t limit = NestedItems::kMaxItems);

} // namespace orblane
