#pragma once

#include "platform/Bytes.h"

#include <filesystem>

namespace orblane::platform {

// Writes `bytes` to a new file beside `path` and renames it over `path` only once it is complete and flushed, so a
// failure (a full disk, a removed medium, no permission) never leaves a half-written file or destroys an existing
// one. Answers whether `path` now holds the bytes.
bool WriteFileAtomically(const std::filesystem::path& path, ByteView bytes) noexcept;

} // namespace orblane::platform
