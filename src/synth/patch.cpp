// SPDX-License-Identifier: MIT
#include "synth/patch.h"

#include <bit>
#include <cmath>

Patch patch;

void create_oscillators() {
    // The tests start over with a fresh set many times in one process.
    delete patch.OSC1;
    delete patch.OSC2;
    delete patch.OSC3;
    delete patch.OSC4;
    delete patch.OSC5;
    patch.OSC1 = new Oscillator(1.0f, 440.0f, ThreeLevelSquare);
    patch.OSC2 = new Oscillator(1.0f, 0.0f, Sine);
    patch.OSC3 = new Oscillator(1.0f, 0.0f, Sine);
    patch.OSC4 = new Oscillator(1.0f, 0.0f, Sine);
    patch.OSC5 = new Oscillator(1.0f, 0.0f, Sine);
    // A true entry from the first tick.
    patch.heard_hz = note_to_hz(patch.heard_note);
}

float note_to_hz(int32_t note) {
    return static_cast<float>(std::pow(2.0, (note + 11.0) / 12.0) * 8.1757989);
}

namespace {
float carrier_hz(Patch &p, int32_t note) {
    if (note != p.heard_note) {
        p.heard_note = note;
        p.heard_hz = note_to_hz(note);
    }
    return p.heard_hz;
}

// x != 0, tested on the bits: only +0 and -0 have nothing but the sign bit.
// Cheaper than a float compare, which must also sort out not-a-number.
bool nonzero(float x) {
    return (std::bit_cast<uint32_t>(x) & 0x7FFFFFFFu) != 0;
}

struct Modulation {
    float output;
    bool active;
};

[[gnu::always_inline]] inline Modulation tick_modulator(Oscillator &osc) {
    const Oscillator::Applied applied = osc.load_applied();
    // A modulator with a zero amplitude or frequency is stepped but modulates nothing.
    const bool active = nonzero(applied.ampl) && nonzero(applied.freq);
    return {osc.step(applied), active};
}

// x scaled by (1 + o): the product first, then the sum, stored as a float.
float scaled(float o, float x) {
    return static_cast<float>(static_cast<double>(o) * x + x);
}
} // namespace

float patch_tick(Patch &p, bool follow_note) {
    const Modulation m5 = tick_modulator(*p.OSC5);
    const Modulation m4 = tick_modulator(*p.OSC4);
    const Modulation m3 = tick_modulator(*p.OSC3);
    const Modulation m2 = tick_modulator(*p.OSC2);

    Oscillator &carrier = *p.OSC1;
    Oscillator::Applied applied = carrier.load_applied();
    // AFreq already holds the old Freq, so the carrier follows a new note one frame late.
    if (follow_note)
        carrier.Freq = carrier_hz(p, p.note);

    if (m2.active)
        carrier.AAmpl = applied.ampl = scaled(m2.output, applied.ampl);
    if (m3.active)
        carrier.AFreq = applied.freq = scaled(m3.output, applied.freq);
    if (m4.active)
        carrier.APhase = applied.phase = scaled(m4.output, applied.phase);
    if (m5.active)
        carrier.AFreq = applied.freq = scaled(m5.output, applied.freq);

    return carrier.step(applied);
}
