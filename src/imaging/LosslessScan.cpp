// Entropy decoding of the one lossless scan (T.81 H.2, F.2.2). The process is defined as if the bit reader fetched
// one byte at a time and acted on a marker only when it needed the marker's byte. This reader fetches up to eight
// bytes at once into a 64-bit buffer, so it keeps that meaning by deferring: when a fetch meets a marker or the end
// of the source it stops there, and the stop takes effect only if a sample actually uses bits beyond it (the bit
// count goes negative). At the end of a unit the reader gives back the whole bytes it fetched but did not use.
#include "imaging/LosslessScan.h"
#include "platform/AtomicWait.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

namespace orblane::lossless {
namespace {

// Fast-table entry: bits 0-7 hold the bits to consume first (the code, plus its extra bits when they fit in the
// lookahead); bits 8-11 the extra bits still to read after them (0 when they fitted); bits 12-13 the kind; bits
// 16-31 the difference modulo 2^16 when it is complete. The same shape serves both decode loops (see
// ExtraBitsOftenBeyondLookahead).
constexpr std::uint32_t kKindPlain = 0;
constexpr std::uint32_t kKindRepeat = 1u << 12; // category 16 or more with 8-bit samples: repeat the last difference
constexpr std::uint32_t kKindLong = 2u << 12;   // no code within the lookahead
constexpr std::uint32_t kKindMask = 3u << 12;
constexpr int kLookahead = kLookaheadBits;

// Internal result: a sample used bits from beyond the reader's stop.
constexpr int kOverrun = -2;

enum class Stop : std::uint8_t
{
    None,
    Restart, // FF D0..D7
    Eoi,     // FF D9
    End,     // the source ends (or ends in FF)
};

struct BitReader
{
    const std::uint8_t* p = nullptr; // next byte not yet in the buffer
    const std::uint8_t* end = nullptr;
    const std::uint8_t* segmentStart = nullptr; // where this reader started reading; rewinding stops here
    std::uint64_t bits = 0;                     // next bit in bit 63
    int count = 0;                              // valid bits; negative after a sample overran a stop
    Stop stop = Stop::None;
};

constexpr std::uint32_t Extend(std::uint32_t extra, int category)
{
    // T.81 F.2.2.1 (EXTEND): values below half the range are negative.
    return (extra < (1u << (category - 1)) ? extra - ((1u << category) - 1) : extra) & 0xFFFF;
}

std::uint32_t MakeEntry(int length, int category, std::uint32_t peek, bool eightBit)
{
    const auto len = static_cast<std::uint32_t>(length);
    if (category == 0)
    {
        return len;
    }
    if (category < 16)
    {
        if (length + category <= kLookahead)
        {
            const std::uint32_t extra = (peek >> (kLookahead - length - category)) & ((1u << category) - 1);
            return (Extend(extra, category) << 16) | (len + static_cast<std::uint32_t>(category));
        }
        return (static_cast<std::uint32_t>(category) << 8) | len;
    }
    return eightBit ? (kKindRepeat | len) : ((0x8000u << 16) | len);
}

void BuildFastTable(const HuffmanTable& table, bool eightBit, std::uint32_t* fast)
{
    constexpr std::uint32_t size = 1u << kLookahead;
    std::uint64_t kraft = 0;
    for (int l = 1; l <= 16; ++l)
    {
        kraft += static_cast<std::uint64_t>(table.bits[l]) << (16 - l);
    }
    std::fill(fast, fast + size, kKindLong);
    if (kraft <= (1u << 16))
    {
        // A proper prefix code: each code of length L <= lookahead owns a contiguous block of entries.
        std::uint32_t code = 0;
        std::uint32_t index = 0;
        for (int l = 1; l <= kLookahead; ++l)
        {
            for (std::uint32_t i = 0; i < table.bits[l]; ++i, ++code, ++index)
            {
                const int category = table.values[index];
                const std::uint32_t first = code << (kLookahead - l);
                const std::uint32_t last = (code + 1) << (kLookahead - l);
                for (std::uint32_t v = first; v < last; ++v)
                {
                    fast[v] = MakeEntry(l, category, v, eightBit);
                }
            }
            code <<= 1;
        }
        return;
    }
    // An over-full table (corrupt): codes no longer form a prefix code, so follow the MAXCODE procedure itself for
    // every lookahead value to stay exact.
    for (std::uint32_t v = 0; v < size; ++v)
    {
        std::int32_t code = 0;
        for (int k = 1; k <= kLookahead; ++k)
        {
            code = (code << 1) | static_cast<std::int32_t>((v >> (kLookahead - k)) & 1);
            if (code <= table.maxCode[k])
            {
                const std::int32_t index = table.valPtr[k] + code - table.minCode[k];
                if (index >= 0 && index < table.codeCount)
                {
                    fast[v] = MakeEntry(k, table.values[static_cast<std::size_t>(index)], v, eightBit);
                }
                break;
            }
        }
    }
}

// Byte-at-a-time fetch, used near FF bytes and the end of the source.
[[gnu::noinline]] void RefillSlow(BitReader& r)
{
    if (r.stop != Stop::None)
    {
        return;
    }
    r.bits = r.count == 0 ? 0 : r.bits & (~std::uint64_t{0} << (64 - r.count));
    while (r.count <= 56)
    {
        if (r.p == r.end)
        {
            r.stop = Stop::End;
            return;
        }
        const std::uint8_t byte = *r.p;
        if (byte == 0xFF)
        {
            if (r.end - r.p < 2)
            {
                r.stop = Stop::End;
                return;
            }
            const std::uint8_t next = r.p[1];
            if (next == 0x00)
            {
                r.p += 2;
            }
            else if (next >= 0xD0 && next <= 0xD7)
            {
                r.stop = Stop::Restart;
                return;
            }
            else if (next == 0xD9)
            {
                r.stop = Stop::Eoi;
                return;
            }
            else
            {
                // Any other byte after FF: the FF is data and the byte is read as the next one.
                ++r.p;
            }
        }
        else
        {
            ++r.p;
        }
        r.bits |= static_cast<std::uint64_t>(byte) << (56 - r.count);
        r.count += 8;
    }
}

std::uint64_t LoadBe64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little)
    {
        v = __builtin_bswap64(v);
    }
    return v;
}

