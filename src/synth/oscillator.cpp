#include "oscillator.h"

#include "noise_rand.h"
#include "truncate.h"

#include <cmath>

namespace {
// Deliberately not 2*pi to full precision: the sound is defined with this factor.
constexpr double TWO_PI = 6.2831853;
} // namespace

Oscillator::Oscillator(float ampl, float freq, int32_t waveform)
    : position(0.0f), Phase(1.0f), Ampl(ampl), Freq(freq), APhase(1.0f), AAmpl(ampl), AFreq(freq),
      waveform(waveform) {}

void Oscillator::load_applied() {
    AFreq = Freq;
    APhase = Phase;
    AAmpl = Ampl;
}

void Oscillator::step() {
    float p = static_cast<float>(AFreq / static_cast<double>(SAMPLE_RATE) + position);
    // Dropping by 3 rather than 1 means that, after the first wrap, three
    // cycles lie between two wraps; the ramps show it, the sines do not.
    if (p > 1.0f)
        p = static_cast<float>(p - 3.0);
    position = p;

    const float ampl = AAmpl;
    switch (waveform) {
    case Sine:
        value = static_cast<float>(std::sin((p + static_cast<double>(APhase)) * TWO_PI) * ampl);
        break;
    case Ramp:
        value = static_cast<float>(static_cast<double>(p) * ampl);
        break;
    case ShiftedRamp:
        value = static_cast<float>(static_cast<double>(p) * ampl - 0.5);
        break;
    case ThreeLevelSquare: {
        const float s = static_cast<float>(std::sin((p + static_cast<double>(APhase)) * TWO_PI));
        value = s > 0.5f ? ampl : s < -0.5f ? -ampl : 0.0f;
        break;
    }
    case Noise:
        value = noise(ampl, AFreq);
        break;
    default:
        break; // an unknown code keeps the previous sample
    }
}

// Rests at -0.5 * ampl with sparse random impulses, about one step in |n|,
// where n follows the frequency around 439 Hz.
float Oscillator::noise(float ampl, float freq) const {
    if (ampl == 0.0f)
        return 0.0f;
    float a = 0.0f;
    const int32_t r = noise_rand();
    const int32_t n = static_cast<int32_t>(
        static_cast<uint32_t>(truncate_to_int32(freq - 439.0)) + 1u);
    // A divisor of 0 (n or m) has no remainder: no impulse for n, a level of 0 for m.
    if (n != 0 && r % n == 1) {
        const int32_t r2 = noise_rand();
        const int32_t m = static_cast<int32_t>(
            static_cast<uint32_t>(truncate_to_int32(ampl * 100.0)) + 111u);
        if (m != 0)
            a = static_cast<float>(r2 % m);
    }
    return static_cast<float>((a - 50.0 * ampl) / 100.0);
}
