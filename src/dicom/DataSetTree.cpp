#include "dicom/DataSetTree.h"

#include "dicom/TagFilebase.h"

#include <cstring>

namespace orblane {
namespace {

// A sequence or item still open while the reading goes on inside it.
struct OpenNode
{
    std::uint32_t node = 0;
    std::uint32_t lastChild = DataSetNode::kNone;
    // Where a defined-length container ends; an undefined one inherits the bound of the one around it.
    const std::uint8_t* limit = nullptr;
    bool undefined = false;
    // Encapsulated pixel data: its items are fragments of bytes, not data sets.
    bool fragments = false;
};

bool IsItemTag(const std::uint8_t* value, ByteOrder order) noexcept
{
    return ValueReader::Load16(value, order) == 0xFFFE && ValueReader::Load16(value + 2, order) == 0xE000;
}

// Whether an element read in implicit VR holds a sequence: undefined length (only sequences and UN may have it, and
// both hold items then), or a defined-length value that starts with an item header. Without a dictionary this is
// what a reader can know, and an ordinary value that starts with those four bytes is not met in practice.
bool IsImplicitSequence(const TagElement& tag, ByteOrder order) noexcept
{
    if (tag.entered != 0)
    {
        return true;
    }
    return tag.length >= 8 && IsItemTag(tag.value, order);
}

} // namespace

DataSetTree DataSetTree::Read(ByteView bytes, std::size_t start)
{
    DataSetTree tree;
    DataSetNode root;
    root.kind = DataSetNode::Kind::Item;
    tree.nodes.push_back(root);
    if (start >= bytes.size())
    {
        return tree;
    }
    const std::uint8_t* const end = bytes.data() + bytes.size();
    std::vector<OpenNode> open;
    open.push_back(OpenNode{kRoot, DataSetNode::kNone, end, false, false});

    const auto append = [&tree, &open](const DataSetNode& node) {
        const auto index = static_cast<std::uint32_t>(tree.nodes.size());
        tree.nodes.push_back(node);
        OpenNode& parent = open.back();
        if (parent.lastChild == DataSetNode::kNone)
        {
            tree.nodes[parent.node].firstChild = index;
        }
        else
        {
            tree.nodes[parent.lastChild].nextSibling = index;
        }
        parent.lastChild = index;
        return index;
    };
    // Closes open undefined containers down to (and including) the innermost one of the kind a delimiter closes,
    // never past a defined-length container: a stray delimiter there is ignored.
    const auto closeUndefined = [&tree, &open](DataSetNode::Kind kind) {
        for (std::size_t i = open.size(); i-- > 1;)
        {
            if (!open[i].undefined)
            {
                return;
            }
            if (tree.nodes[open[i].node].kind == kind)
            {
                open.resize(i);
                return;
            }
        }
    };

    TagElement state;
    const std::uint8_t* position = bytes.data() + start;
    for (;;)
    {
        while (open.size() > 1 && !open.back().undefined && position >= open.back().limit)
        {
            open.pop_back();
        }
        const std::uint8_t* const limit = open.back().limit;
        if (open.size() == 1 && position >= limit)
        {
            break;
        }
        const std::uint8_t* next = TagFilebase::ReadTag(position, limit, state);
        if (next == nullptr)
        {
            // The rest of the innermost defined-length container is skipped; at the top level the data set ends.
            while (open.size() > 1 && open.back().undefined)
            {
                open.pop_back();
            }
            if (open.size() == 1)
            {
                break;
            }
            position = open.back().limit;
            open.pop_back();
            continue;
        }
        const ByteOrder order = state.ValueOrder();
        if (state.group == 0xFFFE)
        {
            if (state.element == 0xE00D)
            {
                closeUndefined(DataSetNode::Kind::Item);
                position = next;
                continue;
            }
            if (state.element == 0xE0DD)
            {
                closeUndefined(DataSetNode::Kind::Sequence);
                position = next;
                continue;
            }
            DataSetNode item;
            item.group = state.group;
            item.element = state.element;
            item.kind = DataSetNode::Kind::Item;
            item.order = order;
            if (open.back().fragments)
            {
                // A fragment: bytes, kept as a value. An undefined fragment is no fragment; its bytes are left.
                item.kind = DataSetNode::Kind::Element;
                item.value = state.entered != 0 ? ByteView() : ByteView(state.value, state.length);
                append(item);
                position = next;
                continue;
            }
            const std::uint32_t index = append(item);
            if (state.entered != 0)
            {
                open.push_back(OpenNode{index, DataSetNode::kNone, limit, true, false});
                position = next;
            }
            else
            {
                open.push_back(OpenNode{index, DataSetNode::kNone, state.value + state.length, false, false});
                position = state.value;
            }
            continue;
        }
        DataSetNode node;
        node.group = state.group;
        node.element = state.element;
        node.vr = state.vr;
        node.order = order;
        const bool explicitVr = state.vr[0] != 0;
        const bool sequence = explicitVr ? (state.vr[0] == 'S' && state.vr[1] == 'Q') || state.entered != 0
                                         : IsImplicitSequence(state, order);
        // An undefined 2-byte length (0xFFFF) is stepped into by the walk but never closed: read as a value of
        // nothing, so the next element is read where the walk would read it.
        const bool shortUndefined = state.entered != 0 && state.length != kUndefinedLength;
        if (!sequence || shortUndefined)
        {
            node.value = state.entered != 0 ? ByteView() : ByteView(state.value, state.length);
            append(node);
            position = next;
            continue;
        }
        node.kind = DataSetNode::Kind::Sequence;
        const std::uint32_t index = append(node);
        const bool encapsulated =
            explicitVr && !(state.vr[0] == 'S' && state.vr[1] == 'Q') && !(state.vr[0] == 'U' && state.vr[1] == 'N');
        if (state.entered != 0)
        {
            open.push_back(OpenNode{index, DataSetNode::kNone, limit, true, encapsulated});
            position = next;
        }
        else
        {
            open.push_back(OpenNode{index, DataSetNode::kNone, state.value + state.length, false, false});
            position = state.value;
        }
    }
    return tree;
}

std::uint32_t DataSetTree::Child(std::uint32_t item, std::uint16_t group, std::uint16_t element) const noexcept
{
    if (item >= nodes.size())
    {
        return DataSetNode::kNone;
    }
    for (std::uint32_t child = nodes[item].firstChild; child != DataSetNode::kNone; child = nodes[child].nextSibling)
    {
        if (nodes[child].group == group && nodes[child].element == element)
        {
            return child;
        }
    }
    return DataSetNode::kNone;
}

std::optional<ByteView> DataSetTree::Value(std::uint32_t item, std::uint16_t group,
                                           std::uint16_t element) const noexcept
{
    const std::uint32_t child = Child(item, group, element);
    if (child == DataSetNode::kNone || nodes[child].kind != DataSetNode::Kind::Element)
    {
        return std::nullopt;
    }
    return nodes[child].value;
}

std::uint32_t DataSetTree::FirstItem(std::uint32_t item, std::uint16_t group, std::uint16_t element) const noexcept
{
    const std::uint32_t child = Child(item, group, element);
    if (child == DataSetNode::kNone || nodes[child].kind != DataSetNode::Kind::Sequence)
    {
        return DataSetNode::kNone;
    }
    const std::uint32_t first = nodes[child].firstChild;
    return first != DataSetNode::kNone && nodes[first].kind == DataSetNode::Kind::Item ? first : DataSetNode::kNone;
}

} // namespace orblane