// Gives back the whole bytes fetched but not used, so that the cursor is where a byte-at-a-time reader's would be.
void Rewind(BitReader& r)
{
    for (int whole = r.count >> 3; whole > 0; --whole)
    {
        // FF 00 is always one stuffed FF: an FF is never the second byte of a pair.
        if (r.p - r.segmentStart >= 2 && r.p[-1] == 0x00 && r.p[-2] == 0xFF)
        {
            r.p -= 2;
        }
        else
        {
            r.p -= 1;
        }
    }
    r.count &= 7;
    r.bits = r.count == 0 ? 0 : r.bits & (~std::uint64_t{0} << (64 - r.count));
    r.stop = Stop::None;
    r.segmentStart = r.p;
}

template <bool kEightBit>
[[gnu::noinline]] int DecodeSlowSample(const HuffmanTable& table, std::uint32_t entry, BitReader& r,
                                       std::uint32_t lastDiff, std::uint32_t& diff)
{
    const std::uint32_t kind = entry & kKindMask;
    if (kind == kKindRepeat)
    {
        const int length = static_cast<int>(entry & 0xFF);
        r.bits <<= length;
        r.count -= length;
        diff = lastDiff;
        return kOk;
    }
    // A code longer than the lookahead: continue the MAXCODE procedure bit by bit, up to 16 bits.
    auto code = static_cast<std::int32_t>(r.bits >> (64 - kLookahead));
    std::uint64_t rest = r.bits << kLookahead;
    int k = kLookahead;
    for (;;)
    {
        if (k == 16)
        {
            if (r.count < 16)
            {
                // The bits ran out first: the reader's stop decides, as it would have one bit earlier.
                r.count -= 16;
                diff = 0;
                return kOk;
            }
            return kCodeTooLong;
        }
        ++k;
        code = (code << 1) | static_cast<std::int32_t>(rest >> 63);
        rest <<= 1;
        if (code <= table.maxCode[k])
        {
            break;
        }
    }
    const std::int32_t index = table.valPtr[k] + code - table.minCode[k];
    if (index < 0 || index >= table.codeCount)
    {
        return kCodeTooLong;
    }
    const int category = table.values[static_cast<std::size_t>(index)];
    r.bits <<= k;
    r.count -= k;
    if (category == 0)
    {
        diff = 0;
    }
    else if (category < 16)
    {
        const auto extra = static_cast<std::uint32_t>(r.bits >> (64 - category));
        r.bits <<= category;
        r.count -= category;
        diff = Extend(extra, category);
    }
    else
    {
        diff = kEightBit ? lastDiff : 0x8000u;
    }
    return kOk;
}

