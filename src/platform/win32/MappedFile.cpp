#include "platform/MappedFile.h"

#include "platform/FileOpenCount.h"
#include "platform/win32/WideText.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

namespace orblane::platform {
namespace {

// The class keeps an int for its open file: Windows handles are 32-bit values by contract (so that 32- and 64-bit
// processes can share them), and HandleToLong / LongToHandle are the documented way to carry one in an int.
HANDLE HandleOf(int descriptor) noexcept
{
    return LongToHandle(descriptor);
}

} // namespace

MappedFile::~MappedFile()
{
    Close();
}

int MappedFile::Open(const std::filesystem::path& path) noexcept
{
    Close();
    win32::Handle file(win32::OpenForReading(path.native()));
    if (!file.Valid())
    {
        return win32::ErrnoFromError(::GetLastError());
    }
    CountFileOpen();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Get(), &info))
    {
        // A console, pipe or device has no file information.
        return ::GetFileType(file.Get()) == FILE_TYPE_DISK ? win32::ErrnoFromError(::GetLastError()) : ENODEV;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        return EISDIR;
    }
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
    {
        return ENODEV;
    }
    const std::uint64_t bytes = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    if (bytes == 0)
    {
        return EINVAL;
    }
    if (bytes > std::numeric_limits<std::size_t>::max() / 2)
    {
        return EFBIG;
    }
    descriptor = HandleToLong(file.Release());
    size = static_cast<std::size_t>(bytes);
    return 0;
}

int MappedFile::Map() noexcept
{
    if (view != nullptr)
    {
        return 0;
    }
    if (descriptor < 0)
    {
        return -1;
    }
    // The mapping object may be closed as soon as the view exists: the view holds the section, and the section the
    // file, as mmap does on Linux.
    const win32::Handle mapping(::CreateFileMappingW(HandleOf(descriptor), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Valid())
    {
        return win32::ErrnoFromError(::GetLastError());
    }
    void* address = ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, size);
    if (address == nullptr)
    {
        return win32::ErrnoFromError(::GetLastError());
    }
    view = static_cast<const std::uint8_t*>(address);
    ::CloseHandle(HandleOf(descriptor));
    descriptor = -1;
    return 0;
}

int MappedFile::ReadIn() noexcept
{
    if (view != nullptr)
    {
        return 0;
    }
    if (descriptor < 0)
    {
        return -1;
    }
    auto* bytes = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (bytes == nullptr)
    {
        return ENOMEM;
    }
    std::size_t done = 0;
    while (done < size)
    {
        // ReadFile takes at most 4 GiB less one a call; the offset goes with each call, as pread's does.
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - done, 0x7FFFF000));
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(done & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(done) >> 32);
        DWORD got = 0;
        if (!::ReadFile(HandleOf(descriptor), bytes + done, wanted, &got, &at))
        {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF)
            {
                got = 0;
            }
            else
            {
                ::VirtualFree(bytes, 0, MEM_RELEASE);
                return win32::ErrnoFromError(error);
            }
        }
        if (got == 0)
        {
            if (done == 0)
            {
                ::VirtualFree(bytes, 0, MEM_RELEASE);
                return EINVAL;
            }
            break;
        }
        done += got;
    }
    DWORD previous = 0;
    ::VirtualProtect(bytes, size, PAGE_READONLY, &previous);
    view = bytes;
    mappedSize = size;
    size = done;
    ::CloseHandle(HandleOf(descriptor));
    descriptor = -1;
    return 0;
}

void MappedFile::Close() noexcept
{
    if (view != nullptr)
    {
        // A copy (ReadIn) is private memory, a view is a view.
        if (mappedSize != 0)
        {
            ::VirtualFree(const_cast<std::uint8_t*>(view), 0, MEM_RELEASE);
        }
        else
        {
            ::UnmapViewOfFile(view);
        }
        view = nullptr;
        mappedSize = 0;
    }
    if (descriptor >= 0)
    {
        ::CloseHandle(HandleOf(descriptor));
        descriptor = -1;
    }
    size = 0;
}

} // namespace orblane::platform
