#pragma once

#include "dicom/DirectoryRecord.h"
#include "dicom/DirectoryRecordVisitor.h"

namespace orblane {

// Reads only a record's two links: how the study list is built without reading any record's texts.
class SearchNext : public DirectoryRecordVisitor
{
public:
    void Clear() noexcept { links = {}; }
    RecordLinks links;

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
