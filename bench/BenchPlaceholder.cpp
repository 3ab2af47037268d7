#include <benchmark/benchmark.h>

#include "platform/ErrorSink.h"

// Keeps the benchmark executable non-empty until the first real benchmark lands.
static void BM_RaiseErrorDispatch(benchmark::State& state)
{
    auto previous = orblane::SetErrorHandler([](std::string_view, std::uint32_t, bool) {});
    for (auto _ : state)
    {
        orblane::RaiseError("11000", 0, false);
    }
    orblane::SetErrorHandler(previous);
}
BENCHMARK(BM_RaiseErrorDispatch);