inline void Store(std::uint8_t* out, std::size_t index, std::uint32_t value, bool eightBit)
{
    if (eightBit)
    {
        out[index] = static_cast<std::uint8_t>(value);
    }
    else if constexpr (std::endian::native == std::endian::little)
    {
        const auto word = static_cast<std::uint16_t>(value);
        std::memcpy(out + 2 * index, &word, sizeof word);
    }
    else
    {
        out[2 * index] = static_cast<std::uint8_t>(value);
        out[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
    }
}

inline std::uint32_t Load(const std::uint8_t* out, std::size_t index, bool eightBit)
{
    if (eightBit)
    {
        return out[index];
    }
    return static_cast<std::uint32_t>(out[2 * index] | (out[2 * index + 1] << 8));
}

// T.81 H.1.2.1, Table H.1: the prediction of selection values 2 to 7 from the reconstructed left (a), above (b) and
// above-left (c) samples. The halvings are arithmetic shifts of the signed difference, as the table defines them.
template <int kPredictor> inline std::uint32_t Predict(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    const auto ia = static_cast<std::int32_t>(a);
    const auto ib = static_cast<std::int32_t>(b);
    const auto ic = static_cast<std::int32_t>(c);
    std::int32_t p;
    if constexpr (kPredictor == 2)
    {
        p = ib;
    }
    else if constexpr (kPredictor == 3)
    {
        p = ic;
    }
    else if constexpr (kPredictor == 4)
    {
        p = ia + ib - ic;
    }
    else if constexpr (kPredictor == 5)
    {
        p = ia + ((ib - ic) >> 1);
    }
    else if constexpr (kPredictor == 6)
    {
        p = ib + ((ia - ic) >> 1);
    }
    else
    {
        p = (ia + ib) >> 1;
    }
    return static_cast<std::uint32_t>(p);
}

// Decodes n samples into out, the first predicted by pred. With selection value 1 each later sample is predicted by
// its left neighbour; with 2 to 7 by Table H.1 over the reconstructed samples, `above` being the start of the line
// above the run (a run of those predictors always starts a line). Answers kOk, kOverrun (done = the sample that
// overran), or a failure code (done = the failing sample).
// The reader's bits, count and position live in plain locals here: only the cold paths see copies, so that the hot
// loop keeps them in registers. The predictor is a template parameter so that the selection-value-1 loop, by far the
// most common in archives, carries nothing of the others.
template <bool kEightBit, bool kBranchless, int kPredictor>
int DecodeRun(const std::uint32_t* fast, const HuffmanTable& table, BitReader& reader, std::uint8_t* out, std::size_t n,
              const std::uint8_t* above, std::uint32_t pred, std::uint32_t& lastDiff, std::uint32_t& lastDiffBefore,
              std::size_t& done)
{
    std::uint64_t bits = reader.bits;
    int count = reader.count;
    const std::uint8_t* p = reader.p;
    const std::uint8_t* const end = reader.end;
    std::uint32_t previous = lastDiff;
    std::uint32_t beforePrevious = lastDiffBefore;
    int rc = kOk;
    std::size_t i = 0;
    for (; i < n; ++i)
    {
        if (count < 32)
        {
            if (count < 0)
            {
                rc = kOverrun;
                break;
            }
            bool refilled = false;
            if (end - p >= 8)
            {
                const std::uint64_t v = LoadBe64(p);
                const std::uint64_t inverted = ~v;
                if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0)
                {
                    // Bits below the count are zero or these same bytes from the previous fetch, so OR is exact.
                    bits |= v >> count;
                    p += (63 - count) >> 3;
                    count |= 56;
                    refilled = true;
                }
            }
            if (!refilled)
            {
                BitReader slow = reader;
                slow.bits = bits;
                slow.count = count;
                slow.p = p;
                RefillSlow(slow);
                reader.stop = slow.stop;
                bits = slow.bits;
                count = slow.count;
                p = slow.p;
            }
        }
        const std::uint32_t entry = fast[bits >> (64 - kLookahead)];
        std::uint32_t diff = 0;
        bool plain = (entry & kKindMask) == kKindPlain;
        if constexpr (kBranchless)
        {
            if (plain) [[likely]]
            {
                const int first = static_cast<int>(entry & 0xFF);
                const int category = static_cast<int>((entry >> 8) & 0xF);
                bits <<= first;
                // Two shifts so that a category of 0 reads no bits without a shift by 64.
                const auto extra = static_cast<std::uint32_t>((bits >> 1) >> (63 - category));
                bits <<= category;
                count -= first + category;
                const std::uint32_t half = (1u << category) >> 1;
                diff = (entry >> 16) + extra - (extra < half ? (1u << category) - 1 : 0u);
            }
        }
        else
        {
            if ((entry & (kKindMask | 0xF00)) == kKindPlain) [[likely]]
            {
                const int length = static_cast<int>(entry & 0xFF);
                bits <<= length;
                count -= length;
                diff = entry >> 16;
            }
            else if (plain)
            {
                const int length = static_cast<int>(entry & 0xFF);
                const int category = static_cast<int>((entry >> 8) & 0xF);
                bits <<= length;
                const auto extra = static_cast<std::uint32_t>(bits >> (64 - category));
                bits <<= category;
                count -= length + category;
                diff = Extend(extra, category);
            }
        }
        if (!plain)
        {
            BitReader slow = reader;
            slow.bits = bits;
            slow.count = count;
            slow.p = p;
            rc = DecodeSlowSample<kEightBit>(table, entry, slow, previous, diff);
            bits = slow.bits;
            count = slow.count;
            if (rc != kOk)
            {
                break;
            }
        }
        pred += diff;
        if constexpr (kEightBit)
        {
            beforePrevious = previous;
            previous = diff;
            out[i] = static_cast<std::uint8_t>(pred);
        }
        else
        {
            Store(out, i, pred, false);
        }
        if constexpr (kPredictor != 1)
        {
            // The neighbours are the samples as stored, so that a corrupt stream's out-of-range values predict the
            // same way whether they come from this line or the one above. above[i + 1] at the run's last sample is
            // still inside the destination: it is this line's first sample.
            const std::uint32_t a = kEightBit ? (pred & 0xFFu) : (pred & 0xFFFFu);
            pred = Predict<kPredictor>(a, Load(above, i + 1, kEightBit), Load(above, i, kEightBit));
        }
    }
    if (rc == kOk && count < 0)
    {
        rc = kOverrun;
    }
    if (rc == kOverrun)
    {
        // The overrunning sample is the last one stored; its difference never existed.
        i = i == 0 ? 0 : i - 1;
        previous = beforePrevious;
    }
    reader.bits = bits;
    reader.count = count;
    reader.p = p;
    lastDiff = previous;
    lastDiffBefore = beforePrevious;
    done = i;
    return rc;
}

