// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/pacer.h"

#include "platform/audio/pacing/ahead_time.h"
#include "platform/audio/pacing/frame_time.h"

#include <algorithm>

namespace {
constexpr int BYTES_PER_FRAME = 4;
// Sinks free their room a period at a time; a shorter wait would only find
// the same level again.
constexpr int64_t MIN_WAIT_NS = 1'000'000;
} // namespace

Pacer::Pacer(AudioSink *device, StreamTime &time, AudioStats &stats, int rate, const char *block,
             long block_frames, SinkSwap *swap)
    : sink(device), clock(time, rate, block_frames), swap(swap), time(time), stats(stats),
      rate(rate), block(block), block_frames(block_frames),
      period((sink ? sink : &clock)->period()), floor(period, rate), stepped_ns(time.now_ns()) {
    if (!sink)
        sink = &clock;
    update_ahead();
}

// The floor, or the raise above it. Comes once a block, or at a late wake
// that raised the floor: the figures are kept here, not per piece.
void Pacer::update_ahead() {
    ahead = std::max(floor.frames(), raised);
    stats.ahead_ns = frames_to_ns(ahead, rate);
    stats.min_ahead_ns = std::min(stats.min_ahead_ns, stats.ahead_ns);
    stats.ahead_floor_ns = frames_to_ns(floor.frames(), rate);
}

// Dry spells that follow a raise closely are the same stall (the whole
// machine paused, say) and its after-effects: they are counted, but the
// ahead-time grows for the stall once, not for every short period in it.
void Pacer::note_dry_spells() {
    for (const uint32_t dry = sink->dry_spells(); dry_spells != dry; dry_spells++) {
        stats.underruns++;
        const int64_t now = time.now_ns();
        stats.last_underrun_ns = now;
        if (now - raised_ns >= ONE_STALL_NS) {
            raised_ns = stepped_ns = now;
            raised = raised_ahead(ahead, period, rate);
            update_ahead();
        }
    }
}

// The device has gone, or stopped taking frames: the stream goes on at real
// time, unheard, and the device is given up to be opened again.
void Pacer::fall_back_to_clock() {
    stats.clock_fallbacks++;
    stats.note_outage(time.now_ns());
    if (swap) {
        swap->give_up(sink);
        awaiting = true;
    }
    sink = &clock;
    clock.restart();
    dry_spells = 0;
}

// The output is back: from the next frame on the stream plays on it, with the
// ahead-time a device starts with. The frames the clock took were the ones
// not heard; none is played twice.
void Pacer::take_offered_device() {
    int64_t opened_ns = 0;
    AudioSink *device = swap->take_offer(&opened_ns);
    if (!device)
        return;
    awaiting = false;
    sink = device;
    period = sink->period();
    floor = AheadFloor(period, rate);
    raised = 0;
    stepped_ns = time.now_ns();
    update_ahead();
    dry_spells = sink->dry_spells();
    last_held = 0;
    stalled_ns = 0;
    stats.note_outage_end(stepped_ns, opened_ns);
}

// What the sink holds and how much more it takes now. A device that failed or
// stalled is left for the clock here, the one place where its level is read,
// and one offered in its place is taken.
void Pacer::level(long *held, long *room) {
    if (awaiting)
        take_offered_device();
    const bool ok = sink->level(held, room);
    note_dry_spells();
    if (!on_clock() && (!ok || stalled_ns > STALL_NS)) {
        fall_back_to_clock();
        sink->level(held, room);
    }
    if (*held < last_held || *held == 0)
        stalled_ns = 0;
    last_held = *held;
}

void Pacer::wait(int64_t ns) {
    const int64_t from = time.now_ns();
    woken = !time.wait_until(from + ns);
    const int64_t now = time.now_ns();
    const int64_t waited = now - from;
    if (!woken)
        note_late_wake(waited - ns, now);
    waited_ns += waited;
    stalled_ns += std::min(waited, ns);
    stats.wakes++;
}

