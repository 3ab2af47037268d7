#include "platform/FileAccess.h"

#include "platform/win32/WideText.h"

#include <algorithm>

namespace orblane {

using platform::win32::Handle;
using platform::win32::Widen;

bool FileExists(const std::string& path) noexcept
{
    try
    {
        return !path.empty() && ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    catch (...)
    {
        return false;
    }
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t maxBytes)
{
    const Handle file(platform::win32::OpenForReading(Widen(path)));
    if (!file.Valid())
    {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        return std::nullopt;
    }
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (size > maxBytes)
    {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size())
    {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 0x7FFFF000));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, wanted, &got, nullptr))
        {
            return std::nullopt;
        }
        if (got == 0)
        {
            // The file shrank while it was read: keep what is there, as a text reader would.
            bytes.resize(done);
            break;
        }
        done += got;
    }
    return bytes;
}

} // namespace orblane