using RunFunction = int (*)(const std::uint32_t*, const HuffmanTable&, BitReader&, std::uint8_t*, std::size_t,
                            const std::uint8_t*, std::uint32_t, std::uint32_t&, std::uint32_t&, std::size_t&);

template <int kPredictor> RunFunction PickRun(bool eightBit, bool branchless)
{
    return eightBit ? (branchless ? &DecodeRun<true, true, kPredictor> : &DecodeRun<true, false, kPredictor>)
                    : (branchless ? &DecodeRun<false, true, kPredictor> : &DecodeRun<false, false, kPredictor>);
}

RunFunction PickRun(int predictor, bool eightBit, bool branchless)
{
    switch (predictor)
    {
    case 2:
        return PickRun<2>(eightBit, branchless);
    case 3:
        return PickRun<3>(eightBit, branchless);
    case 4:
        return PickRun<4>(eightBit, branchless);
    case 5:
        return PickRun<5>(eightBit, branchless);
    case 6:
        return PickRun<6>(eightBit, branchless);
    case 7:
        return PickRun<7>(eightBit, branchless);
    default:
        return PickRun<1>(eightBit, branchless);
    }
}

// The point transform (T.81 H.1.2.3): the scan codes samples divided by 2^Pt, so the output is scaled back once the
// whole scan has been reconstructed in that reduced range, which is the range its predictions work in.
void ScaleByPointTransform(std::uint8_t* out, std::size_t count, int shift, bool eightBit)
{
    if (eightBit)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            out[i] = static_cast<std::uint8_t>(out[i] << shift);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i)
    {
        Store(out, i, Load(out, i, false) << shift, false);
    }
}

// The loop is picked per scan from the table. A code of length L stands for about 2^-L of the samples; when a quarter
// or more of them need extra bits beyond the lookahead (noisy, high-precision data), a loop without the
// complete-or-not branch wins, since that branch would be mispredicted too often. Otherwise resolving most samples
// with one shift is faster.
bool ExtraBitsOftenBeyondLookahead(const HuffmanTable& table)
{
    std::uint32_t share = 0; // in units of 2^-16
    std::size_t index = 0;
    for (int l = 1; l <= 16; ++l)
    {
        for (std::uint32_t i = 0; i < table.bits[l] && index < table.codeCount; ++i, ++index)
        {
            const int category = table.values[index];
            if (category >= 1 && category <= 15 && l + category > kLookahead)
            {
                share += 1u << (16 - l);
            }
        }
    }
    return share >= (1u << 14);
}

const std::uint8_t* SkipFill(const std::uint8_t* p, const std::uint8_t* end)
{
    while (end - p >= 2 && p[0] == 0xFF && p[1] == 0xFF)
    {
        ++p;
    }
    return p;
}

bool IsMarker(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t code)
{
    return end - p >= 2 && p[0] == 0xFF && p[1] == code;
}

