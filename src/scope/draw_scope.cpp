// SPDX-License-Identifier: MIT
#include "scope/draw_scope.h"

#include "scope/presenter.h"
#include "scope/screen.h"
#include "scope/surface.h"
#include "synth/patch.h"
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

void plot_sample(int32_t x) {
    const float level = carrier_level(patch.OSC1->value);
    // The modulators first, the carrier last: later points cover earlier ones.
    plot_pixel(screen, x, modulator_row(patch.OSC5->output()), RED);
    plot_pixel(screen, x, modulator_row(patch.OSC4->output()), RED);
    plot_pixel(screen, x, modulator_row(patch.OSC3->output()), GREEN);
    plot_pixel(screen, x, modulator_row(patch.OSC2->output()), BLUE);
    plot_pixel(screen, x, row_of(level / 200.0 + AXIS_ROW), WHITE);
    plot_pixel(screen, x, AXIS_ROW, MAGENTA);
    plot_pixel(screen, x, row_of(level / 300.0 + LOWER_CARRIER_ROW), WHITE);
}

// The scan position steps by 0.05 of a column but is kept in a float, so it
// drifts off the multiples of 0.05: the pass runs 12802 samples, not 12800.
void plot_preview() {
    for (float u = 0.0f; u < SCREEN_WIDTH; u = static_cast<float>(u + 0.05)) {
        patch_tick(false);
        plot_sample(static_cast<int32_t>(u));
    }
}
} // namespace

void draw_scope() {
    Oscillator *const oscillators[] = {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    float running[5];
    for (int i = 0; i < 5; ++i) {
        running[i] = oscillators[i]->position;
        oscillators[i]->position = 0.0f;
    }

    // A surface that may only be written while locked stays locked for the
    // whole plot; if it cannot be locked this picture is left out.
    const bool must_lock = SDL_MUSTLOCK(screen);
    if (!must_lock || SDL_LockSurface(screen) == 0) {
        plot_preview();
        if (must_lock)
            SDL_UnlockSurface(screen);
    }

    for (int i = 0; i < 5; ++i)
        oscillators[i]->position = running[i];
    screen = present(screen);
}
