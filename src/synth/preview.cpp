// SPDX-License-Identifier: MIT
#include "synth/preview.h"

void run_preview(Patch &p, Preview &out) {
    Oscillator *const oscillators[] = {p.OSC1, p.OSC2, p.OSC3, p.OSC4, p.OSC5};
    float running[5];
    for (int i = 0; i < 5; ++i) {
        running[i] = oscillators[i]->position;
        oscillators[i]->position = 0.0f;
    }
    for (PreviewSample &s : out.samples) {
        patch_tick(p, false);
        s = {p.OSC2->output(), p.OSC3->output(), p.OSC4->output(), p.OSC5->output(),
             p.OSC1->output()};
    }
    for (int i = 0; i < 5; ++i)
        oscillators[i]->position = running[i];
}
