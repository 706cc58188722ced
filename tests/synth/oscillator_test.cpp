#include "noise_rand.h"
#include "oscillator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <set>

namespace {

void step_times(Oscillator &osc, int steps) {
    for (int i = 0; i < steps; ++i)
        osc.step();
}

uint32_t bits(float x) {
    return std::bit_cast<uint32_t>(x);
}

// An independent model of the noise source, used to tell how many draws the
// oscillator made: the next real draw must be the model's next one.
struct DrawModel {
    uint32_t state = 1;
    int32_t next() {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFF);
    }
};

// Holds a still oscillator (AFreq 0) at `cycles`, split over position and
// APhase so that their sum in double precision hits it far more finely than
// one float could.
void hold_at(Oscillator &osc, double cycles) {
    osc.AFreq = 0.0f;
    const float coarse = static_cast<float>(cycles);
    osc.position = coarse;
    osc.APhase = static_cast<float>(cycles - coarse);
}

double cycles_for_sine(double s) {
    return std::asin(s) / 6.2831853;
}

} // namespace

TEST(NoiseRand, DrawsTheSameSequenceEveryRun) {
    const int32_t first[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int32_t expected : first)
        EXPECT_EQ(noise_rand(), expected);
}

TEST(Oscillator, ConstructionAndLoadApplied) {
    Oscillator osc(0.25f, 330.0f, Ramp);
    EXPECT_EQ(osc.position, 0.0f);
    EXPECT_EQ(osc.Phase, 1.0f);
    EXPECT_EQ(osc.Ampl, 0.25f);
    EXPECT_EQ(osc.Freq, 330.0f);
    EXPECT_EQ(osc.APhase, 1.0f);
    EXPECT_EQ(osc.AAmpl, 0.25f);
    EXPECT_EQ(osc.AFreq, 330.0f);
    EXPECT_EQ(osc.waveform, Ramp);

    // Distinct, awkward values: a swapped field or any arithmetic on the way
    // (a NaN payload, a negative zero, a subnormal) shows up in the bits.
    const float nan_with_payload = std::bit_cast<float>(0x7FC01234u);
    osc.Freq = -0.0f;
    osc.Phase = 1.0e-42f;
    osc.Ampl = nan_with_payload;
    osc.load_applied();
    EXPECT_EQ(bits(osc.AFreq), bits(-0.0f));
    EXPECT_EQ(bits(osc.APhase), bits(1.0e-42f));
    EXPECT_EQ(bits(osc.AAmpl), 0x7FC01234u);
    EXPECT_EQ(bits(osc.Freq), bits(-0.0f)) << "base settings are left alone";
}

TEST(Oscillator, SineFirstStepAndStandstill) {
    Oscillator sine(1.0f, 440.0f, Sine);
    sine.step();
    EXPECT_EQ(sine.position, 0.009977324f);
    EXPECT_NEAR(sine.output(), 0.0626483, 1e-7);

    // At 0 Hz the position never moves, and the constant 6.2831853 (not 2*pi)
    // makes the output a tiny negative number instead of 0.
    Oscillator still(1.0f, 0.0f, Sine);
    for (int i = 0; i < 1000; ++i) {
        still.step();
        ASSERT_EQ(still.position, 0.0f);
        ASSERT_EQ(still.output(), static_cast<float>(std::sin(6.2831853)));
    }
    EXPECT_NEAR(still.output(), -7.18e-9, 0.01e-9);
    EXPECT_NE(still.output(), 0.0f);

    // Amplitude scales the sine and the phase offset shifts it.
    Oscillator shifted(2.0f, 0.0f, Sine);
    shifted.APhase = 0.25f;
    shifted.step();
    EXPECT_NEAR(shifted.output(), 2.0, 1e-6);
}

