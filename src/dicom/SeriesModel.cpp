#include "dicom/SeriesModel.h"

#include "dicom/DicomTextRules.h"
#include "dicom/FrameGeometry.h"
#include "dicom/NestedItems.h"
#include "dicom/PixelAttributes.h"
#include "dicom/StudySource.h"
#include "dicom/TopLevelIndex.h"
#include "dicom/ValueReader.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace orblane {
namespace {

bool IsVideoSyntax(std::string_view uid) noexcept
{
    // MPEG-2, MPEG-4 AVC/H.264 and HEVC/H.265 (PS3.5 A.4.5-A.4.8): 1.2.840.10008.1.2.4.100 to .4.108.
    return uid.starts_with("1.2.840.10008.1.2.4.10") && uid.size() <= 25;
}

bool IsVideoClass(std::string_view uid) noexcept
{
    // Video Endoscopic, Microscopic and Photographic Image Storage.
    return uid == "1.2.840.10008.5.1.4.1.1.77.1.1.1" || uid == "1.2.840.10008.5.1.4.1.1.77.1.2.1" ||
           uid == "1.2.840.10008.5.1.4.1.1.77.1.4.1";
}

SeriesKind KindOfModality(std::string_view modality) noexcept
{
    if (modality == "SR" || modality == "DOC")
    {
        return SeriesKind::Report;
    }
    if (modality == "KO")
    {
        return SeriesKind::KeyImages;
    }
    if (modality == "PR")
    {
        return SeriesKind::PresentationState;
    }
    return SeriesKind::Other;
}

SeriesKind KindOfRecordType(std::string_view type) noexcept
{
    if (type == "IMAGE")
    {
        return SeriesKind::Images;
    }
    if (type == "SR DOCUMENT" || type == "ENCAP DOC")
    {
        return SeriesKind::Report;
    }
    if (type == "KEY OBJECT DOC")
    {
        return SeriesKind::KeyImages;
    }
    if (type == "PRESENTATION")
    {
        return SeriesKind::PresentationState;
    }
    return SeriesKind::Other;
}

std::optional<std::int64_t> IntegerOf(std::optional<ByteView> value)
{
    const std::string text = TrimmedText(value);
    if (text.empty() || text.find_first_not_of("+-0123456789") != std::string::npos)
    {
        return std::nullopt;
    }
    return ParseIntegerString(AsBytes(text));
}

std::optional<std::u16string> TextOf(ByteView charset, std::optional<ByteView> value)
{
    if (!value || value->empty())
    {
        return std::nullopt;
    }
    std::u16string text = WithoutTrailingSpaces(ConvertText(charset, *value));
    return text.empty() ? std::nullopt : std::optional<std::u16string>(std::move(text));
}

// One directory record: its item and what links it.
struct Record
{
    SequenceItem item;
    std::uint32_t next = 0;
    std::uint32_t lower = 0;
    std::string type;
};

std::uint32_t OffsetOf(const SequenceItem& item, std::uint16_t element) noexcept
{
    const auto value = NestedItems::Value(item, 0x0004, element);
    return value ? ValueReader(*value, item.order).U32(0).value_or(0) : 0;
}

void AddRecordImage(const Record& record, SeriesEntry& series, std::vector<SeriesKind>& kinds)
{
    const auto fileId = NestedItems::Value(record.item, 0x0004, 0x1500);
    SeriesKind kind = KindOfRecordType(record.type);
    SeriesImage image;
    image.sopClassUid = TrimmedText(NestedItems::Value(record.item, 0x0004, 0x1510));
    image.transferSyntaxUid = TrimmedText(NestedItems::Value(record.item, 0x0004, 0x1512));
    if (kind == SeriesKind::Images && (IsVideoSyntax(image.transferSyntaxUid) || IsVideoClass(image.sopClassUid)))
    {
        kind = SeriesKind::Video;
    }
    kinds.push_back(kind);
    if (!fileId || fileId->empty())
    {
        return;
    }
    image.fileId.assign(fileId->begin(), fileId->end());
    image.instanceNumber = IntegerOf(NestedItems::Value(record.item, 0x0020, 0x0013));
    if (const auto icon = NestedItems::FirstItem(record.item, 0x0088, 0x0200))
    {
        image.icon = ReadIconImage(icon->bytes, icon->implicit, icon->order);
    }
    series.images.push_back(std::move(image));
}

SeriesKind KindOfSeries(const std::vector<SeriesKind>& kinds, std::string_view modality) noexcept
{
    if (std::find(kinds.begin(), kinds.end(), SeriesKind::Images) != kinds.end())
    {
        return SeriesKind::Images;
    }
    if (!kinds.empty() && kinds.front() != SeriesKind::Other)
    {
        return kinds.front();
    }
    return KindOfModality(modality);
}

SeriesEntry MakeSeries(const Record& record, ByteView charset)
{
    SeriesEntry series;
    series.seriesInstanceUid = TrimmedText(NestedItems::Value(record.item, 0x0020, 0x000E));
    series.number = IntegerOf(NestedItems::Value(record.item, 0x0020, 0x0011));
    series.modality = TrimmedText(NestedItems::Value(record.item, 0x0008, 0x0060));
    series.description = TextOf(charset, NestedItems::Value(record.item, 0x0008, 0x103E));
    series.frameOfReferenceUid = TrimmedText(NestedItems::Value(record.item, 0x0020, 0x0052));
    if (const auto icon = NestedItems::FirstItem(record.item, 0x0088, 0x0200))
    {
        series.icon = ReadIconImage(icon->bytes, icon->implicit, icon->order);
    }
    return series;
}

void FinishSeries(SeriesEntry& series, const std::vector<SeriesKind>& kinds)
{
    series.kind = KindOfSeries(kinds, series.modality);
    if (!series.icon && !series.images.empty())
    {
        // The middle image's icon, else any image's: the strip shows one picture a series.
        const SeriesImage& middle = series.images[series.MiddleImage()];
        if (middle.icon)
        {
            series.icon = middle.icon;
        }
        else
        {
            for (const SeriesImage& image : series.images)
            {
                if (image.icon)
                {
                    series.icon = image.icon;
                    break;
                }
            }
        }
    }
}

StudyEntryOfSeries MakeStudy(const Record& record, ByteView charset, const std::optional<std::u16string>& patient)
{
    StudyEntryOfSeries study;
    study.studyInstanceUid = TrimmedText(NestedItems::Value(record.item, 0x0020, 0x000D));
    study.studyDate = TrimmedText(NestedItems::Value(record.item, 0x0008, 0x0020));
    study.description = TextOf(charset, NestedItems::Value(record.item, 0x0008, 0x1030));
    study.patientName = patient;
    return study;
}

class DirectoryWalk
{
public:
    // offsets: where each record's item starts in the file, which is what the links give.
    DirectoryWalk(std::vector<Record> all, const std::vector<std::uint32_t>& offsets, ByteView topCharset)
        : records(std::move(all)), charset(topCharset)
    {
        for (std::size_t i = 0; i < records.size() && i < offsets.size(); ++i)
        {
            byOffset.emplace(offsets[i], i);
        }
    }

