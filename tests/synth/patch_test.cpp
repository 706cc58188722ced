#include "patch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

void expect_sine_at_rest(const Oscillator &osc) {
    EXPECT_EQ(osc.Ampl, 1.0f);
    EXPECT_EQ(osc.Freq, 0.0f);
    EXPECT_EQ(osc.Phase, 1.0f);
    EXPECT_EQ(osc.position, 0.0f);
    EXPECT_EQ(osc.waveform, Sine);
}

// x scaled by (1 + o), worked out here in double precision and rounded once.
float by_one_plus(float o, float x) {
    const double product = static_cast<double>(o) * static_cast<double>(x);
    return static_cast<float>(product + static_cast<double>(x));
}

} // namespace

TEST(NoteToHz, EqualTemperamentFrom440) {
    EXPECT_EQ(note_to_hz(58), 440.0f);
    EXPECT_EQ(note_to_hz(61), 523.25116f);
    EXPECT_EQ(note_to_hz(70), 880.0f);
    EXPECT_EQ(note_to_hz(46), 220.0f);
    EXPECT_EQ(note_to_hz(-11), 8.1757989f);
    // The exponent is not rounded to a float on the way.
    EXPECT_EQ(note_to_hz(59), 466.163757f);
    EXPECT_EQ(note_to_hz(69), 830.609375f);

    // No bound on the note: far notes overflow to infinity or underflow to 0,
    // and the extremes of the integer do not overflow on the way.
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(note_to_hz(5000), inf);
    EXPECT_EQ(note_to_hz(INT32_MAX), inf);
    EXPECT_EQ(note_to_hz(-5000), 0.0f);
    EXPECT_EQ(note_to_hz(INT32_MIN), 0.0f);
}

TEST(Patch, StartsAsALone440HzSquare) {
    create_oscillators();
    EXPECT_EQ(patch.note, 58);
    EXPECT_EQ(patch.waveform_selector, 0);
    EXPECT_EQ(patch.OSC1->Ampl, 1.0f);
    EXPECT_EQ(patch.OSC1->Freq, 440.0f);
    EXPECT_EQ(patch.OSC1->Phase, 1.0f);
    EXPECT_EQ(patch.OSC1->position, 0.0f);
    EXPECT_EQ(patch.OSC1->waveform, ThreeLevelSquare);
    for (const Oscillator *osc : {patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5})
        expect_sine_at_rest(*osc);

    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(patch_tick(true), 0.0f) << "tick " << i;
    EXPECT_EQ(patch_tick(true), 1.0f);
    EXPECT_EQ(patch.OSC1->output(), 1.0f);

    // The idle modulators are stepped all the same: each holds its 0 Hz sample.
    const float idle = static_cast<float>(std::sin(6.2831853));
    for (const Oscillator *osc : {patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5}) {
        EXPECT_EQ(osc->output(), idle);
        EXPECT_EQ(osc->position, 0.0f);
    }
    EXPECT_EQ(patch.OSC1->AAmpl, 1.0f);
    EXPECT_EQ(patch.OSC1->AFreq, 440.0f);
    EXPECT_EQ(patch.OSC1->APhase, 1.0f);
}

TEST(Patch, CarrierFollowsANewNoteOneTickLate) {
    create_oscillators();
    patch_tick(true);
    patch.note = 61;
    patch_tick(true);
    EXPECT_EQ(patch.OSC1->Freq, 523.25116f);
    EXPECT_EQ(patch.OSC1->AFreq, 440.0f);
    patch_tick(true);
    EXPECT_EQ(patch.OSC1->AFreq, 523.25116f);

    // The preview ticks never move the carrier's Freq.
    patch.note = 70;
    patch_tick(false);
    patch_tick(false);
    EXPECT_EQ(patch.OSC1->Freq, 523.25116f);
    EXPECT_EQ(patch.OSC1->AFreq, 523.25116f);

    // A Freq zeroed by the console holds the carrier for one tick, then the
    // note takes over again.
    patch.OSC1->Freq = 0.0f;
    const float held = patch.OSC1->position;
    patch_tick(true);
    EXPECT_EQ(patch.OSC1->position, held);
    EXPECT_EQ(patch.OSC1->Freq, 880.0f);
}