TEST(Oscillator, PositionAdvancesAndWrapsByThree) {
    Oscillator square(1.0f, 440.0f, ThreeLevelSquare);
    for (int i = 1; i <= 8; ++i) {
        square.step();
        EXPECT_EQ(square.output(), 0.0f) << "step " << i;
    }
    square.step();
    EXPECT_EQ(square.output(), 1.0f);
    step_times(square, 91);
    EXPECT_EQ(square.position, 0.99773294f);
    square.step();
    EXPECT_EQ(square.position, -1.9922898f);

    // Exactly 1.0 stays; only a position above 1.0 drops by 3.
    Oscillator half(1.0f, 22050.0f, Ramp);
    half.step();
    EXPECT_EQ(half.position, 0.5f);
    half.step();
    EXPECT_EQ(half.position, 1.0f);
    half.step();
    EXPECT_EQ(half.position, -1.5f);

    // The increment is AFreq / 44100 in double, added without rounding it first.
    Oscillator fast(1.0f, 1000.0f, Ramp);
    step_times(fast, 13);
    EXPECT_EQ(fast.position, 0.294784576f);

    // A negative frequency lets the position fall without limit.
    Oscillator falling(1.0f, -44100.0f, Ramp);
    for (int i = 1; i <= 10; ++i) {
        falling.step();
        EXPECT_EQ(falling.position, static_cast<float>(-i));
    }
}

TEST(Oscillator, RampsFollowThePosition) {
    Oscillator ramp(1.0f, 440.0f, Ramp);
    Oscillator shifted(1.0f, 440.0f, ShiftedRamp);
    ramp.step();
    shifted.step();
    EXPECT_EQ(ramp.output(), 0.009977324f);
    EXPECT_EQ(shifted.output(), -0.49002269f);
    step_times(ramp, 99);
    step_times(shifted, 99);
    EXPECT_EQ(ramp.output(), 0.99773294f);
    EXPECT_EQ(shifted.output(), 0.49773294f);
    ramp.step();
    shifted.step();
    EXPECT_EQ(ramp.output(), -1.9922898f);
    EXPECT_EQ(shifted.output(), -2.4922898f);

    // The 0.5 offset is not scaled by the amplitude.
    Oscillator big(2.0f, 44100.0f, ShiftedRamp);
    big.step();
    EXPECT_EQ(big.output(), 1.5f);
    big.step();
    EXPECT_EQ(big.output(), -2.5f);
}

TEST(Oscillator, ThreeLevelSquareLevels) {
    Oscillator small(0.4f, 440.0f, ThreeLevelSquare);
    std::set<float> levels;
    for (int i = 0; i < 101; ++i) {
        small.step();
        levels.insert(small.output());
    }
    EXPECT_EQ(levels, (std::set<float>{-0.4f, 0.0f, 0.4f}));

    // A negative amplitude flips the pulses: the level follows s alone.
    Oscillator flipped(-0.8f, 440.0f, ThreeLevelSquare);
    step_times(flipped, 9);
    EXPECT_EQ(flipped.output(), -0.8f);
    step_times(flipped, 66);
    EXPECT_EQ(flipped.output(), 0.8f);
}

TEST(Oscillator, ThreeLevelSquareDecidesOnTheFloatSine) {
    Oscillator osc(0.7f, 0.0f, ThreeLevelSquare);
    // The sine in double is a hair beyond +-0.5 but rounds to exactly +-0.5
    // as a float: that is still the middle level.
    hold_at(osc, cycles_for_sine(0.5 + 1e-9));
    osc.step();
    EXPECT_EQ(osc.output(), 0.0f);
    hold_at(osc, cycles_for_sine(-0.5 - 1e-9));
    osc.step();
    EXPECT_EQ(osc.output(), 0.0f);
    // One float step further out gives the pulses.
    hold_at(osc, cycles_for_sine(0.5 + 4e-8));
    osc.step();
    EXPECT_EQ(osc.output(), 0.7f);
    hold_at(osc, cycles_for_sine(-0.5 - 4e-8));
    osc.step();
    EXPECT_EQ(osc.output(), -0.7f);
}

