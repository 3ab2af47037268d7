#include "imaging/DecodedFrame.h"

#include "imaging/CImageData.h"
#include "imaging/ImageLimits.h"
#include "imaging/LosslessJpeg.h"
#include "imaging/ParallelRows.h"
#include "imaging/codecs/Codecs.h"
#include "imaging/codecs/TransferSyntaxTable.h"
#include "platform/AtomicWait.h"
#include "platform/LargeBuffer.h"
#include "platform/MappedReadGuard.h"
#include "platform/Saturate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

namespace orblane {
namespace {

// An owned buffer for decoded samples, left uninitialised: the codec writes what it decodes and zeroes the rest.
struct SampleBuffer
{
    platform::LargeArray<std::uint8_t> bytes;
    std::size_t size = 0;

    bool Allocate(std::uint64_t wanted) noexcept
    {
        if (wanted > static_cast<std::uint64_t>(SIZE_MAX))
        {
            return false;
        }
        size = static_cast<std::size_t>(wanted);
        bytes = platform::MakeLargeArray<std::uint8_t>(size);
        if (bytes == nullptr)
        {
            size = 0;
            return false;
        }
        return true;
    }
};

// The samples of a frame as the fill reads them: whole containers, native-endian, rows top first.
struct Samples
{
    ByteView bytes;
    FrameGeometry geometry;
    // Native data only: how far the stored bits sit above bit 0 of their container (High Bit).
    unsigned shift = 0;
};

// Runs a read of source bytes under this thread's own guard; answers whether the medium failed under it. Every part
// of a split read holds its own, and the caller looks at the flags after the join: a jump never crosses a thread.
template <class Read> bool ReadFaulted(ByteView region, Read&& read) noexcept
{
    return platform::GuardMappedRead(region, read) == platform::MappedRead::Faulted;
}

// The bytes a description's views may reach (planes, the whole pixel value, LUT data): where a fault is the medium's.
ByteView SourceRegion(const PixelDescription& d) noexcept
{
    const std::uint8_t* begin = nullptr;
    const std::uint8_t* end = nullptr;
    const auto take = [&](ByteView view) noexcept {
        if (view.data() == nullptr || view.empty())
        {
            return;
        }
        begin = begin == nullptr ? view.data() : std::min(begin, view.data());
        end = end == nullptr ? view.data() + view.size() : std::max(end, view.data() + view.size());
    };
    for (const ByteView plane : d.planes)
    {
        take(plane);
    }
    take(d.pixelDataValue);
    take(d.modalityLut.data);
    take(d.voiLut.data);
    for (const LutView& colour : d.palette)
    {
        take(colour.data);
    }
    return begin == nullptr ? ByteView{} : ByteView(begin, static_cast<std::size_t>(end - begin));
}

void ComputeValueRange(DecodedFrame& f) noexcept
{
    const PixelDescription& d = f.description;
    f.scale = KeepsStoredValues(d) ? ValueScale{d.rescaleSlope, d.rescaleIntercept} : ValueScale{};
    const unsigned bits = d.bitsStored;
    if (d.hasModalityLut && !f.modalityLut.Empty())
    {
        const auto [low, high] = std::minmax_element(f.modalityLut.entries.begin(), f.modalityLut.entries.end());
        f.valueMin = *low;
        f.valueMax = *high;
        return;
    }
    if (d.pixelRepresentation == 1)
    {
        // A Modality LUT without entries, like kept stored values, leaves the samples as they are.
        const bool asStored = d.hasModalityLut || !f.scale.Identity();
        const double slope = asStored ? 1.0 : d.rescaleSlope;
        const double intercept = asStored ? 0.0 : d.rescaleIntercept;
        const double half = bits == 0 ? 0.5 : std::ldexp(1.0, static_cast<int>(bits) - 1);
        f.valueMin = TruncToInt32(-half * slope + intercept);
        f.valueMax = TruncToInt32(half * slope + intercept);
    }
    else
    {
        f.valueMin = f.ToDisplayValue(0);
        const std::uint64_t top = (std::uint64_t{1} << std::min(bits, 32u)) - 1;
        f.valueMax = f.ToDisplayValue(static_cast<std::uint32_t>(std::min<std::uint64_t>(top, 0xFFFFFFFFu)));
    }
    if (f.valueMin > f.valueMax)
    {
        std::swap(f.valueMin, f.valueMax);
    }
}

// Fast path for whole 8-, 16- and 32-bit containers: one load per sample, missing samples 0.
template <typename Word, typename Convert>
void ReadWholeWords(ByteView plane, std::size_t count, unsigned shift, std::uint32_t mask, std::int32_t* out,
                    Convert convert) noexcept
{
    const std::size_t available = std::min(count, plane.size() / sizeof(Word));
    const std::uint8_t* source = plane.data();
    for (std::size_t k = 0; k < available; ++k)
    {
        Word word;
        std::memcpy(&word, source + k * sizeof(Word), sizeof(Word));
        out[k] = convert((static_cast<std::uint32_t>(word) >> shift) & mask);
    }
    const std::int32_t zero = convert(0);
    std::fill(out + available, out + count, zero);
}

// Where the modality table is the stored sample plus a constant (no rescale, or an integer intercept with slope 1:
// most radiographs, many CTs), a pixel needs no table load: the loop runs on whole vectors (GCC: the dynamic cost
// model, set for this file in CMakeLists.txt).
template <std::size_t Width>
void FillShifted(const std::uint8_t* source, std::int32_t* out, std::size_t begin, std::size_t end, std::int32_t offset,
                 unsigned shift, std::uint32_t tableMask, std::int32_t& lowOut, std::int32_t& highOut) noexcept
{
    using Sample = std::conditional_t<Width == 1, std::uint8_t, std::uint16_t>;
    std::int32_t low = offset;
    std::int32_t high = offset;
    for (std::size_t k = begin; k < end; ++k)
    {
        Sample sample;
        std::memcpy(&sample, source + k * Width, Width);
        if constexpr (Width == 2 && std::endian::native == std::endian::big)
        {
            sample = static_cast<Sample>((sample >> 8) | (sample << 8)); // the decoders write little-endian samples
        }
        const std::int32_t value =
            static_cast<std::int32_t>((static_cast<std::uint32_t>(sample) >> shift) & tableMask) + offset;
        low = std::min(low, value);
        high = std::max(high, value);
        out[k] = value;
    }
    lowOut = low;
    highOut = high;
}

// One stretch of the hot monochrome fill: samples of `Width` bytes (little-endian) through the modality table, with
// the range of the values written. Everything arrives by value and the range lives in locals until the end: a stored
// value cannot alias them, so they stay in registers (through references, every store sent them back to memory, and
// the loop ran at the speed of that round trip). `shifted` says the table is table[0] + sample throughout.
template <std::size_t Width>
void FillThroughTable(const std::uint8_t* source, std::int32_t* out, std::size_t begin, std::size_t end,
                      const std::int32_t* table, bool shifted, unsigned shift, std::uint32_t tableMask,
                      std::int32_t& lowOut, std::int32_t& highOut) noexcept
{
    if (shifted)
    {
        FillShifted<Width>(source, out, begin, end, table[0], shift, tableMask, lowOut, highOut);
        return;
    }
    std::int32_t low = table[0];
    std::int32_t high = table[0];
    for (std::size_t k = begin; k < end; ++k)
    {
        std::uint32_t sample = source[k * Width];
        if constexpr (Width == 2)
        {
            sample |= static_cast<std::uint32_t>(source[k * 2 + 1]) << 8;
        }
        const std::int32_t value = table[(sample >> shift) & tableMask];
        low = std::min(low, value);
        high = std::max(high, value);
        out[k] = value;
    }
    lowOut = low;
    highOut = high;
}

// Whether every entry the mask can reach is table[0] plus its index (checked once a frame: a few microseconds
// against the fill of at least as many pixels).
bool IsShiftedTable(const std::int32_t* table, std::uint32_t tableMask) noexcept
{
    const std::int64_t first = table[0];
    for (std::uint32_t s = 1; s <= tableMask; ++s)
    {
        if (table[s] != first + s)
        {
            return false;
        }
    }
    return true;
}

// Up to 16 stored bits, every possible sample gets its modality value once; a pixel is then one table load. An
// image with fewer pixels than the table has entries converts each pixel instead (null): a file of many tiny images
// would otherwise cost a full table per image.
std::unique_ptr<std::int32_t[]> MakeModalityTable(const DecodedFrame& f) noexcept
{
    const unsigned bits = f.description.bitsStored;
    const std::size_t tableSize = bits <= 16 ? std::size_t{1} << bits : 0;
    std::unique_ptr<std::int32_t[]> modality;
    if (tableSize != 0 && f.valueCount >= tableSize)
    {
        modality.reset(new (std::nothrow) std::int32_t[tableSize]);
        for (std::size_t s = 0; modality && s < tableSize; ++s)
        {
            modality[s] = f.ToDisplayValue(static_cast<std::uint32_t>(s));
        }
    }
    return modality;
}

// The leading values already filled while the frame was decoding, and their range.
struct FilledAhead
{
    std::size_t count = 0;
    std::int32_t low = 0;
    std::int32_t high = 0;
};

// Fills values behind a decoder that publishes how far its output is final (DecodeLimits::finalBytes): a pool worker
// converts each stretch as it becomes final, so that most of the fill is done on the second core while the first is
// still decoding. The decoding thread ends the watch when the decoder returns, then fills whatever is left. Shared by
// that thread and the job; the job touches the rest of what it was given only after claiming the work.
struct FillBehindDecoder
{
    static constexpr std::size_t kEnded = static_cast<std::size_t>(-1);
    std::atomic<std::size_t> finalBytes{0};
    detail::RowHalf work;
    FilledAhead filled;