    bool Knows(std::uint32_t offset) const { return byOffset.count(offset) != 0; }

    // The records of one level from first, each once: a link back to a record already met ends the level.
    std::vector<std::size_t> Level(std::uint32_t first)
    {
        std::vector<std::size_t> level;
        for (std::uint32_t offset = first; offset != 0;)
        {
            const auto found = byOffset.find(offset);
            if (found == byOffset.end() || !visited.insert(found->second).second)
            {
                break;
            }
            level.push_back(found->second);
            offset = records[found->second].next;
        }
        return level;
    }

    void ByLinks(std::uint32_t root, MediumSeries& out)
    {
        for (const std::size_t patient : Level(root))
        {
            const ByteView patientCharset = PatientCharset(patient);
            const auto patientName = TextOf(patientCharset, NestedItems::Value(records[patient].item, 0x0010, 0x0010));
            for (const std::size_t study : Level(records[patient].lower))
            {
                if (records[study].type != "STUDY")
                {
                    continue;
                }
                StudyEntryOfSeries entry = MakeStudy(records[study], patientCharset, patientName);
                for (const std::size_t series : Level(records[study].lower))
                {
                    if (records[series].type != "SERIES")
                    {
                        continue;
                    }
                    SeriesEntry seriesEntry = MakeSeries(records[series], patientCharset);
                    std::vector<SeriesKind> kinds;
                    for (const std::size_t image : Level(records[series].lower))
                    {
                        AddRecordImage(records[image], seriesEntry, kinds);
                    }
                    FinishSeries(seriesEntry, kinds);
                    entry.series.push_back(std::move(seriesEntry));
                }
                out.studies.push_back(std::move(entry));
            }
        }
    }

