#pragma once

#include "dicom/DicomDataFileIO.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace orblane::fuzz {

// Loads `file` through a real, exactly sized mapping (a memory file the process reuses from run to run), so that any
// read past the file's end is caught. Null when the file cannot be written or is refused.
inline std::unique_ptr<DicomDataFileIO> LoadFromMemory(const std::vector<std::uint8_t>& file)
{
    static const int fd = ::memfd_create("fuzz_input", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, file.data(), file.size(), 0) != static_cast<ssize_t>(file.size()))
    {
        return nullptr;
    }
    auto loaded = std::make_unique<DicomDataFileIO>();
    if (loaded->LoadFile("/proc/self/fd/" + std::to_string(fd)) != 0)
    {
        return nullptr;
    }
    return loaded;
}

} // namespace orblane::fuzz
