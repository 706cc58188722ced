// SPDX-License-Identifier: MIT
#pragma once

#include "synth/patch.h"

#include <initializer_list>

// What must hold of the patch after any key or message, for the fuzz
// targets: a failed check stops the run, so that the fuzzer keeps the input.

inline void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

// Zero, or above the clamp's bound; a negative value, a sliver above zero
// and a value that is not a number all fail.
inline bool clamped(float v) {
    return v == 0.0f || static_cast<double>(v) > 0.0001;
}

inline void check_patch() {
    for (Oscillator *o : {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5})
        check(clamped(o->Ampl) && clamped(o->Freq) && clamped(o->Phase));
    // The carrier keeps its starting waveform until the first "+"; from then
    // on it follows the selector, which never leaves 1..5 again.
    const int32_t selector = patch.waveform_selector;
    check(selector >= 0 && selector <= 5);
    check(patch.OSC1->waveform == (selector == 0 ? ThreeLevelSquare : selector));
}
