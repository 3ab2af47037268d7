#include "support/ReportWriter.h"

#include <string>

namespace orblane::test {
namespace {

void Concept(DicomWriter& w, const std::string& meaning, Length length)
{
    w.BeginSequence(0x0040, 0xA043, length)
        .BeginItem(length)
        .Text(0x0008, 0x0100, "SH", "T1")
        .Text(0x0008, 0x0102, "SH", "99TEST")
        .Text(0x0008, 0x0104, "LO", meaning)
        .EndItem()
        .EndSequence();
}

DicomWriter Begin()
{
    DicomWriter w;
    w.FileMeta(kExplicitLittleEndian)
        .Text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.88.33")
        .Text(0x0008, 0x0018, "UI", "1.2.3.4")
        .Text(0x0008, 0x0060, "CS", "SR")
        .Text(0x0010, 0x0010, "PN", "Test^Report")
        .Text(0x0040, 0xA040, "CS", "CONTAINER");
    Concept(w, "Report", Length::Defined);
    w.Text(0x0040, 0xA491, "CS", "COMPLETE").Text(0x0040, 0xA493, "CS", "UNVERIFIED");
    return w;
}

void Text(DicomWriter& w, const std::string& meaning, const std::string& text, Length length)
{
    w.BeginItem(length).Text(0x0040, 0xA010, "CS", "CONTAINS").Text(0x0040, 0xA040, "CS", "TEXT");
    Concept(w, meaning, length);
    w.Text(0x0040, 0xA160, "UT", text).EndItem();
}

Bytes PathValue(const std::vector<std::uint32_t>& path)
{
    Bytes bytes;
    for (const std::uint32_t v : path)
    {
        for (int shift = 0; shift < 32; shift += 8)
        {
            bytes.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    }
    return bytes;
}

} // namespace

Bytes WideReport(int items, Length length)
{
    DicomWriter w = Begin();
    w.BeginSequence(0x0040, 0xA730, length);
    for (int i = 0; i < items; ++i)
    {
        if (i % 2 == 0)
        {
            Text(w, "Finding " + std::to_string(i), "Text of finding " + std::to_string(i), length);
            continue;
        }
        w.BeginItem(length).Text(0x0040, 0xA010, "CS", "CONTAINS").Text(0x0040, 0xA040, "CS", "NUM");
        Concept(w, "Size " + std::to_string(i), length);
        w.BeginSequence(0x0040, 0xA300, length).BeginItem(length).Text(0x0040, 0xA30A, "DS", std::to_string(i) + ".5");
        w.BeginSequence(0x0040, 0x08EA, length)
            .BeginItem(length)
            .Text(0x0008, 0x0100, "SH", "mm")
            .Text(0x0008, 0x0102, "SH", "UCUM")
            .Text(0x0008, 0x0104, "LO", "millimeter")
            .EndItem()
            .EndSequence();
        w.EndItem().EndSequence().EndItem();
    }
    w.EndSequence();
    return w.Data();
}

Bytes DeepReport(int depth, Length length)
{
    DicomWriter w = Begin();
    for (int level = 0; level < depth; ++level)
    {
        w.BeginSequence(0x0040, 0xA730, length)
            .BeginItem(length)
            .Text(0x0040, 0xA010, "CS", "CONTAINS")
            .Text(0x0040, 0xA040, "CS", "CONTAINER");
    }
    w.BeginSequence(0x0040, 0xA730, length);
    Text(w, "Bottom", "deepest", length);
    w.EndSequence();
    for (int level = 0; level < depth; ++level)
    {
        w.EndItem().EndSequence();
    }
    return w.Data();
}

Bytes ReportWithReferences(const std::vector<std::vector<std::uint32_t>>& paths)
{
    DicomWriter w = Begin();
    w.BeginSequence(0x0040, 0xA730, Length::Undefined);
    Text(w, "Target", "the referenced text", Length::Undefined);
    for (std::size_t i = 0; i < paths.size(); ++i)
    {
        w.BeginItem(Length::Undefined).Text(0x0040, 0xA010, "CS", "INFERRED FROM");
        w.Element(0x0040, 0xDB73, "UL", PathValue(paths[i]));
        w.BeginSequence(0x0040, 0xA730, Length::Undefined)
            .BeginItem(Length::Undefined)
            .Text(0x0040, 0xA010, "CS", "INFERRED FROM")
            .Element(0x0040, 0xDB73, "UL", PathValue({1, static_cast<std::uint32_t>(i + 2)}))
            .EndItem()
            .EndSequence();
        w.EndItem();
    }
    w.EndSequence();
    return w.Data();
}

Bytes ReportWithWrongVrs()
{
    DicomWriter w = Begin();
    w.BeginSequence(0x0040, 0xA730, Length::Defined);
    w.BeginItem(Length::Defined).Text(0x0040, 0xA010, "CS", "CONTAINS").Text(0x0040, 0xA040, "CS", "NUM");
    Concept(w, "Binary size", Length::Defined);
    w.BeginSequence(0x0040, 0xA300, Length::Defined).BeginItem(Length::Defined);
    w.Element(0x0040, 0xA30A, "FD", Bytes{0, 0, 0, 0, 0, 0, 0x29, 0x40});
    w.EndItem().EndSequence().EndItem();
    w.BeginItem(Length::Defined).Text(0x0040, 0xA010, "CS", "CONTAINS").Text(0x0040, 0xA040, "CS", "TEXT");
    Concept(w, "Odd text", Length::Defined);
    w.Text(0x0040, 0xA730, "UT", "not a sequence").Element(0x0040, 0xDB73, "UL", Bytes{1, 0, 0});
    w.EndItem();
    w.EndSequence();
    return w.Data();
}

} // namespace orblane::test
