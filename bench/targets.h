// SPDX-License-Identifier: MIT
#pragma once

#include <benchmark/benchmark.h>

// Benchmarks that hold a target: a missed one marks its benchmark as failed
// with `what`, and the whole run then ends with status 1.
void miss_target(benchmark::State &state, const char *what);
bool targets_missed();
