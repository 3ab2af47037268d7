// JPEG sequential DCT with Huffman coding (T.81 processes 1, 2 and 4): the 12-bit CT and MR of transfer syntax
// 1.2.840.10008.1.2.4.51, which the system's 8-bit JPEG library cannot decode. 8-bit streams decode here too.
//
// The frame is decoded into one plane per component (its blocks' samples, MCU-padded), and only then upsampled,
// colour-converted and written into the caller's buffer. Upsampling and colour conversion follow the arithmetic of
// the common IJG decoders (triangular "fancy" upsampling for 2:1, fixed-point YCbCr with 16 fraction bits), so the
// samples agree with what other DICOM viewers show.
//
// Damage: an entropy-coded segment that runs into a marker or the end, or meets a code no table holds, stops there;
// its remaining blocks stay 0, decoding resumes at the next restart marker, and the result is DecodedWithWarning.
// Damaged headers are Corrupt.
#include "imaging/codecs/Codecs.h"
#include "imaging/codecs/JpegDct.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace orblane {
namespace {

// The codec's own detail codes (DecodeResult::detail).
enum Detail : int
{
    kNoStartOfImage = 1,
    kTruncatedHeader = 2,
    kBadSegment = 3,
    kBadFrameHeader = 4,
    kBadScanHeader = 5,
    kBadHuffmanTable = 6,
    kBadQuantTable = 7,
    kMissingTable = 8,
    kNoFrame = 9,
    kNoScan = 10,
    kProcessNotSequential = 11,
    kPrecisionNotSupported = 12,
    kSamplingNotSupported = 13,
    kTooManyPixels = 14,
    kOutputTooSmall = 15,
    kContainerTooSmall = 16,
    kOutOfMemory = 17,
    kNoLines = 18,
    kEntropyDamaged = 19,
};

constexpr int kLookahead = 9;

// Natural (row-major) position of each zig-zag index (T.81 figure A.6); sixteen extra entries keep a damaged run
// that steps past the last coefficient on position 63, as other decoders do.
constexpr std::array<std::uint8_t, 80> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

struct HuffmanTable
{
    bool defined = false;
    // (code length << 8) | symbol for every 9-bit lookahead whose code is no longer; 0 otherwise.
    std::array<std::uint16_t, 1 << kLookahead> fast{};
    // AC tables: (coefficient << 8) | (run << 4) | bits consumed, when code and extra bits fit the lookahead and the
    // coefficient fits 8 bits signed; 0 otherwise.
    std::array<std::int16_t, 1 << kLookahead> fastAc{};
    std::array<std::int32_t, 17> maxCode{}; // largest code of each length, -1 when there is none
    std::array<std::int32_t, 17> valueOffset{};
    std::array<std::uint8_t, 256> values{};
    int valueCount = 0;
};

struct Component
{
    std::uint8_t id = 0;
    int h = 1;
    int v = 1;
    int quantTable = 0;
    int dcTable = 0;
    int acTable = 0;
    bool decoded = false;
    // Samples of this component's blocks, the MCU-padded grid, `stride` samples a row.
    std::vector<std::uint16_t> plane;
    std::size_t stride = 0;
    std::size_t planeRows = 0;
    // Extent of the component's samples that belong to the image (T.81 A.1.1).
    std::size_t width = 0;
    std::size_t height = 0;
};

struct Frame
{
    int precision = 0;
    std::size_t rows = 0;
    std::size_t columns = 0;
    int componentCount = 0;
    std::array<Component, 4> components;
    int hMax = 1;
    int vMax = 1;
    std::size_t mcusAcross = 0;
    std::size_t mcusDown = 0;
};

struct BitReader
{
    const std::uint8_t* p = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint64_t bits = 0; // next bit in bit 63
    int count = 0;
    int padding = 0; // zero bits appended after a marker or the end: a block that uses them ran out of data
    bool atMarker = false;
};

struct Decoder
{
    ByteView data;
    std::size_t position = 0;
    std::array<std::array<std::uint16_t, 64>, 4> quant{}; // natural order
    std::array<bool, 4> quantDefined{};
    std::array<HuffmanTable, 4> dcTables;
    std::array<HuffmanTable, 4> acTables;
    std::uint32_t restartInterval = 0;
    bool sawFrame = false;
    bool sawScan = false;
    bool jfif = false;
    int adobeTransform = -1;
    bool damaged = false;
    Frame frame;
};

std::uint16_t ReadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// T.81 C.2 and F.2.2.3: canonical codes from the counts per length; the fast tables cover codes up to kLookahead.
bool BuildHuffmanTable(const std::uint8_t* counts, const std::uint8_t* symbols, int total, HuffmanTable& t)
{
    t = HuffmanTable{};
    std::copy_n(symbols, total, t.values.begin());
    t.valueCount = total;
    std::int32_t code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length)
    {
        const int n = counts[length - 1];
        t.valueOffset[static_cast<std::size_t>(length)] = index - code;
        for (int i = 0; i < n; ++i, ++code, ++index)
        {
            if (code >= (1 << length))
            {
                return false; // more codes than the length allows: not a prefix code
            }
            if (length <= kLookahead)
            {
                const int shift = kLookahead - length;
                const std::uint8_t symbol = t.values[static_cast<std::size_t>(index)];
                for (int v = code << shift; v < (code + 1) << shift; ++v)
                {
                    const auto slot = static_cast<std::size_t>(v);
                    t.fast[slot] = static_cast<std::uint16_t>((length << 8) | symbol);
                    const int size = symbol & 15;
                    if (size != 0 && length + size <= kLookahead)
                    {
                        const int extra = (v >> (kLookahead - length - size)) & ((1 << size) - 1);
                        const int value = extra < (1 << (size - 1)) ? extra - (1 << size) + 1 : extra;
                        if (value >= -128 && value <= 127)
                        {
                            t.fastAc[slot] =
                                static_cast<std::int16_t>(value * 256 + (symbol >> 4) * 16 + length + size);
                        }
                    }
                }
            }
        }
        t.maxCode[static_cast<std::size_t>(length)] = n == 0 ? -1 : code - 1;
        code <<= 1;
    }
    t.defined = true;
    return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Entropy-coded data (T.81 F.2.2)

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

// Fills the buffer to at least 57 bits. A marker (an FF not followed by 00) or the end of the frame is never read
// past: zero bits are appended instead and counted, so that a block using them is known to lack data.
void Refill(BitReader& r)
{
    if (!r.atMarker && r.end - r.p >= 8)
    {
        const std::uint64_t word = LoadBe64(r.p);
        const std::uint64_t inverted = ~word;
        // No byte is FF when no byte of the inverse is zero.
        if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0)
        {
            const int whole = (64 - r.count) >> 3;
            const std::uint64_t taken = word & (~std::uint64_t{0} << (64 - 8 * whole));
            r.bits |= taken >> r.count;
            r.count += 8 * whole;
            r.p += whole;
            return;
        }
    }
    while (r.count <= 56)
    {
        std::uint64_t byte = 0;
        if (!r.atMarker)
        {
            if (r.p == r.end)
            {
                r.atMarker = true;
            }
            else if (*r.p != 0xFF)
            {
                byte = *r.p++;
            }
            else if (r.end - r.p >= 2 && r.p[1] == 0x00)
            {
                byte = 0xFF;
                r.p += 2;
            }
            else
            {
                r.atMarker = true;
            }
        }
        if (r.atMarker)
        {
            r.padding += 8;
        }
        r.bits |= byte << (56 - r.count);
        r.count += 8;
    }
}