// After a unit (a restart interval, or a line without them): the reader gives back what it fetched beyond the unit,
// then come the restart marker that ends the unit (searched for past damaged data), fill bytes, and a DNL segment,
// whose count becomes `lines` when `adoptLineCount`. `p` is the stream position before and after.
int FinishUnit(LosslessState& s, BitReader& reader, const std::uint8_t*& p, bool endedEarly, bool last,
               bool adoptLineCount, int& expectedRestart, std::size_t& lines)
{
    const std::uint8_t* const end = s.sourceEnd;
    const std::size_t interval = s.restartInterval;
    if (!endedEarly)
    {
        Rewind(reader);
        p = reader.p;
    }

    if (interval != 0 && !last)
    {
        // With the line count left to a DNL, the segment after the final interval is not a missing marker.
        const bool dnlFollows = s.frame.lines == 0 && IsMarker(SkipFill(p, end), end, 0xDC);
        if (!dnlFollows)
        {
            const auto marker = static_cast<std::uint8_t>(0xD0 + expectedRestart);
            if (end - p < 2)
            {
                return kSourceExhausted;
            }
            if (p[0] == 0xFF && p[1] == marker)
            {
                p += 2;
            }
            else if (!endedEarly)
            {
                for (;;)
                {
                    if (end - p < 2)
                    {
                        return kSourceExhausted;
                    }
                    if (p[0] == 0xFF && p[1] == marker)
                    {
                        p += 2;
                        break;
                    }
                    if (p[0] == 0xFF && p[1] == 0xD9)
                    {
                        return kEoiBeforeRestart;
                    }
                    ++p;
                }
            }
            expectedRestart = (expectedRestart + 1) & 7;
        }
    }

    p = SkipFill(p, end);
    if (IsMarker(p, end, 0xDC))
    {
        s.cursor = p + 2;
        if (int rc = ReadLineCount(&s); rc != kOk)
        {
            return rc;
        }
        p = s.cursor;
        if (adoptLineCount)
        {
            lines = s.dnlLines;
        }
    }
    if (interval == 0)
    {
        // Without restarts the bit reader carries on from here.
        reader.p = p;
        reader.segmentStart = p;
        reader.stop = Stop::None;
    }
    return kOk;
}

// Frames of several components. Their samples are a third or less of what archives hold (colour lossless is rare
// next to grey), so these loops trade a little speed for one shape over every scan layout: the one-component loops
// above stay as they are.

// One component of a scan: its table, its place in the pixel, the prediction of its next sample, and its last
// difference (repeated by category 16 in 8-bit data, as in the one-component loop).
struct Lane
{
    const std::uint32_t* fast = nullptr;
    const HuffmanTable* table = nullptr;
    std::size_t offset = 0;
    std::uint32_t pred = 0;
    std::uint32_t lastDiff = 0;
};

inline void Refill(BitReader& r)
{
    if (r.end - r.p >= 8)
    {
        const std::uint64_t v = LoadBe64(r.p);
        const std::uint64_t inverted = ~v;
        if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0)
        {
            r.bits |= v >> r.count;
            r.p += (63 - r.count) >> 3;
            r.count |= 56;
            return;
        }
    }
    RefillSlow(r);
}

// One difference (T.81 F.2.2.1 and F.2.2.2); the reader's count is never negative on entry.
template <bool kEightBit> inline int DecodeDifference(const Lane& lane, BitReader& r, std::uint32_t& diff)
{
    if (r.count < 32)
    {
        Refill(r);
    }
    const std::uint32_t entry = lane.fast[r.bits >> (64 - kLookahead)];
    if ((entry & (kKindMask | 0xF00)) == kKindPlain) [[likely]]
    {
        const int length = static_cast<int>(entry & 0xFF);
        r.bits <<= length;
        r.count -= length;
        diff = entry >> 16;
        return kOk;
    }
    if ((entry & kKindMask) == kKindPlain)
    {
        const int length = static_cast<int>(entry & 0xFF);
        const int category = static_cast<int>((entry >> 8) & 0xF);
        r.bits <<= length;
        const auto extra = static_cast<std::uint32_t>(r.bits >> (64 - category));
        r.bits <<= category;
        r.count -= length + category;
        diff = Extend(extra, category);
        return kOk;
    }
    return DecodeSlowSample<kEightBit>(*lane.table, entry, r, lane.lastDiff, diff);
}

