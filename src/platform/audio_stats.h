#pragma once

#include <cstdint>

// Figures about the stream for measurements: how many blocks were computed,
// how often the device ran dry, the longest computation of a block (time held
// back for the device left out), the most time that frames waited in the
// device, the ahead-time in force at the end, and whether the stream thread
// runs at real-time priority. Only the stream thread writes them.

void stats_reset();
void stats_note_callback(int64_t duration_ns);
void stats_note_underrun();
void stats_note_latency(int64_t latency_ns);
void stats_note_ahead(int64_t ahead_ns);
void stats_note_realtime(bool granted);

// When SCOPESYNTH_AUDIO_STATS names a file, writes the figures there as
// `key value` lines, with the time the stream ran.
void stats_write(int64_t elapsed_ns);
