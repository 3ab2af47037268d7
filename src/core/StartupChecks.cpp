#include "core/StartupChecks.h"

#include "platform/FileAccess.h"
#include "platform/FileIdPath.h"
#include "platform/PathText.h"
#include "platform/SettingsPaths.h"

#include <filesystem>

namespace orblane {

namespace {

// The DICOMDIR is found the way the reader will open it: a medium mounted with lower-case names (or with the CD
// file system's version suffix) must not be turned away here only to be read fine a moment later.
bool DicomDirPresent(const std::string& folder)
{
    std::filesystem::path path;
    if (platform::ResolveFileIdPath(folder, u"DICOMDIR", path) != 0)
    {
        return false;
    }
    return FileExists(platform::Utf8FromPath(path));
}

} // namespace

std::string_view FirstFailedStartupCheck(std::string_view moduleFolder, bool dicomDirNeeded)
{
    if (!FileExists(SettingsPathIn(moduleFolder)) || !FileExists(InfoSettingsPathIn(moduleFolder)))
    {
        return "10000";
    }
    if (!FileExists(std::string(moduleFolder) + "Orblane.bmp"))
    {
        return "10001";
    }
    if (dicomDirNeeded && !DicomDirPresent(DicomDirFolderIn(moduleFolder)))
    {
        return "10103";
    }
    return {};
}

} // namespace orblane
