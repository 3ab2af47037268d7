#pragma once

#include "dicom/DicomDataFileIO.h"
#include "dicom/PatientDir.h"
#include "dicom/StudyEntry.h"
#include "platform/ErrorCode.h"
#include "platform/MappedFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orblane {

// The one DICOMDIR reader of a run. Opening finds the root record and links every study to its patient; nothing
// else is read until a row is asked for. Records are walked in place, on demand, from the mapped file: levels are
// positional (root records are patients, their lower level studies, then series, then images).
//
// No DICOMDIR makes any of this run unbounded: a link that points outside the file (beyond its end, or into the
// preamble and prefix) or back to a record already visited in the same traversal ends its level, as an
// unreadable record does.
class DicomDirFileIO
{
public:
    DicomDirFileIO() = default;
    DicomDirFileIO(const DicomDirFileIO&) = delete;
    DicomDirFileIO& operator=(const DicomDirFileIO&) = delete;

    // folder: the medium's folder text (what the settings' DICOMDIR folder gives, usually ending in "/"), followed
    // directly by "DICOMDIR" and also the folder the Referenced File IDs are relative to. Answers 0; or the errno
    // when the file cannot be opened or mapped; or -1 when the root offset is absent or 0. A failure leaves "10103"
    // with the errno (or 0) in LastError() for the window that shows it.
    int OpenDicomDir(const std::string& folder);
    const ErrorOutcome& LastError() const noexcept { return lastError; }

    std::size_t StudyCount() const noexcept { return studyLinks.size(); }
    // The row of the index-th study (from 0, in DICOMDIR order); none past the last.
    std::optional<StudyEntry> GetStudyEntry(int index);
    // Appends one unopened file per IMAGE record with a Referenced File ID, series by series, from firstSeries.
    void CollectImageFiles(DicomFileChain& chain, std::uint32_t firstSeries, std::u16string_view studyLabel);

    // How many PATIENT records have been read for rows so far: each is read once, however many studies it has.
    std::size_t CachedPatientCount() const noexcept { return patientCache.size(); }

private:
    struct StudyLink
    {
        std::uint32_t patient;
        std::uint32_t study;
    };

    class OffsetSet;
    // A record offset that may be walked: inside the file after the prefix, and not yet visited.
    bool Enter(std::uint32_t offset, OffsetSet& visited) const;
    bool InFile(std::uint32_t offset) const noexcept;
    template <typename Visitor> void Walk(Visitor& visitor, std::uint32_t offset) const;
    void BuildStudyLinks(std::uint32_t root);

    platform::MappedFile mapping;
    ErrorOutcome lastError;
    std::string folder;
    std::vector<StudyLink> studyLinks;
    std::unordered_map<std::uint32_t, std::unique_ptr<PatientDir>> patientCache;
};

} // namespace orblane
