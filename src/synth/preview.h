// SPDX-License-Identifier: MIT
#pragma once

#include "synth/patch.h"

#include <cstdint>

// The window's picture of the patch: every oscillator from the start of its
// cycle, as many samples as the scope's scan across the window takes (640
// columns in steps of 0.05 kept in a float, which drift: 12802, not 12800).
constexpr int32_t PREVIEW_SAMPLES = 12802;

// One sample of each oscillator: the modulators' outputs and the carrier's.
struct PreviewSample {
    float osc2, osc3, osc4, osc5;
    float carrier;
};

struct Preview {
    PreviewSample samples[PREVIEW_SAMPLES];
};

// Runs the patch from position 0 for PREVIEW_SAMPLES samples into `out`, at
// the note the stream last played (the carrier's Freq is not moved). The
// oscillators' running positions are left as they were, so the sound goes on
// as if no preview had run (a Noise oscillator aside, which draws from the
// same random sequence). Audio thread only.
void run_preview(Patch &p, Preview &out);
