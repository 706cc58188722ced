// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/audio_stats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

void AudioStats::note_callback(int64_t duration_ns) {
    callbacks++;
    max_callback_ns = std::max(max_callback_ns, duration_ns);
}

void AudioStats::note_outage(int64_t from_ns) {
    if (outages < MOST_OUTAGES)
        outage[outages] = {from_ns, -1, -1};
    outages++;
}

void AudioStats::note_outage_end(int64_t back_ns, int64_t opened_ns) {
    if (outages > 0 && outages <= MOST_OUTAGES) {
        outage[outages - 1].opened_ns = opened_ns;
        outage[outages - 1].back_ns = back_ns;
    }
}

namespace {
// Each outage as `outage_N_at_s` (when the output failed), `outage_N_s` (how
// long until the stream played on it again; -1 if it never did) and
// `outage_N_back_ms` (from the output opened again to the stream on it).
void write_outages(FILE *f, const AudioStats &s) {
    fprintf(f, "outages %u\n", s.outages);
    for (uint32_t i = 0; i < s.outages && i < AudioStats::MOST_OUTAGES; i++) {
        const AudioStats::Outage &o = s.outage[i];
        const bool back = o.back_ns >= 0;
        fprintf(f, "outage_%u_at_s %.3f\noutage_%u_s %.3f\noutage_%u_back_ms %.1f\n", i + 1,
                o.from_ns / 1e9, i + 1, back ? (o.back_ns - o.from_ns) / 1e9 : -1.0, i + 1,
                back ? (o.back_ns - o.opened_ns) / 1e6 : -1.0);
    }
}
} // namespace

void write_audio_stats(const AudioStats &s, int64_t elapsed_ns) {
    const char *path = getenv("SCOPESYNTH_AUDIO_STATS");
    if (!path)
        return;
    FILE *f = fopen(path, "w");
    if (!f)
        return;
    const double wakes_per_block = s.callbacks ? double(s.wakes) / s.callbacks : 0.0;
    fprintf(
        f,
        "callbacks %u\nunderruns %u\nmax_callback_us %.0f\nworst_latency_ms %.1f\n"
        "ahead_ms %.1f\nwakes_per_block %.1f\nclock_fallbacks %u\nrealtime %u\n"
        "elapsed_s %.3f\nmax_block_end_us %.0f\nmax_write_us %.0f\nmax_wake_late_us %.0f\n"
        "max_wake_late_at_s %.3f\nlast_underrun_s %.3f\nmin_ahead_ms %.1f\nahead_floor_ms %.1f\n",
        s.callbacks, s.underruns, s.max_callback_ns / 1e3, s.worst_latency_ns / 1e6,
        s.ahead_ns / 1e6, wakes_per_block, s.clock_fallbacks, unsigned(s.realtime),
        elapsed_ns / 1e9, s.max_block_end_ns / 1e3, s.max_write_ns / 1e3, s.max_wake_late_ns / 1e3,
        s.max_wake_late_at_ns / 1e9, s.last_underrun_ns < 0 ? -1.0 : s.last_underrun_ns / 1e9,
        s.min_ahead_ns == INT64_MAX ? 0.0 : s.min_ahead_ns / 1e6, s.ahead_floor_ns / 1e6);
    write_outages(f, s);
    fclose(f);
}
