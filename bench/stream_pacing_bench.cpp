// SPDX-License-Identifier: MIT
// What pacing the stream just in time costs the stream thread, in its own CPU
// time, beside the stream as it ran before, a whole block computed at once
// and then one wait until it has played. On a virtual machine a bare wake
// costs tens of microseconds of the waking thread's CPU, so the machine's
// bare wake is measured in the same run: a wait of a piece's length with
// nothing done around it. Two paced streams are measured:
// - NoSound, as the stream thread runs it: the clock, which nothing is heard
//   from and which wakes once a block. Its own work, its wakes' cost aside,
//   is held within 10 % of the whole-block stream's, and it wakes at most
//   once a piece;
// - the same clock paced as a device is, every piece: what a stream into a
//   sound device costs. Reported; it too must wake at most once a piece.
//   Its remainder above its wakes is the time between pieces, not the
//   pacer's own work (which the NoSound figure shows at about 1 %): a piece
//   computed after a wait, or after as long a spin, finds the caches cold on
//   a shared virtual machine, tens of microseconds a piece here.
//
// All run the real callback with its preview published as for a window,
// on a thread at the stream's real-time priority, at real time: each round
// takes about 12 s, and five are run.

#include "platform/audio/pacing/audio_stats.h"
#include "platform/audio/pacing/clock_sink.h"
#include "platform/audio/pacing/frame_time.h"
#include "platform/audio/pacing/pacer.h"
#include "platform/audio/pacing/real_time_priority.h"
#include "platform/audio/pacing/stream_wait.h"
#include "platform/monotonic_clock.h"
#include "stream_block.h"
#include "synth/patch.h"
#include "synth/stream_callback.h"
#include "synth/stream_context.h"
#include "targets.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