// A wake later than any lately raises the floor at once; one later than any
// since the start is kept for the figures.
void Pacer::note_late_wake(int64_t late_ns, int64_t now) {
    if (floor.note_late_wake(late_ns))
        update_ahead();
    if (late_ns > stats.max_wake_late_ns) {
        stats.max_wake_late_ns = late_ns;
        stats.max_wake_late_at_ns = now;
    }
}

// Hands the block's frames up to `upto` to the sink, as fast as it makes room.
void Pacer::deliver(long upto) {
    while (delivered < upto && !woken) {
        long held, room;
        level(&held, &room);
        if (room <= 0) {
            wait(MIN_WAIT_NS);
            continue;
        }
        const long count = std::min(upto - delivered, room);
        const int64_t write_start = time.now_ns();
        if (!sink->write(block + delivered * BYTES_PER_FRAME, count)) {
            fall_back_to_clock();
            continue;
        }
        stats.max_write_ns = std::max(stats.max_write_ns, time.now_ns() - write_start);
        delivered += count;
        last_held = held + count;
        most_held = std::max(most_held, last_held);
    }
}

// Waits until the sink should have played down to `to` frames, so that the
// next frames are computed just before they are needed. One wait, so that
// the stream wakes at most once a piece: a sink that plays a period at a
// time is given a little more than the time its frames above that level
// last, so that the period that brings it down has been played by then, and
// one that is a little later still gets the next piece all the same: the
// wait after it is the longer for it. A sink still a period and a late
// wake's worth above the level has not been played at all meanwhile: its
// server has stalled, and frames given to it now would only queue up, and
// delay every key after them, until it plays again. It is waited for again.
void Pacer::hold_back(long to) {
    const int64_t past_the_period = period > 0 ? PERIOD_SLACK_NS : 0;
    long held, room;
    level(&held, &room);
    for (long above = to; held > above && !woken; above = to + period_and_slack()) {
        wait(std::max(MIN_WAIT_NS, frames_to_ns(held - to, rate) + past_the_period));
        level(&held, &room);
    }
}

// A period and a late wake's worth of frames: what a sink may still hold
// above a level when the period that brings it down comes a little late.
long Pacer::period_and_slack() const {
    return period + ns_to_frames(PERIOD_SLACK_NS, rate);
}

// The level to hold back to once `frames_done` frames of the block are made:
// the ahead-time, or near the block's end enough more that the sink still
// has the floor's worth when the end is over: the wake before the last
// piece may be as late as any lately.
long Pacer::level_before(long frames_done) const {
    const long to_come = block_frames - frames_done;
    return std::max(ahead, floor.block_end() + floor.frames() - to_come);
}

void Pacer::begin_block() {
    hold_back(ahead);
    block_start_ns = time.now_ns();
    // A raise above the floor comes a step down after a clean stretch, and
    // again after the next, until the floor is what rules.
    if (raised > floor.frames() && block_start_ns - stepped_ns >= CLEAN_STRETCH_NS) {
        raised = lowered_ahead(raised, period, rate);
        stepped_ns = block_start_ns;
        update_ahead();
    }
    waited_ns = 0;
    delivered = 0;
    block_end_ns = -1;
}

void Pacer::progress(long frames_done) {
    deliver(frames_done);
    // The last piece is followed by the preview, not by more frames.
    if (frames_done >= block_frames)
        block_end_ns = time.now_ns();
    else if (!on_clock())
        hold_back(level_before(frames_done));
}

// The block's end (none seen without progress) is measured, what was
// measured before fades, and the figures are brought up to date.
void Pacer::end_block() {
    const int64_t now = time.now_ns();
    stats.note_callback(now - block_start_ns - waited_ns);
    const int64_t end_ns = block_end_ns >= 0 ? now - block_end_ns : 0;
    stats.max_block_end_ns = std::max(stats.max_block_end_ns, end_ns);
    floor.note_block_end(end_ns);
    deliver(block_frames);
    update_ahead();
    stats.worst_latency_ns = frames_to_ns(most_held, rate);
}
