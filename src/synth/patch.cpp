#include "patch.h"

#include <cmath>

Patch patch;

void create_oscillators() {
    patch.OSC1 = new Oscillator(1.0f, 440.0f, ThreeLevelSquare);
    patch.OSC2 = new Oscillator(1.0f, 0.0f, Sine);
    patch.OSC3 = new Oscillator(1.0f, 0.0f, Sine);
    patch.OSC4 = new Oscillator(1.0f, 0.0f, Sine);
    patch.OSC5 = new Oscillator(1.0f, 0.0f, Sine);
}

float note_to_hz(int32_t note) {
    return static_cast<float>(std::pow(2.0, (note + 11.0) / 12.0) * 8.1757989);
}

namespace {
float tick_modulator(Oscillator &osc) {
    osc.load_applied();
    osc.step();
    return osc.output();
}

// A modulator with a zero amplitude or frequency is stepped but modulates nothing.
bool modulates(const Oscillator &osc) { return osc.AAmpl != 0.0f && osc.AFreq != 0.0f; }

// x scaled by (1 + o): the product first, then the sum, stored as a float.
float scaled(float o, float x) { return static_cast<float>(static_cast<double>(o) * x + x); }
} // namespace

float patch_tick(bool follow_note) {
    const float o5 = tick_modulator(*patch.OSC5);
    const float o4 = tick_modulator(*patch.OSC4);
    const float o3 = tick_modulator(*patch.OSC3);
    const float o2 = tick_modulator(*patch.OSC2);

    Oscillator &carrier = *patch.OSC1;
    carrier.load_applied();
    // AFreq already holds the old Freq, so the carrier follows a new note one frame late.
    if (follow_note)
        carrier.Freq = note_to_hz(patch.note);

    if (modulates(*patch.OSC2))
        carrier.AAmpl = scaled(o2, carrier.AAmpl);
    if (modulates(*patch.OSC3))
        carrier.AFreq = scaled(o3, carrier.AFreq);
    if (modulates(*patch.OSC4))
        carrier.APhase = scaled(o4, carrier.APhase);
    if (modulates(*patch.OSC5))
        carrier.AFreq = scaled(o5, carrier.AFreq);

    carrier.step();
    return carrier.output();
}
