// The whole stream callback with the scope: clear, the block's frames, the
// preview and its points, drawn into a surface in memory (presenting it to a
// window is measured apart, under Xvfb). Its floor is as many bare sin calls
// as the callback makes: five a frame for the 8192 frames and five a sample
// for the 12802 preview samples.

#include "patch.h"
#include "screen.h"
#include "sine_floor.h"

#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdlib>

namespace {

constexpr int SINES_PER_CALLBACK = 5 * (8192 + 12802);

// The start-up patch: a 440 Hz square and four idle sine modulators.
void BM_CallbackWithScope(benchmark::State &state) {
    // Under the dummy video driver, presenting a surface that is not a window
    // does nothing.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0xff0000, 0xff00,
                                  0xff, 0);
    create_oscillators();
    time_callback_against_floor(state, SINES_PER_CALLBACK);

    SDL_FreeSurface(screen);
    screen = nullptr; // the other benchmarks play without the scope
    SDL_Quit();
}

} // namespace

BENCHMARK(BM_CallbackWithScope)->UseManualTime()->Unit(benchmark::kMicrosecond);
