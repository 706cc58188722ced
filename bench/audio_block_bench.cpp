// The cost of one audio block next to its floor: the bare sin calls that the
// block cannot avoid. A block is one stream_callback on a 32768-byte buffer;
// with no window open the callback leaves the scope out, so this is the audio
// alone: 8192 patch ticks and their samples. Each block benchmark reports `floor_ratio` (block time
// over the time of its sin calls alone, measured in the same run) and
// `realtime_pct` (block time as a share of the 8192 frames' playing time).

#include "patch.h"
#include "stream_callback.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

namespace {

constexpr int32_t BLOCK_BYTES = 32768;
constexpr int FRAMES = BLOCK_BYTES / 4;
constexpr double BLOCK_SECONDS = static_cast<double>(FRAMES) / SAMPLE_RATE;

using Clock = std::chrono::steady_clock;

// Sine arguments of the size the oscillators pass, (position + 1) * 6.2831853
// with the position anywhere in (-2, 1], spread by the golden ratio so that
// neighbours differ as they do between oscillators.
std::vector<double> sine_arguments(int count) {
    std::vector<double> args(count);
    double u = 0.0;
    for (double &x : args) {
        u = std::fmod(u + 0.6180339887498949, 1.0);
        x = (u * 3.0 - 1.0) * 6.2831853;
    }
    return args;
}

// The arguments come from memory filled at run time, so no call can be folded;
// keeping each result keeps every call.
void sine_calls(const std::vector<double> &args) {
    for (double x : args)
        benchmark::DoNotOptimize(std::sin(x));
}

// Mean seconds per block of `sines_per_frame` sin calls a frame.
double floor_seconds(int sines_per_frame) {
    const std::vector<double> args = sine_arguments(FRAMES * sines_per_frame);
    constexpr int rounds = 200;
    sine_calls(args);
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        sine_calls(args);
    return std::chrono::duration<double>(Clock::now() - start).count() / rounds;
}

void run_blocks(benchmark::State &state, int sines_per_frame) {
    std::vector<unsigned char> buffer(BLOCK_BYTES);
    const auto start = Clock::now();
    for (auto _ : state) {
        stream_callback(nullptr, buffer.data(), BLOCK_BYTES, nullptr);
        benchmark::ClobberMemory();
    }
    const double block = std::chrono::duration<double>(Clock::now() - start).count() /
                         static_cast<double>(state.iterations());
    state.counters["floor_ratio"] = block / floor_seconds(sines_per_frame);
    state.counters["realtime_pct"] = 100.0 * block / BLOCK_SECONDS;
}

// A 440 Hz square and four idle sine modulators: five sines and one pow a frame.
void BM_StartPatchBlock(benchmark::State &state) {
    create_oscillators();
    run_blocks(state, 5);
}

// A noise carrier under all four modulators: four sines, one pow and one or
// two draws a frame.
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
    run_blocks(state, 4);
}

// The floors themselves, for the record: a block's worth of bare sin calls.
void BM_SineFloor(benchmark::State &state) {
    const std::vector<double> args = sine_arguments(FRAMES * static_cast<int>(state.range(0)));
    for (auto _ : state)
        sine_calls(args);
}

} // namespace

BENCHMARK(BM_StartPatchBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SineFloor)->Arg(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModulatedNoiseBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SineFloor)->Arg(4)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