inline void Consume(BitReader& r, int n)
{
    r.bits <<= n;
    r.count -= n;
}

// T.81 F.2.2.1 (EXTEND) of the next `size` bits, 1 <= size <= 15.
inline std::int32_t ReceiveExtend(BitReader& r, int size)
{
    const auto extra = static_cast<std::int32_t>(r.bits >> (64 - size));
    Consume(r, size);
    return extra < (1 << (size - 1)) ? extra - (1 << size) + 1 : extra;
}

// The next symbol, or -1 for a code no table holds. The buffer holds at least 16 bits.
inline int DecodeSymbol(BitReader& r, const HuffmanTable& t)
{
    const std::uint16_t entry = t.fast[static_cast<std::size_t>(r.bits >> (64 - kLookahead))];
    if (entry != 0)
    {
        Consume(r, entry >> 8);
        return entry & 0xFF;
    }
    for (int length = kLookahead + 1; length <= 16; ++length)
    {
        const auto code = static_cast<std::int32_t>(r.bits >> (64 - length));
        if (code <= t.maxCode[static_cast<std::size_t>(length)])
        {
            const std::int32_t index = code + t.valueOffset[static_cast<std::size_t>(length)];
            if (index < 0 || index >= t.valueCount)
            {
                return -1;
            }
            Consume(r, length);
            return t.values[static_cast<std::size_t>(index)];
        }
    }
    return -1;
}

