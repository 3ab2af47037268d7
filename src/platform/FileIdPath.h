#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orblane::platform {

// Referenced File IDs name files below the medium's folder with backslash-separated components, written for a file
// system that ignores trailing spaces and letter case. On Linux the same medium may be mounted with every name
// changed in case, or with the CD file system's ";1" version suffix still on each name. These rules find the file
// anyway, and never anything outside the folder.

// Splits an ID at backslashes (and slashes, which Linux would otherwise take as separators inside a component),
// drops each component's trailing spaces, and skips empty and "." components. Components are UTF-8. Answers 0,
// EACCES for an ID that is absolute (leading separator or a drive letter) or has a ".." component, and ENOENT for an
// ID that names nothing.
int SplitFileId(std::u16string_view fileId, std::vector<std::string>& components);

// The path of fileId below the folder whose UTF-8 text is folderText: that text followed directly by the components
// joined with "/". When that path does not exist, each component is looked up in its parent folder without regard to
// ASCII letter case, also accepting a name that carries a ";1" (or ".;1") version suffix; the first match in name order
// wins. Answers the code of SplitFileId, or EACCES when the file found lies outside the folder once symbolic links are
// followed; when no file matches, path is the exact path and opening it reports the failure.
int ResolveFileIdPath(std::string_view folderText, std::u16string_view fileId, std::filesystem::path& path);

} // namespace orblane::platform
