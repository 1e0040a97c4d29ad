// oddball-bench: the benchmarks of every subsystem, one file each (Google Benchmark).
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
