#pragma once

#include "dicom/DicomData.h"
#include "dicom/DirectoryRecordVisitor.h"

namespace orblane {

// The texts of a PATIENT record, pointing into the DICOMDIR's view.
class PatientDir : public DirectoryRecordVisitor
{
public:
    void Clear() noexcept;

    RememberedValue patientName;  // (0010,0010)
    RememberedValue patientId;    // (0010,0020)
    RememberedValue birthDate;    // (0010,0030)
    RememberedValue sex;          // (0010,0040)
    RememberedValue characterSet; // (0008,0005)

protected:
    int OnTag(const TagElement& tag) override;
};

} // namespace orblane
