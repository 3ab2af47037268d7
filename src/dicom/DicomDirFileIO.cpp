#include "dicom/DicomDirFileIO.h"

#include "dicom/DicomTextRules.h"
#include "dicom/ImageDir.h"
#include "dicom/SearchNext.h"
#include "dicom/SeriesDir.h"
#include "dicom/StudyDir.h"
#include "dicom/TopDirSearch.h"
#include "platform/FileIdPath.h"

namespace orblane {
namespace {

// Preamble and prefix: no record can start inside them.
constexpr std::uint32_t kDataSetStart = 132;
} // namespace

// The records one traversal has entered: an open-addressing set of offsets (0 never is one), so that a traversal
// of thousands of records costs a few allocations rather than one per record.
class DicomDirFileIO::OffsetSet
{
public:
    // Answers whether the offset was new.
    bool Insert(std::uint32_t offset)
    {
        if ((count + 1) * 2 > slots.size())
        {
            Rehash(slots.empty() ? 64 : slots.size() * 2);
        }
        if (!Place(slots, offset))
        {
            return false;
        }
        ++count;
        return true;
    }

private:
    static bool Place(std::vector<std::uint32_t>& table, std::uint32_t offset)
    {
        const std::size_t mask = table.size() - 1;
        // Fibonacci hashing spreads offsets that share their low bits (records are often aligned).
        std::size_t slot = static_cast<std::size_t>((offset * 0x9E3779B97F4A7C15ull) >> 32) & mask;
        while (table[slot] != 0)
        {
            if (table[slot] == offset)
            {
                return false;
            }
            slot = (slot + 1) & mask;
        }
        table[slot] = offset;
        return true;
    }

    void Rehash(std::size_t size)
    {
        std::vector<std::uint32_t> larger(size, 0);
        for (const std::uint32_t offset : slots)
        {
            if (offset != 0)
            {
                Place(larger, offset);
            }
        }
        slots.swap(larger);
    }

    std::vector<std::uint32_t> slots;
    std::size_t count = 0;
};

namespace {

std::optional<std::u16string> TextOf(const RememberedValue& value, ByteView charset)
{
    if (!value.HasText())
    {
        return std::nullopt;
    }
    return WithoutTrailingSpaces(ConvertText(charset, value.Bytes()));
}

std::optional<std::u16string> PlainTextOf(const RememberedValue& value)
{
    if (!value.HasText())
    {
        return std::nullopt;
    }
    return WithoutTrailingSpaces(ConvertPlainText(value.Bytes()));
}

} // namespace

bool DicomDirFileIO::InFile(std::uint32_t offset) const noexcept
{
    return offset >= kDataSetStart && offset < mapping.Size();
}

bool DicomDirFileIO::Enter(std::uint32_t offset, OffsetSet& visited) const
{
    return InFile(offset) && visited.Insert(offset);
}

template <typename Visitor> void DicomDirFileIO::Walk(Visitor& visitor, std::uint32_t offset) const
{
    visitor.Clear();
    if (InFile(offset))
    {
        visitor.ParseTags(mapping.View() + offset, mapping.End());
    }
}

int DicomDirFileIO::OpenDicomDir(const std::string& mediumFolder)
{
    mapping.Close();
    studyLinks.clear();
    patientCache.clear();
    folder = mediumFolder;
    lastError = {};

    std::filesystem::path path;
    int code = platform::ResolveFileIdPath(folder, u"DICOMDIR", path);
    if (code == 0)
    {
        code = mapping.Open(path);
    }
    if (code == 0)
    {
        // Read whole, not mapped: its records are walked again each time a study is opened, and a disc that fails
        // later must not end the program in the middle of such a walk. A DICOMDIR is small beside its images.
        code = mapping.ReadIn();
    }
    if (code != 0)
    {
        lastError = {ErrorCode::DicomDirUnreadable, static_cast<std::uint32_t>(code)};
        return code;
    }

    TopDirSearch top;
    if (mapping.Size() > kDataSetStart)
    {
        top.ParseTags(mapping.View() + kDataSetStart, mapping.End());
    }
    if (!top.rootPresent || top.rootOffset == 0)
    {
        lastError = {ErrorCode::DicomDirUnreadable, 0};
        return -1;
    }
    BuildStudyLinks(top.rootOffset);
    return 0;
}

// Every record reached below a patient is taken as a study and linked before it is read.
void DicomDirFileIO::BuildStudyLinks(std::uint32_t root)
{
    OffsetSet visited;
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
        entry.patientName =
            WithoutTrailingSpaces(ChoosePersonNameGroup(ConvertText(charset, patient.patientName.Bytes())));
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
    OffsetSet visited;
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
                chain.back()->SetListedUids(image.sopClassUid, image.sopInstanceUid);
            }
        }
    }
}

} // namespace orblane
