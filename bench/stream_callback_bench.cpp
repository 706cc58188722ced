// The whole stream callback with the scope: clear, the block's frames, the
// preview and its points, drawn into a surface in memory (presenting it to a
// window is measured apart, under Xvfb). Beside it, its floor: as many bare
// sin calls as the callback makes, five a frame for the 8192 frames and five
// a sample for the 12802 preview samples. Reports `floor_us` and
// `floor_ratio`, the callback's time over the floor's.

#include "patch.h"
#include "screen.h"
#include "stream_callback.h"

#include <benchmark/benchmark.h>

#include <SDL.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int32_t BLOCK_BYTES = 32768;
constexpr int SINES_PER_CALLBACK = 5 * (BLOCK_BYTES / 4 + 12802);

using Clock = std::chrono::steady_clock;

// Arguments of the size the oscillators pass: (position + 1) * 6.2831853 with
// the position spread over (-2, 1].
std::vector<double> sine_arguments() {
    std::vector<double> args(SINES_PER_CALLBACK);
    for (size_t i = 0; i < args.size(); ++i)
        args[i] =
            (std::fmod(static_cast<double>(i) * 0.6180339887498949, 1.0) * 3.0 - 1.0) * 6.2831853;
    return args;
}

void sine_calls(const std::vector<double> &args) {
    for (double x : args) {
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(std::sin(x));
    }
}

// The start-up patch: a 440 Hz square and four idle sine modulators. Each
// iteration times one callback and then one floor round, so that a machine
// slowing down or speeding up weighs on both alike; the reported time is the
// callback's alone.
void BM_CallbackWithScope(benchmark::State &state) {
    // Under the dummy video driver, presenting a surface that is not a window
    // does nothing.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0xff0000, 0xff00,
                                  0xff, 0);
    create_oscillators();
    std::vector<unsigned char> buffer(BLOCK_BYTES);
    const std::vector<double> args = sine_arguments();
    std::chrono::duration<double> callback{}, floor{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        stream_callback(nullptr, buffer.data(), BLOCK_BYTES, nullptr);
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

    SDL_FreeSurface(screen);
    screen = nullptr; // the other benchmarks play without the scope
    SDL_Quit();
}

} // namespace

BENCHMARK(BM_CallbackWithScope)->UseManualTime()->Unit(benchmark::kMicrosecond);
