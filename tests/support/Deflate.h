#pragma once

#include "support/DicomWriter.h"

#include <cstddef>

namespace orblane::test {

// A raw deflate stream (RFC 1951, no zlib header: the form of a Deflated Explicit VR Little Endian data set) of
// data followed by zeroTail zero bytes, which are streamed, never held: a tail of gigabytes costs no memory.
Bytes DeflateRaw(ByteSpan data, std::size_t zeroTail = 0);

} // namespace orblane::test
