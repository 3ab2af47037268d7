#pragma once

#include "dicom/TagElement.h"
#include "dicom/TagList.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orblane {

// What a visitor answers for each element it is handed.
enum Verdict : int
{
    kKeepAndGoOn = 10,
    kKeepAndStop = 20,
    kSkipAndGoOn = 30,
    kSkipAndStop = 40,
};

// How far a walk that does not cover the whole data goes, decided by its first element.
enum class WalkMode : int
{
    Item = 0,    // started on an item: up to its Item Delimitation
    Group = 10,  // started on a group length: to the end of that group
    Single = 20, // anything else: that one element
};

// Header form of an explicit VR element; Unknown ends the walk because its length cannot be found.
enum class VrForm : std::uint8_t
{
    Unknown = 0,
    Short = 2, // tag, VR, 16-bit length
    Long = 4,  // tag, VR, two reserved bytes, 32-bit length
};

struct VrTableRow
{
    char name[3];
    VrForm form;
};

// Every VR of the current standard with its header form (PS3.5 7.1.2, table 7.1-1). Two capital letters that are
// not here are a VR added after this table: read, as the standard asks, like UN with the 32-bit length form.
inline constexpr std::array<VrTableRow, 34> kVrTable{{
    {"AE", VrForm::Short}, {"AS", VrForm::Short}, {"AT", VrForm::Short}, {"CS", VrForm::Short}, {"DA", VrForm::Short},
    {"DS", VrForm::Short}, {"DT", VrForm::Short}, {"FL", VrForm::Short}, {"FD", VrForm::Short}, {"IS", VrForm::Short},
    {"LO", VrForm::Short}, {"LT", VrForm::Short}, {"OB", VrForm::Long},  {"OD", VrForm::Long},  {"OF", VrForm::Long},
    {"OL", VrForm::Long},  {"OV", VrForm::Long},  {"OW", VrForm::Long},  {"PN", VrForm::Short}, {"SH", VrForm::Short},
    {"SL", VrForm::Short}, {"SQ", VrForm::Long},  {"SS", VrForm::Short}, {"ST", VrForm::Short}, {"SV", VrForm::Long},
    {"TM", VrForm::Short}, {"UC", VrForm::Long},  {"UI", VrForm::Short}, {"UL", VrForm::Short}, {"UN", VrForm::Long},
    {"UR", VrForm::Long},  {"US", VrForm::Short}, {"UT", VrForm::Long},  {"UV", VrForm::Long},
}};

// The header form of the VR whose letters are first and second: Unknown only when they are not two capitals.
VrForm LookUpVr(std::uint8_t first, std::uint8_t second) noexcept;

// The element walk. It reads element after element from a mapped view and hands each, as soon as it is read, to
// OnTag, whose verdict says whether the element is kept and whether the walk goes on. The walk is flat: it steps
// into elements of undefined length and over elements of defined length, and never reads at or beyond its end.
class TagFilebase
{
public:
    explicit TagFilebase(bool walkWholeData = false) noexcept : wholeData(walkWholeData) {}
    virtual ~TagFilebase() = default;
    TagFilebase(const TagFilebase&) = delete;
    TagFilebase& operator=(const TagFilebase&) = delete;

    // Walks from start, reading nothing at or beyond end. Every walk begins in explicit VR.
    void ParseTags(const std::uint8_t* start, const std::uint8_t* end);

    // Reads the element whose tag starts at position into tag and answers where the next element starts, or nullptr
    // when the element cannot be read: its header or value runs past end, or its VR bytes are not two capitals.
    // The walk state in tag carries over from the element read before: implicit (set by the Implicit VR Little
    // Endian transfer syntax UID), the nesting depth and implicitFrom (set by an explicit UN of undefined length).
    static const std::uint8_t* ReadTag(const std::uint8_t* position, const std::uint8_t* end, TagElement& tag) noexcept;

    // The kept elements, all nesting levels in one sequence, in file order.
    const TagList& Kept() const noexcept { return kept; }
    WalkMode Mode() const noexcept { return mode; }

protected:
    // The verdict for one element just read; this base keeps everything and goes on.
    virtual int OnTag(const TagElement& tag);

    // When set, a walk that starts on an item of defined length reads the item's own elements, bounded by the
    // item's end, instead of stepping over it (a walk steps over every other defined-length element).
    bool enterDefinedItem = false;

private:
    TagList kept;
    const std::uint8_t* endOfData = nullptr;
    const std::uint8_t* endOfGroup = nullptr;
    WalkMode mode = WalkMode::Single;
    bool wholeData;
};

} // namespace orblane
