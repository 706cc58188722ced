// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/audio_sink.h"
#include "platform/audio/pacing/ahead_time.h"
#include "platform/audio/pacing/audio_stats.h"
#include "platform/audio/pacing/clock_sink.h"
#include "platform/audio/pacing/sink_swap.h"
#include "platform/audio/pacing/stream_time.h"

#include <cstdint>

// Paces the stream so that its frames are computed just in time: the frame
// loop reports every piece it finishes, the piece goes to the sink at once,
// and the loop is held back until the sink has played down to the
// ahead-time. A key then reaches the sound within the ahead-time and a piece,
// whatever the length of a block.
//
// The loop is held back after every piece that it reports; on the clock,
// where nothing is heard, only before a block, as the stream ran before it
// was paced: the picture, drawn at the end of a block, still comes once a
// block, and the stream wakes once a block instead of once a piece.
//
// The ahead-time follows what the stream measures (AheadFloor): the latest
// wake of the last minute, plus the device's period and its slack, and never
// less than two periods.
// A block ends with the preview, during which no frames are made: the sink
// must hold enough for it. The longest such end seen lately (fading after a
// few seconds) sets how full the block's last pieces leave the sink, so that
// a slow end costs latency only to keys that come during it, not to every
// key through a raised ahead-time.
//
// The pacer also watches the sink. One that runs dry raises the ahead-time
// above the floor, once a stall however many short periods it brings, and it
// comes back down, a step after every long clean stretch, to the floor. One
// that fails, or plays nothing for STALL_NS of waiting, is left for the
// clock, which plays the frames unheard at real time, so that the window
// still moves. Only the time waited counts towards a stall: a wait that
// lasted longer than asked had the whole process stopped (Ctrl-Z), and the
// sink with it.
//
// Every call comes from the stream thread. Counts are in frames at the
// stream's rate.
class Pacer {
  public:
    // A sink that takes nothing for this long, many times what it holds, has
    // stopped: its server has gone away, say.
    static constexpr int64_t STALL_NS = 1'000'000'000;
    // Dry spells within this long of the one that raised the ahead-time
    // belong to the same stall.
    static constexpr int64_t ONE_STALL_NS = 2'000'000'000;

    // Frames go to `device`, or with none to the clock from the start. The
    // blocks are `block_frames` long, each computed into `block`. With a
    // `swap`, a device that fails is given up through it, and a device
    // offered through it is taken at the next piece.
    Pacer(AudioSink *device, StreamTime &time, AudioStats &stats, int rate, const char *block,
          long block_frames, SinkSwap *swap = nullptr);

    // Before a block: waits until the sink needs its first frames.
    void begin_block();
    // The frame loop has finished the first `frames_done` frames of the
    // block: those not yet handed on go out, and unless the block is done
    // the loop is held back until the sink needs more.
    void progress(long frames_done);
    // After the callback: notes its cost, and hands on whatever it did not
    // report (all of it, from a callback without progress points).
    void end_block();

    // False once a wait was cut short: the stream is being stopped.
    bool running() const { return !woken; }
    long ahead_frames() const { return ahead; }
    bool on_clock() const { return sink == &clock; }

  private:
    void level(long *held, long *room);
    void note_dry_spells();
    void update_ahead();
    void note_late_wake(int64_t late_ns, int64_t now);
    void fall_back_to_clock();
    void take_offered_device();
    void wait(int64_t ns);
    void deliver(long upto);
    void hold_back(long to);
    long period_and_slack() const;
    long level_before(long frames_done) const;

    AudioSink *sink; // the device, or the clock
    ClockSink clock;
    SinkSwap *const swap;  // none: a failed device is left for good
    bool awaiting = false; // on the clock since a device failed, waiting for another
    StreamTime &time;
    AudioStats &stats;
    const int rate;
    const char *const block;
    const long block_frames;
    long period;
    AheadFloor floor;
    long raised = 0;         // the ahead-time that dry spells set; 0 before any
    long ahead;              // in force: the floor, or above it where raised
    uint32_t dry_spells = 0; // the sink's own count, as last seen
    long delivered = 0;      // frames of the block in hand that the sink has had
    long last_held = 0;
    long most_held = 0;                // frames held after a write, the most since the start
    int64_t block_end_ns = -1;         // when the block in hand reached its end; -1 before
    int64_t stalled_ns = 0;            // time waited since the sink was last seen to play
    int64_t stepped_ns;                // when `raised` last changed
    int64_t raised_ns = INT64_MIN / 2; // when a dry spell last raised it
    int64_t block_start_ns = 0;
    int64_t waited_ns = 0; // time the block in hand spent held back
    bool woken = false;
};