// Decodes n pixels of the scan's lanes into out (pixel 0 of the run, `stride` samples a pixel), with the same rules
// as DecodeRun: each lane's first sample is predicted by its `pred`, the rest by the selection value over the lane's
// own neighbours, `above` being the run's start one line up. Answers kOk, kOverrun or a failure code, done = the
// pixels completed before it.
template <bool kEightBit, int kPredictor>
int DecodeComponentRun(BitReader& reader, Lane* lanes, std::size_t laneCount, std::uint8_t* out, std::size_t stride,
                       std::size_t n, const std::uint8_t* above, std::size_t& done)
{
    for (std::size_t i = 0; i < n; ++i)
    {
        for (std::size_t k = 0; k < laneCount; ++k)
        {
            Lane& lane = lanes[k];
            std::uint32_t diff = 0;
            const int rc = DecodeDifference<kEightBit>(lane, reader, diff);
            if (rc != kOk || reader.count < 0)
            {
                done = i;
                return rc != kOk ? rc : kOverrun;
            }
            if constexpr (kEightBit)
            {
                lane.lastDiff = diff;
            }
            const std::uint32_t value = lane.pred + diff;
            const std::size_t at = i * stride + lane.offset;
            Store(out, at, value, kEightBit);
            if constexpr (kPredictor == 1)
            {
                lane.pred = value;
            }
            else
            {
                // As in DecodeRun: the neighbours as stored; above[at + stride] at the run's last pixel is this
                // line's first.
                const std::uint32_t a = kEightBit ? (value & 0xFFu) : (value & 0xFFFFu);
                lane.pred = Predict<kPredictor>(a, Load(above, at + stride, kEightBit), Load(above, at, kEightBit));
            }
        }
    }
    done = n;
    return kOk;
}

using ComponentRunFunction = int (*)(BitReader&, Lane*, std::size_t, std::uint8_t*, std::size_t, std::size_t,
                                     const std::uint8_t*, std::size_t&);

template <int kPredictor> ComponentRunFunction PickComponentRun(bool eightBit)
{
    return eightBit ? &DecodeComponentRun<true, kPredictor> : &DecodeComponentRun<false, kPredictor>;
}

ComponentRunFunction PickComponentRun(int predictor, bool eightBit)
{
    switch (predictor)
    {
    case 2:
        return PickComponentRun<2>(eightBit);
    case 3:
        return PickComponentRun<3>(eightBit);
    case 4:
        return PickComponentRun<4>(eightBit);
    case 5:
        return PickComponentRun<5>(eightBit);
    case 6:
        return PickComponentRun<6>(eightBit);
    case 7:
        return PickComponentRun<7>(eightBit);
    default:
        return PickComponentRun<1>(eightBit);
    }
}

} // namespace

