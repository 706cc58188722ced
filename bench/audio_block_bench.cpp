// SPDX-License-Identifier: MIT
// The cost of one audio block next to its floor, the bare sin calls that the
// block cannot avoid. With no window open the callback leaves the scope out,
// so a block is the audio alone: 8192 patch ticks and their samples.

#include "sine_floor.h"
#include "synth/patch.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int FRAMES = 8192;

// A 440 Hz square and four idle sine modulators: five sines a frame, and a
// pow only when the note changes.
void BM_StartPatchBlock(benchmark::State &state) {
    create_oscillators();
    time_callback_against_floor(state, 5 * FRAMES);
}

// A noise carrier under all four modulators: four sines and one or two draws
// a frame.
void BM_ModulatedNoiseBlock(benchmark::State &state) {
    create_oscillators();
    patch.OSC1->waveform = Noise;
    patch.OSC2->Ampl = 0.5f;
    patch.OSC2->Freq = 3.0f;
    patch.OSC3->Ampl = 0.01f;
    patch.OSC3->Freq = 5.0f;
    patch.OSC4->Ampl = 0.3f;
    patch.OSC4->Freq = 2.0f;
    patch.OSC5->Ampl = 0.02f;
    patch.OSC5->Freq = 7.0f;
    time_callback_against_floor(state, 4 * FRAMES);
}

} // namespace

BENCHMARK(BM_StartPatchBlock)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModulatedNoiseBlock)->UseManualTime()->Unit(benchmark::kMicrosecond);