    // Without links: the records as written, each level under the last record of the level above.
    void InOrder(MediumSeries& out)
    {
        ByteView patientCharset = charset;
        std::optional<std::u16string> patientName;
        std::vector<SeriesKind> kinds;
        SeriesEntry* series = nullptr;
        const auto finish = [&] {
            if (series != nullptr)
            {
                FinishSeries(*series, kinds);
            }
            kinds.clear();
            series = nullptr;
        };
        for (std::size_t i = 0; i < records.size(); ++i)
        {
            const Record& record = records[i];
            if (record.type == "PATIENT")
            {
                finish();
                patientCharset = PatientCharset(i);
                patientName = TextOf(patientCharset, NestedItems::Value(record.item, 0x0010, 0x0010));
            }
            else if (record.type == "STUDY")
            {
                finish();
                out.studies.push_back(MakeStudy(record, patientCharset, patientName));
            }
            else if (record.type == "SERIES" && !out.studies.empty())
            {
                finish();
                out.studies.back().series.push_back(MakeSeries(record, patientCharset));
                series = &out.studies.back().series.back();
            }
            else if (series != nullptr)
            {
                AddRecordImage(record, *series, kinds);
            }
        }
        finish();
    }

private:
    ByteView PatientCharset(std::size_t patient) const noexcept
    {
        const auto own = NestedItems::Value(records[patient].item, 0x0008, 0x0005);
        return own && !own->empty() ? *own : charset;
    }

    std::vector<Record> records;
    ByteView charset;
    std::unordered_map<std::uint32_t, std::size_t> byOffset;
    std::unordered_set<std::size_t> visited;
};

void SortSeries(MediumSeries& medium)
{
    for (StudyEntryOfSeries& study : medium.studies)
    {
        std::stable_sort(study.series.begin(), study.series.end(), [](const SeriesEntry& a, const SeriesEntry& b) {
            return a.number.value_or(INT64_MAX) < b.number.value_or(INT64_MAX);
        });
        for (SeriesEntry& series : study.series)
        {
            std::stable_sort(series.images.begin(), series.images.end(),
                             [](const SeriesImage& a, const SeriesImage& b) {
                                 return a.instanceNumber.value_or(INT64_MAX) < b.instanceNumber.value_or(INT64_MAX);
                             });
        }
    }
}

} // namespace

const char* SeriesKindName(SeriesKind kind) noexcept
{
    switch (kind)
    {
    case SeriesKind::Images:
        return "images";
    case SeriesKind::Report:
        return "report";
    case SeriesKind::KeyImages:
        return "key images";
    case SeriesKind::PresentationState:
        return "presentation state";
    case SeriesKind::Video:
        return "video";
    case SeriesKind::Other:
        return "other";
    }
    return "other";
}

