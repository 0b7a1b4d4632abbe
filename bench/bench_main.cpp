// The benchmarks' entry point: the program's own process set-up, then Google Benchmark.
#include "platform/threads.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    platform::initProcess();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
