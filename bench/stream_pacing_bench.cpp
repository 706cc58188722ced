// What pacing the stream just in time costs the stream thread, in its own CPU
// time, beside the stream as it ran before, a whole block computed at once
// and then one wait until it has played. The paced stream (NoSound: the
// clock, as the stream thread runs it) wakes once a piece, and on a virtual
// machine a bare wake costs tens of microseconds of the waking thread's CPU,
// so the machine's bare wake is measured in the same run: a wait of a
// piece's length with nothing done around it. The paced stream's own work,
// its wakes' cost aside, is held within 10 % of the whole-block stream's.
//
// Both run the real callback with the scope drawn into a surface in memory,
// on a thread at the stream's real-time priority, at real time: each round
// takes about 4.5 s.

#include "audio_stats.h"
#include "frame_time.h"
#include "memory_screen.h"
#include "monotonic_clock.h"
#include "pacer.h"
#include "patch.h"
#include "real_time_priority.h"
#include "stream_callback.h"
#include "stream_progress.h"
#include "stream_wait.h"
#include "targets.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {
constexpr int32_t BLOCK_BYTES = 32768;
constexpr long BLOCK_FRAMES = BLOCK_BYTES / 4;
constexpr long PIECES_PER_BLOCK = BLOCK_FRAMES / PROGRESS_FRAMES;
constexpr int BLOCKS = 8; // a round of each kind: 1.5 s
constexpr double MOST_RATIO = 1.10;

int64_t thread_cpu_ns() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

struct Round {
    double whole_ns = 0; // CPU a block, whole blocks
    double paced_ns = 0; // CPU a block, paced
    double wakes = 0;    // the paced stream's wakes a block
    double bare_wake_ns = 0;
};

double whole_blocks(char *block) {
    stream_progress = nullptr;
    const int64_t cpu = thread_cpu_ns();
    int64_t deadline = monotonic_ns();
    for (int b = 0; b < BLOCKS; b++) {
        stream_callback(nullptr, block, BLOCK_BYTES, nullptr);
        deadline += frames_to_ns(BLOCK_FRAMES, SAMPLE_RATE);
        stream_wait_until(deadline);
    }
    return double(thread_cpu_ns() - cpu) / BLOCKS;
}

Pacer *pacer;
void on_progress(int32_t frames_done) {
    pacer->progress(frames_done);
}

double paced_blocks(char *block, double *wakes) {
    SystemTime time;
    AudioStats stats;
    Pacer paced(nullptr, time, stats, SAMPLE_RATE, block, BLOCK_FRAMES);
    pacer = &paced;
    stream_progress = on_progress;
    const int64_t cpu = thread_cpu_ns();
    for (int b = 0; b < BLOCKS; b++) {
        paced.begin_block();
        stream_callback(nullptr, block, BLOCK_BYTES, nullptr);
        paced.end_block();
    }
    const int64_t used = thread_cpu_ns() - cpu;
    stream_progress = nullptr;
    *wakes = double(stats.wakes) / BLOCKS;
    return double(used) / BLOCKS;
}

double bare_wakes() {
    const int wakes = BLOCKS * PIECES_PER_BLOCK;
    const int64_t cpu = thread_cpu_ns();
    int64_t deadline = monotonic_ns();
    for (int i = 0; i < wakes; i++) {
        deadline += frames_to_ns(PROGRESS_FRAMES, SAMPLE_RATE);
        stream_wait_until(deadline);
    }
    return double(thread_cpu_ns() - cpu) / wakes;
}

// One round of each, alternating, so that a machine that speeds up or slows
// down weighs on all three alike.
Round measure_round(char *block) {
    Round r;
    std::thread([&] {
        ask_for_real_time();
        r.whole_ns = whole_blocks(block);
        r.paced_ns = paced_blocks(block, &r.wakes);
        r.bare_wake_ns = bare_wakes();
    }).join();
    return r;
}

void BM_PacedStreamAgainstWholeBlocks(benchmark::State &state) {
    open_memory_screen();
    create_oscillators();
    stream_wait_open();
    std::vector<char> block(BLOCK_BYTES);
    Round sum;
    for (auto _ : state) {
        const Round r = measure_round(block.data());
        sum.whole_ns += r.whole_ns;
        sum.paced_ns += r.paced_ns;
        sum.wakes += r.wakes;
        sum.bare_wake_ns += r.bare_wake_ns;
        state.SetIterationTime(r.paced_ns / 1e9);
    }
    stream_wait_close();
    close_memory_screen();
    const double n = double(state.iterations());
    const double whole = sum.whole_ns / n, paced = sum.paced_ns / n;
    const double wakes = sum.wakes / n, bare = sum.bare_wake_ns / n;
    // The whole-block stream woke once a block.
    const double ratio = (paced - wakes * bare) / (whole - bare);
    state.counters["whole_block_us"] = whole / 1e3;
    state.counters["paced_block_us"] = paced / 1e3;
    state.counters["wakes_per_block"] = wakes;
    state.counters["bare_wake_us"] = bare / 1e3;
    state.counters["own_work_ratio"] = ratio;
    static char report[200];
    std::snprintf(report, sizeof report,
                  "whole block %.0f us, paced %.0f us, %.1f wakes a block of %.1f us each: "
                  "own work %.3f times the whole block's",
                  whole / 1e3, paced / 1e3, wakes, bare / 1e3, ratio);
    if (wakes > PIECES_PER_BLOCK || ratio > MOST_RATIO)
        miss_target(state, report);
}
} // namespace

BENCHMARK(BM_PacedStreamAgainstWholeBlocks)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
