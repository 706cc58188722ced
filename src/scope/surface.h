// SPDX-License-Identifier: MIT
#pragma once

#include "scope/screen.h"

#include <SDL.h>

#include <cstdint>

// The only code that writes the scope's pixels.

// Turns every pixel black. When the surface cannot be locked the picture stays
// as it was and the next one is drawn over it.
void clear_surface(SDL_Surface *surface);

// Stores a 0xRRGGBB colour, unmapped, at column x (0..639) of row y. Rows
// outside 1..799 are skipped: row 0 is never drawn. No lock is taken. Seven
// points go down for every preview sample, so it is inlined into the plot.
inline void plot_pixel(SDL_Surface *surface, int32_t x, int32_t y, uint32_t colour) {
    if (y <= 0 || y >= SCREEN_HEIGHT)
        return;
    const int32_t row_start = y * surface->pitch / 4;
    static_cast<uint32_t *>(surface->pixels)[row_start + x] = colour;
}