int DecodeScan(LosslessState& s) noexcept
{
    const std::size_t width = s.frame.samplesPerLine;
    const std::size_t interval = s.restartInterval;
    if (interval == 0 && width == 0)
    {
        return kNoUnit;
    }
    if (width == 0)
    {
        return kSofWidth;
    }
    const HuffmanTable& table = s.tables[s.tableIndex];
    const bool eightBit = s.containerBits == 8;
    BuildFastTable(table, eightBit, s.fast.data());
    const bool branchless = ExtraBitsOftenBeyondLookahead(table);
    // Lines that start the scan or a restart interval use selection value 1 whatever the scan's (H.1.2.1).
    const RunFunction leftRun = PickRun(1, eightBit, branchless);
    const RunFunction selectedRun = PickRun(s.scan.predictor, eightBit, branchless);
    const std::size_t sampleBytes = eightBit ? 1 : 2;
    const int pointTransform = s.scan.pointTransform;
    const std::uint32_t initial = 1u << (s.precision - pointTransform - 1);
    // T.81 counts restart intervals in MCUs, which are single samples here; without one, a unit is a line.
    const std::size_t unit = interval != 0 ? interval : width;
    std::size_t lines = s.frame.lines != 0 ? s.frame.lines : 65535;
    const std::uint8_t* const end = s.sourceEnd;
    const std::uint8_t* p = s.cursor;
    std::uint8_t* const out = s.destination;

    // A sample is final once decoded unless the point transform scales it at the end. The reader is woken a few
    // dozen times a frame rather than at every line: a wake is a system call when it sleeps.
    std::atomic<std::size_t>* const finalBytes = pointTransform == 0 ? s.finalBytes : nullptr;
    constexpr std::size_t kWakeEveryBytes = std::size_t{256} << 10;
    std::size_t wokenAt = 0;

    BitReader reader;
    std::uint32_t lastDiff = 0; // the difference repeated by category 16 in 8-bit data; none before the first sample
    std::uint32_t lastDiffBefore = 0;
    int expectedRestart = 0;
    std::size_t unitStart = 0;
    for (std::size_t j = 0; unitStart < lines * width; ++j)
    {
        const std::size_t total = lines * width;
        const std::size_t unitEnd = unitStart + std::min(unit, total - unitStart);
        const std::size_t unitBytes = (unitEnd - unitStart) * sampleBytes;
        if (s.capacity < 0 || unitBytes > static_cast<std::size_t>(s.capacity))
        {
            return kCapacityExceeded;
        }
        s.capacity -= static_cast<std::int32_t>(unitBytes);

        const bool restarts = interval != 0 || j == 0;
        if (restarts)
        {
            reader = BitReader{p, end, p, 0, 0, Stop::None};
        }
        bool endedEarly = false;
        for (std::size_t pos = unitStart; pos < unitEnd;)
        {
            // T.81 H.1.2.1: the first sample of an interval is predicted by 2^(P-Pt-1), the first sample of any other
            // line by the sample above; the rest of the line that holds the interval's first sample by its left
            // neighbour, and the rest of every later line by the scan's own predictor. Only the line with the
            // interval's first sample can start mid-line, so a run of the scan's predictor always starts a line.
            const std::size_t column = pos % width;
            const std::size_t runLength = std::min(unitEnd - pos, width - column);
            const bool firstLine = pos / width == unitStart / width && (interval != 0 || j == 0);
            std::uint32_t pred;
            if (pos == unitStart && restarts)
            {
                pred = initial;
            }
            else
            {
                pred = Load(out, column == 0 ? pos - width : pos - 1, eightBit);
            }
            std::size_t done = 0;
            std::uint8_t* runOut = out + pos * sampleBytes;
            const std::uint8_t* above = firstLine ? runOut : runOut - width * sampleBytes;
            const RunFunction run = firstLine ? leftRun : selectedRun;
            const int rc =
                run(s.fast.data(), table, reader, runOut, runLength, above, pred, lastDiff, lastDiffBefore, done);
            if (rc == kOverrun)
            {
                if (reader.stop == Stop::Eoi)
                {
                    return kEoiInData;
                }
                if (reader.stop != Stop::Restart)
                {
                    return kSourceExhausted;
                }
                if (interval == 0)
                {
                    return kUnexpectedRestart;
                }
                // A restart marker inside the unit ends it: the interrupted sample and the rest of the unit are
                // written as 0 rather than left as whatever the destination held.
                const std::size_t from = pos + done;
                std::memset(out + from * sampleBytes, 0, (unitEnd - from) * sampleBytes);
                p = reader.p + 2;
                endedEarly = true;
                break;
            }
            if (rc != kOk)
            {
                return rc;
            }
            pos += runLength;
            if (finalBytes != nullptr)
            {
                const std::size_t bytes = pos * sampleBytes;
                finalBytes->store(bytes, std::memory_order_release);
                if (bytes - wokenAt >= kWakeEveryBytes)
                {
                    platform::WakeAllWaiting(*finalBytes);
                    wokenAt = bytes;
                }
            }
        }
        if (int rc = FinishUnit(s, reader, p, endedEarly, unitEnd >= total, true, expectedRestart, lines); rc != kOk)
        {
            return rc;
        }
        unitStart = unitEnd;
    }

    p = SkipFill(p, end);
    if (end - p < 2)
    {
        return kSourceExhausted;
    }
    if (p[0] != 0xFF || p[1] != 0xD9)
    {
        return kNoEoiAfterScan;
    }
    if (s.frame.lines == 0 && !s.dnlSeen)
    {
        return kNoLineCount;
    }
    if (pointTransform != 0)
    {
        ScaleByPointTransform(out, lines * width, pointTransform, eightBit);
    }
    s.cursor = p + 2;
    s.decodedLines = static_cast<std::uint16_t>(lines);
    return kOk;
}

} // namespace orblane::lossless

