#pragma once

#include <cstdint>

// Figures about the stream for measurements: how many blocks were computed,
// how many reached the device too late, the longest computation of a block,
// and the longest time from a block's computation to its first frame playing.
// Only the stream thread writes them.

void stats_reset();
void stats_note_callback(int64_t duration_ns);
void stats_note_underrun();
void stats_note_latency(int64_t latency_ns);

// When SCOPESYNTH_AUDIO_STATS names a file, writes the figures there as
// `key value` lines, with the time the stream ran.
void stats_write(int64_t elapsed_ns);