TEST(Oscillator, UnknownWaveformKeepsTheSample) {
    Oscillator osc(1.0f, 440.0f, Sine);
    step_times(osc, 10);
    const float held = osc.output();
    ASSERT_NE(held, 0.0f);
    for (int32_t code : {0, 6, -1, INT32_MIN, INT32_MAX}) {
        osc.waveform = code;
        const float before = osc.position;
        osc.step();
        EXPECT_EQ(osc.output(), held) << "code " << code;
        EXPECT_GT(osc.position, before) << "the position moves whatever the code";
    }
    // A known code takes effect at the very next step.
    osc.waveform = Ramp;
    osc.step();
    EXPECT_EQ(osc.output(), osc.position);
}

TEST(Oscillator, NoiseAtZeroAmplitudeIsSilentAndDrawsNothing) {
    Oscillator osc(0.0f, 440.0f, Noise);
    for (int i = 0; i < 100; ++i) {
        osc.step();
        ASSERT_EQ(osc.output(), 0.0f);
    }
    osc.AAmpl = -0.0f;
    osc.step();
    EXPECT_EQ(osc.output(), 0.0f);
    EXPECT_EQ(noise_rand(), 41) << "no draw was made";
}

TEST(Oscillator, NoiseWithoutImpulsesStillDrawsOncePerStep) {
    // 439.5 Hz: n is 1; 437.5 and 438 Hz: n is 0, which has no remainder.
    int steps = 0;
    for (float freq : {439.5f, 437.5f, 438.0f}) {
        Oscillator osc(1.0f, freq, Noise);
        for (int i = 0; i < 1000; ++i, ++steps) {
            osc.step();
            ASSERT_EQ(osc.output(), -0.5f) << freq << " Hz, step " << i + 1;
        }
    }
    DrawModel model;
    for (int i = 0; i < steps; ++i)
        model.next();
    EXPECT_EQ(noise_rand(), model.next()) << "exactly one draw per step";

    Oscillator loud(3.0f, 439.5f, Noise);
    loud.step();
    EXPECT_EQ(loud.output(), -1.5f);
}

TEST(Oscillator, NoiseImpulsesFollowTheFrequency) {
    struct Case {
        float freq;
        double rate;
    };
    for (const Case c : {Case{440.0f, 1.0 / 2}, Case{441.0f, 1.0 / 3}, Case{1000.0f, 1.0 / 562},
                         Case{100.0f, 1.0 / 338}, Case{435.5f, 1.0 / 2}, Case{436.5f, 0.0},
                         // n is 65539 here, beyond every draw: only r = 1 makes an impulse.
                         Case{65977.0f, 1.0 / 32768}}) {
        Oscillator osc(1.0f, c.freq, Noise);
        const int steps = 400000;
        int impulses = 0;
        float lo = -0.5f, hi = -0.5f;
        for (int i = 0; i < steps; ++i) {
            osc.step();
            const float v = osc.output();
            impulses += v != -0.5f;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        const double expected = c.rate * steps;
        EXPECT_NEAR(impulses, expected, 0.1 * expected + 3 * std::sqrt(expected) + 1)
            << c.freq << " Hz";
        EXPECT_EQ(lo, -0.5f) << c.freq << " Hz";
        EXPECT_LE(hi, 1.6f) << c.freq << " Hz";
        if (c.rate >= 1.0 / 3) {
            EXPECT_EQ(hi, 1.6f) << c.freq << " Hz: impulses reach a level of 210";
        }
    }
}

TEST(Oscillator, NoiseWithZeroLevelDivisorStillDrawsTwice) {
    // An amplitude in (-1.12, -1.11] makes the level divisor 0: every impulse
    // has level 0, yet the second draw is made.
    Oscillator osc(-1.115f, 440.0f, Noise);
    const float rest = static_cast<float>((0.0 - 50.0 * static_cast<double>(-1.115f)) / 100.0);
    DrawModel model;
    for (int i = 0; i < 1000; ++i) {
        osc.step();
        ASSERT_EQ(osc.output(), rest);
        if (model.next() % 2 == 1)
            model.next();
    }
    EXPECT_EQ(noise_rand(), model.next());
}
