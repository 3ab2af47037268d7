#include "platform/FolderWalk.h"

#include "platform/win32/WideText.h"

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <vector>

namespace orblane::platform {
namespace {

using win32::Handle;

struct IdentityHash
{
    std::size_t operator()(const FileIdentity& value) const noexcept
    {
        return std::hash<std::uint64_t>()(value.first * 0x9E3779B97F4A7C15ull ^ value.second);
    }
};

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) noexcept
{
    return {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// The final path of what `path` names once every link and junction is followed, or nothing.
std::optional<std::wstring> FinalPath(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info)
{
    const Handle opened(win32::OpenForReading(path));
    if (!opened.Valid() || (info != nullptr && !::GetFileInformationByHandle(opened.Get(), info)))
    {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD length = ::GetFinalPathNameByHandleW(opened.Get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                         FILE_NAME_NORMALIZED);
        if (length == 0)
        {
            return std::nullopt;
        }
        if (length < buffer.size())
        {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

wchar_t FoldCase(wchar_t c) noexcept
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Names on Windows compare without regard to case.
bool Inside(const std::wstring& root, const std::wstring& path) noexcept
{
    if (path.size() <= root.size() || !std::equal(root.begin(), root.end(), path.begin(),
                                                  [](wchar_t a, wchar_t b) { return FoldCase(a) == FoldCase(b); }))
    {
        return false;
    }
    return root.back() == L'\\' || path[root.size()] == L'\\';
}

} // namespace

HeaderFile::~HeaderFile()
{
    if (handle >= 0)
    {
        ::CloseHandle(LongToHandle(static_cast<long>(handle)));
    }
}

bool HeaderFile::Open(const std::filesystem::path& path) noexcept
{
    Handle file(win32::OpenForReading(path.native()));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || ::GetFileType(file.Get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.Get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        return false;
    }
    handle = HandleToLong(file.Release());
    size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity = IdentityOf(info);
    return true;
}

std::int64_t HeaderFile::ReadPrefix(std::uint8_t* into, std::size_t length) noexcept
{
    std::size_t done = 0;
    while (done < length)
    {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(length - done, 0x7FFFF000));
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(done & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(done) >> 32);
        DWORD got = 0;
        if (!::ReadFile(LongToHandle(static_cast<long>(handle)), into + done, wanted, &got, &at))
        {
            if (::GetLastError() == ERROR_HANDLE_EOF)
            {
                break;
            }
            return -1;
        }
        if (got == 0)
        {
            break;
        }
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

void WalkFolderFiles(const std::filesystem::path& root, const std::function<bool()>& stopping,
                     const std::function<void(std::filesystem::path, std::string)>& onFile)
{
    BY_HANDLE_FILE_INFORMATION info{};
    const std::optional<std::wstring> top = FinalPath(root.native(), &info);
    if (!top)
    {
        return;
    }
    // Names are looked up below the root as given (a final path has the \\?\ form, which some callers show).
    std::wstring base = root.native();
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/'))
    {
        base.pop_back();
    }
    std::unordered_set<FileIdentity, IdentityHash> enteredFolders{IdentityOf(info)};
    std::vector<std::wstring> pending{std::wstring()};
    while (!pending.empty() && !stopping())
    {
        const std::wstring relative = std::move(pending.back());
        pending.pop_back();
        const std::wstring folder = relative.empty() ? base : base + L"\\" + relative;
        WIN32_FIND_DATAW found{};
        HANDLE search = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE)
        {
            continue;
        }
        do
        {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
            {
                continue;
            }
            std::wstring below = relative.empty() ? name : relative + L"\\" + name;
            const std::wstring full = base + L"\\" + below;
            const DWORD attributes = found.dwFileAttributes;
            if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
            {
                BY_HANDLE_FILE_INFORMATION entry{};
                const std::optional<std::wstring> target = FinalPath(full, &entry);
                // Followed only while it stays inside the folder named: the user asked for that folder.
                if (!target || ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !Inside(*top, *target)))
                {
                    continue;
                }
                if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                {
                    if (enteredFolders.insert(IdentityOf(entry)).second)
                    {
                        pending.push_back(std::move(below));
                    }
                    continue;
                }
            }
            else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0)
            {
                continue;
            }
            std::wstring shown = below;
            std::replace(shown.begin(), shown.end(), L'\\', L'/');
            onFile(std::filesystem::path(full), win32::Narrow(shown));
        } while (!stopping() && ::FindNextFileW(search, &found));
        ::FindClose(search);
    }
}

} // namespace orblane::platform
