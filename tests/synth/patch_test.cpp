// SPDX-License-Identifier: MIT
#include "synth/patch.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <tuple>

namespace {
constexpr float C5 = 523.25116f; // note 61
} // namespace

TEST(NoteToHz, EqualTemperamentFrom440WithoutBounds) {
    const float inf = std::numeric_limits<float>::infinity();
    // 59 and 69 come out otherwise if the exponent is rounded to a float.
    const std::pair<int32_t, float> notes[] = {
        {58, 440.0f},      {61, C5},    {70, 880.0f},     {-11, 8.1757989f}, {59, 466.163757f},
        {69, 830.609375f}, {5000, inf}, {INT32_MAX, inf}, {-5000, 0.0f},     {INT32_MIN, 0.0f}};
    for (const auto &[note, hz] : notes)
        EXPECT_EQ(note_to_hz(note), hz) << "note " << note;
}

TEST(Patch, StartsAsALone440HzSquareUnderFourIdleSines) {
    create_oscillators();
    EXPECT_EQ(patch.note, 58);
    EXPECT_EQ(patch.waveform_selector, 0);
    const Oscillator *oscillators[] = {patch.OSC1, patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    for (int i = 0; i < 5; ++i) {
        const Oscillator &o = *oscillators[i];
        EXPECT_EQ((std::array<float, 4>{o.Ampl, o.Freq, o.Phase, o.position}),
                  (std::array<float, 4>{1.0f, i == 0 ? 440.0f : 0.0f, 1.0f, 0.0f}))
            << "OSC" << i + 1;
        EXPECT_EQ(o.waveform, i == 0 ? ThreeLevelSquare : Sine) << "OSC" << i + 1;
    }
}

TEST(Patch, CarrierFollowsTheNoteOneTickLateAndOnlyInTheStream) {
    create_oscillators();
    // Note, follow_note, then Freq and AFreq after the tick.
    const std::tuple<int32_t, bool, float, float> ticks[] = {
        {61, true, C5, 440.0f}, // a first note other than the start note
        {61, true, C5, C5},         {70, false, C5, C5},
        {58, true, 440.0f, C5}, // back to the start note
        {70, true, 880.0f, 440.0f}, {61, true, C5, 880.0f}};
    for (const auto &[note, follow, freq, afreq] : ticks) {
        patch.note = note;
        patch_tick(patch, follow);
        EXPECT_EQ(patch.OSC1->Freq, freq) << "note " << note;
        EXPECT_EQ(patch.OSC1->AFreq, afreq) << "note " << note;
    }
    // A Freq zeroed by the console holds the carrier for one tick.
    patch.OSC1->Freq = 0.0f;
    const float held = patch.OSC1->position;
    patch_tick(patch, true);
    EXPECT_EQ(patch.OSC1->position, held);
    EXPECT_EQ(patch.OSC1->Freq, C5);
}

TEST(Patch, AmplitudeModulationSwingsBetweenZeroAndTwoTwiceASecond) {
    create_oscillators();
    patch.OSC2->Freq = 2.0f;
    int tick = 0;
    for (const auto &[at, ampl] :
         {std::pair{5513, 2.0f}, {16538, 0.0f}, {27563, 2.0f}, {38588, 0.0f}}) {
        for (; tick < at; ++tick)
            patch_tick(patch, true);
        EXPECT_NEAR(patch.OSC1->AAmpl, ampl, 1e-4) << "tick " << at;
    }
    EXPECT_EQ(patch.OSC1->Ampl, 1.0f);
}

TEST(Patch, ModulatorWithZeroFreqOrAmplLeavesTheCarrierAlone) {
    // A huge amplitude at 0 Hz would still shift the carrier through the tiny
    // 0 Hz sample; an infinite frequency at amplitude 0 outputs NaN.
    const std::pair<float, float> settings[] = {
        {1.0e6f, 0.0f}, {0.0f, 2.0f}, {0.0f, std::numeric_limits<float>::infinity()}};
    for (const auto &[ampl, freq] : settings) {
        create_oscillators();
        for (Oscillator *osc : {patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5}) {
            osc->Ampl = ampl;
            osc->Freq = freq;
        }
        Oscillator alone(1.0f, 440.0f, ThreeLevelSquare);
        for (int i = 0; i < 2000; ++i) {
            alone.step();
            ASSERT_EQ(patch_tick(patch, true), alone.output())
                << ampl << ", " << freq << ", tick " << i;
            ASSERT_EQ(patch.OSC1->APhase, 1.0f);
        }
        if (freq == 2.0f) {
            EXPECT_GT(patch.OSC2->position, 0.0f) << "a silent modulator is still stepped";
        }
    }
}

TEST(Patch, ModulatorsScaleTheCarrierInTurnWithoutTouchingItsBaseSettings) {
    create_oscillators();
    const float settings[][2] = {{0.5f, 3.0f}, {0.3f, 5.0f}, {0.25f, 7.0f}, {0.2f, 11.0f}};
    Oscillator *modulators[] = {patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5};
    for (int i = 0; i < 4; ++i) {
        modulators[i]->Ampl = settings[i][0];
        modulators[i]->Freq = settings[i][1];
    }
    for (int i = 1; i < 409; ++i)
        patch_tick(patch, true);
    // Scaling by OSC5 before OSC3, or in float arithmetic, gives 535.07666.
    EXPECT_EQ(patch_tick(patch, true), -1.08696461f);
    const Oscillator &c = *patch.OSC1;
    EXPECT_EQ((std::array<float, 3>{c.AAmpl, c.AFreq, c.APhase}),
              (std::array<float, 3>{1.08696461f, 535.076721f, 1.09917283f}));
    EXPECT_EQ((std::array<float, 3>{c.Ampl, c.Freq, c.Phase}),
              (std::array<float, 3>{1.0f, 440.0f, 1.0f}));
}

TEST(Patch, CarrierSoundsAgainAtOnceWhenTheNoteComesBackFromTheHeights) {
    // Held "a" takes the note up one at a time, past the float range (note
    // 1489 on) or not; one "q" and then "n" bring it back to 880 Hz.
    for (int32_t top : {1000, 2058}) {
        create_oscillators();
        while (patch.note < top) {
            patch.note = patch.note + 1;
            for (int i = 0; i < 40; ++i)
                patch_tick(patch, true);
        }
        patch.note = patch.note - 1;
        for (int i = 0; i < 40; ++i)
            patch_tick(patch, true);
        patch.note = 70;
        patch_tick(patch, true); // still at the old frequency, one tick late
        Oscillator fresh(1.0f, 880.0f, ThreeLevelSquare);
        for (int i = 0; i < 2000; ++i) {
            fresh.step();
            ASSERT_EQ(patch_tick(patch, true), fresh.output())
                << "from note " << top << ", tick " << i;
        }
    }
}
