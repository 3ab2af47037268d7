#pragma once

#include "dicom/DicomData.h"
#include "dicom/PatientStudyInfo.h"
#include "platform/Bytes.h"
#include "platform/MappedFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orblane {

// One referenced DICOM file: made unopened by the DICOMDIR walk, then loaded once when the viewer first needs one
// of its images. It stays mapped while it lives, and every value it hands out points into DataBytes(): that
// mapping, or for a deflated data set the inflated copy this object owns.
class DicomDataFileIO
{
public:
    DicomDataFileIO() = default;
    // fileId: the Referenced File ID as stored (pad included); folder: the medium's folder that the ID is relative
    // to, as its text is to be followed directly by the ID; studyLabel: the study's date-time text in the list.
    DicomDataFileIO(std::string fileId, std::string folder, std::u16string studyLabel);
    // A file found by a folder scan or named on the command line: loaded from its path as it stands, with no
    // medium rules in between; shownId (its path below the scanned folder) stands for it where an ID is shown.
    static std::unique_ptr<DicomDataFileIO> ForPath(std::filesystem::path file, std::string shownId,
                                                    std::u16string studyLabel);
    DicomDataFileIO(const DicomDataFileIO&) = delete;
    DicomDataFileIO& operator=(const DicomDataFileIO&) = delete;

    const std::string& FileId() const noexcept { return fileId; }
    const std::string& Folder() const noexcept { return folder; }
    const std::u16string& StudyLabel() const noexcept { return studyLabel; }
    // The path a file made by ForPath loads from; empty for a file named by a medium's ID.
    const std::filesystem::path& FilePath() const noexcept { return filePath; }
    // The SOP Class and Instance UIDs the medium's directory lists for the file (empty when unknown): reports are
    // told from images, and the images a report references found, without opening the file.
    const std::string& ListedSopClass() const noexcept { return listedSopClass; }
    const std::string& ListedSopInstance() const noexcept { return listedSopInstance; }
    void SetListedUids(std::string sopClass, std::string sopInstance)
    {
        listedSopClass = std::move(sopClass);
        listedSopInstance = std::move(sopInstance);
    }

    // What a folder scan read of the file's series (empty for a medium's file, whose DICOMDIR describes its series):
    // the strip groups scanned files by it as it groups a DICOMDIR's series records.
    struct ScannedSeries
    {
        std::string uid;                    // (0020,000E), pad removed
        std::optional<std::int64_t> number; // (0020,0011)
        std::string modality;               // (0008,0060) as stored
        std::u16string description;         // (0008,103E), trailing spaces removed
    };
    const ScannedSeries& Scanned() const noexcept { return scanned; }
    void SetScanned(ScannedSeries series) { scanned = std::move(series); }

    // Resolves the file ID below the folder (platform/FileIdPath.h), maps the file and walks it. Answers 0, or the
    // errno of the open or mapping (EACCES for an ID that would leave the folder, ENODEV for a FIFO or device), or
    // EIO when the medium fails under the walk (the mapping is then closed). A walk of readable bytes never fails:
    // a truncated or foreign file gives a short or empty data set. So does a deflated data set whose stream is
    // damaged (what inflated before the fault is walked) or would inflate beyond InflateLimit (what inflated up to
    // the limit is walked, as if the file were cut there).
    int LoadDataSet() noexcept;
    // The same for a file named by its path (the command-line tool and the tests).
    int LoadFile(const std::filesystem::path& path) noexcept;
    // Lets go of the data set and the mapping (every value handed out dies); Reload maps and walks the same file
    // again, found as the first successful load found it. The viewer keeps only a few files mapped at a time.
    void Unload() noexcept;
    int Reload() noexcept;

    // The occurrence-th element (from 0, in file order, any nesting level) with this tag: answers 0 and sets length
    // (as stored) and value (into the mapping, raw and padded). Without a data set, value becomes nullptr and the
    // answer is -1; without such an element both outputs are left as they were and the answer is -1.
    int GetElement(std::uint16_t group, std::uint16_t element, int occurrence, std::uint32_t& length,
                   const std::uint8_t*& value) const noexcept;
    // The same element's value bytes, bounded: empty for an element of undefined length. Prefer this when reading
    // a value; GetElement's length of an undefined element is not a byte count.
    std::optional<ByteView> FindValue(std::uint16_t group, std::uint16_t element, int occurrence = 0) const noexcept;

    // The display texts of the patient and study; all absent when no data set was loaded.
    PatientStudyInfo MakeInfoRecord() const;

    const DicomData* DataSet() const noexcept { return dataSet.get(); }
    const platform::MappedFile& Mapping() const noexcept { return mapping; }
    // The bytes the data set lives in, which bound every read of its values: the mapping, or for a deflated data set
    // its File Meta group followed by the inflated stream (so that an offset reads as in an undeflated file).
    ByteView DataBytes() const noexcept { return inflated.empty() ? mapping.Bytes() : ByteView(inflated); }
    // Whether the loaded file starts as a DICOM Part 10 file does: a 128-byte preamble, then "DICM". The viewer reads
    // a medium's files either way; the command line refuses other files rather than answer an empty success.
    bool IsPart10() const noexcept;
    // The byte order of the data set's numbers (big endian only for Explicit VR Big Endian).
    ByteOrder Order() const noexcept { return dataSet ? dataSet->byteOrder : ByteOrder::Little; }

private:
    platform::MappedFile mapping;
    std::vector<std::uint8_t> inflated; // a deflated data set's bytes (DataBytes); empty for every other file
    std::string fileId;
    std::string folder; // as text: one of these is made per image record, and a path would parse it each time
    std::filesystem::path filePath; // set for a file named by its path rather than by a medium's ID
    std::unique_ptr<DicomData> dataSet;
    std::u16string studyLabel;
    std::string listedSopClass;
    std::string listedSopInstance;
    ScannedSeries scanned;
    std::filesystem::path loadedPath; // where the first successful load found the file
};

// The files of one open request, in the order the DICOMDIR names them; whoever holds the chain owns the files.
using DicomFileChain = std::vector<std::unique_ptr<DicomDataFileIO>>;

} // namespace orblane
