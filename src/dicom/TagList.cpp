#include "dicom/TagList.h"

#include <algorithm>
#include <stdexcept>

namespace orblane {
namespace {

// Blocks double from a small first one, so that a record walk keeping a few elements stays small, up to a size
// that keeps each allocation well inside the heap.
constexpr std::size_t kFirstBlock = 64;
constexpr std::size_t kLargestBlock = 4096;

} // namespace

void TagList::Grow()
{
    const std::size_t capacity = blocks.empty() ? kFirstBlock : std::min(blocks.back().capacity * 2, kLargestBlock);
    blocks.push_back({std::make_unique_for_overwrite<TagElement[]>(capacity), 0, capacity});
}

const TagElement& TagList::operator[](std::size_t position) const
{
    for (const TagBlock& block : blocks)
    {
        if (position < block.used)
        {
            return block.records[position];
        }
        position -= block.used;
    }
    throw std::out_of_range("no kept element at this position");
}

} // namespace orblane
