// SPDX-License-Identifier: MIT
#pragma once

#include "common/relaxed.h"

#include <cmath>
#include <cstdint>

constexpr int32_t SAMPLE_RATE = 44100;

// Deliberately not 2*pi to full precision: the sound is defined with this factor.
constexpr double TWO_PI = 6.2831853;

enum Waveform : int32_t { Sine = 1, Ramp = 2, ShiftedRamp = 3, ThreeLevelSquare = 4, Noise = 5 };

// One unit generator. The base settings (Phase, Ampl, Freq) belong to the
// console; the applied copies (APhase, AAmpl, AFreq) are reloaded before every
// step so that modulation never accumulates in the base settings. Every field
// is a relaxed 32-bit value because the console thread writes base settings
// while the audio thread steps.
class Oscillator {
  public:
    Relaxed<float> value;
    Relaxed<float> position;
    Relaxed<float> Phase;
    Relaxed<float> Ampl;
    Relaxed<float> Freq;
    Relaxed<float> APhase;
    Relaxed<float> AAmpl;
    Relaxed<float> AFreq;
    Relaxed<int32_t> waveform;

    Oscillator(float ampl, float freq, int32_t waveform);

    // The applied settings as the audio thread last stored them. Only that
    // thread writes them, so a tick may carry them in registers from
    // load_applied to step instead of reading back what it has just stored.
    struct Applied {
        float freq;
        float phase;
        float ampl;
    };

    // load_applied and step run for every oscillator at every frame and again
    // for every preview sample, so they live here, where the patch inlines them.
    Applied load_applied() {
        const Applied applied{Freq, Phase, Ampl};
        AFreq = applied.freq;
        APhase = applied.phase;
        AAmpl = applied.ampl;
        return applied;
    }

    void step() { step(Applied{AFreq, APhase, AAmpl}); }

    // Steps with `applied`, which must equal the applied settings; returns the
    // new value.
    [[gnu::always_inline]] float step(const Applied &applied) {
        float p = static_cast<float>(applied.freq / static_cast<double>(SAMPLE_RATE) + position);
        // Dropping by 3 rather than 1 means that, after the first wrap, three
        // cycles lie between two wraps; the ramps show it, the sines do not.
        //
        // A position out of the wrap's reach comes back at 0, where every
        // oscillator starts. What phase it had is not worth keeping: there is
        // none when it is infinite, not a number or past a float's fractions
        // of a cycle, and above 3 * 44100 Hz it belongs to no tone one hears.
        // From 0 a note brought back sounds at once, as after a restart.
        if (p > 1.0f) {
            p = static_cast<float>(p - 3.0);
            // Still above 1: a step of 3 cycles or more (3 * 44100 Hz and up)
            // or a position that had run away before. One drop a step would
            // never catch up, or take minutes to.
            if (p > 1.0f) [[unlikely]]
                p = 0.0f;
        }
        // Negative frequencies let the position fall, as designed (nothing
        // wraps the low end), but from -2^23 cycles down a float holds whole
        // cycles only: no step under a cycle moves it. Not a number lands here too.
        if (!(p > LOST_BELOW)) [[unlikely]]
            p = 0.0f;
        position = p;

        // One sine call serves both waveforms built on it.
        const int32_t shape = waveform;
        const float ampl = applied.ampl;
        float out;
        if (shape == Sine || shape == ThreeLevelSquare) {
            const double s = std::sin((p + static_cast<double>(applied.phase)) * TWO_PI);
            out = shape == Sine ? static_cast<float>(s * ampl)
                                : square_level(static_cast<float>(s), ampl);
        } else if (shape == Ramp) {
            out = static_cast<float>(static_cast<double>(p) * ampl);
        } else if (shape == ShiftedRamp) {
            out = static_cast<float>(static_cast<double>(p) * ampl - 0.5);
        } else if (shape == Noise) {
            out = noise(ampl, applied.freq);
        } else {
            return value; // an unknown code keeps the previous sample
        }
        value = out;
        return out;
    }

    float output() const { return value; }

  private:
    // Cycles; see step.
    static constexpr float LOST_BELOW = -8388608.0f; // -2^23

    // The level is decided on the sine alone, so both pulses keep the height
    // ampl whatever its size or sign.
    static float square_level(float s, float ampl) {
        return s > 0.5f ? ampl : s < -0.5f ? -ampl : 0.0f;
    }
    float noise(float ampl, float freq) const;
};
