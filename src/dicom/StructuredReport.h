#pragma once

#include "dicom/DataSetTree.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orblane {

// An object a content item points at (IMAGE, COMPOSITE, WAVEFORM): its SOP Class and Instance UIDs and the frames
// it names (none: the whole object).
struct ReferencedObject
{
    std::string sopClassUid;
    std::string sopInstanceUid;
    std::vector<std::int32_t> frames;
};

// One content item as a reader sees it. Texts are converted under the report's character set and trimmed.
struct ReportItem
{
    std::uint32_t depth = 0;    // 0 for the document's root container
    std::string relationship;   // "CONTAINS", "HAS PROPERTIES", ...; empty for the root
    std::string valueType;      // "CONTAINER", "TEXT", "NUM", ...
    std::u16string conceptName; // the concept name's Code Meaning
    std::u16string value;       // the value as shown: a text, a code meaning, a number, a date, a name, a UID
    std::u16string unit;        // NUM: the unit's Code Value ("mm")
    std::vector<ReferencedObject> references;
    // A by-reference relationship: the target's position ("1.2.3", from the root) and whether it was found; the
    // item's concept, value and unit are then the target's.
    std::string byReference;
    bool referenceFound = false;
};

struct ReportObserver
{
    std::u16string role; // "Author", "Verifying observer", "Person observer"
    std::u16string name;
    std::u16string organization;
    std::u16string dateTime;
};

// A structured report (or key object selection) walked into the lines of a readable document. No template is
// assumed: every content item renders from its value type alone.
struct StructuredReport
{
    std::u16string title; // the root's concept name ("Of Interest" for a key object selection)
    std::vector<ReportItem> items;
    std::string completion;   // (0040,A491) as stored, trimmed: "COMPLETE", "PARTIAL"; empty when absent
    std::string verification; // (0040,A493): "VERIFIED", "UNVERIFIED"
    std::vector<ReportObserver> observers;
    // Every object the content items reference, first occurrence first (a key object selection's images).
    std::vector<ReferencedObject> referenced;
    // Items nested deeper than kMaxReportDepth: counted, not rendered.
    std::size_t itemsTooDeep = 0;
};

// No real report nests more than a few levels; a hostile one nesting thousands deep would render as a wall of
// indentation (and a JSON tree most readers refuse), so what lies deeper is counted instead.
inline constexpr std::uint32_t kMaxReportDepth = 100;

// Walks the Content Sequence of the data set's root. Never fails: what cannot be read is left out, a reference to a
// missing item is marked not found.
StructuredReport ReadStructuredReport(const DataSetTree& tree);

// "Concept: value unit", or the parts that are there; a by-reference item ends in " (see 1.2.3)".
std::u16string ReportItemText(const ReportItem& item);

} // namespace orblane
