#include "dicom/DicomDirStudySource.h"

namespace orblane {

void DicomDirStudySource::TakeRows(std::vector<StudyEntry>& added, std::vector<StudyEntry>&)
{
    if (taken)
    {
        return;
    }
    taken = true;
    added.reserve(added.size() + reader->StudyCount());
    for (int index = 0;; ++index)
    {
        std::optional<StudyEntry> entry = reader->GetStudyEntry(index);
        if (!entry)
        {
            break;
        }
        added.push_back(std::move(*entry));
    }
}

void DicomDirStudySource::CollectImageFiles(DicomFileChain& chain, std::uint32_t firstSeries,
                                            std::u16string_view studyLabel)
{
    reader->CollectImageFiles(chain, firstSeries, studyLabel);
}

} // namespace orblane
