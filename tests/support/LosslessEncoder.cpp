#include "LosslessEncoder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace orblane::test {
namespace {

class BitWriter
{
public:
    explicit BitWriter(std::vector<std::uint8_t>& output) : out(output) {}

    void Put(std::uint32_t value, int length)
    {
        for (int i = length - 1; i >= 0; --i)
        {
            current = static_cast<std::uint8_t>((current << 1) | ((value >> i) & 1u));
            if (++filled == 8)
            {
                Emit();
            }
        }
    }

    // Pads the last byte with 1 bits (T.81 F.1.2.3).
    void Flush()
    {
        while (filled != 0)
        {
            Put(1, 1);
        }
    }

private:
    void Emit()
    {
        out.push_back(current);
        if (current == 0xFF)
        {
            out.push_back(0x00);
        }
        current = 0;
        filled = 0;
    }

    std::vector<std::uint8_t>& out;
    std::uint8_t current = 0;
    int filled = 0;
};

void PutMarker(std::vector<std::uint8_t>& out, std::uint8_t code)
{
    out.push_back(0xFF);
    out.push_back(code);
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

int Category(std::int32_t diff)
{
    if (diff == 32768)
    {
        return 16;
    }
    int category = 0;
    for (std::uint32_t magnitude = static_cast<std::uint32_t>(std::abs(diff)); magnitude != 0; magnitude >>= 1)
    {
        ++category;
    }
    return category;
}

// T.81 K.2: code lengths from frequencies, with one reserved code so that no code is all ones, limited to 16 bits.
HuffmanDefinition OptimalTable(const std::array<std::uint64_t, 17>& counts)
{
    constexpr int kSymbols = 18; // categories 0..16 and the reserved symbol
    std::array<std::uint64_t, kSymbols> freq{};
    std::copy(counts.begin(), counts.end(), freq.begin());
    freq[17] = 1;
    std::array<int, kSymbols> codeSize{};
    std::array<int, kSymbols> others{};
    others.fill(-1);
    for (;;)
    {
        int v1 = -1;
        int v2 = -1;
        for (int v = 0; v < kSymbols; ++v)
        {
            if (freq[v] != 0 && (v1 < 0 || freq[v] <= freq[v1]))
            {
                v1 = v;
            }
        }
        for (int v = 0; v < kSymbols; ++v)
        {
            if (v != v1 && freq[v] != 0 && (v2 < 0 || freq[v] <= freq[v2]))
            {
                v2 = v;
            }
        }
        if (v2 < 0)
        {
            break;
        }
        freq[v1] += freq[v2];
        freq[v2] = 0;
        for (++codeSize[v1]; others[v1] >= 0; ++codeSize[v1])
        {
            v1 = others[v1];
        }
        others[v1] = v2;
        for (++codeSize[v2]; others[v2] >= 0; ++codeSize[v2])
        {
            v2 = others[v2];
        }
    }
    std::array<int, 40> bits{};
    for (int v = 0; v < kSymbols; ++v)
    {
        if (codeSize[v] != 0)
        {
            ++bits[codeSize[v]];
        }
    }
    for (int i = 39; i > 16; --i)
    {
        while (bits[i] > 0)
        {
            int j = i - 2;
            while (bits[j] == 0)
            {
                --j;
            }
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    int longest = 16;
    while (bits[longest] == 0)
    {
        --longest;
    }
    --bits[longest]; // drop the reserved code
    HuffmanDefinition tableDefinition;
    for (int l = 1; l <= 16; ++l)
    {
        tableDefinition.bits[l - 1] = static_cast<std::uint8_t>(bits[l]);
    }
    for (int size = 1; size < 40; ++size)
    {
        for (int v = 0; v < 17; ++v)
        {
            if (codeSize[v] == size)
            {
                tableDefinition.values.push_back(static_cast<std::uint8_t>(v));
            }
        }
    }
    // The reserved symbol sorted last among the longest codes; removing its count drops it from the order too.
    std::size_t total = 0;
    for (auto b : tableDefinition.bits)
    {
        total += b;
    }
    tableDefinition.values.resize(total);
    return tableDefinition;
}

struct Code
{
    std::uint32_t bits = 0;
    int length = 0;
};

std::array<Code, 256> CodesOf(const HuffmanDefinition& tableDefinition)
{
    std::array<Code, 256> codes{};
    std::uint32_t code = 0;
    std::size_t index = 0;
    for (int l = 1; l <= 16; ++l)
    {
        for (int i = 0; i < tableDefinition.bits[l - 1]; ++i)
        {
            codes[tableDefinition.values.at(index++)] = Code{code++, l};
        }
        code <<= 1;
    }
    return codes;
}

// T.81 H.1.2.1 predictors; the first sample of a restart interval gets 2^(P-1), the rest of that interval's first
// line its left neighbour, the first sample of every later line the sample above.
std::vector<std::int32_t> Differences(std::span<const std::uint16_t> samples, const LosslessEncodeOptions& o)
{
    const std::size_t width = static_cast<std::size_t>(o.width);
    const std::size_t total = width * static_cast<std::size_t>(o.height);
    std::vector<std::int32_t> diffs(total);
    std::size_t intervalStart = 0;
    for (std::size_t s = 0; s < total; ++s)
    {
        if (o.restartInterval != 0 && s % o.restartInterval == 0)
        {
            intervalStart = s;
        }
        const std::size_t column = s % width;
        const bool firstLineOfInterval = s / width == intervalStart / width;
        std::int32_t prediction;
        if (s == intervalStart)
        {
            prediction = 1 << (o.precision - 1);
        }
        else if (column == 0)
        {
            prediction = samples[s - width];
        }
        else if (firstLineOfInterval || o.predictor == 1 || s < width)
        {
            prediction = samples[s - 1];
        }
        else
        {
            const std::int32_t a = samples[s - 1];
            const std::int32_t b = samples[s - width];
            const std::int32_t c = samples[s - width - 1];
            switch (o.predictor)
            {
            case 2:
                prediction = b;
                break;
            case 3:
                prediction = c;
                break;
            case 4:
                prediction = a + b - c;
                break;
            case 5:
                prediction = a + ((b - c) >> 1);
                break;
            case 6:
                prediction = b + ((a - c) >> 1);
                break;
            default:
                prediction = (a + b) / 2;
                break;
            }
        }
        // Differences are taken modulo 2^16 and represented in -32767..32768 (T.81 H.1.2.2).
        std::int32_t diff = (static_cast<std::int32_t>(samples[s]) - prediction) & 0xFFFF;
        if (diff > 32768)
        {
            diff -= 65536;
        }
        diffs[s] = diff;
    }
    return diffs;
}

} // namespace

HuffmanDefinition BuiltInTable()
{
    HuffmanDefinition tableDefinition;
    tableDefinition.bits = {0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0};
    for (std::uint8_t v = 0; v <= 16; ++v)
    {
        tableDefinition.values.push_back(v);
    }
    return tableDefinition;
}

namespace {

HuffmanDefinition TableFor(const std::vector<std::int32_t>& diffs, const LosslessEncodeOptions& o)
{
    switch (o.table)
    {
    case TableChoice::BuiltIn:
        return BuiltInTable();
    case TableChoice::Custom:
        return o.custom;
    case TableChoice::Optimal:
        break;
    }
    std::array<std::uint64_t, 17> counts{};
    for (std::int32_t d : diffs)
    {
        ++counts[static_cast<std::size_t>(Category(d))];
    }
    return OptimalTable(counts);
}

void PutTable(std::vector<std::uint8_t>& out, const HuffmanDefinition& tableDefinition, std::uint8_t slot)
{
    PutMarker(out, 0xC4);
    Put16(out, 19 + static_cast<std::uint32_t>(tableDefinition.values.size()));
    out.push_back(slot);
    out.insert(out.end(), tableDefinition.bits.begin(), tableDefinition.bits.end());
    out.insert(out.end(), tableDefinition.values.begin(), tableDefinition.values.end());
}

void PutDifference(BitWriter& writer, const std::array<Code, 256>& codes, std::int32_t diff)
{
    const int category = Category(diff);
    const Code code = codes[static_cast<std::size_t>(category)];
    if (code.length == 0)
    {
        throw std::invalid_argument("the table has no code for a category the image needs");
    }
    writer.Put(code.bits, code.length);
    if (category > 0 && category < 16)
    {
        // T.81 F.1.2.1.1: negative differences are sent as diff - 1 in the low bits.
        const auto extra = static_cast<std::uint32_t>(diff < 0 ? diff - 1 : diff) & ((1u << category) - 1);
        writer.Put(extra, category);
    }
}

// One scan over the given components (indices into the frame), their differences and tables (slots).
void PutScan(std::vector<std::uint8_t>& out, const LosslessEncodeOptions& o, const std::vector<int>& members,
             const std::vector<std::vector<std::int32_t>>& diffs, const std::vector<std::array<Code, 256>>& codes,
             const std::vector<std::uint8_t>& slots)
{
    PutMarker(out, 0xDA);
    Put16(out, 6 + 2 * static_cast<std::uint32_t>(members.size()));
    out.push_back(static_cast<std::uint8_t>(members.size()));
    for (int c : members)
    {
        out.push_back(static_cast<std::uint8_t>(c + 1));
        out.push_back(static_cast<std::uint8_t>(slots[static_cast<std::size_t>(c)] << 4));
    }
    out.insert(out.end(), {static_cast<std::uint8_t>(o.predictor), 0, 0});
    BitWriter writer(out);
    int restart = 0;
    const std::size_t pixels = diffs[static_cast<std::size_t>(members[0])].size();
    for (std::size_t s = 0; s < pixels; ++s)
    {
        if (o.restartInterval != 0 && s != 0 && s % o.restartInterval == 0)
        {
            writer.Flush();
            PutMarker(out, static_cast<std::uint8_t>(0xD0 + restart));
            restart = (restart + 1) & 7;
        }
        for (int c : members)
        {
            const auto k = static_cast<std::size_t>(c);
            PutDifference(writer, codes[k], diffs[k][s]);
        }
    }
    writer.Flush();
}

} // namespace

std::vector<std::uint8_t> EncodeLossless(std::span<const std::uint16_t> samples, const LosslessEncodeOptions& o)
{
    const int components = o.components;
    if (o.width <= 0 || o.height <= 0 || components < 1 || components > 4 ||
        samples.size() != static_cast<std::size_t>(o.width) * o.height * components)
    {
        throw std::invalid_argument("sample count does not match the image size");
    }
    const auto count = static_cast<std::size_t>(components);
    std::vector<std::vector<std::int32_t>> diffs(count);
    std::vector<HuffmanDefinition> tables(count);
    std::vector<std::array<Code, 256>> codes(count);
    std::vector<std::uint8_t> slots(count, o.tableSlot);
    for (std::size_t c = 0; c < count; ++c)
    {
        std::vector<std::uint16_t> plane(samples.size() / count);
        for (std::size_t i = 0; i < plane.size(); ++i)
        {
            plane[i] = samples[i * count + c];
        }
        diffs[c] = Differences(plane, o);
        tables[c] = TableFor(diffs[c], o);
        codes[c] = CodesOf(tables[c]);
        if (components > 1 && o.table == TableChoice::Optimal)
        {
            slots[c] = static_cast<std::uint8_t>(c);
        }
    }

    std::vector<std::uint8_t> out;
    PutMarker(out, 0xD8);
    PutMarker(out, 0xC3);
    Put16(out, 8 + 3 * static_cast<std::uint32_t>(components));
    out.push_back(static_cast<std::uint8_t>(o.precision));
    Put16(out, o.dnl ? 0u : static_cast<std::uint32_t>(o.height));
    Put16(out, static_cast<std::uint32_t>(o.width));
    out.push_back(static_cast<std::uint8_t>(components));
    for (int c = 0; c < components; ++c)
    {
        out.insert(out.end(), {static_cast<std::uint8_t>(c + 1), 0x11, 0});
    }
    const auto putRestartInterval = [&] {
        if (o.restartInterval != 0)
        {
            PutMarker(out, 0xDD);
            Put16(out, 4);
            Put16(out, o.restartInterval);
        }
    };
    const bool ownTables = o.table != TableChoice::BuiltIn;
    if (components == 1 || o.interleaved)
    {
        if (ownTables)
        {
            for (std::size_t c = 0; c < count; ++c)
            {
                if (c == 0 || slots[c] != slots[0])
                {
                    PutTable(out, tables[c], slots[c]);
                }
            }
        }
        putRestartInterval();
        std::vector<int> all(count);
        for (std::size_t c = 0; c < count; ++c)
        {
            all[c] = static_cast<int>(c);
        }
        PutScan(out, o, all, diffs, codes, slots);
        if (o.dnl)
        {
            PutMarker(out, 0xDC);
            Put16(out, 4);
            Put16(out, static_cast<std::uint32_t>(o.height));
        }
    }
    else
    {
        for (std::size_t c = 0; c < count; ++c)
        {
            if (ownTables)
            {
                PutTable(out, tables[c], slots[c]);
            }
            if (c == 0)
            {
                putRestartInterval();
            }
            PutScan(out, o, {static_cast<int>(c)}, diffs, codes, slots);
            // The line count follows the first scan only (T.81 B.2.5).
            if (o.dnl && c == 0)
            {
                PutMarker(out, 0xDC);
                Put16(out, 4);
                Put16(out, static_cast<std::uint32_t>(o.height));
            }
        }
    }
    PutMarker(out, 0xD9);
    return out;
}

std::vector<std::uint16_t> MakeTestImage(int width, int height, int precision, std::uint32_t seed)
{
    std::vector<std::uint16_t> image(static_cast<std::size_t>(width) * height);
    const std::uint32_t top = (1u << precision) - 1;
    std::uint32_t state = seed * 2654435761u + 1;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const double smooth = 0.5 + 0.35 * std::sin(x * 0.07 + seed) * std::cos(y * 0.05);
            const double noise = ((next() & 0xFFFF) / 65535.0 - 0.5) * 0.05;
            double value = (smooth + noise) * top;
            const std::uint32_t pick = next() % 64;
            if (pick == 0)
            {
                value = 0; // full-range jumps produce the largest categories
            }
            else if (pick == 1)
            {
                value = top;
            }
            image[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint16_t>(std::clamp(value, 0.0, static_cast<double>(top)));
        }
    }
    return image;
}

} // namespace orblane::test
