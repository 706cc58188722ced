// SPDX-License-Identifier: MIT
#include "synth/noise_rand.h"
#include "synth/oscillator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

namespace {
void step_n(Oscillator &osc, int steps) {
    for (int i = 0; i < steps; ++i)
        osc.step();
}

uint32_t bits(float x) {
    return std::bit_cast<uint32_t>(x);
}
} // namespace

TEST(NoiseRand, DrawsTheSameSequenceEveryRun) {
    for (int32_t expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
        EXPECT_EQ(noise_rand(), expected);
}

TEST(Oscillator, StartsAtZeroAndLoadsTheAppliedSettingsBitForBit) {
    Oscillator osc(0.25f, 330.0f, Ramp);
    EXPECT_EQ((std::array<float, 7>{osc.position, osc.Phase, osc.Ampl, osc.Freq, osc.APhase,
                                    osc.AAmpl, osc.AFreq}),
              (std::array<float, 7>{0.0f, 1.0f, 0.25f, 330.0f, 1.0f, 0.25f, 330.0f}));
    // A swapped field or any arithmetic on the way shows in these bits.
    osc.Freq = -0.0f;
    osc.Phase = 1.0e-42f;
    osc.Ampl = std::bit_cast<float>(0x7FC01234u);
    osc.load_applied();
    EXPECT_EQ((std::array{bits(osc.AFreq), bits(osc.APhase), bits(osc.AAmpl), bits(osc.Freq)}),
              (std::array{bits(-0.0f), bits(1.0e-42f), 0x7FC01234u, bits(-0.0f)}));
}

TEST(Oscillator, OutputsAfterSteps) {
    // A ramp of amplitude 1 outputs its position: up by Freq / 44100 a step,
    // down by 3 once above 1.0 (exactly 1.0 stays), never wrapped at the low end.
    struct Case {
        int32_t waveform;
        float ampl, freq;
        int steps;
        float value;
        double tolerance;
    };
    const Case cases[] = {
        {Ramp, 1.0f, 440.0f, 1, 0.009977324f, 0},
        {Ramp, 1.0f, 440.0f, 101, -1.9922898f, 0},
        {Ramp, 1.0f, 22050.0f, 2, 1.0f, 0},
        {Ramp, 1.0f, 22050.0f, 3, -1.5f, 0},
        {Ramp, 1.0f, 1000.0f, 13, 0.294784576f, 0}, // the step is not rounded to a float
        {Ramp, 1.0f, -44100.0f, 5, -5.0f, 0},
        {ShiftedRamp, 1.0f, 440.0f, 1, -0.49002269f, 0},
        {ShiftedRamp, 2.0f, 44100.0f, 1, 1.5f, 0},
        {ShiftedRamp, 2.0f, 44100.0f, 2, -2.5f, 0},
        {Sine, 1.0f, 440.0f, 1, 0.0626483f, 1e-7},
        {Sine, 2.0f, 440.0f, 1, 0.1252966f, 2e-7},
        {Sine, 1.0f, 0.0f, 1000, -7.18e-9f, 1e-11}, // 6.2831853 is not quite 2 pi
        {ThreeLevelSquare, 1.0f, 440.0f, 8, 0.0f, 0},
        {ThreeLevelSquare, 1.0f, 440.0f, 9, 1.0f, 0},
        {ThreeLevelSquare, -0.8f, 440.0f, 9, -0.8f, 0},
        {ThreeLevelSquare, -0.8f, 440.0f, 75, 0.8f, 0},
    };
    for (const Case &c : cases) {
        Oscillator osc(c.ampl, c.freq, c.waveform);
        step_n(osc, c.steps);
        EXPECT_NEAR(osc.output(), c.value, c.tolerance)
            << "waveform " << c.waveform << ", " << c.ampl << " at " << c.freq << " Hz, step "
            << c.steps;
    }
}

TEST(Oscillator, ThreeLevelSquareDecidesOnTheSineRoundedToAFloat) {
    // A sine a hair beyond +-0.5 in double rounds to exactly +-0.5: the middle level.
    const std::pair<double, float> cases[] = {
        {0.5 + 1e-9, 0.0f}, {-0.5 - 1e-9, 0.0f}, {0.5 + 4e-8, 0.7f}, {-0.5 - 4e-8, -0.7f}};
    for (const auto &[sine, level] : cases) {
        // A still oscillator whose position and phase add up, in double, to
        // the cycles of that sine more finely than one float could.
        const double cycles = std::asin(sine) / 6.2831853;
        Oscillator osc(0.7f, 0.0f, ThreeLevelSquare);
        osc.position = static_cast<float>(cycles);
        osc.APhase = static_cast<float>(cycles - static_cast<float>(cycles));
        osc.step();
        EXPECT_EQ(osc.output(), level) << sine;
    }
}

TEST(Oscillator, UnknownWaveformKeepsTheSampleWhileThePositionMoves) {
    Oscillator osc(1.0f, 440.0f, Sine);
    step_n(osc, 10);
    const float held = osc.output();
    for (int32_t code : {0, 6, -1, INT32_MIN, INT32_MAX}) {
        osc.waveform = code;
        const float before = osc.position;
        osc.step();
        EXPECT_EQ(osc.output(), held) << code;
        EXPECT_GT(osc.position, before) << code;
    }
    osc.waveform = Ramp;
    osc.step();
    EXPECT_EQ(osc.output(), osc.position);
}

TEST(Oscillator, NoiseWithoutAudibleImpulsesRestsAndDrawsAsIfItHadThem) {
    // The last field counts draws: amplitude 0 draws nothing (0). At 439.5 Hz
    // n is 1, at 437.5 and 438 Hz it is 0 (no remainder): one draw a step and
    // no impulse (1). Amplitude -1.115 makes the level divisor 0: impulses of
    // level 0 that still draw a second time on odd r (2).
    const std::tuple<float, float, int> cases[] = {{0.0f, 440.0f, 0}, {-0.0f, 440.0f, 0},
                                                   {1.0f, 439.5f, 1}, {3.0f, 437.5f, 1},
                                                   {1.0f, 438.0f, 1}, {-1.115f, 440.0f, 2}};
    uint32_t state = 1;
    auto draw = [&state] {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFF;
    };
    for (const auto &[ampl, freq, draws] : cases) {
        Oscillator osc(ampl, freq, Noise);
        for (int i = 0; i < 1000; ++i) {
            osc.step();
            ASSERT_EQ(osc.output(), -0.5f * ampl) << ampl << " at " << freq << " Hz, step " << i;
            if (draws > 0 && draw() % 2 == 1 && draws == 2)
                draw();
        }
    }
    EXPECT_EQ(static_cast<uint32_t>(noise_rand()), draw());
}

TEST(Oscillator, NoiseImpulsesFollowTheFrequency) {
    // 65977 Hz makes n 65539, beyond every draw: only r = 1 sounds.
    const std::pair<float, double> rates[] = {
        {440.0f, 1.0 / 2}, {441.0f, 1.0 / 3}, {1000.0f, 1.0 / 562},   {100.0f, 1.0 / 338},
        {435.5f, 1.0 / 2}, {436.5f, 0.0},     {65977.0f, 1.0 / 32768}};
    for (const auto &[freq, rate] : rates) {
        Oscillator osc(1.0f, freq, Noise);
        const int steps = 400000;
        int impulses = 0;
        float lo = -0.5f, hi = -0.5f;
        for (int i = 0; i < steps; ++i) {
            osc.step();
            impulses += osc.output() != -0.5f;
            lo = std::min(lo, osc.output());
            hi = std::max(hi, osc.output());
        }
        const double expected = rate * steps;
        EXPECT_NEAR(impulses, expected, 0.1 * expected + 3 * std::sqrt(expected) + 1) << freq;
        EXPECT_EQ(lo, -0.5f) << freq;
        EXPECT_LE(hi, 1.6f) << freq;
        if (rate >= 1.0 / 3) {
            EXPECT_EQ(hi, 1.6f) << freq << ": impulse levels reach 210 hundredths";
        }
    }
}

TEST(Oscillator, KeepsEveryPositionWithinTheWrapsReach) {
    // The position as the wrap alone makes it. The first case starts where
    // each drop by 3 lands just under 1, one float below 3 * 44100 Hz.
    auto wrapped = [](float position, float freq) {
        const float p = static_cast<float>(freq / 44100.0 + position);
        return p > 1.0f ? static_cast<float>(p - 3.0) : p;
    };
    const std::pair<float, float> starts[] = {
        {-1.99999f, std::nextafter(132300.0f, 0.0f)}, {0.0f, 1000.0f}, {0.0f, -22050.0f}};
    for (const auto &[start, freq] : starts) {
        Oscillator osc(1.0f, freq, Ramp);
        osc.position = start;
        float expected = start;
        for (int i = 0; i < 200000; ++i) {
            expected = wrapped(expected, freq);
            osc.step();
            ASSERT_EQ(bits(osc.output()), bits(expected)) << freq << " Hz, step " << i;
        }
    }
}

TEST(Oscillator, APositionOutOfReachComesBackAtZeroAndPlaysOn) {
    const float inf = std::numeric_limits<float>::infinity();
    for (float lost : {inf, -inf, std::numeric_limits<float>::quiet_NaN(), 1.0e30f, -1.0e30f,
                       1.0e7f, -8388608.0f}) {
        Oscillator osc(1.0f, 880.0f, Sine);
        osc.position = lost;
        osc.step();
        EXPECT_EQ(bits(osc.position), bits(0.0f)) << lost;
        Oscillator fresh(1.0f, 880.0f, Sine);
        for (int i = 0; i < 100; ++i) {
            osc.step();
            fresh.step();
            ASSERT_EQ(osc.output(), fresh.output()) << lost << ", step " << i;
        }
    }
}
