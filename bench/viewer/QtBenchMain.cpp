// The main of the viewer's benchmarks: Google Benchmark's, inside the application object that every widget needs.
#include <QApplication>

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
