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
    std::string sopClassUid;    // (0004,1510), pad removed: what the viewer files a document by before opening it
    bool instanceRead = false;  // (0004,1511) seen: the record holds nothing more the walk wants
    std::string sopInstanceUid; // (0004,1511), pad removed: what a report's image reference is found by

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
