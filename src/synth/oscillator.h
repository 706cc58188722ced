#pragma once

#include "relaxed.h"

#include <cstdint>

constexpr int32_t SAMPLE_RATE = 44100;

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

    void load_applied();
    void step();
    float output() const { return value; }

  private:
    float noise(float ampl, float freq) const;
};
