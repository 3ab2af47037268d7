// orblane-cli report FILE OUTDIR: what the viewer's report window shows, as files. A PDF's pages as page-<n>.png
// at 96 dpi; a structured report as report.txt (one content item a line) and report.json (the tree); a key object
// selection's title and images in report.json; a CDA document's text in report.txt.
#include "Commands.h"
#include "Json.h"
#include "ReportPdfPages.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/ReportDocument.h"
#include "platform/AtomicFile.h"
#include "platform/Utf16.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace orblane::cli {
namespace {

std::string_view KindName(ReportKind kind) noexcept
{
    switch (kind)
    {
    case ReportKind::Pdf:
        return "pdf";
    case ReportKind::Cda:
        return "cda";
    case ReportKind::Sr:
        return "sr";
    case ReportKind::Kos:
        return "kos";
    default:
        return "";
    }
}

// One line per item: line breaks inside a text become spaces.
std::string OneLine(std::u16string_view text)
{
    std::string line = EncodeUtf8(text);
    for (char& c : line)
    {
        if (c == '\r' || c == '\n' || c == '\t')
        {
            c = ' ';
        }
    }
    return line;
}

std::string ReportText(const StructuredReport& report)
{
    std::string out;
    for (const ReportItem& item : report.items)
    {
        out.append(2 * static_cast<std::size_t>(item.depth), ' ');
        out += OneLine(ReportItemText(item));
        out += '\n';
    }
    return out;
}

std::string ReferenceJson(const ReferencedObject& object)
{
    std::string out = "{\"sopClassUid\": " + JsonStringUtf8(object.sopClassUid) +
                      ", \"sopInstanceUid\": " + JsonStringUtf8(object.sopInstanceUid) + ", \"frames\": [";
    for (std::size_t i = 0; i < object.frames.size(); ++i)
    {
        out += (i == 0 ? "" : ", ") + std::to_string(object.frames[i]);
    }
    return out + "]}";
}

// The content tree, nested as the items' depths say; written without recursion (the depths are bounded anyway).
std::string ContentJson(const StructuredReport& report)
{
    std::string out;
    std::vector<std::uint32_t> open;
    for (const ReportItem& item : report.items)
    {
        while (!open.empty() && open.back() >= item.depth)
        {
            out += "]}";
            open.pop_back();
        }
        if (!out.empty() && out.back() != '[')
        {
            out += ", ";
        }
        out += "{\"relationship\": " + JsonStringUtf8(item.relationship) +
               ", \"valueType\": " + JsonStringUtf8(item.valueType) + ", \"concept\": " + JsonString(item.conceptName) +
               ", \"value\": " + JsonString(item.value) + ", \"unit\": " + JsonString(item.unit) +
               ", \"references\": [";
        for (std::size_t i = 0; i < item.references.size(); ++i)
        {
            out += (i == 0 ? "" : ", ") + ReferenceJson(item.references[i]);
        }
        out += "]";
        if (!item.byReference.empty())
        {
            out += ", \"byReference\": " + JsonStringUtf8(item.byReference) +
                   ", \"referenceFound\": " + (item.referenceFound ? "true" : "false");
        }
        out += ", \"children\": [";
        open.push_back(item.depth);
    }
    while (!open.empty())
    {
        out += "]}";
        open.pop_back();
    }
    return out.empty() ? "null" : out;
}

std::string StructuredJson(const ReportDocument& document)
{
    const StructuredReport& report = document.Structured();
    std::string out = "{\"kind\": \"" + std::string(KindName(document.Kind())) +
                      "\", \"title\": " + JsonString(report.title) +
                      ", \"sopInstanceUid\": " + JsonStringUtf8(document.SopInstanceUid()) +
                      ", \"completion\": " + JsonStringUtf8(report.completion) +
                      ", \"verification\": " + JsonStringUtf8(report.verification) + ", \"observers\": [";
    for (std::size_t i = 0; i < report.observers.size(); ++i)
    {
        const ReportObserver& o = report.observers[i];
        out += std::string(i == 0 ? "" : ", ") + "{\"role\": " + JsonString(o.role) +
               ", \"name\": " + JsonString(o.name) + ", \"organization\": " + JsonString(o.organization) +
               ", \"dateTime\": " + JsonString(o.dateTime) + "}";
    }
    out += "], \"referencedSopInstanceUids\": [";
    for (std::size_t i = 0; i < report.referenced.size(); ++i)
    {
        out += (i == 0 ? "" : ", ") + JsonStringUtf8(report.referenced[i].sopInstanceUid);
    }
    out += "], \"references\": [";
    for (std::size_t i = 0; i < report.referenced.size(); ++i)
    {
        out += (i == 0 ? "" : ", ") + ReferenceJson(report.referenced[i]);
    }
    out += "], \"itemsTooDeep\": " + std::to_string(report.itemsTooDeep) + ", \"content\": " + ContentJson(report);
    return out + "}\n";
}

bool WriteText(const std::filesystem::path& path, const std::string& text)
{
    return platform::WriteFileAtomically(path,
                                         ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "orblane-cli: %s\n", message.c_str());
    return 1;
}

} // namespace