// The audio thread keeps the last note's frequency between ticks; every tick
// must still store the frequency of the note it reads.
TEST(Patch, EveryTickSetsTheFrequencyOfTheNoteItReads) {
    create_oscillators();
    patch.note = 61;
    patch_tick(true);
    EXPECT_EQ(patch.OSC1->Freq, 523.25116f) << "a first note other than the start note";

    patch.OSC1->Freq = 0.0f;
    patch_tick(true);
    EXPECT_EQ(patch.OSC1->Freq, 523.25116f) << "a Freq zeroed under an unchanged note";

    patch.note = 58;
    patch_tick(true);
    EXPECT_EQ(patch.OSC1->Freq, 440.0f) << "back to the start note";

    patch.note = 70;
    patch_tick(true);
    patch.note = 61;
    patch_tick(true);
    EXPECT_EQ(patch.OSC1->Freq, 523.25116f) << "a note played before";
}

TEST(Patch, AmplitudeModulationSwingsTwiceASecond) {
    create_oscillators();
    patch.OSC2->Freq = 2.0f;
    float lo = 1.0f, hi = 1.0f;
    int peaks = 0, troughs = 0;
    bool rising = true;
    for (int i = 0; i < SAMPLE_RATE; ++i) {
        patch_tick(true);
        const float ampl = patch.OSC1->AAmpl;
        ASSERT_EQ(ampl, by_one_plus(patch.OSC2->output(), 1.0f)) << "tick " << i + 1;
        lo = std::min(lo, ampl);
        hi = std::max(hi, ampl);
        if (rising && ampl > 1.9f) {
            ++peaks;
            rising = false;
        } else if (!rising && ampl < 0.1f) {
            ++troughs;
            rising = true;
        }
    }
    EXPECT_LT(lo, 1e-4f);
    EXPECT_GT(hi, 2.0f - 1e-4f);
    EXPECT_EQ(peaks, 2);
    EXPECT_EQ(troughs, 2);
    EXPECT_EQ(patch.OSC1->Ampl, 1.0f) << "modulation never reaches the base setting";
}

TEST(Patch, ModulatorWithZeroFreqOrAmplLeavesTheCarrierAlone) {
    struct Setting {
        float ampl, freq;
    };
    // A huge amplitude at 0 Hz would still shift the carrier through the
    // tiny 0 Hz sample; an infinite frequency at amplitude 0 outputs NaN.
    const float inf = std::numeric_limits<float>::infinity();
    for (const Setting s : {Setting{1.0e6f, 0.0f}, Setting{0.0f, 2.0f}, Setting{0.0f, inf}}) {
        create_oscillators();
        for (Oscillator *osc : {patch.OSC2, patch.OSC3, patch.OSC4, patch.OSC5}) {
            osc->Ampl = s.ampl;
            osc->Freq = s.freq;
        }
        Oscillator alone(1.0f, 440.0f, ThreeLevelSquare);
        for (int i = 0; i < 2000; ++i) {
            alone.step();
            ASSERT_EQ(patch_tick(true), alone.output()) << s.ampl << ", " << s.freq;
            ASSERT_EQ(patch.OSC1->AAmpl, 1.0f);
            ASSERT_EQ(patch.OSC1->AFreq, 440.0f);
            ASSERT_EQ(patch.OSC1->APhase, 1.0f);
        }
        if (s.freq == 2.0f) {
            EXPECT_GT(patch.OSC2->position, 0.0f) << "a silent modulator is still stepped";
        }
    }
}

TEST(Patch, ModulatorsScaleTheCarriersAppliedSettings) {
    create_oscillators();
    patch.OSC2->Ampl = 0.5f;
    patch.OSC2->Freq = 3.0f;
    patch.OSC3->Ampl = 0.3f;
    patch.OSC3->Freq = 5.0f;
    patch.OSC4->Ampl = 0.25f;
    patch.OSC4->Freq = 7.0f;
    patch.OSC5->Ampl = 0.2f;
    patch.OSC5->Freq = 11.0f;
    for (int i = 0; i < 20000; ++i) {
        const float out = patch_tick(true);
        const Oscillator &carrier = *patch.OSC1;
        ASSERT_EQ(out, carrier.output());
        ASSERT_EQ(carrier.AAmpl, by_one_plus(patch.OSC2->output(), 1.0f)) << "tick " << i + 1;
        // Both frequency modulators act in turn: OSC3 first, then OSC5 on its result.
        const float after_osc3 = by_one_plus(patch.OSC3->output(), 440.0f);
        ASSERT_EQ(carrier.AFreq, by_one_plus(patch.OSC5->output(), after_osc3)) << "tick " << i + 1;
        ASSERT_EQ(carrier.APhase, by_one_plus(patch.OSC4->output(), 1.0f)) << "tick " << i + 1;
    }
    EXPECT_EQ(patch.OSC1->Ampl, 1.0f);
    EXPECT_EQ(patch.OSC1->Freq, 440.0f);
    EXPECT_EQ(patch.OSC1->Phase, 1.0f);
}
