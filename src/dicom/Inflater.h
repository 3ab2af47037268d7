#pragma once

#include "platform/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace orblane {

// Deflated Explicit VR Little Endian: after the File Meta group the data set is one raw deflate stream (RFC 1951,
// no zlib header or trailer), which inflates to an Explicit VR Little Endian data set (PS3.5 A.5).
inline constexpr std::string_view kDeflatedExplicitLittleEndian = "1.2.840.10008.1.2.1.99";

// No data set a viewer of media shows inflates beyond this: 1 GiB holds a 16384 x 16384 image of 32-bit samples
// (the largest image the viewer builds) or two thousand 512 x 512 CT slices. A walk beyond it would only serve a
// hostile file, which could otherwise make a 4 MB file cost the process gigabytes.
inline constexpr std::size_t kMaxInflatedBytes = std::size_t{1} << 30;
// Deflate reaches 1032:1 on a run of one byte value; real pixel data (noise in every image, air around the body)
// stays below 20:1. Beyond kInflateRatioFloor a stream must therefore hold one byte for every kMaxInflateRatio
// it makes; the floor lets any data set up to that size (a blank image, a padded secondary capture) inflate in full.
inline constexpr std::size_t kMaxInflateRatio = 128;
inline constexpr std::size_t kInflateRatioFloor = std::size_t{64} << 20;

// How many bytes a deflate stream of compressedBytes may inflate to.
constexpr std::size_t InflateLimit(std::size_t compressedBytes) noexcept
{
    const std::size_t byRatio = compressedBytes >= kMaxInflatedBytes / kMaxInflateRatio
                                    ? kMaxInflatedBytes
                                    : compressedBytes * kMaxInflateRatio;
    return byRatio < kInflateRatioFloor ? kInflateRatioFloor : byRatio;
}

// Where a deflated data set's stream starts in file: just after the File Meta group, whose elements from
// dataSetStart on are read as the walk reads them (always explicit VR little endian). 0 when the group does not
// name the deflated transfer syntax.
std::size_t DeflatedStreamStart(ByteView file, std::size_t dataSetStart) noexcept;

enum class InflateEnd : std::uint8_t
{
    Complete,     // the stream's last block was inflated
    LimitReached, // the stream would make more than its limit: what was inflated up to it is kept
    Damaged,      // the stream is corrupt or cut short: what was inflated before the fault is kept
};

// One raw deflate stream inflated into a growing buffer. The zlib state is owned here rather than by the call, so
// that a caller who inflates from a mapping inside a read guard (platform/MappedReadGuard.h) frees it when the
// guard ends the call early: the state is released by the destructor, never by the interrupted call.
class Inflater
{
public:
    Inflater() noexcept;
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Appends the bytes that stream inflates to at the end of out, at most limit of them. A stream wrapped in a zlib
    // header is read as well. Throws std::bad_alloc when out cannot grow (out then holds what was inflated before).
    InflateEnd Run(ByteView stream, std::size_t limit, std::vector<std::uint8_t>& out);

private:
    // One pass of the open zlib state over input, appending after out's first base bytes; kept follows the size of
    // what was inflated.
    InflateEnd Inflate(ByteView input, std::size_t limit, std::vector<std::uint8_t>& out, std::size_t base,
                       std::size_t& kept);

    struct State;
    std::unique_ptr<State> state;
};

} // namespace orblane
