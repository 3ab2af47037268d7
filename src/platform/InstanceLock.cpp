#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orblane {
namespace {

// A folder another user could swap or write into is no safe place for the lock file.
bool IsPrivateFolder(const std::string& folder)
{
    struct stat info
    {
    };
    if (::lstat(folder.c_str(), &info) != 0)
    {
        if (errno != ENOENT || ::mkdir(folder.c_str(), 0700) != 0)
        {
            return false;
        }
        if (::lstat(folder.c_str(), &info) != 0)
        {
            return false;
        }
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

InstanceLock::~InstanceLock()
{
    Release();
}

std::string InstanceLock::DefaultFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
    {
        return runtime;
    }
    const char* temp = std::getenv("TMPDIR");
    const std::string base = temp != nullptr && temp[0] == '/' ? temp : "/tmp";
    return base + "/orblane-" + std::to_string(::geteuid());
}

InstanceLock::Outcome InstanceLock::Acquire(const std::string& folder, std::string_view name)
{
    Release();
    if (!IsPrivateFolder(folder))
    {
        return Outcome::NotAvailable;
    }
    const std::string path = folder + "/" + std::string(name) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
    {
        return Outcome::NotAvailable;
    }
    int result = 0;
    do
    {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0)
    {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Outcome::HeldByAnotherProcess : Outcome::NotAvailable;
    }
    descriptor = fd;
    return Outcome::Acquired;
}

void InstanceLock::Release() noexcept
{
    if (descriptor >= 0)
    {
        ::close(descriptor);
        descriptor = -1;
    }
}

} // namespace orblane
