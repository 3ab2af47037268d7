#pragma once

#include "dicom/DataSetTree.h"
#include "dicom/StructuredReport.h"
#include "platform/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orblane {

class DicomDataFileIO;

enum class ReportKind
{
    None,          // not a report: an image or anything else
    Pdf,           // Encapsulated PDF
    Cda,           // Encapsulated CDA
    Sr,            // a structured report of any storage class
    Kos,           // Key Object Selection
    OtherDocument, // another encapsulated document (STL, OBJ...): listed, never shown
};

// Why an encapsulated document is not shown; the viewer says "This document cannot be shown" for every one.
enum class DocumentRefusal
{
    None,
    NoDocument,  // no Encapsulated Document (0042,0011) value
    MimeType,    // a MIME Type of Encapsulated Document other than the class's own
    NotPdf,      // the bytes do not start with "%PDF-"
    NotXml,      // a CDA whose bytes are no XML document
    Unsupported, // an encapsulated document of a kind the viewer has no renderer for
    TooLarge,    // larger than kMaxReportFileBytes
    Unreadable,  // the file could not be read (the medium failed under the copy)
};

// The one file size a report is read up to. A report is copied out of its mapping (the copy cannot fault when the
// medium goes away, and the PDF renderer needs bytes of its own); a gigabyte is far beyond any real report.
inline constexpr std::size_t kMaxReportFileBytes = std::size_t{1} << 30;

// What the SOP Class UID alone says; Sr for every structured report class (1.2.840.10008.5.1.4.1.1.88.x).
ReportKind ReportKindOfSopClass(std::string_view sopClassUid) noexcept;

// "This document cannot be shown" and why, in English, for the command line; the viewer has its own texts.
std::string_view DocumentRefusalText(DocumentRefusal refusal) noexcept;

// The plain text of a CDA document: the title, then the body's text with its sections, paragraphs, list items and
// table rows on their own lines; markup, comments and processing instructions left out, entities decoded. The
// bytes are taken as UTF-8 (invalid sequences become U+FFFD).
std::u16string CdaPlainText(std::string_view xml);

// One report file read for showing: its bytes copied, its data set read as a tree, then either the encapsulated
// document picked out or the content tree walked. Move-only: every view it hands out points into its own bytes.
class ReportDocument
{
public:
    ReportDocument() = default;
    ReportDocument(ReportDocument&&) noexcept = default;
    ReportDocument& operator=(ReportDocument&&) noexcept = default;
    ReportDocument(const ReportDocument&) = delete;
    ReportDocument& operator=(const ReportDocument&) = delete;

    // Reads a file that DicomDataFileIO has loaded (its bytes, inflated when deflated). Answers 0, ENOMEM, or EIO
    // when the medium fails under the copy; a file that is no report answers 0 with Kind() None.
    int Read(const DicomDataFileIO& file) noexcept;
    // The same for the bytes of a Part 10 file (or a bare data set, without preamble) held in memory.
    int ReadBytes(ByteView fileBytes) noexcept;

    ReportKind Kind() const noexcept { return kind; }
    DocumentRefusal Refusal() const noexcept { return refusal; }
    // A PDF or CDA that can be shown: the document's bytes as stored (up to the Encapsulated Document Length when
    // that is given and shorter), for showing or saving as they are.
    ByteView Document() const noexcept { return document; }
    const std::u16string& Title() const noexcept { return title; }
    const std::u16string& PatientName() const noexcept { return patientName; }
    const std::string& SopInstanceUid() const noexcept { return sopInstanceUid; }
    const std::string& SopClassUid() const noexcept { return sopClassUid; }
    // A CDA's text (CdaPlainText).
    const std::u16string& Text() const noexcept { return text; }
    // A structured report's or key object selection's walk.
    const StructuredReport& Structured() const noexcept { return structured; }

private:
    int Build();

    std::vector<std::uint8_t> bytes;
    DataSetTree tree;
    ReportKind kind = ReportKind::None;
    DocumentRefusal refusal = DocumentRefusal::None;
    ByteView document;
    std::u16string title;
    std::u16string patientName;
    std::string sopInstanceUid;
    std::string sopClassUid;
    std::u16string text;
    StructuredReport structured;
};

} // namespace orblane
