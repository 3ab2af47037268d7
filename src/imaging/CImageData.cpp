#include "imaging/CImageData.h"

#include "imaging/JpegBaseline.h"
#include "imaging/LosslessDecoder.h"
#include "platform/ErrorSink.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

namespace orblane {
namespace {

constexpr const char* kErrorOutOfMemory = "11000";

// A table of display pixels covers the modality values that occur in the image; beyond this many distinct values
// (only 32-bit data with a wide range) each pixel is looked up through the window arithmetic instead.
constexpr std::int64_t kMaxPixelTableEntries = std::int64_t{1} << 22;

// Repainting splits the rows over two threads from this many pixels on; below it a thread costs more than it saves.
constexpr std::size_t kParallelRepaintPixels = std::size_t{1} << 19;

std::int32_t TruncToInt32(double value) noexcept
{
    if (!(value == value))
    {
        return 0;
    }
    if (value >= 2147483647.0)
    {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= -2147483648.0)
    {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t ClampToInt32(std::int64_t value) noexcept
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// Reads stored samples of one plane: the container is 1 bit, or the 8-, 16- or 32-bit little-endian word that the
// bits allocated round up to; the stored bits are the low bits. A sample that lies (partly) beyond the plane's bytes
// reads as 0, so a short value is never read past.
class SampleReader
{
public:
    SampleReader(ByteView plane, unsigned bitsAllocated, unsigned bitsStored) noexcept
        : bytes(plane), allocated(bitsAllocated)
    {
        const std::uint64_t containerOnes = bitsAllocated <= 8 ? 0xFFu : bitsAllocated <= 16 ? 0xFFFFu : 0xFFFFFFFFu;
        const unsigned shift = bitsAllocated == 1 ? 0 : bitsAllocated - bitsStored;
        mask = static_cast<std::uint32_t>(containerOnes >> shift);
        if (bitsAllocated == 1)
        {
            mask &= 1u;
        }
        width = bitsAllocated <= 8 ? 1 : bitsAllocated <= 16 ? 2 : 4;
    }

    std::uint32_t Read(std::size_t index) const noexcept
    {
        if (bytes.data() == nullptr)
        {
            return 0;
        }
        if (allocated == 1)
        {
            const std::size_t byte = index / 8;
            return byte < bytes.size() ? (static_cast<std::uint32_t>(bytes[byte]) >> (index % 8)) & mask : 0;
        }
        const std::size_t offset = static_cast<std::size_t>((static_cast<std::uint64_t>(allocated) * index) / 8);
        if (offset >= bytes.size() || bytes.size() - offset < width)
        {
            return 0;
        }
        std::uint32_t value = bytes[offset];
        if (width >= 2)
        {
            value |= static_cast<std::uint32_t>(bytes[offset + 1]) << 8;
        }
        if (width == 4)
        {
            value |= static_cast<std::uint32_t>(bytes[offset + 2]) << 16;
            value |= static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
        }
        return value & mask;
    }

    std::uint32_t Mask() const noexcept { return mask; }

private:
    ByteView bytes;
    unsigned allocated;
    std::size_t width;
    std::uint32_t mask;
};

// Fast path for whole 8-, 16- and 32-bit containers: one load per sample, missing samples 0.
template <typename Word, typename Convert>
void ReadWholeWords(ByteView plane, std::size_t count, std::uint32_t mask, std::int32_t* out, Convert convert) noexcept
{
    const std::size_t available = std::min(count, plane.size() / sizeof(Word));
    const std::uint8_t* source = plane.data();
    for (std::size_t k = 0; k < available; ++k)
    {
        std::uint32_t word = source[k * sizeof(Word)];
        if constexpr (sizeof(Word) >= 2)
        {
            word |= static_cast<std::uint32_t>(source[k * sizeof(Word) + 1]) << 8;
        }
        if constexpr (sizeof(Word) == 4)
        {
            word |= static_cast<std::uint32_t>(source[k * sizeof(Word) + 2]) << 16;
            word |= static_cast<std::uint32_t>(source[k * sizeof(Word) + 3]) << 24;
        }
        out[k] = convert(word & mask);
    }
    const std::int32_t zero = convert(0);
    std::fill(out + available, out + count, zero);
}

// One row through the pixel table. Everything arrives by value: a stored pixel cannot alias the bounds or the table
// address, so the loop keeps them in registers instead of reloading them after every store.
template <typename Pixel>
void MapThroughTable(const std::int32_t* in, Pixel* out, std::size_t count, const std::uint32_t* table,
                     std::uint32_t low) noexcept
{
    // Four look-ups before their four stores: the loads need not wait to learn that no store went to the table.
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4)
    {
        const std::uint32_t a = table[static_cast<std::uint32_t>(in[k]) - low];
        const std::uint32_t b = table[static_cast<std::uint32_t>(in[k + 1]) - low];
        const std::uint32_t c = table[static_cast<std::uint32_t>(in[k + 2]) - low];
        const std::uint32_t d = table[static_cast<std::uint32_t>(in[k + 3]) - low];
        out[k] = static_cast<Pixel>(a);
        out[k + 1] = static_cast<Pixel>(b);
        out[k + 2] = static_cast<Pixel>(c);
        out[k + 3] = static_cast<Pixel>(d);
    }
    for (; k < count; ++k)
    {
        out[k] = static_cast<Pixel>(table[static_cast<std::uint32_t>(in[k]) - low]);
    }
}

template <typename Body> void ForRowsInParallel(int rows, std::size_t pixels, Body body) noexcept
{
    if (pixels < kParallelRepaintPixels || rows < 2)
    {
        body(0, rows);
        return;
    }
    const int split = rows / 2;
    try
    {
        std::thread helper([&] { body(split, rows); });
        body(0, split);
        helper.join();
    }
    catch (...)
    {
        // No thread to be had: the same work on this one.
        body(split, rows);
        body(0, split);
    }
}

} // namespace

std::unique_ptr<CImageData> CImageData::Build(const PixelDescription& source, Point inset) noexcept
{
    if (source.rowCount == 0 || source.columnCount == 0 || source.bitsAllocated == 0 || source.bitsAllocated > 32)
    {
        return nullptr;
    }
    auto image = std::make_unique<CImageData>(BuildKey{});
    image->description = source;
    PixelDescription& d = image->description;
    d.bitsStored = std::min(d.bitsStored, d.bitsAllocated);
    if (d.aspectHorizontal <= 0 || d.aspectVertical <= 0)
    {
        d.aspectHorizontal = 1;
        d.aspectVertical = 1;
    }
    image->frameInset = inset;
    image->origin = inset;
    image->hadPlane0 = d.HasPlane(0);

    image->ComputeValueRange();
    if (d.fileWindowWidth <= 0 && IsMonochrome(d.photometric))
    {
        // A width of 0 or below from the file would show a flat image; the value range is a window that shows all.
        d.fileWindowWidth = ClampToInt32(static_cast<std::int64_t>(image->valueMax) - image->valueMin);
    }
    image->windowCentre = image->baseCentre = d.fileWindowCentre;
    image->windowWidth = image->baseWidth = d.fileWindowWidth;
    image->windowTable.Build(image->windowCentre, image->windowWidth);

    bool built = false;
    switch (d.transferSyntax)
    {
    case TransferSyntaxKind::ImplicitLittle:
    case TransferSyntaxKind::ExplicitLittle:
        built = image->BuildNative();
        break;
    case TransferSyntaxKind::JpegBaseline:
        built = image->BuildJpegBaseline();
        break;
    case TransferSyntaxKind::JpegLossless:
        built = image->BuildLossless();
        break;
    case TransferSyntaxKind::UnknownSyntax:
        break;
    }
    if (!built)
    {
        return nullptr;
    }
    // The source bytes belong to a file that is closed after the build: keep only the fact that a plane existed.
    d.planes = {};
    image->UpdateDisplaySize();
    return image;
}

void CImageData::SetText(int index, std::u16string text)
{
    if (index == 1 || index == 2)
    {
        texts[index - 1] = std::move(text);
    }
}

const std::u16string& CImageData::GetText(int index) const noexcept
{
    return texts[index == 2 ? 1 : 0];
}

std::int32_t CImageData::ToModalityValue(std::uint32_t sample) const noexcept
{
    const PixelDescription& d = description;
    if (d.hasModalityLut)
    {
        return static_cast<std::int32_t>(sample);
    }
    const unsigned bits = d.bitsStored;
    if (d.pixelRepresentation != 1)
    {
        double m = sample * d.rescaleSlope + d.rescaleIntercept;
        const double top = std::ldexp(1.0, static_cast<int>(bits)) - 1.0;
        if (m > top)
        {
            m = top;
        }
        return TruncToInt32(m);
    }
    std::int64_t value = sample;
    if (bits > 0 && bits <= 32 && ((value >> (bits - 1)) & 1) != 0)
    {
        value -= std::int64_t{1} << bits;
    }
    return TruncToInt32(static_cast<double>(value) * d.rescaleSlope + d.rescaleIntercept);
}

std::uint32_t CImageData::YbrToRgb(int y, int cb, int cr) noexcept
{
    // Full-range YCbCr (PS3.3 C.7.6.3.1.2, JFIF's equations).
    const auto channel = [](double v) -> std::uint32_t {
        if (v > 255.0)
        {
            return 255;
        }
        if (v < 0.0)
        {
            return 0;
        }
        return static_cast<std::uint32_t>(v);
    };
    const double red = y + 1.402 * (cr - 128);
    const double green = y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128);
    const double blue = y + 1.772 * (cb - 128);
    return MakeDisplayPixel(channel(red), channel(green), channel(blue));
}

std::uint32_t CImageData::GrayPixel(std::int32_t modalityValue) const noexcept
{
    const std::uint32_t grey = windowTable.Lookup(modalityValue);
    switch (description.photometric)
    {
    case PhotometricKind::Monochrome2:
        return MakeDisplayPixel(grey, grey, grey);
    case PhotometricKind::Monochrome1:
        return MakeDisplayPixel(255 - grey, 255 - grey, 255 - grey);
    default:
        return MakeDisplayPixel(0, 0, 0);
    }
}

void CImageData::ComputeValueRange() noexcept
{
    const PixelDescription& d = description;
    const unsigned bits = d.bitsStored;
    if (d.pixelRepresentation == 1)
    {
        // A Modality LUT leaves the rescale at zero; its stored values are the range then.
        const double slope = d.hasModalityLut ? 1.0 : d.rescaleSlope;
        const double intercept = d.hasModalityLut ? 0.0 : d.rescaleIntercept;
        const double half = bits == 0 ? 0.5 : std::ldexp(1.0, static_cast<int>(bits) - 1);
        valueMin = TruncToInt32(-half * slope + intercept);
        valueMax = TruncToInt32(half * slope + intercept);
    }
    else
    {
        valueMin = ToModalityValue(0);
        const std::uint64_t top = std::uint64_t{1} << bits;
        valueMax = top > 0xFFFFFFFFu ? ToModalityValue(0xFFFFFFFFu) : ToModalityValue(static_cast<std::uint32_t>(top));
    }
    if (valueMin > valueMax)
    {
        std::swap(valueMin, valueMax);
    }
}

bool CImageData::AllocateBitmapAndValues(int width, int height) noexcept
{
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxImagePixels)
    {
        return false;
    }
    if (!bitmap.Create(width, height, 32))
    {
        RaiseError(kErrorOutOfMemory, 0, false);
        return false;
    }
    if (IsMonochrome(description.photometric))
    {
        try
        {
            AllocateValues(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        }
        catch (const std::bad_alloc&)
        {
            bitmap = DisplayBitmap{};
            RaiseError(kErrorOutOfMemory, 0, false);
            return false;
        }
    }
    return true;
}

bool CImageData::FillFromSamples() noexcept
{
    if (!AllocateBitmapAndValues(description.columnCount, description.rowCount))
    {
        return false;
    }
    if (IsMonochrome(description.photometric))
    {
        FillMonochromeValues();
        RebuildPixelTable();
        RepaintWindowed();
    }
    else
    {
        FillColourPixels();
    }
    return true;
}

bool CImageData::BuildNative() noexcept
{
    // One sample a pixel is the least any photometric needs, so this bound never refuses a complete image.
    std::uint64_t heldBits = 0;
    for (const ByteView plane : description.planes)
    {
        heldBits += static_cast<std::uint64_t>(plane.size()) * 8;
    }
    const std::uint64_t heldPixels = heldBits / description.bitsAllocated;
    const std::uint64_t declaredPixels =
        static_cast<std::uint64_t>(description.columnCount) * static_cast<std::uint64_t>(description.rowCount);
    if (declaredPixels > heldPixels * kMinPixelDataShare)
    {
        return false;
    }
    if (!FillFromSamples())
    {
        return false;
    }
    return true;
}

bool CImageData::BuildJpegBaseline() noexcept
{
    const bool monochrome = IsMonochrome(description.photometric);
    JpegDecodeResult decoded =
        DecodeJpegBaseline(description.planes[0], MaxPixelsForStream(description.planes[0].size()), bitmap);
    if (decoded == JpegDecodeResult::OutOfMemory)
    {
        RaiseError(kErrorOutOfMemory, 0, false);
        return false;
    }
    if (decoded != JpegDecodeResult::Decoded)
    {
        return false;
    }
    if (!monochrome)
    {
        return true;
    }
    // The decoded size rules from here on, whatever Rows and Columns said.
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    try
    {
        AllocateValues(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
    catch (const std::bad_alloc&)
    {
        bitmap = DisplayBitmap{};
        RaiseError(kErrorOutOfMemory, 0, false);
        return false;
    }
    // Grey images give one byte a pixel; a colour decode of an image labelled monochrome takes its green channel.
    for (int row = 0; row < height; ++row)
    {
        std::int32_t* out = values.get() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
        if (bitmap.BitsPerPixel() == 8)
        {
            const std::uint8_t* in = bitmap.Row(row);
            for (int column = 0; column < width; ++column)
            {
                out[column] = ToModalityValue(in[column]);
            }
        }
        else
        {
            const std::uint32_t* in = bitmap.Pixels32(row);
            for (int column = 0; column < width; ++column)
            {
                out[column] = ToModalityValue((in[column] >> 8) & 0xFFu);
            }
        }
    }
    const auto [low, high] = std::minmax_element(values.get(), values.get() + valueCount);
    presentMin = valueCount == 0 ? 0 : *low;
    presentMax = valueCount == 0 ? 0 : *high;
    RebuildPixelTable();
    RepaintWindowed();
    return true;
}

bool CImageData::BuildLossless() noexcept
{
    if (static_cast<std::uint64_t>(description.columnCount) * description.rowCount >
        MaxPixelsForStream(description.planes[0].size()))
    {
        return false;
    }
    LosslessDecoder decoder(description.planes[0]);
    if (decoder.Decode(description.rowCount, description.columnCount, description.bitsAllocated) != 0 ||
        decoder.Plane(0) == nullptr)
    {
        return false;
    }
    // The decoder's samples replace the stream; they live as long as the decoder, which is until the build ends.
    // They are read in the decoder's container (8 bits up to a precision of 8, otherwise 16), which need not be the
    // data set's Bits Allocated.
    description.planes = {ByteView(decoder.Plane(0), decoder.PlaneLength(0)), ByteView(), ByteView(), ByteView()};
    sampleBits = decoder.ContainerBits();
    if (!FillFromSamples())
    {
        return false;
    }
    description.planes = {};
    return true;
}

void CImageData::FillMonochromeValues() noexcept
{
    const PixelDescription& d = description;
    const std::size_t count = valueCount;
    const unsigned allocated = SampleBits();
    const SampleReader reader(d.planes[0], allocated, std::min<unsigned>(d.bitsStored, allocated));
    const std::uint32_t mask = reader.Mask();
    std::int32_t* out = values.get();

    // Up to 16 stored bits, every possible sample gets its modality value once; a pixel is then one table load. An
    // image with fewer pixels than the table has entries converts each pixel instead: a file of many tiny images
    // would otherwise cost a full table per image.
    std::unique_ptr<std::int32_t[]> modality;
    const std::size_t tableSize = d.bitsStored <= 16 ? std::size_t{1} << d.bitsStored : 0;
    if (tableSize != 0 && count >= tableSize)
    {
        modality.reset(new (std::nothrow) std::int32_t[tableSize]);
        for (std::size_t s = 0; modality && s < tableSize; ++s)
        {
            modality[s] = ToModalityValue(static_cast<std::uint32_t>(s));
        }
    }
    if (modality && (allocated == 8 || allocated == 16))
    {
        // The hot case (every CT, MR and radiograph): one load, one mask, one table load per pixel, with the range
        // of the values found on the way.
        const std::int32_t* table = modality.get();
        const std::uint32_t tableMask = static_cast<std::uint32_t>(tableSize - 1) & mask;
        const std::uint8_t* source = d.planes[0].data();
        const std::size_t width = allocated / 8;
        const std::size_t available = std::min(count, d.planes[0].size() / width);
        // One half of a large image on a second thread; each half finds the range of its own values.
        const auto fill = [=](std::size_t begin, std::size_t end, std::int32_t& low, std::int32_t& high) noexcept {
            low = high = table[0];
            for (std::size_t k = begin; k < end; ++k)
            {
                std::uint32_t sample = source[k * width];
                if (width == 2)
                {
                    sample |= static_cast<std::uint32_t>(source[k * 2 + 1]) << 8;
                }
                const std::int32_t value = table[sample & tableMask];
                low = std::min(low, value);
                high = std::max(high, value);
                out[k] = value;
            }
        };
        std::int32_t low = table[0];
        std::int32_t high = table[0];
        std::int32_t otherLow = table[0];
        std::int32_t otherHigh = table[0];
        const std::size_t split = available >= kParallelRepaintPixels ? available / 2 : available;
        ForRowsInParallel(split < available ? 2 : 1, available, [&](int first, int end) noexcept {
            if (first == 0 && end == 2)
            {
                fill(0, available, low, high);
            }
            else if (first == 0)
            {
                fill(0, split, low, high);
            }
            else
            {
                fill(split, available, otherLow, otherHigh);
            }
        });
        low = std::min(low, otherLow);
        high = std::max(high, otherHigh);
        // Samples the value does not hold read as 0.
        std::fill(out + available, out + count, table[0]);
        presentMin = low;
        presentMax = high;
        return;
    }
    const auto convert = [&](std::uint32_t sample) noexcept {
        return modality ? modality[sample & (tableSize - 1)] : ToModalityValue(sample);
    };
    if (allocated == 8)
    {
        ReadWholeWords<std::uint8_t>(d.planes[0], count, mask, out, convert);
    }
    else if (allocated == 16)
    {
        ReadWholeWords<std::uint16_t>(d.planes[0], count, mask, out, convert);
    }
    else if (allocated == 32)
    {
        ReadWholeWords<std::uint32_t>(d.planes[0], count, mask, out, convert);
    }
    else
    {
        for (std::size_t k = 0; k < count; ++k)
        {
            out[k] = convert(reader.Read(k));
        }
    }
    const auto [low, high] = std::minmax_element(out, out + count);
    presentMin = *low;
    presentMax = *high;
}

void CImageData::FillColourPixels() noexcept
{
    const PixelDescription& d = description;
    const int columns = d.columnCount;
    const int rows = d.rowCount;
    const std::size_t pixels = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    const unsigned bits = SampleBits();
    const unsigned stored = std::min<unsigned>(d.bitsStored, bits);
    const SampleReader plane0(d.planes[0], bits, stored);
    const SampleReader plane1(d.planes[1], bits, stored);
    const SampleReader plane2(d.planes[2], bits, stored);
    const std::uint32_t signedBias = d.pixelRepresentation == 1 ? 127u : 0u;
    // Samples of separate planes (a multi-plane source), or all three in plane 0: interleaved or planar.
    const bool separatePlanes = d.transferSyntax == TransferSyntaxKind::JpegLossless ||
                                (d.photometric == PhotometricKind::YbrFull && (d.HasPlane(1) || d.HasPlane(2)));
    const auto components = [&](std::size_t k, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
        if (separatePlanes)
        {
            a = plane0.Read(k);
            b = plane1.Read(k);
            c = plane2.Read(k);
        }
        else if (d.planarConfiguration == 0)
        {
            a = plane0.Read(3 * k) + signedBias;
            b = plane0.Read(3 * k + 1) + signedBias;
            c = plane0.Read(3 * k + 2) + signedBias;
        }
        else
        {
            a = plane0.Read(k) + signedBias;
            b = plane0.Read(k + pixels) + signedBias;
            c = plane0.Read(k + 2 * pixels) + signedBias;
        }
    };
    const ByteView bytes = d.planes[0];
    const auto byteAt = [&](std::size_t p) -> int { return p < bytes.size() ? bytes[p] : 0; };
    for (int row = 0; row < rows; ++row)
    {
        std::uint32_t* out = bitmap.Pixels32(row);
        for (int column = 0; column < columns; ++column)
        {
            const std::size_t k =
                static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(column);
            std::uint32_t a = 0;
            std::uint32_t b = 0;
            std::uint32_t c = 0;
            switch (d.photometric)
            {
            case PhotometricKind::Rgb:
                components(k, a, b, c);
                out[column] = MakeDisplayPixel(a, b, c);
                break;
            case PhotometricKind::YbrFull:
                components(k, a, b, c);
                out[column] =
                    YbrToRgb(static_cast<int>(a & 0xFFu), static_cast<int>(b & 0xFFu), static_cast<int>(c & 0xFFu));
                break;
            case PhotometricKind::YbrFull422: {
                // Two pixels share one Cb and Cr: Y0 Y1 Cb Cr.
                const std::size_t p = static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) * 2 +
                                      static_cast<std::size_t>(column / 2) * 4;
                const int y = byteAt(column % 2 == 0 ? p : p + 1);
                out[column] = YbrToRgb(y, byteAt(p + 2), byteAt(p + 3));
                break;
            }
            default:
                out[column] = MakeDisplayPixel(0, 0, 0);
                break;
            }
        }
    }
}

void CImageData::RebuildPixelTable() noexcept
{
    pixelTable.clear();
    const std::int64_t size = static_cast<std::int64_t>(presentMax) - presentMin + 1;
    if (size <= 0 || size > kMaxPixelTableEntries)
    {
        return;
    }
    try
    {
        pixelTable.resize(static_cast<std::size_t>(size));
    }
    catch (const std::bad_alloc&)
    {
        pixelTable.clear();
        return;
    }
    lutLow = presentMin;
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    const auto pixelOf = [&](std::uint32_t grey) {
        std::uint32_t shown = description.photometric == PhotometricKind::Monochrome1 ? 255 - grey : grey;
        if (!IsMonochrome(description.photometric))
        {
            shown = 0;
        }
        return grey8 ? shown : MakeDisplayPixel(shown, shown, shown);
    };
    const std::int64_t width = windowTable.EntryCount() - 1;
    if (width <= 0)
    {
        std::fill(pixelTable.begin(), pixelTable.end(), pixelOf(255));
        return;
    }
    // Grey g starts at the smallest k with trunc(k * 255 / w) >= g, that is ceil(g * w / 255): 256 runs of one value
    // each, filled without a division per entry.
    const std::int64_t offset = windowTable.FirstValue() - lutLow;
    const auto indexOfK = [&](std::int64_t k) { return std::clamp<std::int64_t>(k + offset, 0, size); };
    for (std::int64_t g = 0; g < 256; ++g)
    {
        const std::int64_t begin = g == 0 ? 0 : indexOfK((g * width + 254) / 255);
        const std::int64_t end = g == 255 ? size : indexOfK(((g + 1) * width + 254) / 255);
        if (begin < end)
        {
            std::fill(pixelTable.begin() + begin, pixelTable.begin() + end, pixelOf(static_cast<std::uint32_t>(g)));
        }
    }
}

void CImageData::RepaintWindowed() noexcept
{
    if (!IsMonochrome(description.photometric) || !hadPlane0 || bitmap.IsNull() || valueCount == 0)
    {
        return;
    }
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool grey8 = bitmap.BitsPerPixel() == 8;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixelTable.empty())
    {
        for (int row = 0; row < height; ++row)
        {
            const std::int32_t* in = values.get() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
            for (int column = 0; column < width; ++column)
            {
                const std::uint32_t pixel = GrayPixel(in[column]);
                if (grey8)
                {
                    bitmap.Row(row)[column] = static_cast<std::uint8_t>(pixel & 0xFFu);
                }
                else
                {
                    bitmap.Pixels32(row)[column] = pixel;
                }
            }
        }
        return;
    }
    const std::uint32_t* table = pixelTable.data();
    const std::uint32_t low = static_cast<std::uint32_t>(lutLow);
    ForRowsInParallel(height, pixels, [&](int firstRow, int endRow) noexcept {
        const std::size_t columns = static_cast<std::size_t>(width);
        for (int row = firstRow; row < endRow; ++row)
        {
            const std::int32_t* in = values.get() + static_cast<std::size_t>(row) * columns;
            if (grey8)
            {
                MapThroughTable(in, bitmap.Row(row), columns, table, low);
            }
            else
            {
                MapThroughTable(in, bitmap.Pixels32(row), columns, table, low);
            }
        }
    });
}

void CImageData::ChangeWindow(std::int32_t dx, std::int32_t dy, bool commit, std::int32_t widthDivisor,
                              std::int32_t centreDivisor) noexcept
{
    const double range = std::ldexp(1.0, description.bitsStored);
    const double sx = std::max(1.0, range / (widthDivisor != 0 ? widthDivisor : 1000) / 256.0);
    const double sy = std::max(1.0, range / (centreDivisor != 0 ? centreDivisor : 1000) / 256.0);
    std::int64_t width = TruncToInt32(baseWidth + dx * sx);
    std::int64_t centre = TruncToInt32(baseCentre - dy * sy);
    const std::int64_t span = static_cast<std::int64_t>(valueMax) - valueMin;
    if (width < 1)
    {
        width = 1;
    }
    if (width > span)
    {
        width = span;
    }
    centre = std::clamp<std::int64_t>(centre, valueMin, valueMax);
    windowWidth = ClampToInt32(width);
    windowCentre = ClampToInt32(centre);
    windowTable.Build(windowCentre, windowWidth);
    if (commit)
    {
        baseWidth = windowWidth;
        baseCentre = windowCentre;
    }
    RebuildPixelTable();
    RepaintWindowed();
}

void CImageData::ResetWindow() noexcept
{
    windowCentre = baseCentre = description.fileWindowCentre;
    windowWidth = baseWidth = description.fileWindowWidth;
    windowTable.Build(windowCentre, windowWidth);
    RebuildPixelTable();
    RepaintWindowed();
}

void CImageData::FitTo(std::int32_t w, std::int32_t h) noexcept
{
    if (bitmap.IsNull())
    {
        return;
    }
    const double width = std::max(w, 1);
    const double height = std::max(h, 1);
    const double iw = static_cast<double>(bitmap.Width()) * description.aspectHorizontal;
    const double ih = static_cast<double>(bitmap.Height()) * description.aspectVertical;
    const double a = iw / ih;
    const double t = width / height;
    double z = 0.0;
    if (t == a)
    {
        z = width / iw;
        fitScale = 1.0;
        origin = frameInset;
    }
    else if (t < a)
    {
        z = width / iw;
        fitScale = description.aspectHorizontal;
        origin = {frameInset.x,
                  static_cast<std::int32_t>((static_cast<std::int64_t>(height) - TruncToInt32(ih * z)) / 2)};
    }
    else
    {
        z = height / ih;
        fitScale = description.aspectVertical;
        origin = {static_cast<std::int32_t>((static_cast<std::int64_t>(width) - TruncToInt32(iw * z)) / 2),
                  frameInset.y};
    }
    SetZoom(z);
}

void CImageData::SetZoom(double z) noexcept
{
    zoom = z;
    UpdateDisplaySize();
}

void CImageData::UpdateDisplaySize() noexcept
{
    const std::int64_t iw = static_cast<std::int64_t>(bitmap.Width()) * description.aspectHorizontal;
    const std::int64_t ih = static_cast<std::int64_t>(bitmap.Height()) * description.aspectVertical;
    displayWidth = TruncToInt32(static_cast<double>(iw) * zoom);
    displayHeight = TruncToInt32(static_cast<double>(ih) * zoom);
}

void CImageData::MoveOrigin(std::int32_t dx, std::int32_t dy) noexcept
{
    origin.x = ClampToInt32(static_cast<std::int64_t>(origin.x) + dx);
    origin.y = ClampToInt32(static_cast<std::int64_t>(origin.y) + dy);
}

} // namespace orblane