std::optional<IconImage> ReadIconImage(ByteView itemBytes, bool implicit, ByteOrder order)
{
    const SequenceItem item{itemBytes, implicit, order};
    const auto us = [&item](std::uint16_t element) -> std::optional<std::uint16_t> {
        const auto value = NestedItems::Value(item, 0x0028, element);
        return value ? ValueReader(*value, item.order).U16(0) : std::nullopt;
    };
    const auto rows = us(0x0010);
    const auto columns = us(0x0011);
    const std::string photometric = TrimmedText(NestedItems::Value(item, 0x0028, 0x0004));
    const bool inverted = photometric == "MONOCHROME1";
    if (!rows || !columns || *rows == 0 || *columns == 0 || *rows > kMaxIconSize || *columns > kMaxIconSize ||
        us(0x0002).value_or(1) != 1 || us(0x0100) != 8 || us(0x0101).value_or(8) != 8 || us(0x0103).value_or(0) != 0 ||
        (!inverted && photometric != "MONOCHROME2"))
    {
        return std::nullopt;
    }
    const auto pixels = NestedItems::Value(item, 0x7FE0, 0x0010);
    const std::size_t count = std::size_t{*rows} * *columns;
    if (!pixels || pixels->size() < count)
    {
        return std::nullopt;
    }
    IconImage icon;
    icon.rows = *rows;
    icon.columns = *columns;
    icon.grey.assign(pixels->begin(), pixels->begin() + static_cast<std::ptrdiff_t>(count));
    if (inverted)
    {
        for (std::uint8_t& level : icon.grey)
        {
            level = static_cast<std::uint8_t>(255 - level);
        }
    }
    return icon;
}

int ReadDicomDirSeries(const std::filesystem::path& dicomDir, MediumSeries& out)
{
    DicomDataFileIO file;
    if (const int code = file.LoadFile(dicomDir); code != 0)
    {
        return code;
    }
    const TopLevelIndex index(file);
    const ByteView bytes = file.DataBytes();
    std::vector<SequenceItem> items = TopLevelItems(index, bytes, 0x0004, 0x1220, kMaxDirectoryRecords);
    if (!file.IsPart10() || index.Find(0x0004, 0x1220, 0) == nullptr)
    {
        return -1;
    }
    out.folder = dicomDir.parent_path();
    std::vector<Record> records;
    std::vector<std::uint32_t> offsets;
    records.reserve(items.size());
    for (const SequenceItem& item : items)
    {
        Record record;
        record.item = item;
        record.next = OffsetOf(item, 0x1400);
        record.lower = OffsetOf(item, 0x1420);
        record.type = TrimmedText(NestedItems::Value(item, 0x0004, 0x1430));
        offsets.push_back(static_cast<std::uint32_t>(item.bytes.data() - bytes.data() - 8));
        records.push_back(std::move(record));
    }
    const ByteView charset = index.Value(0x0008, 0x0005, 0).value_or(ByteView());
    const auto rootValue = index.Value(0x0004, 0x1200, 0);
    const std::uint32_t root = rootValue ? ValueReader(*rootValue, index.Order()).U32(0).value_or(0) : 0;
    DirectoryWalk walk(std::move(records), offsets, charset);
    if (root != 0 && walk.Knows(root))
    {
        walk.ByLinks(root, out);
    }
    else
    {
        walk.InOrder(out);
    }
    SortSeries(out);
    return 0;
}

