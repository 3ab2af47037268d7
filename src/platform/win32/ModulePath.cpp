#include "platform/ModulePath.h"

#include "platform/win32/WideText.h"

#include <algorithm>
#include <vector>

namespace orblane {

std::string GetModuleFolder()
{
    // GetModuleFileNameW cuts a long path to the buffer without saying so, except by filling it: grow until the
    // answer is shorter than the buffer.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
        {
            return {};
        }
        if (length < buffer.size())
        {
            // "/" like every other path of the program; Windows takes both.
            std::string path = platform::win32::Narrow(std::wstring_view(buffer.data(), length));
            std::replace(path.begin(), path.end(), '\\', '/');
            const std::size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        if (buffer.size() >= 32768)
        {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace orblane
