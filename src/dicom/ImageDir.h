#pragma once

#include "dicom/DirectoryRecord.h"
#include "dicom/DirectoryRecordVisitor.h"

#include <string>

namespace orblane {

// An IMAGE record's Referenced File ID (copied out of the view, as stored) and its links.
class ImageDir : public DirectoryRecordVisitor
{
public:
    void Clear() noexcept;

    RecordLinks links;
    std::string fileId; // (0004,1500)
    bool fileIdPresent = false;

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
