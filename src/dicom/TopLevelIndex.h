#pragma once

#include "dicom/TagElement.h"
#include "dicom/ValueReader.h"
#include "platform/Bytes.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace orblane {

class DicomDataFileIO;

// The bytes of one sequence item's elements (without the item's own header), and how they are encoded.
struct SequenceItem
{
    ByteView bytes;
    bool implicit = false;
    ByteOrder order = ByteOrder::Little;
};

// The top-level elements of a walked data set, built once per file. Only top-level elements describe the file's
// own image: an image nested in a sequence (an icon, a referenced image) never lends its rows or pixel data. The
// walk keeps every nesting level in one flat list; the depth of an element follows from the elements that were
// stepped into (undefined length) and the delimiters that close them.
class TopLevelIndex
{
public:
    // Numbers are read in the byte order of the file's data set.
    explicit TopLevelIndex(const DicomDataFileIO& file);

    const TagElement* Find(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept;
    // The value bytes of a defined-length element; absent for a missing or undefined-length one.
    std::optional<ByteView> Value(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept;
    std::optional<std::uint16_t> Us(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept;
    ByteOrder Order() const noexcept { return order; }
    // The first item of a top-level sequence, of defined or undefined length; absent when it has none.
    std::optional<SequenceItem> FirstItem(std::uint16_t group, std::uint16_t element, int occurrence) const noexcept;

private:
    static std::uint32_t Key(std::uint16_t group, std::uint16_t element) noexcept
    {
        return (static_cast<std::uint32_t>(group) << 16) | element;
    }

    // Occurrences by tag, in file order: a file of many images asks for the n-th of a tag once per image, and a scan
    // from the start each time would make a large file's build quadratic in its elements.
    std::unordered_map<std::uint32_t, std::vector<const TagElement*>> byTag;
    // The first item of each top-level element that the walk stepped into, as the walk found its end.
    std::unordered_map<const TagElement*, ByteView> enteredFirstItems;
    ByteOrder order;
};

} // namespace orblane
