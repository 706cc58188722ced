// SPDX-License-Identifier: MIT
// The stream thread's whole callback with a window open: the block's frames
// and the preview's samples, published for the presenter. Its floor is as
// many bare sin calls as the callback makes: five a frame for the 8192 frames
// and five a sample for the 12802 preview samples. Beside it, the presenter's
// share, off the stream thread: the clear and the plot of a preview into a
// surface in memory (presenting it to a window is measured apart, under
// Xvfb).

#include "scope/draw_scope.h"
#include "scope/screen.h"
#include "sine_floor.h"
#include "synth/patch.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int SINES_PER_CALLBACK = 5 * (8192 + 12802);

// The start-up patch: a 440 Hz square and four idle sine modulators.
void BM_CallbackWithPreview(benchmark::State &state) {
    create_oscillators();
    auto previews = std::make_unique<NewestOfThree<Preview>>();
    time_callback_against_floor(state, SINES_PER_CALLBACK, previews.get());
}

void BM_DrawPreview(benchmark::State &state) {
    create_oscillators();
    auto preview = std::make_unique<Preview>();
    run_preview(patch, *preview);
    SDL_Surface *surface = SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_WIDTH, SCREEN_HEIGHT, 32,
                                                0xff0000, 0xff00, 0xff, 0);
    for (auto _ : state) {
        draw_scope(surface, *preview);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(surface);
}

} // namespace

BENCHMARK(BM_CallbackWithPreview)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawPreview)->Unit(benchmark::kMicrosecond);
