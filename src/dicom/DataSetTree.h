#pragma once

#include "dicom/ValueReader.h"
#include "platform/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orblane {

// One node of a data set read as a tree: an element with a value, a sequence (whose children are its items) or an
// item (whose children are its elements). Node 0 is the data set itself, an item without a header.
struct DataSetNode
{
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    enum class Kind : std::uint8_t
    {
        Element,
        Sequence,
        Item,
    };

    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::array<char, 2> vr{}; // both 0 when read in implicit VR
    Kind kind = Kind::Element;
    ByteOrder order = ByteOrder::Little;
    ByteView value; // an element's value as stored, pad included; empty for sequences and items
    std::uint32_t firstChild = kNone;
    std::uint32_t nextSibling = kNone;
};

// A data set read with its nesting. The flat walk steps over sequences of defined length; documents and structured
// reports keep their content in nested sequences of either length form, so this reads both. The reading keeps an
// explicit stack of open sequences and items: a tree nested thousands deep costs memory in proportion to the file,
// never the call stack. Every node consumes at least eight bytes of input, so the tree is bounded by the bytes.
//
// The values point into the bytes given to Read, which must outlive the tree.
class DataSetTree
{
public:
    static constexpr std::uint32_t kRoot = 0;

    // bytes: a Part 10 file, read from start (132: after the preamble and "DICM"), File Meta group and data set
    // alike. An element that cannot be read ends the sequence or item it sits in (the rest of a defined-length
    // container is skipped; the data set ends at an unreadable top-level element), as the flat walk ends there.
    static DataSetTree Read(ByteView bytes, std::size_t start);

    std::size_t Size() const noexcept { return nodes.size(); }
    const DataSetNode& Node(std::uint32_t index) const noexcept { return nodes[index]; }

    // The first child of an item (or the data set) with this tag, or kNone.
    std::uint32_t Child(std::uint32_t item, std::uint16_t group, std::uint16_t element) const noexcept;
    // The value of that child when it is an element; none for an absent element or a sequence.
    std::optional<ByteView> Value(std::uint32_t item, std::uint16_t group, std::uint16_t element) const noexcept;
    // The first item of that child when it is a sequence, or kNone.
    std::uint32_t FirstItem(std::uint32_t item, std::uint16_t group, std::uint16_t element) const noexcept;

private:
    std::vector<DataSetNode> nodes;
};

} // namespace orblane
