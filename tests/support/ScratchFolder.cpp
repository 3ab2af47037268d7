#include "support/ScratchFolder.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace orblane::test {

ScratchFolder::ScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orblane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
    {
        throw std::runtime_error("cannot make a scratch folder");
    }
    path = pattern;
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
