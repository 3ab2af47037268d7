#pragma once

#include "dicom/DicomDirFileIO.h"
#include "dicom/StudySource.h"

#include <memory>

namespace orblane {

// The studies of a DICOMDIR, all at once: the directory is read before the list shows, so the first TakeRows hands
// out every row and the source is finished from the start.
class DicomDirStudySource : public StudySource
{
public:
    // Reads the reader's rows; the reader stays the caller's and must outlive the source.
    explicit DicomDirStudySource(DicomDirFileIO& directory) noexcept : reader(&directory) {}
    // The same for a reader the source keeps.
    explicit DicomDirStudySource(std::unique_ptr<DicomDirFileIO> directory) noexcept
        : owned(std::move(directory)), reader(owned.get())
    {
    }

    void TakeRows(std::vector<StudyEntry>& added, std::vector<StudyEntry>& changed) override;
    bool Finished() const noexcept override { return true; }
    std::size_t FilesRead() const noexcept override { return 0; }
    void CollectImageFiles(DicomFileChain& chain, std::uint32_t firstSeries, std::u16string_view studyLabel) override;

    DicomDirFileIO& Reader() noexcept { return *reader; }

private:
    std::unique_ptr<DicomDirFileIO> owned;
    DicomDirFileIO* reader;
    bool taken = false;
};

} // namespace orblane
