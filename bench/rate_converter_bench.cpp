// SPDX-License-Identifier: MIT
// The JACK output's conversion of a block of the stream to a 48 kHz server's
// rate, a piece at a time as the stream thread does it: at most 0.3 ms a
// block. The frames are the start patch's, as the callback computes them.

#include "common/progress_hook.h"
#include "platform/audio/backends/rate_converter.h"
#include "stream_block.h"
#include "synth/oscillator.h"
#include "synth/patch.h"
#include "synth/stream_callback.h"
#include "synth/stream_context.h"
#include "targets.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

constexpr double MOST_US = 300;

using Clock = std::chrono::steady_clock;

void BM_ConvertBlockTo48k(benchmark::State &state) {
    create_oscillators();
    std::vector<char> block(BLOCK_BYTES);
    StreamContext context{&patch, {}, nullptr};
    stream_callback(nullptr, block.data(), BLOCK_BYTES, &context);
    const auto converter = RateConverter::make(SAMPLE_RATE, 48000);
    std::vector<float> out(2 * converter->most_out(PROGRESS_FRAMES));
    std::chrono::duration<double> spent{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (long at = 0; at < BLOCK_FRAMES; at += PROGRESS_FRAMES)
            converter->convert(block.data() + 4 * at, PROGRESS_FRAMES, out.data());
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        spent += t1 - t0;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    const double us = 1e6 * spent.count() / static_cast<double>(state.iterations());
    state.counters["block_us"] = us;
    if (us > MOST_US)
        miss_target(state, "converting a block took more than 0.3 ms");
}

} // namespace

BENCHMARK(BM_ConvertBlockTo48k)->UseManualTime()->Unit(benchmark::kMicrosecond);
