#pragma once

#include <unistd.h>

namespace orblane::platform {

// An open file descriptor, closed on every path out of the scope that owns it.
class Descriptor
{
public:
    explicit Descriptor(int descriptor) noexcept : fd(descriptor) {}
    ~Descriptor()
    {
        if (fd >= 0)
        {
            ::close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    // Hands the descriptor on: this object no longer closes it.
    int Release() noexcept
    {
        const int released = fd;
        fd = -1;
        return released;
    }
    int fd;
};

} // namespace orblane::platform
