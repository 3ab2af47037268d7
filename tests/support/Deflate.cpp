#include "support/Deflate.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace orblane::test {

Bytes DeflateRaw(ByteSpan data, std::size_t zeroTail)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    {
        throw std::runtime_error("deflateInit2");
    }
    Bytes out;
    // One block of zeros for every call: a fuzz target deflates its input on each run.
    static const Bytes zeros(std::size_t{1} << 20, 0);
    std::uint8_t room[1 << 16];
    const auto feed = [&](const std::uint8_t* bytes, std::size_t size, int flush) {
        z.next_in = const_cast<Bytef*>(bytes);
        z.avail_in = static_cast<uInt>(size);
        do
        {
            z.next_out = room;
            z.avail_out = sizeof room;
            deflate(&z, flush);
            out.insert(out.end(), room, room + (sizeof room - z.avail_out));
        } while (z.avail_out == 0 || z.avail_in != 0);
    };
    feed(data.data(), data.size(), Z_NO_FLUSH);
    // Runs of one byte are deflated fastest, and about as tightly, by run-length matches.
    if (zeroTail > 0)
    {
        // The data so far is deflated with the first parameters; deflateParams writes that out into the room given.
        feed(nullptr, 0, Z_BLOCK);
        z.next_out = room;
        z.avail_out = sizeof room;
        if (deflateParams(&z, Z_BEST_SPEED, Z_RLE) != Z_OK)
        {
            throw std::runtime_error("deflateParams");
        }
        out.insert(out.end(), room, room + (sizeof room - z.avail_out));
    }
    while (zeroTail > 0)
    {
        const std::size_t piece = std::min(zeroTail, zeros.size());
        feed(zeros.data(), piece, Z_NO_FLUSH);
        zeroTail -= piece;
    }
    feed(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return out;
}

} // namespace orblane::test
