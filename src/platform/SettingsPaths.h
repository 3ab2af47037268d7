#pragma once

#include <string>
#include <string_view>

namespace orblane {

// Where the files beside the executable are. Each operation answers a new path; the ...In forms take the folder
// explicitly (it must end with "/"), the others use GetModuleFolder.

std::string GetSettingsPath();     // "Orblane.ini": where the DICOMDIR is and the viewer's display settings
std::string GetInfoSettingsPath(); // "OrblInf.ini": texts and fonts of the dialogs
// The folder that holds the DICOMDIR and against which its file IDs resolve: the executable's folder followed
// directly by the `path` setting (default "..\"). Nothing is inserted or normalised, so "DATA" without a trailing
// separator names "DATADICOMDIR" once "DICOMDIR" is appended.
std::string GetDicomDirFolder();

std::string SettingsPathIn(std::string_view folder);
std::string InfoSettingsPathIn(std::string_view folder);
std::string DicomDirFolderIn(std::string_view folder);

// A folder value of the settings as a Linux path: backslashes are folder separators ("..\" is the parent folder).
std::string SettingsFolderToPath(std::u16string_view value);

} // namespace orblane
