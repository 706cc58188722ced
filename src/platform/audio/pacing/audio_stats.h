// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Figures about the stream, for measurements: how many blocks were computed,
// how often the device ran dry, the longest computation of a block (time held
// back for the device left out), the most time that frames waited in the
// device, the ahead-time in force at the end and the lowest it came to, the
// floor that the stream's measurements set at the end, how often the stream
// thread woke from a wait, how often a device was left for the clock, and
// whether the stream thread runs at real-time priority. Where a slow block's
// time went: the longest end of a block (the preview), the longest write to
// the device, and the latest wake after a wait's deadline. When that wake and
// the device's last dry spell came, on the monotonic clock, to be set beside
// a recording. Written on the stream thread (a piece costs it a comparison or
// two, the rest comes once a block), read once it has ended.
struct AudioStats {
    uint32_t callbacks = 0;
    uint32_t underruns = 0;
    uint32_t wakes = 0;
    uint32_t clock_fallbacks = 0;
    int64_t max_callback_ns = 0;
    int64_t worst_latency_ns = 0;
    int64_t max_block_end_ns = 0;
    int64_t max_write_ns = 0;
    int64_t max_wake_late_ns = 0;
    int64_t max_wake_late_at_ns = 0;
    int64_t ahead_ns = 0;
    int64_t min_ahead_ns = INT64_MAX; // INT64_MAX before the stream started
    int64_t ahead_floor_ns = 0;
    int64_t last_underrun_ns = -1; // -1 with none
    bool realtime = false;

    // The output's outages: when it failed and the stream went on on its
    // clock, when the output was opened again, and when the stream played
    // on it again (-1 while not back), on the monotonic clock. The first
    // MOST_OUTAGES are kept; `outages` counts them all.
    struct Outage {
        int64_t from_ns, opened_ns, back_ns;
    };
    static constexpr uint32_t MOST_OUTAGES = 64;
    Outage outage[MOST_OUTAGES];
    uint32_t outages = 0;

    void note_callback(int64_t duration_ns);
    void note_outage(int64_t from_ns);
    void note_outage_end(int64_t back_ns, int64_t opened_ns);
};

// When SCOPESYNTH_AUDIO_STATS names a file, writes the figures there as
// `key value` lines, with the time the stream ran.
void write_audio_stats(const AudioStats &stats, int64_t elapsed_ns);
