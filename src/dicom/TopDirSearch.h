#pragma once

#include "dicom/TagFilebase.h"

#include <cstdint>

namespace orblane {

// Finds (0004,1200), the offset of the root directory's first record, walking the DICOMDIR from its start.
class TopDirSearch : public TagFilebase
{
public:
    TopDirSearch() noexcept : TagFilebase(true) {}
    void Clear() noexcept;

    std::uint32_t rootOffset = 0;
    bool rootPresent = false;

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
