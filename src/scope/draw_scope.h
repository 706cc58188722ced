// SPDX-License-Identifier: MIT
#pragma once

// Plots a preview of the patch on the screen and has it presented: 12802
// samples of every oscillator from the start of their cycles, about 20 to a
// column. The oscillators' running positions are left as they were, so the
// sound goes on as if no preview had run (a Noise oscillator aside, which
// draws from the same random sequence). Audio thread only; needs the screen.
void draw_scope();
