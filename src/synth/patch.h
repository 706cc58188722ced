// SPDX-License-Identifier: MIT
#pragma once

#include "common/relaxed.h"
#include "synth/oscillator.h"

#include <cstdint>

// The synthesiser: the carrier OSC1 and its modulators of amplitude (OSC2),
// frequency (OSC3, OSC5) and phase (OSC4). The console changes the note and
// the base settings; the audio thread plays them.
struct Patch {
    Oscillator *OSC1 = nullptr;
    Oscillator *OSC2 = nullptr;
    Oscillator *OSC3 = nullptr;
    Oscillator *OSC4 = nullptr;
    Oscillator *OSC5 = nullptr;
    Relaxed<int32_t> note{58};
    Relaxed<int32_t> waveform_selector{0};
    // The audio thread's own: pow is the dearest call of a tick and the note
    // seldom changes, so it keeps the frequency of the last note it read.
    int32_t heard_note = 58;
    float heard_hz = 0.0f; // set to note_to_hz(heard_note) when the oscillators are made
};

extern Patch patch;

// Creates the five oscillators with their starting settings, in place of any
// made before; called before the stream starts. They are never destroyed
// after that: both threads use them until the process ends.
void create_oscillators();

float note_to_hz(int32_t note);

// One sample of the whole patch `p`; returns the carrier's output. The audio
// stream passes follow_note = true, the scope preview false so that it never
// moves the carrier's Freq.
float patch_tick(Patch &p, bool follow_note);
