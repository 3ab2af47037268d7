#include "dicom/DicomDataFileIO.h"

#include "dicom/DicomTextRules.h"
#include "dicom/Inflater.h"
#include "platform/FileIdPath.h"
#include "platform/MappedReadGuard.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace orblane {
namespace {

// Every walk of a whole file skips the 128-byte preamble and the 4-byte prefix, without checking either.
constexpr std::size_t kDataSetStart = 132;

} // namespace

DicomDataFileIO::DicomDataFileIO(std::string storedId, std::string mediumFolder, std::u16string label)
    : fileId(std::move(storedId)), folder(std::move(mediumFolder)), studyLabel(std::move(label))
{
}

std::unique_ptr<DicomDataFileIO> DicomDataFileIO::ForPath(std::filesystem::path file, std::string shownId,
                                                          std::u16string studyLabel)
{
    auto named = std::make_unique<DicomDataFileIO>(std::move(shownId), std::string(), std::move(studyLabel));
    named->filePath = std::move(file);
    return named;
}

int DicomDataFileIO::LoadDataSet() noexcept
{
    if (!filePath.empty())
    {
        return LoadFile(filePath);
    }
    try
    {
        const std::string_view stored(fileId.c_str(), std::strlen(fileId.c_str()));
        const std::u16string id = ConvertPlainText(AsBytes(stored));
        std::filesystem::path path;
        if (const int code = platform::ResolveFileIdPath(folder, id, path); code != 0)
        {
            return code;
        }
        return LoadFile(path);
    }
    catch (const std::bad_alloc&)
    {
        return ENOMEM;
    }
}

int DicomDataFileIO::LoadFile(const std::filesystem::path& path) noexcept
{
    if (dataSet)
    {
        return 0;
    }
    if (const int code = mapping.Open(path); code != 0)
    {
        return code;
    }
    if (const int code = mapping.Map(); code != 0)
    {
        return code;
    }
    try
    {
        auto walked = std::make_unique<DicomData>();
        if (mapping.Size() > kDataSetStart)
        {
            DicomData& data = *walked;
            const ByteView file = mapping.Bytes();
            // Owned out here, not inside the guarded read: a fault leaves that read without running destructors.
            std::vector<std::uint8_t> bytes;
            Inflater inflater;
            const auto walk = [&data, &bytes, &inflater, file] {
                ByteView source = file;
                if (const std::size_t streamStart = DeflatedStreamStart(file, kDataSetStart); streamStart != 0)
                {
                    // The File Meta group is kept ahead of the inflated data set, so the walk reads one buffer.
                    const ByteView stream = file.subspan(streamStart);
                    bytes.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(streamStart));
                    inflater.Run(stream, InflateLimit(stream.size()), bytes);
                    source = bytes;
                }
                data.ParseTags(source.data() + kDataSetStart, source.data() + source.size());
            };
            // The walk is the first read of the file's pages: a medium that fails now (a pulled stick, a file cut
            // short under the mapping) makes the file unreadable, as a failed open does, instead of ending the run.
            if (platform::GuardMappedRead(file, walk) == platform::MappedRead::Faulted)
            {
                mapping.Close();
                return EIO;
            }
            inflated = std::move(bytes);
        }
        if (loadedPath.empty())
        {
            loadedPath = path;
        }
        dataSet = std::move(walked);
        return 0;
    }
    catch (const std::bad_alloc&)
    {
        return ENOMEM;
    }
}

bool DicomDataFileIO::IsPart10() const noexcept
{
    // The walk read these bytes already, but on a failing medium a page read a moment ago may be gone: guarded.
    const ByteView bytes = DataBytes();
    if (!dataSet || bytes.size() < kDataSetStart)
    {
        return false;
    }
    bool marked = false;
    const auto look = [&marked, bytes] { marked = std::memcmp(bytes.data() + kDataSetStart - 4, "DICM", 4) == 0; };
    return platform::GuardMappedRead(bytes, look) == platform::MappedRead::Completed && marked;
}

void DicomDataFileIO::Unload() noexcept
{
    dataSet.reset();
    inflated.clear();
    inflated.shrink_to_fit();
    mapping.Close();
}

int DicomDataFileIO::Reload() noexcept
{
    if (dataSet)
    {
        return 0;
    }
    return loadedPath.empty() ? LoadDataSet() : LoadFile(loadedPath);
}

int DicomDataFileIO::GetElement(std::uint16_t group, std::uint16_t element, int occurrence, std::uint32_t& length,
                                const std::uint8_t*& value) const noexcept
{
    if (!dataSet)
    {
        value = nullptr;
        return -1;
    }
    int matches = 0;
    for (const TagElement& tag : dataSet->Kept())
    {
        if (tag.Is(group, element) && matches++ == occurrence)
        {
            length = tag.length;
            value = tag.value;
            return 0;
        }
    }
    return -1;
}

std::optional<ByteView> DicomDataFileIO::FindValue(std::uint16_t group, std::uint16_t element,
                                                   int occurrence) const noexcept
{
    if (!dataSet)
    {
        return std::nullopt;
    }
    int matches = 0;
    for (const TagElement& tag : dataSet->Kept())
    {
        if (tag.Is(group, element) && matches++ == occurrence)
        {
            return tag.entered != 0 ? ByteView() : ByteView(tag.value, tag.length);
        }
    }
    return std::nullopt;
}

PatientStudyInfo DicomDataFileIO::MakeInfoRecord() const
{
    PatientStudyInfo info;
    if (!dataSet)
    {
        return info;
    }
    const DicomData& data = *dataSet;
    const ByteView charset = data.characterSet.HasText() ? data.characterSet.Bytes() : ByteView();
    if (data.patientName.HasText())
    {
        info.patientName = WithoutTrailingSpaces(ChoosePersonNameGroup(ConvertText(charset, data.patientName.Bytes())));
    }
    if (data.patientId.HasText())
    {
        info.patientId = WithoutTrailingSpaces(ConvertText(charset, data.patientId.Bytes()));
    }
    if (data.birthDate.HasText())
    {
        const std::string date = FormatDicomDate(data.birthDate.Bytes());
        info.birthDate = ConvertPlainText(AsBytes(date));
    }
    if (data.sex.HasText())
    {
        info.sex = WithoutTrailingSpaces(ConvertPlainText(data.sex.Bytes()));
    }
    if (data.studyDate.HasText())
    {
        const std::optional<ByteView> time =
            data.studyTime.present ? std::optional<ByteView>(data.studyTime.Bytes()) : std::nullopt;
        const std::string text = FormatDicomDateTime(data.studyDate.Bytes(), time, DateTimeForm::Long);
        info.studyDateTime = WithoutTrailingSpaces(ConvertPlainText(AsBytes(text)));
    }
    if (data.institutionName.HasText())
    {
        info.institutionName = WithoutTrailingSpaces(ConvertText(charset, data.institutionName.Bytes()));
    }
    return info;
}

} // namespace orblane
