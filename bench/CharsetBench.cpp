// Converting Patient's Names to wide text: one value at a time, and a study list's worth.
#include <benchmark/benchmark.h>

#include "dicom/CharacterSet.h"

#include <string>
#include <string_view>

namespace {

using orblane::ByteView;

ByteView Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string PadTo64(std::string value)
{
    value.resize(64, ' ');
    return value;
}

const std::string kLatin1Charset = "ISO_IR 100";
const std::string kLatin1Name = PadTo64("Buc^J\xE9r\xF4me^Fran\xE7ois^Dr.^III=M\xFCller-L\xFC"
                                        "denscheidt^\xC5sa");
const std::string kJapaneseCharset = "\\ISO 2022 IR 87";
// PS3.5 H.3.1's name, padded: seven code page switches in 64 bytes.
const std::string kJapaneseName = PadTo64("Yamada^Tarou=\x1B$B;3ED\x1B(B^\x1B$BB@O:\x1B(B=\x1B$B$d$^$@\x1B(B^"
                                          "\x1B$B$?$m$&\x1B(B");

void BM_ConvertLatin1Name(benchmark::State& state)
{
    for (auto _ : state)
    {
        auto converted = orblane::ConvertToWide(Bytes(kLatin1Charset), Bytes(kLatin1Name));
        benchmark::DoNotOptimize(converted);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertLatin1Name);

void BM_ConvertIsoIr87Name(benchmark::State& state)
{
    for (auto _ : state)
    {
        auto converted = orblane::ConvertToWide(Bytes(kJapaneseCharset), Bytes(kJapaneseName));
        benchmark::DoNotOptimize(converted);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertIsoIr87Name);

// A study list of 10 000 rows, half Latin-1 names and half Japanese ones; the time is for the whole list.
void BM_StudyList10000Names(benchmark::State& state)
{
    for (auto _ : state)
    {
        for (int row = 0; row < 10000; ++row)
        {
            auto converted = (row % 2 == 0) ? orblane::ConvertToWide(Bytes(kLatin1Charset), Bytes(kLatin1Name))
                                            : orblane::ConvertToWide(Bytes(kJapaneseCharset), Bytes(kJapaneseName));
            benchmark::DoNotOptimize(converted);
        }
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_StudyList10000Names)->Unit(benchmark::kMillisecond);

} // namespace
