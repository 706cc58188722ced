// SPDX-License-Identifier: MIT
#pragma once

#include "synth/preview.h"

struct SDL_Surface;

// Clears `surface` (SCREEN_WIDTH x SCREEN_HEIGHT, 0x00RRGGBB words) and plots
// the preview on it, about 20 samples to a column: the four modulators around
// the axis, the carrier around it and again, smaller, further down.
void draw_scope(SDL_Surface *surface, const Preview &preview);