    // On the worker: converts final samples until the decode ends.
    template <typename Fill>
    void Run(Fill fill, std::size_t sampleBytes, std::size_t available, std::int32_t first) noexcept
    {
        std::int32_t low = first;
        std::int32_t high = first;
        std::size_t done = 0;
        for (std::size_t bytes = finalBytes.load(std::memory_order_acquire); bytes != kEnded;
             bytes = finalBytes.load(std::memory_order_acquire))
        {
            const std::size_t ready = std::min(bytes / sampleBytes, available);
            if (ready > done)
            {
                std::int32_t stretchLow = first;
                std::int32_t stretchHigh = first;
                fill(done, ready, stretchLow, stretchHigh);
                low = std::min(low, stretchLow);
                high = std::max(high, stretchHigh);
                done = ready;
                continue;
            }
            platform::WaitWhileEqual(finalBytes, bytes);
        }
        filled = {done, low, high};
    }

    // On the decoding thread, once the decoder has returned: answers what the worker filled (nothing when it never
    // started, and then it never will).
    FilledAhead End() noexcept
    {
        finalBytes.store(kEnded, std::memory_order_release);
        platform::WakeAllWaiting(finalBytes);
        if (work.Claim())
        {
            return {};
        }
        int seen = work.state.load(std::memory_order_acquire);
        while (seen != detail::RowHalf::kDone)
        {
            platform::WaitWhileEqual(work.state, seen);
            seen = work.state.load(std::memory_order_acquire);
        }
        return filled;
    }
};

// `modality`: the table from MakeModalityTable when the caller made it already; `ahead`: values filled during the
// decode, from the first on. Answers whether the medium failed under the read of the samples (they may lie in the
// mapping); each thread of a split fill guards its own half.
[[nodiscard]] bool FillMonochromeValues(DecodedFrame& f, const Samples& samples,
                                        std::unique_ptr<std::int32_t[]> modality = nullptr,
                                        FilledAhead ahead = {}) noexcept
{
    const PixelDescription& d = f.description;
    const std::size_t count = f.valueCount;
    const unsigned allocated = static_cast<unsigned>(ContainerBytes(samples.geometry.bitsAllocated) * 8);
    const unsigned stored = std::min<unsigned>(d.bitsStored, allocated);
    const std::uint64_t containerOnes = allocated == 8 ? 0xFFu : allocated == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    const auto mask = static_cast<std::uint32_t>(containerOnes >> (allocated - stored));
    std::int32_t* out = f.values.get();
    const ByteView plane = samples.bytes;
    const unsigned shift = std::min(samples.shift, allocated - 1);

    const std::size_t tableSize = d.bitsStored <= 16 ? std::size_t{1} << d.bitsStored : 0;
    if (modality == nullptr)
    {
        modality = MakeModalityTable(f);
    }
    if (modality && (allocated == 8 || allocated == 16))
    {
        // The hot case (every CT, MR and radiograph): one load, one mask, one table load per pixel, with the range
        // of the values found on the way.
        const std::int32_t* table = modality.get();
        const std::uint32_t tableMask = static_cast<std::uint32_t>(tableSize - 1) & mask;
        const std::uint8_t* source = plane.data();
        const std::size_t available = std::min(count, plane.size() / (allocated / 8));
        const auto fillRun = allocated == 8 ? FillThroughTable<1> : FillThroughTable<2>;
        const bool shifted = IsShiftedTable(table, tableMask);
        // One half of a large image on a second thread; each half finds the range of its own values.
        const auto fill = [=](std::size_t begin, std::size_t end, std::int32_t& low, std::int32_t& high) noexcept {
            fillRun(source, out, begin, end, table, shifted, shift, tableMask, low, high);
        };
        const std::size_t start = std::min(ahead.count, available);
        std::int32_t low = table[0];
        std::int32_t high = table[0];
        std::int32_t otherLow = table[0];
        std::int32_t otherHigh = table[0];
        const std::size_t rest = available - start;
        const std::size_t split = rest >= kParallelRepaintPixels ? start + rest / 2 : available;
        // One flag a half, each written by the thread that ran it and read after the join.
        bool faulted[2] = {false, false};
        ForRowsInParallel(split < available ? 2 : 1, rest, [&](int first, int end) noexcept {
            if (first == 0 && end == 2)
            {
                faulted[0] = ReadFaulted(plane, [&] { fill(start, available, low, high); });
            }
            else if (first == 0)
            {
                faulted[0] = ReadFaulted(plane, [&] { fill(start, split, low, high); });
            }
            else
            {
                faulted[1] = ReadFaulted(plane, [&] { fill(split, available, otherLow, otherHigh); });
            }
        });
        if (faulted[0] || faulted[1])
        {
            return true;
        }
        low = std::min(low, otherLow);
        high = std::max(high, otherHigh);
        if (start != 0)
        {
            low = std::min(low, ahead.low);
            high = std::max(high, ahead.high);
        }
        // Samples the value does not hold read as 0.
        std::fill(out + available, out + count, table[0]);
        f.presentMin = low;
        f.presentMax = high;
        return false;
    }
    const auto convert = [&](std::uint32_t sample) noexcept {
        return modality ? modality[sample & (tableSize - 1)] : f.ToDisplayValue(sample);
    };
    const bool faulted = ReadFaulted(plane, [&] {
        if (allocated == 8)
        {
            ReadWholeWords<std::uint8_t>(plane, count, shift, mask, out, convert);
        }
        else if (allocated == 16)
        {
            ReadWholeWords<std::uint16_t>(plane, count, shift, mask, out, convert);
        }
        else
        {
            ReadWholeWords<std::uint32_t>(plane, count, shift, mask, out, convert);
        }
    });
    if (faulted)
    {
        return true;
    }
    const auto [low, high] = std::minmax_element(out, out + count);
    f.presentMin = count == 0 ? 0 : *low;
    f.presentMax = count == 0 ? 0 : *high;
    return false;
}

// Starts the worker that fills `f`'s values from `samples` (the decoder's output, `bitsAllocated` containers of at
// most 16 bits) as the decoder publishes them. Null when no job can be queued; the caller then fills afterwards.
std::shared_ptr<FillBehindDecoder> StartFillBehind(DecodedFrame& f, const std::int32_t* table, ByteView samples,
                                                   std::uint16_t bitsAllocated) noexcept
{
    // The parameters of the hot case of FillMonochromeValues, which fills whatever this leaves.
    const unsigned allocated = static_cast<unsigned>(ContainerBytes(bitsAllocated) * 8);
    const unsigned stored = std::min<unsigned>(f.description.bitsStored, allocated);
    const std::uint32_t mask = (allocated == 8 ? 0xFFu : 0xFFFFu) >> (allocated - stored);
    const auto tableMask = static_cast<std::uint32_t>((std::size_t{1} << f.description.bitsStored) - 1) & mask;
    const std::size_t sampleBytes = allocated / 8;
    const std::size_t available = std::min(f.valueCount, samples.size() / sampleBytes);
    const auto fillRun = allocated == 8 ? FillThroughTable<1> : FillThroughTable<2>;
    std::shared_ptr<FillBehindDecoder> behind;
    try
    {
        behind = std::make_shared<FillBehindDecoder>();
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    const std::uint8_t* source = samples.data();
    std::int32_t* out = f.values.get();
    const bool shifted = IsShiftedTable(table, tableMask);
    const auto fill = [=](std::size_t begin, std::size_t end, std::int32_t& low, std::int32_t& high) noexcept {
        fillRun(source, out, begin, end, table, shifted, 0, tableMask, low, high);
    };
    const bool queued = SharedThreadPool().Submit(
        [behind, fill, sampleBytes, available, first = table[0]]() noexcept {
            if (behind->work.Claim())
            {
                behind->Run(fill, sampleBytes, available, first);
                behind->work.Finish();
            }
        },
        true);
    return queued ? behind : nullptr;
}

// A colour decode of an image labelled monochrome: its green channel carries the grey (8-bit samples).
void FillValuesFromGreen(DecodedFrame& f, const Samples& samples) noexcept
{
    const std::size_t count = f.valueCount;
    const std::size_t available = std::min(count, samples.bytes.size() / 3);
    for (std::size_t k = 0; k < available; ++k)
    {
        f.values[k] = f.ToDisplayValue(samples.bytes[3 * k + 1]);
    }
    std::fill(f.values.get() + available, f.values.get() + count, f.ToDisplayValue(0));
    const auto [low, high] = std::minmax_element(f.values.get(), f.values.get() + count);
    f.presentMin = count == 0 ? 0 : *low;
    f.presentMax = count == 0 ? 0 : *high;
}

template <typename Word> std::uint32_t LoadSample(const std::uint8_t* p) noexcept
{
    Word word;
    std::memcpy(&word, p, sizeof(Word));
    return word;
}

// `biased`: samples stored signed are shifted by 127 (native interleaved or planar data only); `black`: a colour
// model the display does not convert gives black pixels rather than guessed colours.
void FillColourPixels(DecodedFrame& f, const Samples& samples, bool biased, bool black) noexcept
{
    const PixelDescription& d = f.description;
    const FrameGeometry& g = samples.geometry;
    const int columns = f.width;
    const int rows = f.height;
    const std::size_t container = ContainerBytes(g.bitsAllocated);
    const std::size_t spp = g.samplesPerPixel == 0 ? 1 : g.samplesPerPixel;
    const unsigned allocated = static_cast<unsigned>(container * 8);
    const unsigned stored = std::min<unsigned>(d.bitsStored, allocated);
    const std::uint64_t containerOnes = allocated == 8 ? 0xFFu : allocated == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    const auto mask = static_cast<std::uint32_t>(containerOnes >> (allocated - stored));
    const std::uint32_t bias = biased && d.pixelRepresentation == 1 ? 127u : 0u;
    const ByteView bytes = samples.bytes;
    const unsigned shift = std::min(samples.shift, allocated - 1);
    // Samples deeper than 8 bits are shown by their top 8.
    const unsigned toEight = stored > 8 ? stored - 8 : 0;
    // Sample s of pixel k, 0 where the data ends.
    const auto read = [&](std::size_t k, std::size_t s) noexcept -> std::uint32_t {
        const std::size_t index = k * spp + std::min(s, spp - 1);
        if (index >= bytes.size() / container)
        {
            return 0;
        }
        const std::uint8_t* p = bytes.data() + index * container;
        const std::uint32_t word = container == 1   ? p[0]
                                   : container == 2 ? LoadSample<std::uint16_t>(p)
                                                    : LoadSample<std::uint32_t>(p);
        return ((word >> shift) & mask) >> toEight;
    };
    const bool ybr = g.colour == SampleColour::YbrFull || g.colour == SampleColour::YbrPartial;
    if (container == 1 && spp == 3 && !ybr && !black && bias == 0 && shift == 0 && mask == 0xFFu)
    {
        // The common case (every colour JPEG, 8-bit RGB data): three bytes a pixel, no per-sample rules.
        const std::size_t available = bytes.size() / 3;
        for (int row = 0; row < rows; ++row)
        {
            std::uint32_t* out = f.colour.Pixels32(row);
            const std::size_t first = static_cast<std::size_t>(row) * static_cast<std::size_t>(columns);
            const int whole = static_cast<int>(
                std::min<std::size_t>(static_cast<std::size_t>(columns), available > first ? available - first : 0));
            const std::uint8_t* in = bytes.data() + first * 3;
            for (int column = 0; column < whole; ++column)
            {
                out[column] = MakeDisplayPixel(in[3 * column], in[3 * column + 1], in[3 * column + 2]);
            }
            std::fill(out + whole, out + columns, MakeDisplayPixel(0, 0, 0));
        }
        return;
    }
    for (int row = 0; row < rows; ++row)
    {
        std::uint32_t* out = f.colour.Pixels32(row);
        for (int column = 0; column < columns; ++column)
        {
            const std::size_t k =
                static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(column);
            const std::uint32_t a = read(k, 0) + bias;
            const std::uint32_t b = read(k, 1) + bias;
            const std::uint32_t c = read(k, 2) + bias;
            if (black)
            {
                out[column] = MakeDisplayPixel(0, 0, 0);
            }
            else if (ybr)
            {
                out[column] = CImageData::YbrToRgb(static_cast<int>(a & 0xFFu), static_cast<int>(b & 0xFFu),
                                                   static_cast<int>(c & 0xFFu));
            }
            else
            {
                out[column] = MakeDisplayPixel(a, b, c);
            }
        }
    }
}

// PALETTE COLOR (PS3.3 C.7.6.3.1.5): every possible index is looked up once in the three LUTs, then a pixel is one
// table load. Entries deeper than 8 bits are shown by their top 8. `table` holds 2^bitsStored entries.
void FillPalettePixels(DecodedFrame& f, const Samples& samples, const std::array<Lut, 3>& luts,
                       std::vector<std::uint32_t>& table) noexcept
{
    const PixelDescription& d = f.description;
    const std::size_t container = ContainerBytes(samples.geometry.bitsAllocated);
    const unsigned allocated = static_cast<unsigned>(container * 8);
    const unsigned stored = std::min<unsigned>(d.bitsStored, allocated);
    const std::uint64_t containerOnes = allocated == 8 ? 0xFFu : allocated == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    const auto mask = static_cast<std::uint32_t>(containerOnes >> (allocated - stored));
    const unsigned shift = std::min(samples.shift, allocated - 1);
    const auto channel = [&](std::size_t c, std::int64_t index) noexcept {
        const unsigned bits = luts[c].bitsPerEntry;
        return static_cast<std::uint32_t>(luts[c].Lookup(index) >> (bits > 8 ? bits - 8 : 0));
    };
    for (std::size_t s = 0; s < table.size(); ++s)
    {
        std::int64_t index = static_cast<std::int64_t>(s);
        if (d.pixelRepresentation == 1 && stored > 0 && ((s >> (stored - 1)) & 1u) != 0)
        {
            index -= std::int64_t{1} << stored;
        }
        table[s] = MakeDisplayPixel(channel(0, index), channel(1, index), channel(2, index));
    }
    const ByteView bytes = samples.bytes;
    const std::size_t available = bytes.size() / container;
    const std::uint32_t tableMask = static_cast<std::uint32_t>(table.size() - 1) & mask;
    for (int row = 0; row < f.height; ++row)
    {
        std::uint32_t* out = f.colour.Pixels32(row);
        const std::size_t first = static_cast<std::size_t>(row) * static_cast<std::size_t>(f.width);
        for (int column = 0; column < f.width; ++column)
        {
            const std::size_t k = first + static_cast<std::size_t>(column);
            std::uint32_t word = 0;
            if (k < available)
            {
                const std::uint8_t* p = bytes.data() + k * container;
                word = container == 1   ? p[0]
                       : container == 2 ? LoadSample<std::uint16_t>(p)
                                        : LoadSample<std::uint32_t>(p);
            }
            out[column] = table[(word >> shift) & tableMask];
        }
    }
}

bool IsJpeg2000(TransferSyntaxKind kind) noexcept
{
    return kind == TransferSyntaxKind::Jpeg2000Lossless || kind == TransferSyntaxKind::Jpeg2000 ||
           kind == TransferSyntaxKind::Htj2kLossless || kind == TransferSyntaxKind::Htj2kLosslessRpcl ||
           kind == TransferSyntaxKind::Htj2k;
}

// The colour model of the stored samples, as the codecs are told.
SampleColour DeclaredColour(PhotometricKind photometric) noexcept
{
    switch (photometric)
    {
    case PhotometricKind::Rgb:
    case PhotometricKind::YbrRct: // what the codec gives once it has undone its stream's transform
    case PhotometricKind::YbrIct:
        return SampleColour::Rgb;
    case PhotometricKind::YbrFull:
    case PhotometricKind::YbrFull422:
        return SampleColour::YbrFull;
    default:
        return SampleColour::Grey;
    }
}

// Native samples that already are in the output layout need no decoding: the fill reads them in the mapping.
bool ReadsInPlace(const PixelDescription& d, const FrameGeometry& g) noexcept
{
    return std::endian::native == std::endian::little && !g.planar && !g.chromaHalfWidth &&
           (d.bitsAllocated == 8 || d.bitsAllocated == 16 || d.bitsAllocated == 32) && !d.HasPlane(1) && !d.HasPlane(2);
}

// A colour frame whose codec writes display pixels itself goes straight into the bitmap. The stream's size rules over
// Rows and Columns, as on the sample path; a declared size the stream cannot have is not allocated on trust: the
// codec's answer (its header) sizes the bitmap instead.
DecodeResult DecodeIntoBitmap(const TransferSyntaxEntry& syntax, ByteView stream, const DecodeLimits& limits,
                              FrameGeometry size, DisplayBitmap& bitmap) noexcept
{
    DecodeResult failed;
    if (std::uint64_t{size.rows} * size.columns > limits.maxPixels)
    {
        size.rows = size.columns = 0;
    }
    const SampleColour declaredColour = size.colour;
    // Twice at most: the declared size, then the stream's own.
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        DisplayPixelsOut out;
        if (size.rows != 0 && size.columns != 0)
        {
            if (std::uint64_t{size.rows} * size.columns > kMaxImagePixels)
            {
                failed.status = DecodeStatus::Unsupported;
                failed.reason = "image too large";
                return failed;
            }
            if (!bitmap.Create(size.columns, size.rows, 32))
            {
                failed.status = DecodeStatus::OutOfMemory;
                return failed;
            }
            out = {bitmap.Bits(), bitmap.Stride(), size.rows, size.columns};
        }
        const DecodeResult result = syntax.decodeToDisplay(stream, declaredColour, limits, out);
        if (result.status != DecodeStatus::OutputTooSmall)
        {
            return result;
        }
        size = result.actual;
    }
    return failed;
}

} // namespace

std::int32_t DecodedFrame::ToDisplayValue(std::uint32_t sample) const noexcept
{
    if (!scale.Identity())
    {
        // Kept stored values have at most 31 bits, so the signed sample fits.
        const unsigned bits = description.bitsStored;
        std::int64_t value = sample & ((std::uint64_t{1} << bits) - 1);
        if (description.pixelRepresentation == 1 && ((value >> (bits - 1)) & 1) != 0)
        {
            value -= std::int64_t{1} << bits;
        }
        return static_cast<std::int32_t>(value);
    }
    return ModalityValueOf(description, sample, &modalityLut);
}

bool KeepsStoredValues(const PixelDescription& d) noexcept
{
    const double slope = d.rescaleSlope;
    const double intercept = d.rescaleIntercept;
    if (d.hasModalityLut || !IsMonochrome(d.photometric) || d.bitsStored == 0 || d.bitsStored > 31 ||
        !std::isfinite(slope) || !std::isfinite(intercept) || slope == 0.0)
    {
        return false;
    }
    if (slope != std::trunc(slope))
    {
        return true;
    }
    // A whole slope keeps every stored value apart unless the rescale runs past the 32-bit range.
    const double low = d.pixelRepresentation == 1 ? -std::ldexp(1.0, static_cast<int>(d.bitsStored) - 1) : 0.0;
    const double high = d.pixelRepresentation == 1 ? std::ldexp(1.0, static_cast<int>(d.bitsStored) - 1) - 1.0
                                                   : std::ldexp(1.0, static_cast<int>(d.bitsStored)) - 1.0;
    const double a = low * slope + intercept;
    const double b = high * slope + intercept;
    constexpr double kLowest = -2147483648.0;
    constexpr double kHighest = 2147483647.0;
    return std::min(a, b) < kLowest || std::max(a, b) > kHighest;
}

std::int32_t ModalityValueOf(const PixelDescription& d, std::uint32_t sample, const Lut* modalityLut) noexcept
{
    const unsigned bits = d.bitsStored;
    std::int64_t value = sample;
    if (d.pixelRepresentation == 1 && bits > 0 && bits <= 32 && ((value >> (bits - 1)) & 1) != 0)
    {
        value -= std::int64_t{1} << bits;
    }
    if (d.hasModalityLut)
    {
        if (modalityLut != nullptr && !modalityLut->Empty())
        {
            return modalityLut->Lookup(value);
        }
        return ClampToInt32(value);
    }
    // Not clamped to the stored range: a slope above 1 (MR, PET) gives values the stored bits cannot hold.
    return TruncToInt32(static_cast<double>(value) * d.rescaleSlope + d.rescaleIntercept);
}

unsigned StoredBitsShift(const PixelDescription& d) noexcept
{
    const unsigned container = static_cast<unsigned>(ContainerBytes(d.bitsAllocated) * 8);
    if (d.bitsStored == 0 || d.highBit + 1u < d.bitsStored || d.highBit >= container || d.highBit >= d.bitsAllocated)
    {
        return 0;
    }
    return d.highBit + 1u - d.bitsStored;
}

std::shared_ptr<const DecodedFrame> DecodeFrameOf(const PixelDescription& source, ErrorOutcome* error,
                                                  FrameOutcome* outcome, unsigned codecThreads) noexcept
{
    const auto fail = [&](FrameFailure failure, const char* reason = nullptr) -> std::shared_ptr<const DecodedFrame> {
        if (outcome != nullptr)
        {
            *outcome = {failure, reason};
        }
        return nullptr;
    };
    const auto outOfMemory = [&]() -> std::shared_ptr<const DecodedFrame> {
        if (error != nullptr)
        {
            *error = {ErrorCode::OutOfMemory, 0};
        }
        return fail(FrameFailure::OutOfMemory);
    };
    // What a codec's refusal means for the tile: its own words where it has them.
    const auto codecFailed = [&](const DecodeResult& result) -> std::shared_ptr<const DecodedFrame> {
        if (result.status == DecodeStatus::OutOfMemory)
        {
            return outOfMemory();
        }
        return fail(result.status == DecodeStatus::Unsupported ? FrameFailure::Unsupported : FrameFailure::Damaged,
                    result.reason);
    };
    if (outcome != nullptr)
    {
        *outcome = {};
    }
    if (source.rowCount == 0 || source.columnCount == 0)
    {
        return fail(FrameFailure::Damaged, "no rows or columns");
    }
    if (source.bitsAllocated == 0 || source.bitsAllocated > 32)
    {
        return fail(FrameFailure::Unsupported, "bits allocated");
    }
    const TransferSyntaxEntry* syntax = FindTransferSyntax(source.transferSyntax);
    if (syntax == nullptr || syntax->decode == nullptr)
    {
        return fail(FrameFailure::Unsupported);
    }
    // Where the source bytes lie (the mapping, mostly): every read of them below is guarded on its own thread.
    const ByteView region = SourceRegion(source);
    const auto faulted = [&region](auto&& read) noexcept { return ReadFaulted(region, read); };
    std::shared_ptr<DecodedFrame> frame;
    try
    {
        frame = std::make_shared<DecodedFrame>();
    }
    catch (const std::bad_alloc&)
    {
        return outOfMemory();
    }
    DecodedFrame& f = *frame;
    f.description = source;
    PixelDescription& d = f.description;
    d.bitsStored = std::min(d.bitsStored, d.bitsAllocated);
    if (d.aspectHorizontal <= 0 || d.aspectVertical <= 0)
    {
        d.aspectHorizontal = 1;
        d.aspectVertical = 1;
    }
    f.hadPlane0 = d.HasPlane(0);
    const bool monochrome = f.IsMonochrome();
    const bool palette = d.photometric == PhotometricKind::PaletteColour;
    std::array<Lut, 3> paletteLuts;
    std::vector<std::uint32_t> paletteTable;
    // A palette image without its three LUTs (or with only segmented ones, which are not expanded here) is refused
    // rather than drawn in made-up colours; so are indices deeper than a LUT can address.
    if (palette && (d.bitsStored == 0 || d.bitsStored > 16))
    {
        return fail(FrameFailure::Unsupported, "palette index depth");
    }
    bool lutsCopied = false;
    // The LUT data lies in the mapping: copied under the guard (a fault may leak a half-grown table, nothing worse).
    const bool lutFault = faulted([&] {
        try
        {
            if (monochrome)
            {
                f.modalityLut = d.hasModalityLut ? CopyLut(d.modalityLut) : Lut{};
                f.voiLut = CopyLut(d.voiLut);
            }
            for (std::size_t c = 0; palette && c < 3; ++c)
            {
                paletteLuts[c] = CopyLut(d.palette[c]);
            }
            lutsCopied = true;
        }
        catch (const std::bad_alloc&)
        {
        }
    });
    if (lutFault)
    {
        return fail(FrameFailure::ReadFault);
    }
    if (!lutsCopied)
    {
        return outOfMemory();
    }
    if (palette)
    {
        for (const Lut& lut : paletteLuts)
        {
            if (lut.Empty())
            {
                return fail(FrameFailure::Unsupported, "no palette");
            }
        }
        try
        {
            paletteTable.resize(std::size_t{1} << d.bitsStored);
        }
        catch (const std::bad_alloc&)
        {
            return outOfMemory();
        }
    }
    if (d.hasModalityLut && f.modalityLut.Empty())
    {
        // A Modality LUT Sequence without usable entries: the stored values stand as they are.
        d.hasModalityLut = false;
        d.rescaleSlope = 1.0;
        d.rescaleIntercept = 0.0;
    }
    ComputeValueRange(f);

    FrameGeometry declared;
    declared.rows = d.rowCount;
    declared.columns = d.columnCount;
    declared.samplesPerPixel = monochrome || palette ? 1 : 3;
    declared.bitsAllocated = d.bitsAllocated;
    declared.bitsStored = d.bitsStored;
    declared.isSigned = d.pixelRepresentation == 1;
    declared.colour = DeclaredColour(d.photometric);
    declared.planar = !monochrome && d.planarConfiguration != 0;
    declared.chromaHalfWidth = !syntax->encapsulated && d.photometric == PhotometricKind::YbrFull422;
    declared.firstBit = d.firstBit;
    const std::uint64_t declaredPixels = std::uint64_t{d.columnCount} * d.rowCount;
    // Native data keeps every bit up to High Bit through the sample reader; the fill shifts the stored bits down.
    const unsigned shift = syntax->encapsulated ? 0 : StoredBitsShift(d);
    declared.bitsStored = static_cast<std::uint16_t>(d.bitsStored + shift);

    // A colour model the display does not convert gives black pixels rather than guessed colours.
    const bool black =
        d.photometric == PhotometricKind::OtherPhotometric && syntax->kind != TransferSyntaxKind::JpegBaseline;

    // Big-endian native data is read from an owned copy in little-endian order; every other native value in place.
    std::array<std::vector<std::uint8_t>, 4> swappedPlanes;
    if (!syntax->encapsulated && d.swapWordBytes > 1)
    {
        const ByteView whole = d.pixelDataValue;
        for (std::size_t p = 0; p < d.planes.size(); ++p)
        {
            const ByteView plane = d.planes[p];
            if (plane.empty())
            {
                continue;
            }
            const auto at = reinterpret_cast<std::uintptr_t>(plane.data());
            const auto from = reinterpret_cast<std::uintptr_t>(whole.data());
            const bool inside = whole.data() != nullptr && at >= from && at - from <= whole.size() &&
                                plane.size() <= whole.size() - (at - from);
            try
            {
                swappedPlanes[p].resize(plane.size());
            }
            catch (const std::bad_alloc&)
            {
                return outOfMemory();
            }
            std::vector<std::uint8_t>& swapped = swappedPlanes[p];
            if (faulted([&] {
                    SwapWordsToLittleEndian(inside ? whole : plane, inside ? at - from : 0, d.swapWordBytes, swapped);
                }))
            {
                return fail(FrameFailure::ReadFault);
            }
            d.planes[p] = swappedPlanes[p];
        }
    }
    Samples samples{d.planes[0], declared, shift};
    bool separatePlanes = false;
    SampleBuffer buffer;
    // A compressed frame is copied out of the mapping, under the guard, before a codec reads it: a fault must never
    // jump out of a codec, which would be left with its memory and its state (a library's, or a thread it waits
    // for). Beside the decode the copy is small.
    SampleBuffer streamCopy;
    ByteView stream;
    if (syntax->encapsulated)
    {
        const ByteView stored = d.planes[0];
        if (!stored.empty() && !streamCopy.Allocate(stored.size()))
        {
            return outOfMemory();
        }
        if (!stored.empty() && faulted([&] { std::memcpy(streamCopy.bytes.get(), stored.data(), stored.size()); }))
        {
            return fail(FrameFailure::ReadFault);
        }
        stream = ByteView(streamCopy.bytes.get(), streamCopy.size);
    }
    std::unique_ptr<std::int32_t[]> modality;
    FilledAhead ahead;
    if (!syntax->encapsulated)
    {
        // One sample a pixel is the least any photometric needs, so this bound never refuses a complete image.
        std::uint64_t heldBits = 0;
        for (const ByteView plane : d.planes)
        {
            heldBits += static_cast<std::uint64_t>(plane.size()) * 8;
        }
        if (declaredPixels > kMaxImagePixels)
        {
            return fail(FrameFailure::Unsupported, "image too large");
        }
        if (declaredPixels > heldBits / d.bitsAllocated * kMinPixelDataShare)
        {
            return fail(FrameFailure::Damaged);
        }
        if (!ReadsInPlace(d, declared))
        {
            ByteView frameBytes = d.planes[0];
            std::vector<std::uint8_t> joined;
            if (d.photometric == PhotometricKind::YbrFull && (d.HasPlane(1) || d.HasPlane(2)))
            {
                // Colour samples in one Pixel Data element per component: laid end to end as planar data, each
                // component cut or padded to the image's size so that a short one reads as 0 where it ends.
                const std::size_t planeBytes = static_cast<std::size_t>((declaredPixels * d.bitsAllocated + 7) / 8);
                try
                {
                    joined.assign(planeBytes * 3, 0);
                }
                catch (const std::bad_alloc&)
                {
                    return outOfMemory();
                }
                const bool joinFault = faulted([&] {
                    for (std::size_t p = 0; p < 3; ++p)
                    {
                        const ByteView plane = d.planes[p];
                        if (!plane.empty())
                        {
                            std::memcpy(joined.data() + p * planeBytes, plane.data(),
                                        std::min(plane.size(), planeBytes));
                        }
                    }
                });
                if (joinFault)
                {
                    return fail(FrameFailure::ReadFault);
                }
                frameBytes = joined;
                declared.planar = true;
                separatePlanes = true;
            }
            if (!buffer.Allocate(FrameBytes(declared)))
            {
                return outOfMemory();
            }
            DecodeResult result;
            if (faulted([&] {
                    result = syntax->decode(frameBytes, declared, DecodeLimits{kMaxImagePixels},
                                            {buffer.bytes.get(), buffer.size});
                }))
            {
                return fail(FrameFailure::ReadFault);
            }
            if (!result.Ok())
            {
                return codecFailed(result);
            }
            samples = {ByteView(buffer.bytes.get(), buffer.size), result.actual, shift};
        }
    }
    else if (syntax->decodeToDisplay != nullptr && !monochrome && !palette && !black && d.bitsStored >= 8)
    {
        // Below 8 stored bits the sample path masks the samples, so only whole bytes take the shortcut.
        const DecodeLimits limits{MaxPixelsForStream(stream.size(), syntax->pixelsPerByte)};
        const DecodeResult result = DecodeIntoBitmap(*syntax, stream, limits, declared, f.colour);
        if (!result.Ok())
        {
            return codecFailed(result);
        }
        f.width = f.colour.Width();
        f.height = f.colour.Height();
        d.ForgetFileViews();
        return frame;
    }
    else
    {
        DecodeLimits limits{MaxPixelsForStream(stream.size(), syntax->pixelsPerByte)};
        limits.threads = codecThreads;
        const bool lossless = syntax->kind == TransferSyntaxKind::JpegLossless ||
                              syntax->kind == TransferSyntaxKind::JpegLosslessAnyPredictor;
        if (lossless && declaredPixels > limits.maxPixels)
        {
            return fail(FrameFailure::Damaged, "stream too short for its size");
        }
        // Room for the declared image, and for a stream whose header disagrees a little with the data set: the
        // lossless decoder takes the data set's bits allocated in bytes per sample, as much as the stream can fill.
        std::uint64_t wanted = FrameBytes(declared);
        if (lossless)
        {
            // Colour: every component of a pixel, at most two bytes a sample.
            const std::uint64_t components = declared.samplesPerPixel;
            wanted = std::min<std::uint64_t>({declaredPixels * d.bitsAllocated, limits.maxPixels * 2 * components,
                                              static_cast<std::uint64_t>(INT32_MAX)});
            // A header that gives its line count says exactly what the decoder can write (its components, at most
            // the declared container a sample). Sized to that, the buffer is one the recycler keeps and hands back
            // for the next image; the bound above is several times the frame, a fresh mapping whose pages all fault.
            lossless::FrameHeader header;
            if (lossless::ReadLosslessFrameHeader(stream, &header) == lossless::kOk && header.lines != 0)
            {
                const std::uint64_t streamBytes = std::uint64_t{header.lines} * header.samplesPerLine *
                                                  header.componentCount * ContainerBytes(declared.bitsAllocated);
                wanted = std::min(wanted, std::max(FrameBytes(declared), streamBytes));
            }
        }
        else
        {
            // No stream gives more pixels than its length allows (the codecs refuse more): a data set that declares
            // more (fuzzing found 543 MB asked for by a few bytes) obtains room for what the stream could hold, and a
            // stream that agrees with it is refused as damaged.
            const std::uint64_t pixelBytes =
                std::max<std::uint64_t>(declared.samplesPerPixel, 1) * ContainerBytes(declared.bitsAllocated);
            wanted = std::min(wanted, std::max<std::uint64_t>(limits.maxPixels, 1) * pixelBytes);
        }
        if (!buffer.Allocate(wanted))
        {
            return outOfMemory();
        }
        // A large monochrome lossless frame is converted to values behind the decoder, as its lines become final.
        std::shared_ptr<FillBehindDecoder> behind;
        DecodeLimits watched = limits;
        if (lossless && monochrome && declaredPixels >= kParallelRepaintPixels && ContainerBytes(d.bitsAllocated) <= 2)
        {
            f.values = platform::MakeLargeArray<std::int32_t>(static_cast<std::size_t>(declaredPixels));
            if (f.values == nullptr)
            {
                return outOfMemory();
            }
            f.valueCount = static_cast<std::size_t>(declaredPixels);
            modality = MakeModalityTable(f);
            behind = modality ? StartFillBehind(f, modality.get(), ByteView(buffer.bytes.get(), buffer.size),
                                                declared.bitsAllocated)
                              : nullptr;
            if (behind)
            {
                watched.finalBytes = &behind->finalBytes;
            }
        }
        // The stream is the owned copy: nothing here can fault, so End() below is always reached and the worker
        // filling behind the decoder never waits for the rest forever.
        DecodeResult result = syntax->decode(stream, declared, watched, {buffer.bytes.get(), buffer.size});
        if (behind)
        {
            // Before anything else happens to the buffer: the worker reads it until it has been told to stop.
            ahead = behind->End();
        }
        if (result.status == DecodeStatus::OutputTooSmall &&
            std::uint64_t{result.actual.rows} * result.actual.columns <= limits.maxPixels)
        {
            ahead = {};
            if (!buffer.Allocate(FrameBytes(result.actual)))
            {
                return outOfMemory();
            }
            result = syntax->decode(stream, result.actual, limits, {buffer.bytes.get(), buffer.size});
        }
        if (!result.Ok())
        {
            return codecFailed(result);
        }
        samples = {ByteView(buffer.bytes.get(), buffer.size), result.actual, 0};
        if (lossless)
        {
            // The data set's rows and columns rule a lossless image: the decoder's samples are read in its rows.
            samples.geometry.rows = declared.rows;
            samples.geometry.columns = declared.columns;
        }
        if (IsJpeg2000(syntax->kind) && result.actual.bitsStored != 0 &&
            (result.actual.bitsStored != d.bitsStored || result.actual.isSigned != (d.pixelRepresentation == 1)))
        {
            // Archives write JPEG 2000 whose data set disagrees with the codestream on precision or sign; the
            // codestream is what the samples are.
            d.bitsStored = std::min(result.actual.bitsStored, d.bitsAllocated);
            d.pixelRepresentation = result.actual.isSigned ? 1 : 0;
            ComputeValueRange(f);
        }
    }

    // The decoded size rules from here on, whatever Rows and Columns said.
    f.width = samples.geometry.columns;
    f.height = samples.geometry.rows;
    if (std::uint64_t{static_cast<std::uint32_t>(f.width)} * static_cast<std::uint32_t>(f.height) > kMaxImagePixels)
    {
        return fail(FrameFailure::Unsupported, "image too large");
    }
    const std::size_t pixels = static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height);
    if (monochrome)
    {
        f.displayBits =
            syntax->kind == TransferSyntaxKind::JpegBaseline && samples.geometry.samplesPerPixel == 1 ? 8 : 32;
        if (f.values == nullptr || f.valueCount != pixels)
        {
            // Not made ahead of the decode (or, never expected, made for another size).
            ahead = {};
            modality.reset();
            f.values = platform::MakeLargeArray<std::int32_t>(pixels);
            if (f.values == nullptr)
            {
                return outOfMemory();
            }
            f.valueCount = pixels;
        }
        const bool fillFault = samples.geometry.samplesPerPixel == 3
                                   ? faulted([&] { FillValuesFromGreen(f, samples); })
                                   : FillMonochromeValues(f, samples, std::move(modality), ahead);
        if (fillFault)
        {
            return fail(FrameFailure::ReadFault);
        }
        d.ForgetFileViews();
        return frame;
    }
    if (!f.colour.Create(f.width, f.height, 32))
    {
        return outOfMemory();
    }
    const bool biased = !syntax->encapsulated && !separatePlanes && !declared.chromaHalfWidth;
    const bool fillFault = faulted([&] {
        if (palette)
        {
            FillPalettePixels(f, samples, paletteLuts, paletteTable);
        }
        else
        {
            FillColourPixels(f, samples, biased, black);
        }
    });
    if (fillFault)
    {
        return fail(FrameFailure::ReadFault);
    }
    d.ForgetFileViews();
    return frame;
}

} // namespace orblane
