// SPDX-License-Identifier: MIT
// The whole stream callback with the scope: clear, the block's frames, the
// preview and its points, drawn into a surface in memory (presenting it to a
// window is measured apart, under Xvfb). Its floor is as many bare sin calls
// as the callback makes: five a frame for the 8192 frames and five a sample
// for the 12802 preview samples.

#include "memory_screen.h"
#include "sine_floor.h"
#include "synth/patch.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int SINES_PER_CALLBACK = 5 * (8192 + 12802);

// The start-up patch: a 440 Hz square and four idle sine modulators.
void BM_CallbackWithScope(benchmark::State &state) {
    open_memory_screen();
    create_oscillators();
    time_callback_against_floor(state, SINES_PER_CALLBACK);
    close_memory_screen();
}

} // namespace

BENCHMARK(BM_CallbackWithScope)->UseManualTime()->Unit(benchmark::kMicrosecond);
