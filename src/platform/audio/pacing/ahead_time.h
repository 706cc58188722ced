// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// How far the stream keeps ahead of what the device plays, in frames at the
// stream's rate. Every frame ahead is a frame between a key and its sound;
// too few, and the device runs dry while the stream is held up: by a late
// wake-up, or by the end of a block, where the preview is made.

// The starting ahead-time for a device that takes frames `period` at a time:
// two periods, so that one can be played while the next is being made, and
// never less than the first blocks may need before anything is measured.
long initial_ahead(long period, int rate);

// The ahead-time after the device ran dry: a period more (or the least step,
// when periods are short), up to the most that still answers a key at once
// (32 ms), or two periods where those are longer.
long raised_ahead(long ahead, long period, int rate);

// After this long without running dry, the ahead-time comes a step back
// down, so that a dry spell at the start or one stall does not cost latency
// for the rest of the run.
constexpr int64_t CLEAN_STRETCH_NS = 30'000'000'000;

// A raised ahead-time a step down. The floor below (AheadFloor), not this,
// keeps it from coming lower than what the stream measures allows.
long lowered_ahead(long ahead, long period, int rate);

// How much later than its frames' time a period may be played: a server's
// thread that wakes late.
constexpr int64_t PERIOD_SLACK_NS = 1'000'000;

// What the stream has lately measured of its own hold-ups, and the least
// ahead-time that covers them: the latest wake of the last minute (the device
// plays on while the stream is late, and then makes a piece before it
// writes), plus the device's period (it takes that many frames at once) and
// the slack a period may be played late by. The piece's making is well within
// that slack. Never less than two periods, though: a server that wakes late
// runs the cycles it owes back to back, and takes two periods at once (a
// 48 kHz dummy JACK server at 256 frames did, and the device ran dry 3 times
// in 10 minutes at a period and 2.3 ms). The end of a block is covered by the
// block's last pieces instead (the pacer), so that a slow end costs latency
// only to the keys that come during it.
//
// A late wake counts in full at once, and for a minute: a machine's hold-ups
// come back every few tens of seconds, and a floor that forgot them sooner
// would meet each one short. A wake later than the most ahead-time is not a
// hold-up that any ahead-time covers (the whole process was stopped, or the
// machine paused): it is left out. The block's end fades by a 64th a block
// (halved in about 8 s). Fed by the stream thread: a late wake costs a
// comparison or two, the rest is done once a block.
class AheadFloor {
  public:
    AheadFloor(long period, int rate);

    // A wait ended `late_ns` after its deadline. True when that raised the
    // floor, now in force.
    bool note_late_wake(int64_t late_ns) {
        if (late_ns <= late_in[bucket])
            return false;
        return raise_late_wake(late_ns);
    }
    // Once a block: its end lasted `end_ns` (0 when not seen); what was
    // measured before fades, and wakes older than a minute are forgotten.
    void note_block_end(int64_t end_ns);

    // The least ahead-time, in frames: never below two periods, nor the
    // period and its slack, never above the most (32 ms, or two periods
    // where those are longer).
    long frames() const { return floor; }
    // Frames that the end of a block lasts, as lately seen.
    long block_end() const { return end; }

  private:
    // The minute in stretches of about ten seconds, each with its latest
    // wake, the oldest dropped as a new one starts.
    static constexpr int BUCKETS = 6;
    static constexpr int BUCKET_BLOCKS = 54; // 10 s of 8192-frame blocks at 44.1 kHz

    bool raise_late_wake(int64_t late_ns);
    void update();

    // Not const: a floor starts over for a device opened in place of one
    // that failed.
    int rate;
    long least;               // frames: the period and its slack
    long two_periods;         // frames
    long most;                // frames
    int64_t late_in[BUCKETS]; // ns
    int bucket = 0;
    int blocks_in_bucket = 0;
    int64_t wake_late_ns; // the latest of them
    int64_t end_ns = 0;
    long floor = 0;
    long end = 0;
};
