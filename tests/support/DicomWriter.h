#pragma once

// Byte-level writers of DICOM files for tests, benchmarks and fuzz seeds: real files cannot show every case (odd,
// truncated or hostile ones), and a file built here states its intent in the test that builds it.
//
//   DicomWriter w;                                   // 128-byte preamble and "DICM"
//   w.FileMeta(kExplicitLittleEndian)                // group 0002, always explicit
//    .Text(0x0010, 0x0010, "PN", "Doe^John")          // padded to even length
//    .BeginSequence(0x0008, 0x1115, Length::Undefined)
//    .BeginItem(Length::Defined).Text(0x0008, 0x1150, "UI", "1.2").EndItem()
//    .EndSequence()
//    .BeginEncapsulated().Fragment({}).Fragment(jpegBytes).EndSequence();
//   w.WriteTo(path);
//
// Elements follow the writer's VR mode: explicit VR by default, implicit VR after FileMeta(kImplicitLittleEndian)
// or SetImplicit(true); group 0002 and item headers are written as DICOM writes them in either mode.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orblane::test {

inline constexpr std::string_view kImplicitLittleEndian = "1.2.840.10008.1.2";
inline constexpr std::string_view kExplicitLittleEndian = "1.2.840.10008.1.2.1";
inline constexpr std::string_view kJpegLossless = "1.2.840.10008.1.2.4.70";

enum class Length
{
    Defined,   // the length is counted and written in the header
    Undefined, // 0xFFFFFFFF in the header, closed by a delimitation item
};

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

Bytes ToBytes(std::string_view text);

class DicomWriter
{
public:
    // withPreamble: start with 128 zero bytes and "DICM"; without, the data set starts at byte 0.
    explicit DicomWriter(bool withPreamble = true);

    // Group 0002 with its group length, a Media Storage SOP Class and the transfer syntax UID (NUL-padded), then
    // switches to implicit VR when the syntax is Implicit VR Little Endian.
    DicomWriter& FileMeta(std::string_view transferSyntax);
    DicomWriter& SetImplicit(bool implicitVr);

    // One element with the value as given (odd lengths allowed). An explicit VR outside the 2-byte-length set gets
    // the 4-byte-length header, as the standard gives it to OB, OW, OF, SQ, UN, UT and later VRs.
    DicomWriter& Element(std::uint16_t group, std::uint16_t element, std::string_view vr, ByteSpan value);
    // Text padded to even length: with NUL for UI, with a space otherwise.
    DicomWriter& Text(std::uint16_t group, std::uint16_t element, std::string_view vr, std::string_view text);
    DicomWriter& UInt16(std::uint16_t group, std::uint16_t element, std::uint16_t value); // US
    DicomWriter& UInt32(std::uint16_t group, std::uint16_t element, std::uint32_t value); // UL
    // The image pixel attributes of an unsigned MONOCHROME2 image, Number of Frames only when `frames` > 0.
    DicomWriter& GreyPixelModule(int rows, int columns, int bitsAllocated, int bitsStored, int frames = 0);
    // A CT's rescale (intercept -1024, slope 1) and soft-tissue window (40 / 400).
    DicomWriter& CtWindowAndRescale();
    // A header only, with any length (also one that the value does not have): for broken and hostile files.
    DicomWriter& Header(std::uint16_t group, std::uint16_t element, std::string_view vr, std::uint32_t length);

    DicomWriter& BeginSequence(std::uint16_t group, std::uint16_t element, Length length);
    DicomWriter& BeginItem(Length length);
    // Patch the open item's or sequence's length, or write its delimitation item.
    DicomWriter& EndItem();
    DicomWriter& EndSequence();
    // Encapsulated pixel data: (7FE0,0010) OB of undefined length; add the offset table and fragments with
    // Fragment (an odd one is padded with a zero byte), then close with EndSequence.
    DicomWriter& BeginEncapsulated();
    DicomWriter& Fragment(ByteSpan bytes);

    DicomWriter& Raw(ByteSpan bytes);
    DicomWriter& Raw(std::string_view bytes);

    // Offset of the next byte from the first byte of the file (the preamble's first byte).
    std::size_t Size() const { return bytes.size(); }
    void PatchUInt32(std::size_t offset, std::uint32_t value);
    const Bytes& Data() const { return bytes; }
    // Cuts the file to its first size bytes.
    void Truncate(std::size_t size);
    void WriteTo(const std::filesystem::path& path) const;

private:
    struct Open
    {
        std::size_t lengthField;
        std::size_t valueStart;
        Length length;
        bool item;
    };
    void Put16(std::uint16_t value);
    void Put32(std::uint32_t value);
    void PutHeader(std::uint16_t group, std::uint16_t element, std::string_view vr, std::uint32_t length);
    DicomWriter& Close(bool item);

    Bytes bytes;
    std::vector<Open> open;
    bool implicit = false;
};

// A DICOMDIR built from a patient/study/series/image tree, records in depth-first order, each record's
// (0004,1400) and (0004,1420) pointing at its next sibling and its first child.
struct DirSeries
{
    // Written as {modality, fileIds}; the record's UID and icon are set afterwards where a test wants them.
    DirSeries(std::string seriesModality, std::vector<std::string> ids)
        : modality(std::move(seriesModality)), fileIds(std::move(ids))
    {
    }

    std::string modality;
    std::vector<std::string> fileIds; // one IMAGE record each; an empty text omits (0004,1500)
    std::string uid;                  // (0020,000E) of the record; empty omits it
    // An Icon Image Sequence on the record: iconSide squared 8-bit MONOCHROME2 levels; empty omits it.
    std::uint16_t iconSide = 0;
    std::vector<std::uint8_t> icon;
};

struct DirStudy
{
    std::string date;
    std::string time;
    std::vector<DirSeries> series;
};

struct DirPatient
{
    std::string name;
    std::string id;
    std::string birthDate;
    std::string sex;
    std::string characterSet; // (0008,0005) of the record; empty omits it
    std::vector<DirStudy> studies;
};

struct DicomDirOptions
{
    Length records = Length::Undefined;  // the style of every record item
    Length sequence = Length::Undefined; // the style of (0004,1220)
    bool implicitVr = false;
    bool rootOffset = true; // write (0004,1200)
};

struct DirRecordInfo
{
    std::string type;       // PATIENT, STUDY, SERIES, IMAGE
    std::uint32_t offset;   // of the record's item tag
    std::size_t nextField;  // offset of the (0004,1400) value
    std::size_t lowerField; // offset of the (0004,1420) value
};

struct DicomDirFile
{
    Bytes bytes;
    std::vector<DirRecordInfo> records; // in file order
    std::size_t rootField = 0;          // offset of the (0004,1200) value; 0 when not written

    void PatchUInt32(std::size_t offset, std::uint32_t value);
    void WriteTo(const std::filesystem::path& path) const;
};

DicomDirFile BuildDicomDir(const std::vector<DirPatient>& patients, const DicomDirOptions& options = {});

} // namespace orblane::test
