// The record visitors answer "done" (skip and stop) as soon as they hold everything they look for, so a record's
// walk usually ends on its last wanted attribute.
#include "dicom/ImageDir.h"
#include "dicom/PatientDir.h"
#include "dicom/SearchNext.h"
#include "dicom/SeriesDir.h"
#include "dicom/StudyDir.h"

namespace orblane {
namespace {

int DoneVerdict(bool done)
{
    return done ? kSkipAndStop : kSkipAndGoOn;
}

} // namespace

int SearchNext::OnTag(const TagElement& tag)
{
    links.Take(tag);
    return DoneVerdict(links.BothRead());
}

void PatientDir::Clear() noexcept
{
    patientName = {};
    patientId = {};
    birthDate = {};
    sex = {};
    characterSet = {};
}

int PatientDir::OnTag(const TagElement& tag)
{
    if (tag.Is(0x0010, 0x0010))
    {
        patientName.Remember(tag);
    }
    else if (tag.Is(0x0010, 0x0020))
    {
        patientId.Remember(tag);
    }
    else if (tag.Is(0x0010, 0x0030))
    {
        birthDate.Remember(tag);
    }
    else if (tag.Is(0x0010, 0x0040))
    {
        sex.Remember(tag);
    }
    else if (tag.Is(0x0008, 0x0005))
    {
        characterSet.Remember(tag);
    }
    return DoneVerdict(patientName.present && patientId.present && birthDate.present && sex.present &&
                       characterSet.present);
}

void StudyDir::Clear() noexcept
{
    studyDate = {};
    studyTime = {};
    links = {};
}

int StudyDir::OnTag(const TagElement& tag)
{
    if (tag.Is(0x0008, 0x0020))
    {
        studyDate.Remember(tag);
    }
    else if (tag.Is(0x0008, 0x0030))
    {
        studyTime.Remember(tag);
    }
    else
    {
        links.Take(tag);
    }
    return DoneVerdict(studyDate.present && studyTime.present && links.BothRead());
}

void SeriesDir::Clear() noexcept
{
    modality = {};
    links = {};
}

int SeriesDir::OnTag(const TagElement& tag)
{
    if (tag.Is(0x0008, 0x0060))
    {
        modality.Remember(tag);
    }
    else
    {
        links.Take(tag);
    }
    return DoneVerdict(modality.present && links.BothRead());
}

void ImageDir::Clear() noexcept
{
    links = {};
    fileId.clear();
    fileIdPresent = false;
    sopClassUid.clear();
    sopInstanceUid.clear();
    instanceRead = false;
}

int ImageDir::OnTag(const TagElement& tag)
{
    if (tag.Is(0x0004, 0x1500))
    {
        RememberedValue value;
        value.Remember(tag);
        fileId.assign(reinterpret_cast<const char*>(value.Bytes().data()), value.Bytes().size());
        fileIdPresent = true;
    }
    else if (tag.Is(0x0004, 0x1510) || tag.Is(0x0004, 0x1511))
    {
        RememberedValue value;
        value.Remember(tag);
        std::string& uid = tag.Is(0x0004, 0x1510) ? sopClassUid : sopInstanceUid;
        uid.assign(reinterpret_cast<const char*>(value.Bytes().data()), value.Bytes().size());
        while (!uid.empty() && (uid.back() == ' ' || uid.back() == '\0'))
        {
            uid.pop_back();
        }
        instanceRead = instanceRead || tag.Is(0x0004, 0x1511);
    }
    else
    {
        links.Take(tag);
    }
    // The SOP class and instance follow the file ID; a record without them is read to its end.
    return DoneVerdict(fileIdPresent && instanceRead && links.BothRead());
}

} // namespace orblane