// One block (T.81 F.2.2.1, F.2.2.2), dequantized into `coef` (natural order, zeroed by the caller). Returns whether
// the highest zig-zag index it wrote (0 when the block is DC alone), or -1 for a bad code.
inline int DecodeBlock(BitReader& r, const HuffmanTable& dc, const HuffmanTable& ac, const std::uint16_t* q,
                       std::int32_t& predictor, std::int32_t* coef)
{
    if (r.count < 32)
    {
        Refill(r);
    }
    const int category = DecodeSymbol(r, dc);
    if (category < 0 || category > 15)
    {
        return -1;
    }
    const std::int32_t diff = category == 0 ? 0 : ReceiveExtend(r, category);
    // The predictor wraps at 16 bits as the coefficient it stands for would.
    predictor = static_cast<std::int16_t>(predictor + diff);
    coef[0] = predictor * q[0];
    int last = 0;
    for (int k = 1; k < 64;)
    {
        if (r.count < 32)
        {
            Refill(r);
        }
        const std::int16_t fast = ac.fastAc[static_cast<std::size_t>(r.bits >> (64 - kLookahead))];
        if (fast != 0)
        {
            k += (fast >> 4) & 15;
            Consume(r, fast & 15);
            const std::size_t at = kNaturalOrder[static_cast<std::size_t>(k)];
            coef[at] = (fast >> 8) * q[at];
            last = k;
            ++k;
            continue;
        }
        const int symbol = DecodeSymbol(r, ac);
        if (symbol < 0)
        {
            return -1;
        }
        const int run = symbol >> 4;
        const int size = symbol & 15;
        if (size == 0)
        {
            if (run != 15)
            {
                break; // end of block
            }
            k += 16;
            continue;
        }
        k += run;
        const std::size_t at = kNaturalOrder[static_cast<std::size_t>(k)];
        coef[at] = ReceiveExtend(r, size) * q[at];
        last = k;
        ++k;
    }
    return std::min(last, 63);
}

struct ScanComponent
{
    Component* component = nullptr;
    const HuffmanTable* dc = nullptr;
    const HuffmanTable* ac = nullptr;
    const std::uint16_t* quant = nullptr;
    std::int32_t predictor = 0;
};

// Moves to the next marker at or after the reader's position (skipping stuffed bytes and fill bytes); answers its
// code, or 0 at the end of the data.
int FindMarker(const std::uint8_t*& p, const std::uint8_t* end)
{
    while (end - p >= 2)
    {
        if (p[0] == 0xFF && p[1] != 0x00 && p[1] != 0xFF)
        {
            return p[1];
        }
        ++p;
    }
    p = end;
    return 0;
}

template <int kPrecision> void StoreBlock(const std::int32_t* coef, int last, std::uint16_t* out, std::ptrdiff_t stride)
{
    if constexpr (kPrecision == 8)
    {
        jpegdct::InverseDct8(coef, last, out, stride);
    }
    else
    {
        jpegdct::InverseDct12(coef, last, out, stride);
    }
}

