// SPDX-License-Identifier: MIT
#pragma once

#include "common/newest_of_three.h"
#include "synth/preview.h"

#include <benchmark/benchmark.h>

// Times one stream callback per iteration on a 32768-byte block (8192 frames),
// publishing its preview into `previews` if given (a window open), and, right after it, the
// callback's floor: `sines` bare sin calls, as many as the callback cannot avoid. Alternating the
// two within one run makes a machine that speeds up or slows down weigh on both alike. The reported
// time is the callback's alone; the counters are `floor_us`, `floor_ratio` (the callback's time
// over the floor's) and `realtime_pct` (the callback's time as a share of the 8192 frames' playing
// time).
void time_callback_against_floor(benchmark::State &state, int sines,
                                 NewestOfThree<Preview> *previews = nullptr);
