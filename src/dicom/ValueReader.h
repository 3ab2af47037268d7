#pragma once

#include "platform/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orblane {

// Byte order of a data set's numbers: little endian for every transfer syntax but the retired Explicit VR Big
// Endian (PS3.5 7.3), and little endian always for item headers inside encapsulated pixel data (PS3.5 A.4).
enum class ByteOrder : std::uint8_t
{
    Little,
    Big,
};

// Reads numbers from raw value bytes in a given byte order. Every read checks what remains, so a value cut short
// answers none instead of reading past it.
class ValueReader
{
public:
    explicit ValueReader(ByteView data, ByteOrder byteOrder = ByteOrder::Little) noexcept
        : bytes(data), order(byteOrder)
    {
    }

    std::optional<std::uint16_t> U16(std::size_t offset) const noexcept
    {
        if (offset > bytes.size() || bytes.size() - offset < 2)
        {
            return std::nullopt;
        }
        return Load16(bytes.data() + offset, order);
    }

    std::optional<std::uint32_t> U32(std::size_t offset) const noexcept
    {
        if (offset > bytes.size() || bytes.size() - offset < 4)
        {
            return std::nullopt;
        }
        return Load32(bytes.data() + offset, order);
    }

    std::optional<std::uint64_t> U64(std::size_t offset) const noexcept
    {
        const auto low = U32(offset + (order == ByteOrder::Little ? 0 : 4));
        const auto high = U32(offset + (order == ByteOrder::Little ? 4 : 0));
        if (offset > bytes.size() || !low || !high)
        {
            return std::nullopt;
        }
        return (std::uint64_t{*high} << 32) | *low;
    }

    std::size_t Size() const noexcept { return bytes.size(); }

    static std::uint16_t Load16(const std::uint8_t* p, ByteOrder order) noexcept
    {
        return order == ByteOrder::Little ? static_cast<std::uint16_t>(p[0] | (p[1] << 8))
                                          : static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    }

    static std::uint32_t Load32(const std::uint8_t* p, ByteOrder order) noexcept
    {
        const std::uint32_t a = p[0];
        const std::uint32_t b = p[1];
        const std::uint32_t c = p[2];
        const std::uint32_t d = p[3];
        return order == ByteOrder::Little ? (a | (b << 8) | (c << 16) | (d << 24))
                                          : ((a << 24) | (b << 16) | (c << 8) | d);
    }

private:
    ByteView bytes;
    ByteOrder order;
};

} // namespace orblane
