#pragma once

#include "dicom/DicomData.h"
#include "dicom/DirectoryRecord.h"
#include "dicom/DirectoryRecordVisitor.h"

namespace orblane {

// A STUDY record's date and time and its links.
class StudyDir : public DirectoryRecordVisitor
{
public:
    void Clear() noexcept;

    RememberedValue studyDate; // (0008,0020)
    RememberedValue studyTime; // (0008,0030)
    RecordLinks links;

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
