#pragma once

// Structured reports built byte by byte, for the cases no real file shows (thousands of items, nesting thousands
// deep, references that loop or point nowhere, values of the wrong VR) and for the benchmark and fuzz seeds.

#include "support/DicomWriter.h"

#include <cstdint>
#include <vector>

namespace orblane::test {

// A Comprehensive SR whose root holds `items` children: TEXT "Finding n" and NUM "Size n" n.5 mm, alternating.
Bytes WideReport(int items, Length length = Length::Defined);
// Each CONTAINER holding the next, `depth` levels below the root, a TEXT at the bottom.
Bytes DeepReport(int depth, Length length);
// The root holding a TEXT "Target" (position 1.1), then one by-reference item per path (UL values as given), each
// with a by-reference child back to its own parent (a loop through references).
Bytes ReportWithReferences(const std::vector<std::vector<std::uint32_t>>& paths);
// A NUM whose Numeric Value is written with the VR FD (8 binary bytes) instead of DS, and a TEXT whose Content
// Sequence is a plain UT value: values of the wrong VR.
Bytes ReportWithWrongVrs();

} // namespace orblane::test
