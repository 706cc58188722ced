// SPDX-License-Identifier: MIT
#include "sine_floor.h"
#include "stream_block.h"

#include "synth/oscillator.h"
#include "synth/stream_callback.h"
#include "synth/stream_context.h"

#include <chrono>
#include <cmath>
#include <vector>

namespace {

constexpr double BLOCK_SECONDS = static_cast<double>(BLOCK_FRAMES) / SAMPLE_RATE;

using Clock = std::chrono::steady_clock;

// Arguments of the size the oscillators pass, (position + 1) * 6.2831853 with
// the position anywhere in (-2, 1], spread by the golden ratio so that
// neighbours differ as they do between oscillators.
std::vector<double> sine_arguments(int count) {
    std::vector<double> args(count);
    for (size_t i = 0; i < args.size(); ++i)
        args[i] =
            (std::fmod(static_cast<double>(i) * 0.6180339887498949, 1.0) * 3.0 - 1.0) * 6.2831853;
    return args;
}

// Each argument is read from memory filled at run time, so no call can be
// folded or handed a stale register; keeping each result keeps every call.
void sine_calls(const std::vector<double> &args) {
    for (const double &x : args)
        benchmark::DoNotOptimize(std::sin(x));
}

} // namespace

void time_callback_against_floor(benchmark::State &state, int sines,
                                 NewestOfThree<Preview> *previews) {
    std::vector<unsigned char> buffer(BLOCK_BYTES);
    StreamContext context{&patch, {}, previews};
    const std::vector<double> args = sine_arguments(sines);
    std::chrono::duration<double> callback{}, floor{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        stream_callback(nullptr, buffer.data(), BLOCK_BYTES, &context);
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        sine_calls(args);
        const auto t2 = Clock::now();
        callback += t1 - t0;
        floor += t2 - t1;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["floor_us"] = 1e6 * floor.count() / n;
    state.counters["floor_ratio"] = callback / floor;
    state.counters["realtime_pct"] = 100.0 * callback.count() / n / BLOCK_SECONDS;
}