namespace {
constexpr long PIECES_PER_BLOCK = BLOCK_FRAMES / PROGRESS_FRAMES;
constexpr int BLOCKS = 16; // a round of each kind: 3 s
constexpr double MOST_RATIO = 1.10;

int64_t thread_cpu_ns() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

struct Round {
    double whole_ns = 0;      // CPU a block, whole blocks
    double nosound_ns = 0;    // CPU a block, paced on the clock
    double nosound_wakes = 0; // its wakes a block
    double pieces_ns = 0;     // CPU a block, paced every piece
    double pieces_wakes = 0;
    double bare_wake_ns = 0;
};

double whole_blocks(char *block, NewestOfThree<Preview> *previews) {
    StreamContext context{&patch, {}, previews};
    const int64_t cpu = thread_cpu_ns();
    int64_t deadline = monotonic_ns();
    for (int b = 0; b < BLOCKS; b++) {
        stream_callback(nullptr, block, BLOCK_BYTES, &context);
        deadline += frames_to_ns(BLOCK_FRAMES, SAMPLE_RATE);
        stream_wait_until(deadline);
    }
    return double(thread_cpu_ns() - cpu) / BLOCKS;
}

void on_progress(void *pacer, int32_t frames_done) {
    static_cast<Pacer *>(pacer)->progress(frames_done);
}

// The paced stream into `device`, or with none on the clock.
double paced_blocks(char *block, NewestOfThree<Preview> *previews, AudioSink *device,
                    double *wakes) {
    SystemTime time;
    AudioStats stats;
    Pacer paced(device, time, stats, SAMPLE_RATE, block, BLOCK_FRAMES);
    StreamContext context{&patch, {on_progress, &paced}, previews};
    const int64_t cpu = thread_cpu_ns();
    for (int b = 0; b < BLOCKS; b++) {
        paced.begin_block();
        stream_callback(nullptr, block, BLOCK_BYTES, &context);
        paced.end_block();
    }
    const int64_t used = thread_cpu_ns() - cpu;
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

// One round of each, alternating, and in the other order every other round,
// so that a machine that speeds up or slows down weighs on all of them alike.
Round measure_round(char *block, NewestOfThree<Preview> *previews, bool reversed) {
    Round r;
    std::thread([&] {
        ask_for_real_time();
        SystemTime time;
        ClockSink clock_as_device(time, SAMPLE_RATE, BLOCK_FRAMES);
        if (!reversed)
            r.whole_ns = whole_blocks(block, previews);
        else
            r.pieces_ns = paced_blocks(block, previews, &clock_as_device, &r.pieces_wakes);
        r.nosound_ns = paced_blocks(block, previews, nullptr, &r.nosound_wakes);
        if (!reversed)
            r.pieces_ns = paced_blocks(block, previews, &clock_as_device, &r.pieces_wakes);
        else
            r.whole_ns = whole_blocks(block, previews);
        r.bare_wake_ns = bare_wakes();
    }).join();
    return r;
}

// A paced stream's own work, its wakes' cost aside, over the whole-block
// stream's, which woke once a block.
double own_work_ratio(const Round &r, double paced_ns, double wakes) {
    return (paced_ns - wakes * r.bare_wake_ns) / (r.whole_ns - r.bare_wake_ns);
}

// Each figure is the median of the rounds, so that a round that another
// process disturbed does not decide the verdict.
void BM_PacedStreamAgainstWholeBlocks(benchmark::State &state) {
    create_oscillators();
    auto previews = std::make_unique<NewestOfThree<Preview>>();
    stream_wait_open();
    std::vector<char> block(BLOCK_BYTES);
    std::vector<Round> rounds;
    for (auto _ : state) {
        rounds.push_back(measure_round(block.data(), previews.get(), rounds.size() % 2));
        state.SetIterationTime(rounds.back().nosound_ns / 1e9);
    }
    stream_wait_close();
    const auto median = [&](auto figure) {
        std::vector<double> v;
        for (const Round &r : rounds)
            v.push_back(figure(r));
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double whole = median([](const Round &r) { return r.whole_ns; });
    const double bare = median([](const Round &r) { return r.bare_wake_ns; });
    const double nosound = median([](const Round &r) { return r.nosound_ns; });
    const double nosound_wakes = median([](const Round &r) { return r.nosound_wakes; });
    const double nosound_ratio =
        median([](const Round &r) { return own_work_ratio(r, r.nosound_ns, r.nosound_wakes); });
    const double pieces = median([](const Round &r) { return r.pieces_ns; });
    const double pieces_wakes = median([](const Round &r) { return r.pieces_wakes; });
    const double pieces_ratio =
        median([](const Round &r) { return own_work_ratio(r, r.pieces_ns, r.pieces_wakes); });
    state.counters["whole_block_us"] = whole / 1e3;
    state.counters["bare_wake_us"] = bare / 1e3;
    state.counters["nosound_block_us"] = nosound / 1e3;
    state.counters["nosound_wakes"] = nosound_wakes;
    state.counters["nosound_own_work"] = nosound_ratio;
    state.counters["pieces_block_us"] = pieces / 1e3;
    state.counters["pieces_wakes"] = pieces_wakes;
    state.counters["pieces_own_work"] = pieces_ratio;
    static char report[300];
    std::snprintf(report, sizeof report,
                  "whole block %.0f us; a bare wake %.1f us; NoSound %.0f us, %.1f wakes a block, "
                  "own work %.3f times the whole block's; paced every piece %.0f us, %.1f wakes, "
                  "%.3f times",
                  whole / 1e3, bare / 1e3, nosound / 1e3, nosound_wakes, nosound_ratio,
                  pieces / 1e3, pieces_wakes, pieces_ratio);
    if (nosound_wakes > PIECES_PER_BLOCK || pieces_wakes > PIECES_PER_BLOCK ||
        nosound_ratio > MOST_RATIO)
        miss_target(state, report);
}
} // namespace

BENCHMARK(BM_PacedStreamAgainstWholeBlocks)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
