#include "platform/FileIdPath.h"

#include "platform/PathText.h"
#include "platform/Utf16.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#if defined(_WIN32)
#include "platform/win32/WideText.h"
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace orblane::platform {
namespace {

bool IsSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

bool IsDrive(std::u16string_view component)
{
    return component.size() == 2 && component[1] == u':' &&
           ((component[0] >= u'A' && component[0] <= u'Z') || (component[0] >= u'a' && component[0] <= u'z'));
}

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

bool MatchesComponent(std::string_view name, std::string_view component)
{
    if (EqualsIgnoringAsciiCase(name, component))
    {
        return true;
    }
    for (std::string_view suffix : {std::string_view(";1"), std::string_view(".;1")})
    {
        if (name.size() == component.size() + suffix.size() && name.substr(component.size()) == suffix &&
            EqualsIgnoringAsciiCase(name.substr(0, component.size()), component))
        {
            return true;
        }
    }
    return false;
}

#if defined(_WIN32)
// Windows looks names up without regard to case by itself; the search below is left for the ";1" suffixes of a disc
// read without its file system's help.
bool Exists(const std::string& path)
{
    return ::GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> FindEntry(const std::string& folder, std::string_view component)
{
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = win32::Widen(folder.empty() ? std::string("./*") : folder + "*");
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
    {
        return std::nullopt;
    }
    std::optional<std::string> best;
    do
    {
        const std::string name = win32::Narrow(found.cFileName);
        if (name == "." || name == ".." || !MatchesComponent(name, component))
        {
            continue;
        }
        if (!best || name < *best)
        {
            best = name;
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return best;
}
#else
bool Exists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0;
}

// The matching entry of folder with the smallest name, so that the choice does not depend on directory order.
std::optional<std::string> FindEntry(const std::string& folder, std::string_view component)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
    {
        return std::nullopt;
    }
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(dir))
    {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !MatchesComponent(name, component))
        {
            continue;
        }
        if (!best || name < *best)
        {
            best = std::string(name);
        }
    }
    ::closedir(dir);
    return best;
}
#endif

// Whether the file that path names, once every symbolic link on the way is followed, lies below the folder that
// the medium's folder text names (up to its last separator). A medium may carry links (Rock Ridge has them); one
// that leads off the medium must not make the viewer read another file of this computer. A path that cannot be
// followed names nothing, and opening it reports that.
bool StaysOnMedium(const std::string& base, const std::filesystem::path& path)
{
    const std::size_t separator = base.rfind('/');
    const std::string rootText = separator == std::string::npos ? "." : base.substr(0, separator + 1);
    std::error_code error;
    const std::filesystem::path root = std::filesystem::canonical(PathFromUtf8(rootText), error);
    if (error)
    {
        return true;
    }
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error)
    {
        return true;
    }
    const auto [rootEnd, targetEnd] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    return rootEnd == root.end();
}

} // namespace

int SplitFileId(std::u16string_view fileId, std::vector<std::string>& components)
{
    components.clear();
    if (!fileId.empty() && IsSeparator(fileId.front()))
    {
        return EACCES;
    }
    std::size_t start = 0;
    bool first = true;
    while (start <= fileId.size())
    {
        std::size_t stop = start;
        while (stop < fileId.size() && !IsSeparator(fileId[stop]))
        {
            ++stop;
        }
        std::u16string_view component = fileId.substr(start, stop - start);
        while (!component.empty() && component.back() == u' ')
        {
            component.remove_suffix(1);
        }
        if (first && IsDrive(component))
        {
            return EACCES;
        }
        first = false;
        if (component == u"..")
        {
            return EACCES;
        }
        if (!component.empty() && component != u".")
        {
            components.push_back(EncodeUtf8(component));
        }
        start = stop + 1;
    }
    return components.empty() ? ENOENT : 0;
}

int ResolveFileIdPath(std::string_view folderText, std::u16string_view fileId, std::filesystem::path& path)
{
    std::vector<std::string> components;
    if (const int code = SplitFileId(fileId, components); code != 0)
    {
        return code;
    }
    const std::string base(folderText);
    std::string exact = base;
    for (std::size_t i = 0; i < components.size(); ++i)
    {
        exact += (i == 0 ? "" : "/") + components[i];
    }
    path = PathFromUtf8(exact);
    // A folder text without a final separator glues the ID to its last name; only the exact text can mean that.
    if (Exists(exact) || (!base.empty() && base.back() != '/'))
    {
        return StaysOnMedium(base, path) ? 0 : EACCES;
    }
    std::string current = base;
    for (const std::string& component : components)
    {
        std::string candidate = current + component;
        if (!Exists(candidate))
        {
            const std::optional<std::string> entry = FindEntry(current, component);
            if (!entry)
            {
                return 0;
            }
            candidate = current + *entry;
        }
        current = candidate + "/";
    }
    current.pop_back();
    path = PathFromUtf8(current);
    return StaysOnMedium(base, path) ? 0 : EACCES;
}

} // namespace orblane::platform
