#include "dicom/Inflater.h"

#include "dicom/DicomTextRules.h"
#include "dicom/TagFilebase.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

namespace orblane {
namespace {

// zlib counts its input and output in unsigned int: larger spans are handed over in pieces of this size.
constexpr std::size_t kLargestPiece = std::size_t{1} << 30;
// The first output room, before doubling: most data sets inflate to a few times their stream.
constexpr std::size_t kFirstRoom = std::size_t{64} << 10;

} // namespace

std::size_t DeflatedStreamStart(ByteView file, std::size_t dataSetStart) noexcept
{
    if (file.size() <= dataSetStart)
    {
        return 0;
    }
    const std::uint8_t* end = file.data() + file.size();
    const std::uint8_t* position = file.data() + dataSetStart;
    bool deflated = false;
    TagElement tag;
    for (;;)
    {
        const std::uint8_t* next = TagFilebase::ReadTag(position, end, tag);
        if (next == nullptr || tag.group != 0x0002 || tag.entered != 0)
        {
            break;
        }
        if (tag.element == 0x0010)
        {
            const ByteView uid = TrimUidPad(ByteView(tag.value, tag.length));
            deflated = std::string_view(reinterpret_cast<const char*>(uid.data()), uid.size()) ==
                       kDeflatedExplicitLittleEndian;
        }
        position = next;
    }
    return deflated ? static_cast<std::size_t>(position - file.data()) : 0;
}

struct Inflater::State
{
    z_stream stream{};
    bool open = false;
};

Inflater::Inflater() noexcept = default;

Inflater::~Inflater()
{
    if (state && state->open)
    {
        inflateEnd(&state->stream);
    }
}

InflateEnd Inflater::Run(ByteView input, std::size_t limit, std::vector<std::uint8_t>& out)
{
    if (!state)
    {
        state = std::make_unique<State>();
    }
    z_stream& z = state->stream;
    // Negative window bits: a raw deflate stream, without the zlib header and checksum (RFC 1951).
    const int code = state->open ? inflateReset2(&z, -MAX_WBITS) : inflateInit2(&z, -MAX_WBITS);
    if (code == Z_MEM_ERROR)
    {
        throw std::bad_alloc();
    }
    if (code != Z_OK)
    {
        return InflateEnd::Damaged;
    }
    state->open = true;
    const std::size_t base = out.size();
    // out holds exactly what was inflated whenever this returns or throws.
    struct Trim
    {
        std::vector<std::uint8_t>& bytes;
        const std::size_t& size;
        ~Trim() { bytes.resize(size); }
    };
    std::size_t kept = base;
    const Trim trim{out, kept};
    for (bool wrapped = false;; wrapped = true)
    {
        const InflateEnd end = Inflate(input, limit, out, base, kept);
        // Some writers wrapped the stream in a zlib header (RFC 1950) against the rule. A raw stream cannot start
        // with one and inflate (it would be a stored block with lengths that disagree), so nothing was inflated.
        const bool zlibHeader =
            input.size() >= 2 && (input[0] & 0x0F) == Z_DEFLATED && ((input[0] << 8) | input[1]) % 31 == 0;
        if (end != InflateEnd::Damaged || kept != base || wrapped || !zlibHeader ||
            inflateReset2(&z, MAX_WBITS) != Z_OK)
        {
            return end;
        }
    }
}

InflateEnd Inflater::Inflate(ByteView input, std::size_t limit, std::vector<std::uint8_t>& out, std::size_t base,
                             std::size_t& kept)
{
    z_stream& z = state->stream;
    std::size_t produced = 0;
    std::size_t consumed = 0;
    for (;;)
    {
        if (out.size() - base == produced)
        {
            if (produced >= limit)
            {
                return InflateEnd::LimitReached;
            }
            const std::size_t room = std::min(limit - produced, std::max(kFirstRoom, std::max(produced, input.size())));
            out.resize(base + produced + room);
        }
        const std::size_t inPiece = std::min(input.size() - consumed, kLargestPiece);
        const std::size_t outPiece = std::min(out.size() - base - produced, kLargestPiece);
        z.next_in = const_cast<Bytef*>(input.data() + consumed);
        z.avail_in = static_cast<uInt>(inPiece);
        z.next_out = out.data() + base + produced;
        z.avail_out = static_cast<uInt>(outPiece);
        const int code = inflate(&z, Z_NO_FLUSH);
        consumed += inPiece - z.avail_in;
        produced += outPiece - z.avail_out;
        kept = base + produced;
        if (code == Z_STREAM_END)
        {
            return InflateEnd::Complete;
        }
        if (code == Z_MEM_ERROR)
        {
            throw std::bad_alloc();
        }
        // Z_BUF_ERROR with output room left means the input ran out before the last block: a stream cut short.
        const bool madeProgress = z.avail_out != outPiece || z.avail_in != inPiece;
        if ((code != Z_OK && code != Z_BUF_ERROR) || (!madeProgress && z.avail_out != 0))
        {
            return InflateEnd::Damaged;
        }
    }
}

} // namespace orblane