namespace orblane::lossless {

int DecodeComponentScan(LosslessState& s) noexcept
{
    const std::size_t width = s.frame.samplesPerLine;
    if (width == 0)
    {
        return kSofWidth;
    }
    const std::size_t interval = s.restartInterval;
    const bool eightBit = s.containerBits == 8;
    const std::size_t sampleBytes = eightBit ? 1 : 2;
    const std::size_t stride = s.frame.componentCount;
    const std::size_t laneCount = s.scan.componentCount;
    if (stride == 0 || stride > kMaxComponents || laneCount == 0 || laneCount > stride)
    {
        return kSosComponents;
    }
    // A fast table for each table slot the scan uses (64 KiB for all four: on the heap, not a worker's stack).
    constexpr std::size_t kFastSize = std::size_t{1} << kLookahead;
    const std::unique_ptr<std::uint32_t[]> fast(new (std::nothrow) std::uint32_t[4 * kFastSize]);
    if (fast == nullptr)
    {
        return kOutputAllocation;
    }
    std::array<Lane, kMaxComponents> lanes{};
    unsigned built = 0;
    for (std::size_t k = 0; k < laneCount; ++k)
    {
        const std::size_t slot = s.scan.tableOf[k] & 3u;
        std::uint32_t* table = fast.get() + slot * kFastSize;
        if ((built & (1u << slot)) == 0)
        {
            BuildFastTable(s.tables[slot], eightBit, table);
            built |= 1u << slot;
        }
        lanes[k].fast = table;
        lanes[k].table = &s.tables[slot];
        lanes[k].offset = s.scan.frameIndex[k];
    }
    const ComponentRunFunction leftRun = PickComponentRun(1, eightBit);
    const ComponentRunFunction selectedRun = PickComponentRun(s.scan.predictor, eightBit);
    const int pointTransform = s.scan.pointTransform;
    const std::uint32_t initial = 1u << (s.precision - pointTransform - 1);
    // An MCU of an interleaved scan is one pixel (every component 1 x 1), of a one-component scan one sample: either
    // way a restart interval counts pixels.
    const std::size_t unit = interval != 0 ? interval : width;
    // The line count is the first scan's to settle (a DNL may only follow it); later scans decode that many lines.
    const bool firstScan = s.decodedLines == 0;
    std::size_t lines = !firstScan ? s.decodedLines : s.frame.lines != 0 ? s.frame.lines : 65535;
    const std::uint8_t* const end = s.sourceEnd;
    const std::uint8_t* p = s.cursor;
    std::uint8_t* const out = s.destination;
    const std::size_t pixelBytes = stride * sampleBytes;

    BitReader reader;
    int expectedRestart = 0;
    std::size_t unitStart = 0;
    for (std::size_t j = 0; unitStart < lines * width; ++j)
    {
        const std::size_t total = lines * width;
        const std::size_t unitEnd = unitStart + std::min(unit, total - unitStart);
        if (s.capacity < 0 || std::uint64_t{unitEnd} * pixelBytes > static_cast<std::uint64_t>(s.capacity))
        {
            return kCapacityExceeded;
        }
        const bool restarts = interval != 0 || j == 0;
        if (restarts)
        {
            reader = BitReader{p, end, p, 0, 0, Stop::None};
        }
        bool endedEarly = false;
        for (std::size_t pos = unitStart; pos < unitEnd;)
        {
            // The predictions of DecodeScan (H.1.2.1), lane by lane.
            const std::size_t column = pos % width;
            const std::size_t runLength = std::min(unitEnd - pos, width - column);
            const bool firstLine = pos / width == unitStart / width && (interval != 0 || j == 0);
            for (std::size_t k = 0; k < laneCount; ++k)
            {
                lanes[k].pred =
                    pos == unitStart && restarts
                        ? initial
                        : Load(out, (column == 0 ? pos - width : pos - 1) * stride + lanes[k].offset, eightBit);
            }
            std::size_t done = 0;
            std::uint8_t* runOut = out + pos * pixelBytes;
            const std::uint8_t* above = firstLine ? runOut : runOut - width * pixelBytes;
            const ComponentRunFunction run = firstLine ? leftRun : selectedRun;
            const int rc = run(reader, lanes.data(), laneCount, runOut, stride, runLength, above, done);
            if (rc == kOverrun)
            {
                if (reader.stop == Stop::Eoi)
                {
                    return kEoiInData;
                }
                if (reader.stop != Stop::Restart)
                {
                    return kSourceExhausted;
                }
                if (interval == 0)
                {
                    return kUnexpectedRestart;
                }
                // As in DecodeScan: the interrupted pixel and the rest of the unit read as 0, in this scan's lanes.
                for (std::size_t q = pos + done; q < unitEnd; ++q)
                {
                    for (std::size_t k = 0; k < laneCount; ++k)
                    {
                        Store(out, q * stride + lanes[k].offset, 0, eightBit);
                    }
                }
                p = reader.p + 2;
                endedEarly = true;
                break;
            }
            if (rc != kOk)
            {
                return rc;
            }
            pos += runLength;
        }
        if (int rc = FinishUnit(s, reader, p, endedEarly, unitEnd >= total, firstScan, expectedRestart, lines);
            rc != kOk)
        {
            return rc;
        }
        unitStart = unitEnd;
    }
    if (firstScan && s.frame.lines == 0 && !s.dnlSeen)
    {
        return kNoLineCount;
    }
    if (pointTransform != 0)
    {
        const std::size_t pixels = lines * width;
        for (std::size_t k = 0; k < laneCount; ++k)
        {
            for (std::size_t q = 0; q < pixels; ++q)
            {
                const std::size_t at = q * stride + lanes[k].offset;
                Store(out, at, Load(out, at, eightBit) << pointTransform, eightBit);
            }
        }
    }
    s.cursor = p;
    s.decodedLines = static_cast<std::uint16_t>(lines);
    return kOk;
}

} // namespace orblane::lossless