// Decodes the entropy-coded data of one scan, starting at `d.position`; leaves `d.position` at the marker after it.
template <int kPrecision> void DecodeScan(Decoder& d, std::array<ScanComponent, 4>& scan, int count)
{
    const Frame& f = d.frame;
    const bool interleaved = count > 1;
    Component& first = *scan[0].component;
    // A single-component scan codes the component's own blocks, without MCU padding (T.81 A.2.2).
    const std::size_t across = interleaved ? f.mcusAcross : (first.width + 7) / 8;
    const std::size_t down = interleaved ? f.mcusDown : (first.height + 7) / 8;
    const std::size_t total = across * down;
    const std::size_t interval = d.restartInterval == 0 ? total : d.restartInterval;

    BitReader r;
    r.p = d.data.data() + d.position;
    r.end = d.data.data() + d.data.size();
    alignas(64) std::int32_t coef[64];
    int expectedRestart = 0;
    std::size_t mcu = 0;
    while (mcu < total)
    {
        const std::size_t intervalIndex = mcu / interval;
        const std::size_t stop = std::min(total, mcu + interval);
        bool broken = false;
        for (; mcu < stop && !broken; ++mcu)
        {
            const std::size_t mx = mcu % across;
            const std::size_t my = mcu / across;
            for (int i = 0; i < count && !broken; ++i)
            {
                ScanComponent& sc = scan[static_cast<std::size_t>(i)];
                Component& c = *sc.component;
                const int bh = interleaved ? c.h : 1;
                const int bv = interleaved ? c.v : 1;
                for (int by = 0; by < bv && !broken; ++by)
                {
                    for (int bx = 0; bx < bh; ++bx)
                    {
                        std::memset(coef, 0, sizeof coef);
                        const int last = DecodeBlock(r, *sc.dc, *sc.ac, sc.quant, sc.predictor, coef);
                        if (last < 0)
                        {
                            broken = true;
                            break;
                        }
                        const std::size_t row = (my * static_cast<std::size_t>(bv) + static_cast<std::size_t>(by)) * 8;
                        const std::size_t col = (mx * static_cast<std::size_t>(bh) + static_cast<std::size_t>(bx)) * 8;
                        StoreBlock<kPrecision>(coef, last, c.plane.data() + row * c.stride + col,
                                               static_cast<std::ptrdiff_t>(c.stride));
                    }
                }
            }
            // An MCU that used bits from beyond the segment's end is kept (its blocks are what other decoders
            // show), but nothing after it.
            broken = broken || r.count < r.padding;
        }
        d.damaged = d.damaged || broken;
        if (!broken && stop == total)
        {
            break;
        }
        // T.81 F.2.1.3: a restart marker ends each interval but the last. A damaged interval's remaining MCUs stay 0;
        // a marker other than the expected one means intervals were lost, and as many are skipped.
        const std::uint8_t* p = r.p;
        const int marker = FindMarker(p, r.end);
        if (d.restartInterval == 0 || marker < 0xD0 || marker > 0xD7)
        {
            d.damaged = true; // nothing to resume at: the rest of the scan is lost
            r.p = p;
            break;
        }
        const auto skipped = static_cast<std::size_t>((marker - 0xD0 - expectedRestart) & 7);
        d.damaged = d.damaged || skipped != 0;
        mcu = std::min(total, (intervalIndex + 1 + skipped) * interval);
        expectedRestart = (marker - 0xD0 + 1) & 7;
        r = BitReader{};
        r.p = p + 2;
        r.end = d.data.data() + d.data.size();
        for (int i = 0; i < count; ++i)
        {
            scan[static_cast<std::size_t>(i)].predictor = 0;
        }
    }
    const std::uint8_t* p = r.p;
    // Markers between the data and the next segment: restart markers of a short scan are skipped.
    for (;;)
    {
        const int marker = FindMarker(p, r.end);
        if (marker >= 0xD0 && marker <= 0xD7)
        {
            p += 2;
            continue;
        }
        break;
    }
    d.position = static_cast<std::size_t>(p - d.data.data());
}

// ---------------------------------------------------------------------------------------------------------------
// Headers (T.81 B.2)

