#pragma once

#include "dicom/DicomData.h"
#include "dicom/DirectoryRecord.h"
#include "dicom/DirectoryRecordVisitor.h"

namespace orblane {

// A SERIES record's modality and its links.
class SeriesDir : public DirectoryRecordVisitor
{
public:
    void Clear() noexcept;

    RememberedValue modality; // (0008,0060)
    RecordLinks links;

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
