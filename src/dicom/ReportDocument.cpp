#include "dicom/ReportDocument.h"

#include "dicom/DicomDataFileIO.h"
#include "dicom/DicomTextRules.h"
#include "platform/MappedReadGuard.h"
#include "platform/Utf16.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

namespace orblane {
namespace {

constexpr std::string_view kPdfClass = "1.2.840.10008.5.1.4.1.1.104.1";
constexpr std::string_view kCdaClass = "1.2.840.10008.5.1.4.1.1.104.2";
constexpr std::string_view kEncapsulatedPrefix = "1.2.840.10008.5.1.4.1.1.104.";
constexpr std::string_view kKosClass = "1.2.840.10008.5.1.4.1.1.88.59";
constexpr std::string_view kSrPrefix = "1.2.840.10008.5.1.4.1.1.88.";
constexpr std::size_t kPart10Start = 132;

std::string PlainValue(const DataSetTree& tree, std::uint16_t group, std::uint16_t element)
{
    const auto value = tree.Value(DataSetTree::kRoot, group, element);
    if (!value)
    {
        return {};
    }
    std::string text(value->begin(), value->end());
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos)
    {
        text.resize(nul);
    }
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A MIME type without parameters ("text/xml; charset=UTF-8" is text/xml).
std::string_view MediaType(std::string_view mime) noexcept
{
    mime = mime.substr(0, std::min(mime.find(';'), mime.size()));
    while (!mime.empty() && mime.back() == ' ')
    {
        mime.remove_suffix(1);
    }
    return mime;
}

void AppendEntity(std::string_view entity, std::string& out)
{
    static constexpr std::array<std::pair<std::string_view, char>, 5> kNamed{
        {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}}};
    for (const auto& [name, c] : kNamed)
    {
        if (entity == name)
        {
            out += c;
            return;
        }
    }
    if (entity.size() > 1 && entity[0] == '#')
    {
        const bool hex = entity[1] == 'x' || entity[1] == 'X';
        std::uint32_t code = 0;
        for (const char c : entity.substr(hex ? 2 : 1))
        {
            const int digit = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
            if (digit < 0 || code > 0x10FFFF)
            {
                code = 0xFFFD;
                break;
            }
            code = code * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
        }
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        {
            code = 0xFFFD;
        }
        // UTF-8 by hand: the text is decoded as UTF-8 afterwards.
        if (code < 0x80)
        {
            out += static_cast<char>(code);
        }
        else if (code < 0x800)
        {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        else if (code < 0x10000)
        {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        else
        {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        return;
    }
    out += '&';
    out += entity;
    out += ';';
}

// The elements of the CDA narrative block (HL7 CDA R2, section 4.3.5) that start a line of their own.
bool BreaksLine(std::string_view name) noexcept
{
    static constexpr std::array<std::string_view, 10> kBlocks{"title",   "paragraph", "br",    "item",    "tr",
                                                              "section", "list",      "table", "caption", "text"};
    return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
}

// Text with markup removed: one line per block, runs of white space as one space, no empty lines.
std::string NarrativeText(std::string_view xml)
{
    std::string out;
    bool pendingSpace = false;
    const auto breakLine = [&out, &pendingSpace] {
        pendingSpace = false;
        if (!out.empty() && out.back() != '\n')
        {
            out += '\n';
        }
    };
    const auto appendText = [&out, &pendingSpace](char c) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
        {
            pendingSpace = !out.empty() && out.back() != '\n';
            return;
        }
        if (pendingSpace)
        {
            out += ' ';
            pendingSpace = false;
        }
        out += c;
    };
    std::size_t at = 0;
    while (at < xml.size())
    {
        const char c = xml[at];
        if (c == '&')
        {
            const std::size_t semicolon = xml.find(';', at);
            if (semicolon != std::string_view::npos && semicolon - at <= 10)
            {
                std::string decoded;
                AppendEntity(xml.substr(at + 1, semicolon - at - 1), decoded);
                for (const char d : decoded)
                {
                    appendText(d);
                }
                at = semicolon + 1;
                continue;
            }
            appendText(c);
            ++at;
            continue;
        }
        if (c != '<')
        {
            appendText(c);
            ++at;
            continue;
        }
        if (xml.compare(at, 9, "<![CDATA[") == 0)
        {
            const std::size_t close = std::min(xml.find("]]>", at + 9), xml.size());
            for (const char d : xml.substr(at + 9, close - at - 9))
            {
                appendText(d);
            }
            at = std::min(close + 3, xml.size());
            continue;
        }
        if (xml.compare(at, 4, "<!--") == 0)
        {
            at = std::min(xml.find("-->", at + 4), xml.size());
            at = std::min(at + 3, xml.size());
            continue;
        }
        const std::size_t close = std::min(xml.find('>', at), xml.size());
        std::string_view tag = xml.substr(at + 1, close - at - 1);
        at = std::min(close + 1, xml.size());
        if (!tag.empty() && (tag.front() == '/' || tag.front() == '?' || tag.front() == '!'))
        {
            tag.remove_prefix(1);
        }
        std::string_view name = tag.substr(0, std::min(tag.find_first_of(" \t\r\n/"), tag.size()));
        if (const std::size_t colon = name.find(':'); colon != std::string_view::npos)
        {
            name.remove_prefix(colon + 1);
        }
        if (BreaksLine(name))
        {
            breakLine();
        }
        else if (name == "td" || name == "th")
        {
            pendingSpace = !out.empty() && out.back() != '\n';
        }
    }
    while (!out.empty() && out.back() == '\n')
    {
        out.pop_back();
    }
    return out;
}

// The text between the first <tag ...> and its </tag>, or none.
std::string_view Inner(std::string_view xml, std::string_view tag)
{
    std::size_t open = 0;
    for (;;)
    {
        open = xml.find("<" + std::string(tag), open);
        if (open == std::string_view::npos)
        {
            return {};
        }
        const std::size_t after = open + 1 + tag.size();
        if (after < xml.size() && (xml[after] == '>' || xml[after] == ' ' || xml[after] == '\n' || xml[after] == '\t'))
        {
            break;
        }
        open = after;
    }
    const std::size_t start = xml.find('>', open);
    if (start == std::string_view::npos)
    {
        return {};
    }
    const std::size_t end = xml.find("</" + std::string(tag), start);
    return xml.substr(start + 1, (end == std::string_view::npos ? xml.size() : end) - start - 1);
}

} // namespace

ReportKind ReportKindOfSopClass(std::string_view uid) noexcept
{
    if (uid == kPdfClass)
    {
        return ReportKind::Pdf;
    }
    if (uid == kCdaClass)
    {
        return ReportKind::Cda;
    }
    if (uid.starts_with(kEncapsulatedPrefix))
    {
        return ReportKind::OtherDocument;
    }
    if (uid == kKosClass)
    {
        return ReportKind::Kos;
    }
    return uid.starts_with(kSrPrefix) ? ReportKind::Sr : ReportKind::None;
}

std::string_view DocumentRefusalText(DocumentRefusal refusal) noexcept
{
    switch (refusal)
    {
    case DocumentRefusal::None:
        return "";
    case DocumentRefusal::NoDocument:
        return "This document cannot be shown: the file holds no document";
    case DocumentRefusal::MimeType:
        return "This document cannot be shown: its MIME type is not the one of its kind";
    case DocumentRefusal::NotPdf:
        return "This document cannot be shown: its bytes are not a PDF document";
    case DocumentRefusal::NotXml:
        return "This document cannot be shown: its bytes are not an XML document";
    case DocumentRefusal::Unsupported:
        return "This document cannot be shown: a kind of document this viewer has no renderer for";
    case DocumentRefusal::TooLarge:
        return "This document cannot be shown: the file is too large";
    case DocumentRefusal::Unreadable:
        return "This document cannot be shown: the file could not be read";
    }
    return "This document cannot be shown";
}

std::u16string CdaPlainText(std::string_view xml)
{
    std::string shown;
    const std::string_view title = Inner(xml, "title");
    const std::string_view body = Inner(xml, "structuredBody");
    if (!title.empty())
    {
        shown = NarrativeText(title);
    }
    const std::string bodyText = NarrativeText(body.empty() ? xml : body);
    if (!bodyText.empty())
    {
        shown += (shown.empty() ? "" : "\n") + bodyText;
    }
    if (auto decoded = DecodeUtf8(shown))
    {
        return std::move(*decoded);
    }
    // Not valid UTF-8: each byte that is not ASCII becomes U+FFFD.
    std::u16string replaced;
    for (const char c : shown)
    {
        replaced += static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'\uFFFD';
    }
    return replaced;
}

int ReportDocument::Read(const DicomDataFileIO& file) noexcept
{
    const ByteView source = file.DataBytes();
    try
    {
        bytes.clear();
        if (source.size() > kMaxReportFileBytes)
        {
            kind = ReportKind::OtherDocument;
            refusal = DocumentRefusal::TooLarge;
            return 0;
        }
        bytes.resize(source.size());
        std::uint8_t* target = bytes.data();
        const auto copy = [target, source] { std::memcpy(target, source.data(), source.size()); };
        if (!source.empty() && platform::GuardMappedRead(source, copy) == platform::MappedRead::Faulted)
        {
            bytes.clear();
            refusal = DocumentRefusal::Unreadable;
            return EIO;
        }
        return Build();
    }
    catch (const std::bad_alloc&)
    {
        return ENOMEM;
    }
}

int ReportDocument::ReadBytes(ByteView fileBytes) noexcept
{
    try
    {
        if (fileBytes.size() > kMaxReportFileBytes)
        {
            kind = ReportKind::OtherDocument;
            refusal = DocumentRefusal::TooLarge;
            return 0;
        }
        bytes.assign(fileBytes.begin(), fileBytes.end());
        return Build();
    }
    catch (const std::bad_alloc&)
    {
        return ENOMEM;
    }
}

int ReportDocument::Build()
{
    const bool part10 = bytes.size() >= kPart10Start && std::memcmp(bytes.data() + 128, "DICM", 4) == 0;
    tree = DataSetTree::Read(bytes, part10 ? kPart10Start : 0);
    sopClassUid = PlainValue(tree, 0x0008, 0x0016);
    if (sopClassUid.empty())
    {
        sopClassUid = PlainValue(tree, 0x0002, 0x0002);
    }
    sopInstanceUid = PlainValue(tree, 0x0008, 0x0018);
    const ByteView charset = tree.Value(DataSetTree::kRoot, 0x0008, 0x0005).value_or(ByteView());
    if (const auto name = tree.Value(DataSetTree::kRoot, 0x0010, 0x0010))
    {
        patientName = WithoutTrailingSpaces(ChoosePersonNameGroup(ConvertText(charset, *name)));
    }
    kind = ReportKindOfSopClass(sopClassUid);
    // Any other class with a content tree is read as a structured report: the tree, not the UID, makes one.
    if (kind == ReportKind::None && tree.Child(DataSetTree::kRoot, 0x0040, 0xA730) != DataSetNode::kNone &&
        tree.Value(DataSetTree::kRoot, 0x0040, 0xA040))
    {
        kind = ReportKind::Sr;
    }
    if (kind == ReportKind::Sr || kind == ReportKind::Kos)
    {
        structured = ReadStructuredReport(tree);
        title = structured.title;
        return 0;
    }
    if (kind == ReportKind::None)
    {
        return 0;
    }
    if (const auto stored = tree.Value(DataSetTree::kRoot, 0x0042, 0x0010))
    {
        title = WithoutTrailingSpaces(ConvertText(charset, *stored));
    }
    if (kind == ReportKind::OtherDocument)
    {
        refusal = DocumentRefusal::Unsupported;
        return 0;
    }
    const auto value = tree.Value(DataSetTree::kRoot, 0x0042, 0x0011);
    if (!value || value->empty())
    {
        refusal = DocumentRefusal::NoDocument;
        return 0;
    }
    ByteView stored = *value;
    // The document's own length, when given, leaves out the pad to even length (PS3.3 C.24.2).
    const std::uint32_t lengthNode = tree.Child(DataSetTree::kRoot, 0x0042, 0x0015);
    if (lengthNode != DataSetNode::kNone && tree.Node(lengthNode).value.size() == 4)
    {
        const std::uint32_t length = *ValueReader(tree.Node(lengthNode).value, tree.Node(lengthNode).order).U32(0);
        if (length != 0 && length < stored.size())
        {
            stored = stored.first(length);
        }
    }
    const std::string mime = PlainValue(tree, 0x0042, 0x0012);
    const std::string_view media = MediaType(mime);
    if (kind == ReportKind::Pdf)
    {
        if (!mime.empty() && !EqualsIgnoringCase(media, "application/pdf"))
        {
            refusal = DocumentRefusal::MimeType;
            return 0;
        }
        if (stored.size() < 5 || std::memcmp(stored.data(), "%PDF-", 5) != 0)
        {
            refusal = DocumentRefusal::NotPdf;
            return 0;
        }
        document = stored;
        return 0;
    }
    if (!mime.empty() && !EqualsIgnoringCase(media, "text/xml") && !EqualsIgnoringCase(media, "application/xml"))
    {
        refusal = DocumentRefusal::MimeType;
        return 0;
    }
    const std::string_view xml(reinterpret_cast<const char*>(stored.data()), stored.size());
    const std::size_t first = xml.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first == std::string_view::npos || xml[first] != '<')
    {
        refusal = DocumentRefusal::NotXml;
        return 0;
    }
    document = stored;
    text = CdaPlainText(xml);
    return 0;
}

} // namespace orblane
