#pragma once

#include "platform/Bytes.h"

#include <filesystem>

namespace orblane::platform {

// Whether a write waits until the bytes are on the disk. A user's save does: the stick may be pulled the moment the
// viewer says it is done. A batch of the command line's working files need not pay a flush per file (on a busy disk
// that is most of the time of rendering one image); the rename still keeps every reader from a half-written file.
enum class WriteDurability
{
    Flushed,
    Unflushed,
};

// Writes `bytes` to a new file beside `path` and renames it over `path` only once it is complete (and flushed, unless
// asked not to), so a failure (a full disk, a removed medium, no permission) never leaves a half-written file or
// destroys an existing one. Answers whether `path` now holds the bytes.
bool WriteFileAtomically(const std::filesystem::path& path, ByteView bytes,
                         WriteDurability durability = WriteDurability::Flushed) noexcept;

} // namespace orblane::platform
