#pragma once

// Windows only: the conversions between the program's UTF-8 text and the system's UTF-16 calls, and the system's
// error codes in the errno numbering the platform layer answers with everywhere.
#include <windows.h>

#include <cerrno>
#include <string>
#include <string_view>

namespace orblane::platform::win32 {

inline std::wstring Widen(std::string_view utf8)
{
    if (utf8.empty())
    {
        return {};
    }
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
    {
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    }
    return wide;
}

inline std::string Narrow(std::wstring_view wide)
{
    if (wide.empty())
    {
        return {};
    }
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
    {
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), bytes, nullptr,
                              nullptr);
    }
    return utf8;
}

// The errno value the Linux calls would have answered for the same cause; EIO for what has no counterpart (a
// failing device reads as a failing device).
inline int ErrnoFromError(DWORD error) noexcept
{
    switch (error)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY: // an empty optical drive
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_COMMITMENT_LIMIT:
        return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

// A handle closed on every path out of the scope that owns it.
class Handle
{
public:
    explicit Handle(HANDLE value = INVALID_HANDLE_VALUE) noexcept : handle(value) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other)
        {
            Close();
            handle = other.Release();
        }
        return *this;
    }
    bool Valid() const noexcept { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    HANDLE Get() const noexcept { return handle; }
    HANDLE Release() noexcept
    {
        const HANDLE released = handle;
        handle = INVALID_HANDLE_VALUE;
        return released;
    }
    void Close() noexcept
    {
        if (Valid())
        {
            ::CloseHandle(handle);
        }
        handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle;
};

// Opens a file or folder for reading, with every sharing mode (a file another program has open still reads), and
// never following a reparse point blindly: folders open too (FILE_FLAG_BACKUP_SEMANTICS), so that the caller can
// tell one apart.
inline HANDLE OpenForReading(const std::wstring& path) noexcept
{
    return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace orblane::platform::win32
