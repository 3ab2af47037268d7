#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orblane {

// True when a directory entry exists at exactly this path (a folder counts, as a directory search finds it too).
// Nothing is opened.
bool FileExists(const std::string& path) noexcept;

// The whole content of a regular file; nullopt when it cannot be opened or read, or holds more than maxBytes.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t maxBytes);

} // namespace orblane
