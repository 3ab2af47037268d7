// Any bytes read as a report file, the way the report window and `orblane-cli report` read one: the data set as a
// tree, the encapsulated document picked out and checked (a CDA's text extracted), the content tree of a structured
// report or key object selection walked, and every item's line written. The same bytes are also taken as a CDA
// document's XML, so the text extraction meets markup that no DICOM header wraps.
#include "dicom/ReportDocument.h"

#include <cstdint>
#include <string_view>

// Keeps the results from being optimised away.
volatile std::uint64_t fuzzSink = 0;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t sum = 0;
    orblane::ReportDocument report;
    if (report.ReadBytes(orblane::ByteView(data, size)) == 0)
    {
        sum += static_cast<std::uint64_t>(report.Kind()) + static_cast<std::uint64_t>(report.Refusal());
        sum += report.Document().size() + report.Title().size() + report.Text().size();
        const orblane::StructuredReport& structured = report.Structured();
        for (const orblane::ReportItem& item : structured.items)
        {
            sum += orblane::ReportItemText(item).size() + item.depth;
        }
    }
    sum += orblane::CdaPlainText(std::string_view(reinterpret_cast<const char*>(data), size)).size();
    fuzzSink = fuzzSink + sum;
    return 0;
}
