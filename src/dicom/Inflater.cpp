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
    if (!state->open)
    {
        // Negative window bits: a raw deflate stream, without the zlib header and checksum (RFC 1951).
        if (const int code = inflateInit2(&z, -MAX_WBITS); code != Z_OK)
        {
            if (code == Z_MEM_ERROR)
            {
                throw std::bad_alloc();
            }
            return InflateEnd::Damaged;
        }
        state->open = true;
    }
    else if (inflateReset(&z) != Z_OK)
    {
        return InflateEnd::Damaged;
    }
    const std::size_t base = out.size();
    std::size_t produced = 0;
    std::size_t consumed = 0;
    InflateEnd end = InflateEnd::Damaged;
    // out holds exactly what was inflated whenever this returns or throws.
    struct Trim
    {
        std::vector<std::uint8_t>& bytes;
        const std::size_t& size;
        ~Trim() { bytes.resize(size); }
    };
    std::size_t kept = base;
    const Trim trim{out, kept};
    for (;;)
    {
        if (out.size() - base == produced)
        {
            if (produced >= limit)
            {
                end = InflateEnd::LimitReached;
                break;
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
            end = InflateEnd::Complete;
            break;
        }
        if (code == Z_MEM_ERROR)
        {
            throw std::bad_alloc();
        }
        // Z_BUF_ERROR with output room left means the input ran out before the last block: a stream cut short.
        const bool madeProgress = z.avail_out != outPiece || z.avail_in != inPiece;
        if ((code != Z_OK && code != Z_BUF_ERROR) || (!madeProgress && z.avail_out != 0))
        {
            break;
        }
    }
    return end;
}

} // namespace orblane