void ScanFolderSeries(const std::filesystem::path& folder, MediumSeries& out)
{
    out.folder = folder;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    {
        if (it->is_regular_file(error) && !IsDicomDirName(it->path().filename().string()))
        {
            files.push_back(it->path());
        }
    }
    // The medium's order is its files' order: by path, the same on every run.
    std::sort(files.begin(), files.end());
    std::unordered_map<std::string, std::size_t> studyIndex;
    std::map<std::pair<std::size_t, std::string>, std::size_t> seriesIndex;
    std::map<std::pair<std::size_t, std::size_t>, std::vector<SeriesKind>> kinds;
    for (const std::filesystem::path& path : files)
    {
        DicomDataFileIO file;
        if (file.LoadFile(path) != 0 || !file.IsPart10())
        {
            continue;
        }
        const TopLevelIndex index(file);
        const ByteView charset = index.Value(0x0008, 0x0005, 0).value_or(ByteView());
        const std::string studyUid = TrimmedText(index.Value(0x0020, 0x000D, 0));
        const std::string seriesUid = TrimmedText(index.Value(0x0020, 0x000E, 0));
        if (studyUid.empty() || seriesUid.empty())
        {
            continue;
        }
        auto [study, newStudy] = studyIndex.emplace(studyUid, out.studies.size());
        if (newStudy)
        {
            StudyEntryOfSeries entry;
            entry.studyInstanceUid = studyUid;
            entry.studyDate = TrimmedText(index.Value(0x0008, 0x0020, 0));
            entry.description = TextOf(charset, index.Value(0x0008, 0x1030, 0));
            entry.patientName = TextOf(charset, index.Value(0x0010, 0x0010, 0));
            out.studies.push_back(std::move(entry));
        }
        StudyEntryOfSeries& studyEntry = out.studies[study->second];
        auto [series, newSeries] =
            seriesIndex.emplace(std::make_pair(study->second, seriesUid), studyEntry.series.size());
        if (newSeries)
        {
            SeriesEntry entry;
            entry.seriesInstanceUid = seriesUid;
            entry.number = IntegerOf(index.Value(0x0020, 0x0011, 0));
            entry.modality = TrimmedText(index.Value(0x0008, 0x0060, 0));
            entry.description = TextOf(charset, index.Value(0x0008, 0x103E, 0));
            entry.frameOfReferenceUid = TrimmedText(index.Value(0x0020, 0x0052, 0));
            studyEntry.series.push_back(std::move(entry));
        }
        SeriesEntry& seriesEntry = studyEntry.series[series->second];
        SeriesImage image;
        image.path = path;
        image.fileId = std::filesystem::relative(path, folder, error).generic_string();
        image.instanceNumber = IntegerOf(index.Value(0x0020, 0x0013, 0));
        image.sopClassUid = TrimmedText(index.Value(0x0008, 0x0016, 0));
        image.transferSyntaxUid = TrimmedText(index.Value(0x0002, 0x0010, 0));
        SeriesKind kind = KindOfModality(seriesEntry.modality);
        if (index.Find(0x7FE0, 0x0010, 0) != nullptr)
        {
            kind = IsVideoSyntax(image.transferSyntaxUid) || IsVideoClass(image.sopClassUid) ? SeriesKind::Video
                                                                                             : SeriesKind::Images;
        }
        kinds[{study->second, series->second}].push_back(kind);
        seriesEntry.images.push_back(std::move(image));
    }
    for (auto& [key, list] : kinds)
    {
        SeriesEntry& series = out.studies[key.first].series[key.second];
        series.kind = KindOfSeries(list, series.modality);
    }
    SortSeries(out);
}

void CompleteFromFirstFiles(MediumSeries& medium)
{
    const std::string folder = medium.folder.empty() ? std::string() : medium.folder.string() + "/";
    for (StudyEntryOfSeries& study : medium.studies)
    {
        for (SeriesEntry& series : study.series)
        {
            // A series the DICOMDIR draws is described from the DICOMDIR alone: its strip entry opens no file.
            if (series.images.empty() || series.icon || (series.description && !series.frameOfReferenceUid.empty()))
            {
                continue;
            }
            const SeriesImage& first = series.images.front();
            std::unique_ptr<DicomDataFileIO> file =
                first.path.empty() ? std::make_unique<DicomDataFileIO>(first.fileId, folder, std::u16string())
                                   : DicomDataFileIO::ForPath(first.path, first.fileId, std::u16string());
            if (file->LoadDataSet() != 0)
            {
                continue;
            }
            const TopLevelIndex index(*file);
            if (!series.description)
            {
                series.description =
                    TextOf(index.Value(0x0008, 0x0005, 0).value_or(ByteView()), index.Value(0x0008, 0x103E, 0));
            }
            if (series.frameOfReferenceUid.empty())
            {
                series.frameOfReferenceUid = TrimmedText(index.Value(0x0020, 0x0052, 0));
            }
        }
    }
}

} // namespace orblane
