#include "platform/SettingsPaths.h"

#include "platform/IniFile.h"
#include "platform/ModulePath.h"
#include "platform/Utf16.h"

#include <algorithm>

namespace orblane {

std::string SettingsPathIn(std::string_view folder)
{
    return std::string(folder) + "Orblane.ini";
}

std::string InfoSettingsPathIn(std::string_view folder)
{
    return std::string(folder) + "OrblInf.ini";
}

std::string SettingsFolderToPath(std::u16string_view value)
{
    std::string path = EncodeUtf8(value);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string DicomDirFolderIn(std::string_view folder)
{
    std::u16string value = ReadIniString(SettingsPathIn(folder), u"DICOMDIRInformation", u"path", 520);
    if (value.empty())
    {
        value = u"..\\";
    }
    return std::string(folder) + SettingsFolderToPath(value);
}

std::string GetSettingsPath()
{
    return SettingsPathIn(GetModuleFolder());
}

std::string GetInfoSettingsPath()
{
    return InfoSettingsPathIn(GetModuleFolder());
}

std::string GetDicomDirFolder()
{
    return DicomDirFolderIn(GetModuleFolder());
}

} // namespace orblane
