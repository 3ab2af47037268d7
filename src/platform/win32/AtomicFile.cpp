#include "platform/AtomicFile.h"

#include "platform/win32/WideText.h"

#include <algorithm>
#include <string>

namespace orblane::platform {

bool WriteFileAtomically(const std::filesystem::path& path, ByteView bytes, WriteDurability durability) noexcept
{
    try
    {
        const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
        // A name of our own beside the target, unique by process and tick, created only if it does not exist.
        std::wstring temporary;
        win32::Handle file;
        for (unsigned attempt = 0; attempt < 100 && !file.Valid(); ++attempt)
        {
            temporary = (folder / (L"." + path.filename().native() + L"." + std::to_wstring(::GetCurrentProcessId()) +
                                   L"-" + std::to_wstring(::GetTickCount64() + attempt) + L".tmp"))
                            .native();
            file = win32::Handle(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr));
            if (!file.Valid() && ::GetLastError() != ERROR_FILE_EXISTS)
            {
                return false;
            }
        }
        if (!file.Valid())
        {
            return false;
        }
        bool written = true;
        std::size_t done = 0;
        while (written && done < bytes.size())
        {
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 0x7FFFF000));
            DWORD count = 0;
            written = ::WriteFile(file.Get(), bytes.data() + done, wanted, &count, nullptr) && count > 0;
            done += written ? count : 0;
        }
        written = written && (durability == WriteDurability::Unflushed || ::FlushFileBuffers(file.Get()));
        file.Close();
        // The finished file is an ordinary one of the user's, not hidden.
        written = written && ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!written || !::MoveFileExW(temporary.c_str(), path.c_str(),
                                       MOVEFILE_REPLACE_EXISTING |
                                           (durability == WriteDurability::Flushed ? MOVEFILE_WRITE_THROUGH : 0)))
        {
            ::DeleteFileW(temporary.c_str());
            return false;
        }
        return true;
    }
    catch (...)
    {
        return false;
    }
}

} // namespace orblane::platform
