// SPDX-License-Identifier: MIT
#include "scope/draw_scope.h"

#include "scope/screen.h"
#include "scope/surface.h"
#include "synth/preview.h"
#include "synth/sample.h"

#include <SDL.h>

#include <cstdint>

namespace {
constexpr uint32_t RED = 0xff0000;
constexpr uint32_t GREEN = 0x00ff00;
constexpr uint32_t BLUE = 0x0000ff;
constexpr uint32_t WHITE = 0xffffff;
constexpr uint32_t MAGENTA = 0xff00ff;

constexpr int32_t AXIS_ROW = 120;
constexpr int32_t LOWER_CARRIER_ROW = 450;

// Truncates a row formed in double precision. A row off the window, or not a
// number at all (a carrier driven far beyond the audio range), becomes 0, a
// row the plot skips, without being converted.
int32_t row_of(double row) {
    return row > -1.0 && row < SCREEN_HEIGHT ? static_cast<int32_t>(row) : 0;
}

// 100 rows per unit of output, around the axis.
int32_t modulator_row(float output) {
    return row_of(100.0 * output + AXIS_ROW);
}

void plot_sample(SDL_Surface *surface, int32_t x, const PreviewSample &s) {
    const float level = carrier_level(s.carrier);
    // The modulators first, the carrier last: later points cover earlier ones.
    plot_pixel(surface, x, modulator_row(s.osc5), RED);
    plot_pixel(surface, x, modulator_row(s.osc4), RED);
    plot_pixel(surface, x, modulator_row(s.osc3), GREEN);
    plot_pixel(surface, x, modulator_row(s.osc2), BLUE);
    plot_pixel(surface, x, row_of(level / 200.0 + AXIS_ROW), WHITE);
    plot_pixel(surface, x, AXIS_ROW, MAGENTA);
    plot_pixel(surface, x, row_of(level / 300.0 + LOWER_CARRIER_ROW), WHITE);
}

// The scan position steps by 0.05 of a column but is kept in a float, so it
// drifts off the multiples of 0.05.
constexpr float next_column(float u) {
    return static_cast<float>(u + 0.05);
}

constexpr int32_t scan_steps() {
    int32_t steps = 0;
    for (float u = 0.0f; u < SCREEN_WIDTH; u = next_column(u))
        ++steps;
    return steps;
}
static_assert(scan_steps() == PREVIEW_SAMPLES, "one preview sample per step of the scan");

void plot_preview(SDL_Surface *surface, const Preview &preview) {
    float u = 0.0f;
    for (const PreviewSample &s : preview.samples) {
        plot_sample(surface, static_cast<int32_t>(u), s);
        u = next_column(u);
    }
}
} // namespace

void draw_scope(SDL_Surface *surface, const Preview &preview) {
    clear_surface(surface);
    // A surface that may only be written while locked stays locked for the
    // whole plot; if it cannot be locked this picture is left out.
    const bool must_lock = SDL_MUSTLOCK(surface);
    if (!must_lock || SDL_LockSurface(surface) == 0) {
        plot_preview(surface, preview);
        if (must_lock)
            SDL_UnlockSurface(surface);
    }
}
