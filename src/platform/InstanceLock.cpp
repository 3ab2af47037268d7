#include "platform/InstanceLock.h"

#include "platform/Descriptor.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orblane {
namespace {

using platform::Descriptor;

bool WritableByOthers(const struct stat& info) noexcept
{
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Every folder above the lock folder, up to the root, must keep others from renaming the lock folder away and putting
// their own in its place: owned by this user or root, and writable by nobody else unless sticky (as /tmp is, where
// only an entry's owner may rename it). The walk follows ".." from the opened folder, so it checks the folders
// actually above it, whatever links its name went through.
bool ParentsAreSafe(int folder) noexcept
{
    Descriptor current(::dup(folder));
    for (int depth = 0; current.fd >= 0 && depth < 256; ++depth)
    {
        struct stat self
        {
        };
        struct stat parentInfo
        {
        };
        Descriptor parent(::openat(current.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (parent.fd < 0 || ::fstat(current.fd, &self) != 0 || ::fstat(parent.fd, &parentInfo) != 0)
        {
            return false;
        }
        if (self.st_dev == parentInfo.st_dev && self.st_ino == parentInfo.st_ino)
        {
            return true; // the root is its own parent
        }
        const bool trustedOwner = parentInfo.st_uid == 0 || parentInfo.st_uid == ::geteuid();
        if (!trustedOwner || (WritableByOthers(parentInfo) && (parentInfo.st_mode & S_ISVTX) == 0))
        {
            return false;
        }
        ::close(current.fd);
        current.fd = parent.Release();
    }
    return false;
}

// The lock folder, opened: a folder of this user that no one else may write to, below folders no one else may
// rearrange (created private when missing). Checking the opened descriptor rather than the name leaves no gap
// between the check and the lock file's creation in which the folder could be swapped. -1 when it is not private.
int OpenPrivateFolder(const std::string& folder) noexcept
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    {
        return -1;
    }
    Descriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info
    {
    };
    if (opened.fd < 0 || ::fstat(opened.fd, &info) != 0)
    {
        return -1;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || WritableByOthers(info) || !ParentsAreSafe(opened.fd))
    {
        return -1;
    }
    return opened.Release();
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
    const Descriptor lockFolder(OpenPrivateFolder(folder));
    if (lockFolder.fd < 0)
    {
        return Outcome::NotAvailable;
    }
    const std::string file = std::string(name) + ".lock";
    Descriptor opened(::openat(lockFolder.fd, file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    struct stat info
    {
    };
    // A lock file that is not this user's own regular file (left from a time the folder was open) could be held
    // by someone else, who would then keep the viewer from starting.
    if (opened.fd < 0 || ::fstat(opened.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
    {
        return Outcome::NotAvailable;
    }
    const int fd = opened.Release();
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
