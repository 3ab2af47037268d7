#include "support/ScratchFolder.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#if defined(_WIN32)
#include <process.h>
#endif

namespace orblane::test {

ScratchFolder::ScratchFolder()
{
#if defined(_WIN32)
    // No mkdtemp: a name of our own, made only if nothing has it yet.
    static std::atomic<unsigned> made{0};
    for (unsigned attempt = 0; attempt < 100 && path.empty(); ++attempt)
    {
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() /
            ("orblane-test-" + std::to_string(::_getpid()) + "-" + std::to_string(tick) + "-" + std::to_string(made++));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error))
        {
            path = candidate;
        }
    }
    if (path.empty())
    {
        throw std::runtime_error("cannot make a scratch folder");
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "orblane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
    {
        throw std::runtime_error("cannot make a scratch folder");
    }
    path = pattern;
#endif
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::filesystem::path ScratchFolder::Write(std::string_view relative, std::string_view bytes) const
{
    const std::filesystem::path file = path / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
    {
        throw std::runtime_error("cannot write " + file.string());
    }
    return file;
}

} // namespace orblane::test
