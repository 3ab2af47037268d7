#pragma once

#include "dicom/TagElement.h"

#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

namespace orblane {

// The kept elements of a walk, in file order. Records live in blocks that are never moved once filled, so
// appending is constant time without the copies of a growing array, and a data set of ten thousand elements
// costs a handful of allocations.
struct TagBlock
{
    std::unique_ptr<TagElement[]> records;
    std::size_t used = 0;
    std::size_t capacity = 0;
};

class TagList
{
public:
    class Iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TagElement;
        using difference_type = std::ptrdiff_t;
        using pointer = const TagElement*;
        using reference = const TagElement&;

        Iterator() = default;
        reference operator*() const { return (*blocks)[block].records[index]; }
        pointer operator->() const { return &**this; }
        Iterator& operator++()
        {
            if (++index == (*blocks)[block].used)
            {
                ++block;
                index = 0;
            }
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator& other) const { return block == other.block && index == other.index; }

    private:
        friend class TagList;
        Iterator(const std::vector<TagBlock>* list, std::size_t b, std::size_t i) : blocks(list), block(b), index(i) {}
        const std::vector<TagBlock>* blocks = nullptr;
        std::size_t block = 0;
        std::size_t index = 0;
    };

    void Append(const TagElement& tag)
    {
        if (blocks.empty() || blocks.back().used == blocks.back().capacity)
        {
            Grow();
        }
        TagBlock& tail = blocks.back();
        tail.records[tail.used++] = tag;
        ++count;
    }

    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    Iterator begin() const noexcept { return Iterator(&blocks, 0, 0); }
    Iterator end() const noexcept { return Iterator(&blocks, blocks.size(), 0); }
    const TagElement& front() const { return blocks.front().records[0]; }
    const TagElement& back() const { return blocks.back().records[blocks.back().used - 1]; }
    // Linear in the number of blocks; for tests and occasional lookups.
    const TagElement& operator[](std::size_t position) const;

private:
    void Grow();

    std::vector<TagBlock> blocks;
    std::size_t count = 0;
};

} // namespace orblane
