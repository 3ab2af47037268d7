#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orblane {

// What one row of the study list shows, in column order, and where the study's series start.
struct StudyEntry
{
    std::optional<std::u16string> patientName;
    std::optional<std::u16string> patientId;
    std::optional<std::u16string> birthDate;
    std::optional<std::u16string> sex;
    std::optional<std::u16string> studyDateTime;
    std::optional<std::u16string> modality;
    // Offset of the study's first SERIES record in the DICOMDIR; 0 when the study has none.
    std::uint32_t firstSeries = 0;
};

} // namespace orblane
