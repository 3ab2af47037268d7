#include "platform/ModulePath.h"

#include <unistd.h>
#include <vector>

namespace orblane {

std::string GetModuleFolder()
{
    // No fixed limit: a long path is read whole rather than cut short into a wrong folder.
    std::vector<char> buffer(512);
    for (;;)
    {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
        {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size())
        {
            const std::string path(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        if (buffer.size() >= 1u << 20)
        {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace orblane
