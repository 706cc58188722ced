// SPDX-License-Identifier: MIT
#include "synth/oscillator.h"

#include "synth/noise_rand.h"
#include "synth/truncate.h"

Oscillator::Oscillator(float ampl, float freq, int32_t waveform)
    : position(0.0f), Phase(1.0f), Ampl(ampl), Freq(freq), APhase(1.0f), AAmpl(ampl), AFreq(freq),
      waveform(waveform) {}

// Rests at -0.5 * ampl with sparse random impulses, about one step in |n|,
// where n follows the frequency around 439 Hz.
float Oscillator::noise(float ampl, float freq) const {
    if (ampl == 0.0f)
        return 0.0f;
    float a = 0.0f;
    const int32_t r = noise_rand();
    const int32_t n =
        static_cast<int32_t>(static_cast<uint32_t>(truncate_to_int32(freq - 439.0)) + 1u);
    // A divisor of 0 (n or m) has no remainder: no impulse for n, a level of 0 for m.
    if (n != 0 && r % n == 1) {
        const int32_t r2 = noise_rand();
        const int32_t m =
            static_cast<int32_t>(static_cast<uint32_t>(truncate_to_int32(ampl * 100.0)) + 111u);
        if (m != 0)
            a = static_cast<float>(r2 % m);
    }
    return static_cast<float>((a - 50.0 * ampl) / 100.0);
}
