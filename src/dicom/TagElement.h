#pragma once

#include "dicom/ValueReader.h"

#include <array>
#include <cstdint>

namespace orblane {

// A length field that holds this value marks an element whose end is found by a delimiter, not by counting.
inline constexpr std::uint32_t kUndefinedLength = 0xFFFFFFFF;
// The 2-byte length form cannot say "undefined"; its largest value is taken as such and stepped into.
inline constexpr std::uint32_t kUndefinedShortLength = 0xFFFF;

// One element as read from a mapped file. The value is never copied: it points into the view, raw bytes in the data
// set's byte order with their pad as stored. For an element of undefined length it points at the first nested element.
// Kept elements sit in file order in their visitor's list; the record carries no link of its own.
struct TagElement
{
    std::uint16_t group = 0;
    std::uint16_t element = 0;
    std::uint32_t length = 0;
    const std::uint8_t* value = nullptr;
    // 1 once the walk has read the Implicit VR Little Endian transfer syntax (or found the data set written in
    // implicit VR); carried from element to element.
    std::uint8_t implicit = 0;
    // 1 when the length was undefined and the walk stepped into the value: value then starts the nested elements,
    // and length (0xFFFFFFFF, or 0xFFFF in the 2-byte form) says nothing about how many bytes follow.
    std::uint8_t entered = 0;
    // 1 once the walk has read the Explicit VR Big Endian transfer syntax; carried from element to element. Group
    // 0002 and the contents of an explicit UN of undefined length stay little endian all the same.
    std::uint8_t bigEndian = 0;
    // Carried from element to element by a walk that starts with the File Meta group: 1 while in that group, 2 once
    // the data set's first element has shown which VR style the data set is really written in.
    std::uint8_t vrStyle = 0;
    // The two VR letters of an element read in explicit VR; both 0 for an implicit element or an item header. A big
    // endian value's bytes are swapped in words whose size the VR gives (OW: 2, OL and OF: 4, OD: 8).
    std::array<char, 2> vr{};
    // Nesting level: 0 for the elements of the data set the walk started in, one more inside each element of
    // undefined (4-byte) length until its delimitation item, which sits at the level of the element it closes.
    std::uint32_t depth = 0;
    // Carried from element to element: nonzero while the walk is inside an explicit UN of undefined length, as the
    // level of that element's contents. Such a UN is a sequence written in Implicit VR Little Endian (PS3.5 6.2.2),
    // so everything at this level or deeper is read implicitly.
    std::uint32_t implicitFrom = 0;

    bool Is(std::uint16_t g, std::uint16_t e) const noexcept { return group == g && element == e; }
    // The byte order of this element's numbers: the data set's, but little endian in group 0002 and inside an
    // explicit UN of undefined length.
    ByteOrder ValueOrder() const noexcept
    {
        const bool insideUnknownSequence = implicitFrom != 0 && depth >= implicitFrom;
        return bigEndian != 0 && group != 0x0002 && !insideUnknownSequence ? ByteOrder::Big : ByteOrder::Little;
    }
};
// A file keeps a record for every element it holds: the walk state packs into the record's padding.
static_assert(sizeof(TagElement) <= 32);

} // namespace orblane
