#pragma once

#include <cstdint>
#include <vector>

namespace orblane {

// Window/level lookup: modality value -> grey 0..255. Entry i of a window of width w is trunc(i * 255 / w), entry 0
// sits at the window's low end (centre - trunc(w / 2)); values below the first entry take entry 0, values above the
// last take the last. A width of 0 makes every entry 255.
class WindowTable
{
public:
    void Build(std::int32_t centre, std::int32_t width) noexcept;
    std::uint8_t Lookup(std::int32_t value) const noexcept;

    std::int64_t FirstValue() const noexcept { return firstValue; }
    std::int64_t EntryCount() const noexcept { return entryCount; }
    std::uint16_t EntryBits() const noexcept { return 8; }

private:
    std::int64_t firstValue = 0;
    std::int64_t entryCount = 1;
    std::int64_t width = 0;
};

} // namespace orblane
