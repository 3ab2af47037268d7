#pragma once

#include "dicom/DicomDataFileIO.h"
#include "platform/Bytes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orblane {

// What a series holds, so that one that cannot be shown as images gets its own label instead of an error tile.
enum class SeriesKind : std::uint8_t
{
    Images,
    Report,            // structured report or encapsulated document
    KeyImages,         // key object selection
    PresentationState, // grey-scale or colour softcopy presentation state
    Video,             // MPEG or HEVC pixel data, or a video storage class
    Other,             // waveforms, raw data, registrations, anything else
};

const char* SeriesKindName(SeriesKind kind) noexcept;

// A DICOMDIR record's Icon Image (PS3.3 F.7): at most 128 × 128, one 8-bit sample a pixel, monochrome, native.
// Anything else is no icon, never a guess at what the bytes mean.
struct IconImage
{
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    std::vector<std::uint8_t> grey; // rows × columns levels, black 0, top row first (MONOCHROME1 already inverted)
};

inline constexpr std::uint16_t kMaxIconSize = 128;

struct SeriesImage
{
    std::string fileId;         // the Referenced File ID as stored (a scan: the path below the folder)
    std::filesystem::path path; // a scanned file's path; empty for a DICOMDIR record
    std::optional<std::int64_t> instanceNumber;
    std::string sopClassUid;
    std::string transferSyntaxUid;
    std::optional<IconImage> icon; // the record's own, when valid
};

struct SeriesEntry
{
    std::string seriesInstanceUid;
    std::optional<std::int64_t> number;
    std::string modality;
    std::optional<std::u16string> description;
    std::string frameOfReferenceUid;
    SeriesKind kind = SeriesKind::Other;
    std::vector<SeriesImage> images; // in the medium's order
    std::optional<IconImage> icon;   // the series' own record, else the icon of the image the thumbnail shows

    // The image a thumbnail shows: the middle one.
    std::size_t MiddleImage() const noexcept { return images.empty() ? 0 : (images.size() - 1) / 2; }
};

struct StudyEntryOfSeries
{
    std::string studyInstanceUid;
    std::string studyDate; // as stored, pad removed
    std::optional<std::u16string> description;
    std::optional<std::u16string> patientName;
    std::vector<SeriesEntry> series;
};

struct MediumSeries
{
    std::filesystem::path folder; // what the Referenced File IDs are relative to
    std::vector<StudyEntryOfSeries> studies;
};

// Bounds that no real medium reaches; a DICOMDIR that claims more is cut there, never walked without end.
inline constexpr std::size_t kMaxDirectoryRecords = 1u << 20;

// Reads the studies and series of a DICOMDIR file from its records alone (no image file is opened). Answers 0, or
// the errno of opening it, or -1 when it is no DICOMDIR. Records are followed through their links from the root;
// a DICOMDIR without usable links is read in record order. Throws std::bad_alloc.
int ReadDicomDirSeries(const std::filesystem::path& dicomDir, MediumSeries& out);
// Reads every file below a folder (a medium without DICOMDIR), grouping by study and series UID in series number
// and instance number order. Throws std::bad_alloc.
void ScanFolderSeries(const std::filesystem::path& folder, MediumSeries& out);
// Completes what a DICOMDIR's series record did not say (description, frame of reference) from the series' first
// file; a series that lacks nothing opens no file. Throws std::bad_alloc.
void CompleteFromFirstFiles(MediumSeries& medium);

// Validates and reads the Icon Image Sequence item's attributes; none when they break the icon's rules.
std::optional<IconImage> ReadIconImage(ByteView itemBytes, bool implicit, ByteOrder order);

} // namespace orblane
