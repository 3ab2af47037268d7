#include "platform/ModulePath.h"

#include <climits>
#include <cstdlib>
#include <string_view>
#include <sys/auxv.h>
#include <unistd.h>
#include <vector>

namespace orblane {
namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Started through the dynamic loader ("/lib64/ld-linux-x86-64.so.2 ./Orblane", the way to run from a medium whose
// files carry no execute bit), /proc/self/exe names the loader. The loader points AT_EXECFN at the program it was
// asked to run, as typed (glibc 2.36: "./Orblane"), so resolving it against the unchanged working directory gives
// the program's own path.
std::string LoadedProgramPath()
{
    const auto execFn = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (execFn == nullptr)
    {
        return {};
    }
    char* resolved = ::realpath(execFn, nullptr);
    if (resolved == nullptr)
    {
        return {};
    }
    std::string path(resolved);
    std::free(resolved);
    return path;
}

} // namespace

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
            const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
            if (name.starts_with("ld-linux"))
            {
                return FolderOf(LoadedProgramPath());
            }
            return FolderOf(path);
        }
        if (buffer.size() >= 1u << 20)
        {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace orblane
