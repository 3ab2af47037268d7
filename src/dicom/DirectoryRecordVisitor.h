#pragma once

#include "dicom/TagFilebase.h"

namespace orblane {

// Base of the visitors that read one directory record: the walk starts on the record's item and ends with it. A
// record in an item of defined length is read inside the item's bounds too, as most media writers store records
// so; stepping over such an item would lose every record of the medium.
class DirectoryRecordVisitor : public TagFilebase
{
protected:
    DirectoryRecordVisitor() noexcept : TagFilebase(false) { enterDefinedItem = true; }
};

} // namespace orblane
