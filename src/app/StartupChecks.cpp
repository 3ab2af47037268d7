#include "app/StartupChecks.h"

#include "platform/FileAccess.h"
#include "platform/SettingsPaths.h"

namespace orblane {

std::string_view FirstFailedStartupCheck(std::string_view moduleFolder)
{
    if (!FileExists(SettingsPathIn(moduleFolder)) || !FileExists(InfoSettingsPathIn(moduleFolder)))
    {
        return "10000";
    }
    if (!FileExists(std::string(moduleFolder) + "Orblane.bmp"))
    {
        return "10001";
    }
    if (!FileExists(DicomDirFolderIn(moduleFolder) + "DICOMDIR"))
    {
        return "10103";
    }
    return {};
}

} // namespace orblane
