#include "dicom/StudySource.h"

#include "dicom/DicomDirStudySource.h"
#include "dicom/ScanStudySource.h"
#include "platform/FileIdPath.h"
#include "platform/PathText.h"

#include <new>
#include <system_error>

namespace orblane {
namespace {

// A folder holds a DICOMDIR when the reader would find one there (any letter case, a ";1" suffix).
bool HoldsDicomDir(const std::string& folderText)
{
    std::filesystem::path path;
    std::error_code error;
    return platform::ResolveFileIdPath(folderText, u"DICOMDIR", path) == 0 &&
           std::filesystem::is_regular_file(path, error);
}

std::string FolderText(const std::filesystem::path& folder)
{
    std::string text = platform::Utf8FromPath(folder);
    if (text.empty() || text.back() != '/')
    {
        text += '/';
    }
    return text;
}

OpenedStudySource OpenDicomDirIn(const std::string& folderText)
{
    auto reader = std::make_unique<DicomDirFileIO>();
    if (reader->OpenDicomDir(folderText) != 0)
    {
        return {nullptr, StudySourceKind::DicomDir, reader->LastError()};
    }
    return {std::make_unique<DicomDirStudySource>(std::move(reader)), StudySourceKind::DicomDir, {}};
}

} // namespace

bool IsDicomDirName(std::string_view fileName) noexcept
{
    if (fileName.ends_with(";1"))
    {
        fileName.remove_suffix(2);
    }
    if (fileName.ends_with("."))
    {
        fileName.remove_suffix(1);
    }
    constexpr std::string_view kName = "DICOMDIR";
    if (fileName.size() != kName.size())
    {
        return false;
    }
    for (std::size_t index = 0; index < kName.size(); ++index)
    {
        const char c = fileName[index];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != kName[index])
        {
            return false;
        }
    }
    return true;
}

OpenedStudySource OpenStudySource(const std::vector<std::filesystem::path>& paths)
{
    const auto missing = [] {
        return OpenedStudySource{nullptr, StudySourceKind::Scan, {ErrorCode::DicomDirUnreadable, 0}};
    };
    try
    {
        std::vector<std::filesystem::path> absolute;
        bool allFiles = true;
        for (const std::filesystem::path& path : paths)
        {
            std::error_code error;
            const std::filesystem::file_status status = std::filesystem::status(path, error);
            if (error || !std::filesystem::exists(status))
            {
                return missing();
            }
            allFiles = allFiles && !std::filesystem::is_directory(status);
            absolute.push_back(std::filesystem::absolute(path, error).lexically_normal());
            if (error)
            {
                return missing();
            }
        }
        if (absolute.empty())
        {
            return missing();
        }
        if (absolute.size() == 1)
        {
            const std::filesystem::path& only = absolute.front();
            if (!allFiles && HoldsDicomDir(FolderText(only)))
            {
                return OpenDicomDirIn(FolderText(only));
            }
            if (allFiles && IsDicomDirName(platform::Utf8FromPath(only.filename())))
            {
                return OpenDicomDirIn(FolderText(only.parent_path()));
            }
        }
        return {std::make_unique<ScanStudySource>(std::move(absolute)),
                allFiles ? StudySourceKind::Files : StudySourceKind::Scan,
                {}};
    }
    catch (const std::bad_alloc&)
    {
        return missing();
    }
}

} // namespace orblane