int RunReport(Arguments args)
{
    if (args.size() != 2 || args[0].starts_with("--") || args[1].starts_with("--"))
    {
        return UsageError("report takes FILE and OUTDIR");
    }
    const std::filesystem::path input{std::string(args[0])};
    const std::filesystem::path outdir{std::string(args[1])};
    DicomDataFileIO file;
    if (const int code = file.LoadFile(input); code != 0)
    {
        return Fail(input.string() + ": " + std::strerror(code));
    }
    ReportDocument document;
    if (const int code = document.Read(file); code != 0)
    {
        return Fail(input.string() + ": " + std::strerror(code));
    }
    if (document.Kind() == ReportKind::None)
    {
        return Fail(input.string() + ": not a report (no encapsulated document, structured report or key object "
                                     "selection)");
    }
    if (document.Refusal() != DocumentRefusal::None)
    {
        return Fail(input.string() + ": " + std::string(DocumentRefusalText(document.Refusal())));
    }
    std::error_code created;
    std::filesystem::create_directories(outdir, created);
    std::string line = "{\"kind\": \"" + std::string(KindName(document.Kind())) + "\"";
    switch (document.Kind())
    {
    case ReportKind::Pdf: {
        int pages = 0;
        std::string failure;
        if (WritePdfPages(document.Document(), outdir, pages, failure) != 0)
        {
            return Fail(input.string() + ": " + failure);
        }
        line += ", \"pages\": " + std::to_string(pages);
        break;
    }
    case ReportKind::Cda: {
        const std::string text = EncodeUtf8(document.Text()) + "\n";
        const std::string json = "{\"kind\": \"cda\", \"title\": " + JsonString(document.Title()) +
                                 ", \"text\": " + JsonString(document.Text()) + "}\n";
        if (!WriteText(outdir / "report.txt", text) || !WriteText(outdir / "report.json", json))
        {
            return Fail("cannot write into " + outdir.string());
        }
        break;
    }
    default: {
        const StructuredReport& report = document.Structured();
        if (!WriteText(outdir / "report.txt", ReportText(report)) ||
            !WriteText(outdir / "report.json", StructuredJson(document)))
        {
            return Fail("cannot write into " + outdir.string());
        }
        line += ", \"items\": " + std::to_string(report.items.size());
        if (!report.completion.empty())
        {
            line += ", \"completion\": " + JsonStringUtf8(report.completion);
        }
        if (!report.verification.empty())
        {
            line += ", \"verification\": " + JsonStringUtf8(report.verification);
        }
        break;
    }
    }
    line += "}\n";
    std::fputs(line.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
