// SPDX-License-Identifier: MIT
#include "targets.h"

#include <benchmark/benchmark.h>

// The benchmarks' own main: the run fails when a benchmark missed its target.
int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return targets_missed() ? 1 : 0;
}
