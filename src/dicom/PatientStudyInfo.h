#pragma once

#include <optional>
#include <string>

namespace orblane {

// The display texts of one instance: the tile overlay shows the first four on four lines and the last two on two.
// A text is absent (not empty) when the file has no value for it.
struct PatientStudyInfo
{
    std::optional<std::u16string> patientName;
    std::optional<std::u16string> patientId;
    std::optional<std::u16string> birthDate;
    std::optional<std::u16string> sex;
    std::optional<std::u16string> studyDateTime;
    std::optional<std::u16string> institutionName;
};

} // namespace orblane
