#include "audio_stats.h"

#include "relaxed.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {
Relaxed<uint32_t> callbacks;
Relaxed<uint32_t> underruns;
// Durations in nanoseconds; a 32-bit field holds up to 4.2 s, far beyond
// anything that still sounds like a stream.
Relaxed<uint32_t> max_callback_ns;
Relaxed<uint32_t> worst_latency_ns;
Relaxed<uint32_t> ahead_ns;
Relaxed<uint32_t> realtime;

uint32_t clamp_ns(int64_t ns) {
    return static_cast<uint32_t>(std::clamp<int64_t>(ns, 0, UINT32_MAX));
}
} // namespace

void stats_reset() {
    callbacks = 0;
    underruns = 0;
    max_callback_ns = 0;
    worst_latency_ns = 0;
    ahead_ns = 0;
    realtime = 0;
}

void stats_note_callback(int64_t duration_ns) {
    callbacks = callbacks + 1;
    max_callback_ns = std::max<uint32_t>(max_callback_ns, clamp_ns(duration_ns));
}

void stats_note_underrun() {
    underruns = underruns + 1;
}

void stats_note_latency(int64_t latency_ns) {
    worst_latency_ns = std::max<uint32_t>(worst_latency_ns, clamp_ns(latency_ns));
}

void stats_note_ahead(int64_t ns) {
    ahead_ns = clamp_ns(ns);
}

void stats_note_realtime(bool granted) {
    realtime = granted;
}

void stats_write(int64_t elapsed_ns) {
    const char *path = getenv("SCOPESYNTH_AUDIO_STATS");
    if (!path)
        return;
    FILE *f = fopen(path, "w");
    if (!f)
        return;
    fprintf(
        f,
        "callbacks %u\nunderruns %u\nmax_callback_us %.0f\nworst_latency_ms %.1f\nahead_ms %.1f\n"
        "realtime %u\nelapsed_s %.3f\n",
        uint32_t(callbacks), uint32_t(underruns), max_callback_ns / 1e3, worst_latency_ns / 1e6,
        ahead_ns / 1e6, uint32_t(realtime), elapsed_ns / 1e9);
    fclose(f);
}