int ParseFrame(Decoder& d, const std::uint8_t* s, std::size_t length, const FrameGeometry& declared,
               const DecodeLimits& limits, std::size_t outSize, DecodeResult& result)
{
    Frame& f = d.frame;
    if (d.sawFrame || length < 6)
    {
        return kBadFrameHeader;
    }
    d.sawFrame = true;
    f.precision = s[0];
    f.rows = ReadU16(s + 1);
    f.columns = ReadU16(s + 3);
    f.componentCount = s[5];
    if (f.componentCount < 1 || f.componentCount > 4 || length != 6 + 3 * static_cast<std::size_t>(f.componentCount))
    {
        return kBadFrameHeader;
    }
    for (int i = 0; i < f.componentCount; ++i)
    {
        Component& c = f.components[static_cast<std::size_t>(i)];
        const std::uint8_t* e = s + 6 + 3 * i;
        c.id = e[0];
        c.h = e[1] >> 4;
        c.v = e[1] & 15;
        c.quantTable = e[2];
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable > 3)
        {
            return kBadFrameHeader;
        }
        for (int j = 0; j < i; ++j)
        {
            if (f.components[static_cast<std::size_t>(j)].id == c.id)
            {
                return kBadFrameHeader;
            }
        }
        f.hMax = std::max(f.hMax, c.h);
        f.vMax = std::max(f.vMax, c.v);
    }
    if (f.precision != 8 && f.precision != 12)
    {
        result.status = DecodeStatus::Unsupported;
        return kPrecisionNotSupported;
    }
    if (f.rows == 0)
    {
        result.status = DecodeStatus::Unsupported; // the height would follow in a DNL segment (T.81 B.2.5)
        return kNoLines;
    }
    if (f.columns == 0)
    {
        return kBadFrameHeader;
    }
    if (f.componentCount == 1)
    {
        // One component is never interleaved: its sampling factors change nothing (T.81 A.2.2).
        f.components[0].h = f.components[0].v = f.hMax = f.vMax = 1;
    }
    for (int i = 0; i < f.componentCount; ++i)
    {
        const Component& c = f.components[static_cast<std::size_t>(i)];
        if (f.hMax % c.h != 0 || f.vMax % c.v != 0)
        {
            result.status = DecodeStatus::Unsupported; // fractional ratios such as 3:2
            return kSamplingNotSupported;
        }
    }
    // Limits before any allocation.
    if (std::uint64_t{f.rows} * f.columns > limits.maxPixels)
    {
        return kTooManyPixels;
    }
    f.mcusAcross = (f.columns + 8 * static_cast<std::size_t>(f.hMax) - 1) / (8 * static_cast<std::size_t>(f.hMax));
    f.mcusDown = (f.rows + 8 * static_cast<std::size_t>(f.vMax) - 1) / (8 * static_cast<std::size_t>(f.vMax));
    // The planes hold whole MCUs: for very narrow or very short images that is several times the pixels, which the
    // stream (a few bits per block) must still justify.
    const std::uint64_t padded = std::uint64_t{f.mcusAcross} * f.mcusDown * 64u * static_cast<std::uint64_t>(f.hMax) *
                                 static_cast<std::uint64_t>(f.vMax);
    if (padded > std::min<std::uint64_t>(limits.maxPixels, std::uint64_t{1} << 40) * 2 + 65536)
    {
        return kTooManyPixels;
    }

    FrameGeometry& a = result.actual;
    a.rows = static_cast<std::uint16_t>(f.rows);
    a.columns = static_cast<std::uint16_t>(f.columns);
    a.samplesPerPixel = static_cast<std::uint16_t>(f.componentCount);
    a.bitsAllocated =
        declared.bitsAllocated != 0 ? declared.bitsAllocated : static_cast<std::uint16_t>(f.precision > 8 ? 16 : 8);
    a.bitsStored = static_cast<std::uint16_t>(f.precision);
    a.isSigned = declared.isSigned;
    a.planar = false;
    a.colour = f.componentCount == 1 ? SampleColour::Grey : f.componentCount == 3 ? SampleColour::Rgb : declared.colour;
    if (ContainerBytes(a.bitsAllocated) * 8 < static_cast<std::size_t>(f.precision))
    {
        return kContainerTooSmall;
    }
    if (FrameBytes(a) > outSize)
    {
        return kOutputTooSmall;
    }
    for (int i = 0; i < f.componentCount; ++i)
    {
        Component& c = f.components[static_cast<std::size_t>(i)];
        c.width = (f.columns * static_cast<std::size_t>(c.h) + static_cast<std::size_t>(f.hMax) - 1) /
                  static_cast<std::size_t>(f.hMax);
        c.height = (f.rows * static_cast<std::size_t>(c.v) + static_cast<std::size_t>(f.vMax) - 1) /
                   static_cast<std::size_t>(f.vMax);
        c.stride = f.mcusAcross * static_cast<std::size_t>(c.h) * 8;
        c.planeRows = f.mcusDown * static_cast<std::size_t>(c.v) * 8;
        c.plane.assign(c.stride * c.planeRows, 0);
    }
    return 0;
}

int ParseHuffmanTables(Decoder& d, const std::uint8_t* s, std::size_t length)
{
    while (length > 0)
    {
        if (length < 17)
        {
            return kBadHuffmanTable;
        }
        const int tableClass = s[0] >> 4;
        const int id = s[0] & 15;
        if (tableClass > 1 || id > 3)
        {
            return kBadHuffmanTable;
        }
        int total = 0;
        for (int i = 0; i < 16; ++i)
        {
            total += s[1 + i];
        }
        if (total > 256 || static_cast<std::size_t>(total) > length - 17)
        {
            return kBadHuffmanTable;
        }
        HuffmanTable& t =
            tableClass == 0 ? d.dcTables[static_cast<std::size_t>(id)] : d.acTables[static_cast<std::size_t>(id)];
        if (!BuildHuffmanTable(s + 1, s + 17, total, t))
        {
            return kBadHuffmanTable;
        }
        s += 17 + total;
        length -= 17 + static_cast<std::size_t>(total);
    }
    return 0;
}

int ParseQuantTables(Decoder& d, const std::uint8_t* s, std::size_t length)
{
    while (length > 0)
    {
        const int wide = s[0] >> 4;
        const int id = s[0] & 15;
        const std::size_t need = 1 + (wide != 0 ? 128u : 64u);
        if (wide > 1 || id > 3 || length < need)
        {
            return kBadQuantTable;
        }
        auto& table = d.quant[static_cast<std::size_t>(id)];
        for (std::size_t k = 0; k < 64; ++k)
        {
            table[kNaturalOrder[k]] = wide != 0 ? ReadU16(s + 1 + 2 * k) : s[1 + k];
        }
        d.quantDefined[static_cast<std::size_t>(id)] = true;
        s += need;
        length -= need;
    }
    return 0;
}

