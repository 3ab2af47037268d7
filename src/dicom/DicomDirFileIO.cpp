#include "dicom/DicomDirFileIO.h"

#include "dicom/DicomTextRules.h"
#include "dicom/ImageDir.h"
#include "dicom/SearchNext.h"
#include "dicom/SeriesDir.h"
#include "dicom/StudyDir.h"
#include "dicom/TopDirSearch.h"
#include "platform/ErrorSink.h"
#include "platform/FileIdPath.h"

namespace orblane {
namespace {

// Preamble and prefix: no record can start inside them.
constexpr std::uint32_t kDataSetStart = 132;
constexpr std::string_view kOpenFailed = "10103";

std::optional<std::u16string> TextOf(const RememberedValue& value, ByteView charset)
{
    if (!value.HasText())
    {
        return std::nullopt;
    }
    return ConvertText(charset, value.Bytes());
}

std::optional<std::u16string> PlainTextOf(const RememberedValue& value)
{
    if (!value.HasText())
    {
        return std::nullopt;
    }
    return ConvertPlainText(value.Bytes());
}

} // namespace

bool DicomDirFileIO::InFile(std::uint32_t offset) const noexcept
{
    return offset >= kDataSetStart && offset < mapping.Size();
}

bool DicomDirFileIO::Enter(std::uint32_t offset, std::unordered_set<std::uint32_t>& visited) const
{
    return InFile(offset) && visited.insert(offset).second;
}

template <typename Visitor> void DicomDirFileIO::Walk(Visitor& visitor, std::uint32_t offset) const
{
    visitor.Clear();
    if (InFile(offset))
    {
        visitor.ParseTags(mapping.View() + offset, mapping.End());
    }
}

int DicomDirFileIO::OpenDicomDir(const std::filesystem::path& mediumFolder)
{
    mapping.Close();
    studyLinks.clear();
    patientCache.clear();
    folder = mediumFolder;

    std::filesystem::path path;
    int code = platform::ResolveFileIdPath(folder, u"DICOMDIR", path);
    if (code == 0)
    {
        code = mapping.Open(path);
    }
    if (code == 0)
    {
        code = mapping.Map();
    }
    if (code != 0)
    {
        RaiseError(kOpenFailed, static_cast<std::uint32_t>(code), false);
        return code;
    }

    TopDirSearch top;
    if (mapping.Size() > kDataSetStart)
    {
        top.ParseTags(mapping.View() + kDataSetStart, mapping.End());
    }
    if (!top.rootPresent || top.rootOffset == 0)
    {
        RaiseError(kOpenFailed, 0, false);
        return -1;
    }
    BuildStudyLinks(top.rootOffset);
    return 0;
}

// Every record reached below a patient is taken as a study and linked before it is read.
void DicomDirFileIO::BuildStudyLinks(std::uint32_t root)
{
    std::unordered_set<std::uint32_t> visited;
    SearchNext patientLevel;
    SearchNext studyLevel;
    for (std::uint32_t patient = root; Enter(patient, visited); patient = patientLevel.links.Next())
    {
        Walk(patientLevel, patient);
        for (std::uint32_t study = patientLevel.links.Lower(); Enter(study, visited); study = studyLevel.links.Next())
        {
            studyLinks.push_back({patient, study});
            Walk(studyLevel, study);
        }
    }
}

std::optional<StudyEntry> DicomDirFileIO::GetStudyEntry(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= studyLinks.size())
    {
        return std::nullopt;
    }
    const StudyLink link = studyLinks[static_cast<std::size_t>(index)];
    auto cached = patientCache.find(link.patient);
    if (cached == patientCache.end())
    {
        auto patientDir = std::make_unique<PatientDir>();
        Walk(*patientDir, link.patient);
        cached = patientCache.emplace(link.patient, std::move(patientDir)).first;
    }
    const PatientDir& patient = *cached->second;
    const ByteView charset = patient.characterSet.HasText() ? patient.characterSet.Bytes() : ByteView();

    StudyEntry entry;
    if (patient.patientName.HasText())
    {
        entry.patientName = ChoosePersonNameGroup(ConvertText(charset, patient.patientName.Bytes()));
    }
    entry.patientId = TextOf(patient.patientId, charset);
    if (patient.birthDate.HasText())
    {
        entry.birthDate = ConvertPlainText(AsBytes(FormatDicomDate(patient.birthDate.Bytes())));
    }
    entry.sex = PlainTextOf(patient.sex);

    StudyDir study;
    Walk(study, link.study);
    if (study.studyDate.HasText())
    {
        const std::optional<ByteView> time =
            study.studyTime.present ? std::optional<ByteView>(study.studyTime.Bytes()) : std::nullopt;
        entry.studyDateTime =
            ConvertPlainText(AsBytes(FormatDicomDateTime(study.studyDate.Bytes(), time, DateTimeForm::Short)));
    }
    if (InFile(study.links.Lower()))
    {
        entry.firstSeries = study.links.Lower();
        SeriesDir series;
        Walk(series, entry.firstSeries);
        entry.modality = PlainTextOf(series.modality);
    }
    return entry;
}

void DicomDirFileIO::CollectImageFiles(DicomFileChain& chain, std::uint32_t firstSeries, std::u16string_view studyLabel)
{
    std::unordered_set<std::uint32_t> visited;
    SeriesDir series;
    ImageDir image;
    for (std::uint32_t record = firstSeries; Enter(record, visited); record = series.links.Next())
    {
        Walk(series, record);
        for (std::uint32_t imageRecord = series.links.Lower(); Enter(imageRecord, visited);
             imageRecord = image.links.Next())
        {
            Walk(image, imageRecord);
            if (image.fileIdPresent)
            {
                chain.push_back(std::make_unique<DicomDataFileIO>(image.fileId, folder, std::u16string(studyLabel)));
            }
        }
    }
}

} // namespace orblane