int ParseAndDecodeScan(Decoder& d, const std::uint8_t* s, std::size_t length)
{
    Frame& f = d.frame;
    if (!d.sawFrame || length < 1)
    {
        return d.sawFrame ? kBadScanHeader : kNoFrame;
    }
    const int count = s[0];
    if (count < 1 || count > 4 || length != 4 + 2 * static_cast<std::size_t>(count))
    {
        return kBadScanHeader;
    }
    // Ss, Se, Ah and Al mean nothing to a sequential scan; some encoders write other values, which decoders ignore.
    std::array<ScanComponent, 4> scan;
    int blocksPerMcu = 0;
    for (int i = 0; i < count; ++i)
    {
        const std::uint8_t* e = s + 1 + 2 * i;
        Component* c = nullptr;
        for (int j = 0; j < f.componentCount; ++j)
        {
            if (f.components[static_cast<std::size_t>(j)].id == e[0])
            {
                c = &f.components[static_cast<std::size_t>(j)];
            }
        }
        if (c == nullptr || c->decoded)
        {
            return kBadScanHeader;
        }
        for (int j = 0; j < i; ++j)
        {
            if (scan[static_cast<std::size_t>(j)].component == c)
            {
                return kBadScanHeader;
            }
        }
        const int dc = e[1] >> 4;
        const int ac = e[1] & 15;
        if (dc > 3 || ac > 3)
        {
            return kBadScanHeader;
        }
        ScanComponent& sc = scan[static_cast<std::size_t>(i)];
        sc.component = c;
        sc.dc = &d.dcTables[static_cast<std::size_t>(dc)];
        sc.ac = &d.acTables[static_cast<std::size_t>(ac)];
        if (!sc.dc->defined || !sc.ac->defined || !d.quantDefined[static_cast<std::size_t>(c->quantTable)])
        {
            return kMissingTable;
        }
        sc.quant = d.quant[static_cast<std::size_t>(c->quantTable)].data();
        blocksPerMcu += c->h * c->v;
    }
    if (count > 1 && blocksPerMcu > 10)
    {
        return kBadScanHeader; // T.81 B.2.3
    }
    d.sawScan = true;
    d.frame.precision == 8 ? DecodeScan<8>(d, scan, count) : DecodeScan<12>(d, scan, count);
    for (int i = 0; i < count; ++i)
    {
        scan[static_cast<std::size_t>(i)].component->decoded = true;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// Output: upsampling (as IJG's jdsample does it) and colour conversion, one output row at a time.

// One row of component `c` at full resolution into `row` (at least columns + 1 samples).
void UpsampleRow(const Frame& f, const Component& c, std::size_t y, std::uint16_t* row)
{
    const std::size_t hx = static_cast<std::size_t>(f.hMax / c.h);
    const std::size_t vx = static_cast<std::size_t>(f.vMax / c.v);
    const std::size_t w = c.width;
    const bool fancy = hx == 2 && (vx == 1 || vx == 2) && w > 2;
    if (!fancy)
    {
        const std::uint16_t* in = c.plane.data() + (y / vx) * c.stride;
        for (std::size_t x = 0; x < f.columns; ++x)
        {
            row[x] = in[x / hx];
        }
        return;
    }
    // Triangular filter: each output sample weighs its nearer input 3/4 and the next nearer 1/4, in each direction
    // that is upsampled; image edges repeat the edge sample. Rounding alternates so that errors do not accumulate.
    if (vx == 1)
    {
        const std::uint16_t* in = c.plane.data() + y * c.stride;
        row[0] = in[0];
        row[1] = static_cast<std::uint16_t>((in[0] * 3 + in[1] + 2) >> 2);
        for (std::size_t i = 1; i + 1 < w; ++i)
        {
            const int centre = in[i] * 3;
            row[2 * i] = static_cast<std::uint16_t>((centre + in[i - 1] + 1) >> 2);
            row[2 * i + 1] = static_cast<std::uint16_t>((centre + in[i + 1] + 2) >> 2);
        }
        row[2 * w - 2] = static_cast<std::uint16_t>((in[w - 1] * 3 + in[w - 2] + 1) >> 2);
        row[2 * w - 1] = in[w - 1];
        return;
    }
    const std::size_t near = y / 2;
    const std::size_t far = (y & 1) == 0 ? (near == 0 ? 0 : near - 1) : std::min(near + 1, c.height - 1);
    const std::uint16_t* a = c.plane.data() + near * c.stride;
    const std::uint16_t* b = c.plane.data() + far * c.stride;
    int last = 0;
    int here = a[0] * 3 + b[0];
    int next = a[1] * 3 + b[1];
    row[0] = static_cast<std::uint16_t>((here * 4 + 8) >> 4);
    row[1] = static_cast<std::uint16_t>((here * 3 + next + 7) >> 4);
    for (std::size_t i = 1; i + 1 < w; ++i)
    {
        last = here;
        here = next;
        next = a[i + 1] * 3 + b[i + 1];
        row[2 * i] = static_cast<std::uint16_t>((here * 3 + last + 8) >> 4);
        row[2 * i + 1] = static_cast<std::uint16_t>((here * 3 + next + 7) >> 4);
    }
    last = here;
    here = next;
    row[2 * w - 2] = static_cast<std::uint16_t>((here * 3 + last + 8) >> 4);
    row[2 * w - 1] = static_cast<std::uint16_t>((here * 4 + 7) >> 4);
}

template <class Sample> void WriteOutput(const Frame& f, bool ycbcr, std::span<std::uint8_t> out)
{
    const std::size_t n = static_cast<std::size_t>(f.componentCount);
    const std::size_t rowSamples = f.columns * n;
    // Rows of the upsampled components, with room for the second sample an odd width's last input produces.
    std::vector<std::uint16_t> rows(n * (f.columns + 2));
    std::vector<Sample> line(rowSamples);
    const std::int32_t maxSample = (1 << f.precision) - 1;
    const std::int32_t centre = 1 << (f.precision - 1);
    for (std::size_t y = 0; y < f.rows; ++y)
    {
        std::array<const std::uint16_t*, 4> src{};
        for (std::size_t c = 0; c < n; ++c)
        {
            const Component& comp = f.components[c];
            if (comp.h == f.hMax && comp.v == f.vMax)
            {
                src[c] = comp.plane.data() + y * comp.stride;
            }
            else
            {
                std::uint16_t* row = rows.data() + c * (f.columns + 2);
                UpsampleRow(f, comp, y, row);
                src[c] = row;
            }
        }
        if (n == 1)
        {
            for (std::size_t x = 0; x < f.columns; ++x)
            {
                line[x] = static_cast<Sample>(src[0][x]);
            }
        }
        else if (ycbcr)
        {
            // T.871 clause 7 in 16-bit fixed point, rounded once per sample.
            for (std::size_t x = 0; x < f.columns; ++x)
            {
                const std::int32_t lum = src[0][x];
                const std::int32_t cb = src[1][x] - centre;
                const std::int32_t cr = src[2][x] - centre;
                const std::int32_t red = lum + ((91881 * cr + 32768) >> 16);
                const std::int32_t green = lum + ((-22554 * cb - 46802 * cr + 32768) >> 16);
                const std::int32_t blue = lum + ((116130 * cb + 32768) >> 16);
                line[3 * x] = static_cast<Sample>(std::clamp(red, 0, maxSample));
                line[3 * x + 1] = static_cast<Sample>(std::clamp(green, 0, maxSample));
                line[3 * x + 2] = static_cast<Sample>(std::clamp(blue, 0, maxSample));
            }
        }
        else
        {
            for (std::size_t x = 0; x < f.columns; ++x)
            {
                for (std::size_t c = 0; c < n; ++c)
                {
                    line[x * n + c] = static_cast<Sample>(src[c][x]);
                }
            }
        }
        std::memcpy(out.data() + y * rowSamples * sizeof(Sample), line.data(), rowSamples * sizeof(Sample));
    }
}

// Whether three components are YCbCr: an Adobe segment says so outright; components named R, G, B are not; a JFIF
// file always is; otherwise the data set's Photometric Interpretation decides, YCbCr unless it says RGB.
bool IsYCbCr(const Decoder& d, const FrameGeometry& declared)
{
    const Frame& f = d.frame;
    if (f.componentCount != 3)
    {
        return false;
    }
    if (d.adobeTransform >= 0)
    {
        return d.adobeTransform != 0;
    }
    if (f.components[0].id == 'R' && f.components[1].id == 'G' && f.components[2].id == 'B')
    {
        return false;
    }
    return d.jfif || declared.colour != SampleColour::Rgb;
}

int Decode(Decoder& d, const FrameGeometry& declared, const DecodeLimits& limits, std::span<std::uint8_t> out,
           DecodeResult& result)
{
    const std::uint8_t* base = d.data.data();
    const std::size_t size = d.data.size();
    if (size < 2 || base[0] != 0xFF || base[1] != 0xD8)
    {
        return kNoStartOfImage;
    }
    d.position = 2;
    for (;;)
    {
        // Fill bytes (FF) may precede any marker (T.81 B.1.1.2).
        while (size - d.position >= 2 && base[d.position] == 0xFF && base[d.position + 1] == 0xFF)
        {
            ++d.position;
        }
        if (size - d.position < 2)
        {
            break; // no EOI: what was decoded stands
        }
        if (base[d.position] != 0xFF)
        {
            // Stray bytes between segments: other decoders skip them to the next marker, and so do we.
            const std::uint8_t* p = base + d.position;
            if (FindMarker(p, base + size) == 0)
            {
                break;
            }
            d.position = static_cast<std::size_t>(p - base);
        }
        const int marker = base[d.position + 1];
        d.position += 2;
        if (marker == 0xD9)
        {
            break;
        }
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
        {
            continue; // stray restart marker or TEM: no segment
        }
        if (size - d.position < 2)
        {
            return kTruncatedHeader;
        }
        const std::size_t length = ReadU16(base + d.position);
        if (length < 2 || length > size - d.position)
        {
            return kTruncatedHeader;
        }
        const std::uint8_t* s = base + d.position + 2;
        const std::size_t body = length - 2;
        d.position += length;
        int rc = 0;
        switch (marker)
        {
        case 0xC0:
        case 0xC1:
            rc = ParseFrame(d, s, body, declared, limits, out.size(), result);
            break;
        case 0xC2:
        case 0xC3:
        case 0xC5:
        case 0xC6:
        case 0xC7:
        case 0xC9:
        case 0xCA:
        case 0xCB:
        case 0xCD:
        case 0xCE:
        case 0xCF:
            // Progressive, lossless, hierarchical or arithmetic-coded: other processes, other decoders.
            result.status = DecodeStatus::Unsupported;
            return kProcessNotSequential;
        case 0xC4:
            rc = ParseHuffmanTables(d, s, body);
            break;
        case 0xDB:
            rc = ParseQuantTables(d, s, body);
            break;
        case 0xDD:
            if (body != 2)
            {
                return kBadSegment;
            }
            d.restartInterval = ReadU16(s);
            break;
        case 0xDA:
            rc = ParseAndDecodeScan(d, s, body);
            break;
        case 0xE0:
            d.jfif = d.jfif || (body >= 5 && std::memcmp(s, "JFIF", 5) == 0);
            break;
        case 0xEE:
            if (body >= 12 && std::memcmp(s, "Adobe", 5) == 0)
            {
                d.adobeTransform = s[11];
            }
            break;
        default:
            break; // APPn, COM, DNL and the rest carry nothing the samples depend on
        }
        if (rc != 0)
        {
            return rc;
        }
    }
    if (!d.sawFrame)
    {
        return kNoFrame;
    }
    if (!d.sawScan)
    {
        return kNoScan;
    }
    const Frame& f = d.frame;
    for (int i = 0; i < f.componentCount; ++i)
    {
        d.damaged = d.damaged || !f.components[static_cast<std::size_t>(i)].decoded;
    }
    const bool ycbcr = IsYCbCr(d, declared);
    switch (ContainerBytes(result.actual.bitsAllocated))
    {
    case 1:
        WriteOutput<std::uint8_t>(f, ycbcr, out);
        break;
    case 2:
        WriteOutput<std::uint16_t>(f, ycbcr, out);
        break;
    default:
        WriteOutput<std::uint32_t>(f, ycbcr, out);
        break;
    }
    return 0;
}

} // namespace

DecodeResult DecodeJpegExtended(ByteView frame, const FrameGeometry& declared, const DecodeLimits& limits,
                                std::span<std::uint8_t> out) noexcept
{
    DecodeResult result;
    try
    {
        // The decoder's tables are some 10 KB: on the heap, so that decoding on many threads needs no large stacks.
        auto d = std::make_unique<Decoder>();
        d->data = frame;
        const int rc = Decode(*d, declared, limits, out, result);
        if (rc != 0)
        {
            if (result.status != DecodeStatus::Unsupported)
            {
                result.status = DecodeStatus::Corrupt;
            }
            result.detail = rc;
            return result;
        }
        result.status = d->damaged ? DecodeStatus::DecodedWithWarning : DecodeStatus::Decoded;
        result.detail = d->damaged ? kEntropyDamaged : 0;
        return result;
    }
    catch (const std::bad_alloc&)
    {
        result.status = DecodeStatus::OutOfMemory;
        result.detail = kOutOfMemory;
        return result;
    }
}

} // namespace orblane
