// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/ahead_time.h"

#include "platform/audio/pacing/frame_time.h"

#include <algorithm>
#include <iterator>

namespace {
// Before anything is measured: the first blocks are the slowest (cold caches,
// the window and the device starting), and the first end of a block comes
// before the block's last pieces know how long it lasts. 12 ms covered a
// preview of 3 ms or a wake 7 ms late; the measurements bring it down.
constexpr long START_MS = 12;
constexpr long LEAST_STEP_MS = 4;
// With a piece of 128 frames (2.9 ms) and a server period on top, this keeps
// a key within 50 ms of its sound, where periods are short enough for it.
constexpr long MOST_MS = 32;
// A block's end as measured loses a 64th a block.
constexpr int FADE = 64;

long frames_of_ms(long ms, int rate) {
    return ms * rate / 1000;
}

long step_of(long period, int rate) {
    return std::max(period, frames_of_ms(LEAST_STEP_MS, rate));
}

// Two periods, where they are longer than the most for a key: a server at
// 1024 frames (jackd's own default, 23 ms at 44.1 kHz) with 32 ms ahead
// would run dry on any wake 8 ms late, and a key waits for its period anyway.
long most_ahead(long period, int rate) {
    return std::max(frames_of_ms(MOST_MS, rate), 2 * period);
}
} // namespace

long initial_ahead(long period, int rate) {
    return std::clamp(2 * period, frames_of_ms(START_MS, rate), most_ahead(period, rate));
}

long raised_ahead(long ahead, long period, int rate) {
    return std::min(ahead + step_of(period, rate), most_ahead(period, rate));
}

long lowered_ahead(long ahead, long period, int rate) {
    return std::max(ahead - step_of(period, rate), 0L);
}

// The floor starts at the starting ahead-time, as if a wake that late had
// just been seen in every stretch: the measurements bring it down once the
// minute has gone by. (A nanosecond more, so that the frames come back whole
// from nanoseconds.)
AheadFloor::AheadFloor(long period, int rate)
    : rate(rate), least(period + ns_to_frames(PERIOD_SLACK_NS, rate)), two_periods(2 * period),
      most(most_ahead(period, rate)),
      wake_late_ns(frames_to_ns(std::max(initial_ahead(period, rate) - least, 0L), rate) + 1) {
    std::fill(std::begin(late_in), std::end(late_in), wake_late_ns);
    update();
}

bool AheadFloor::raise_late_wake(int64_t late_ns) {
    if (late_ns > frames_to_ns(most, rate))
        return false;
    late_in[bucket] = late_ns;
    if (late_ns <= wake_late_ns)
        return false;
    wake_late_ns = late_ns;
    update();
    return true;
}

void AheadFloor::note_block_end(int64_t ns) {
    end_ns = std::max(ns, end_ns - end_ns / FADE);
    if (++blocks_in_bucket == BUCKET_BLOCKS) {
        blocks_in_bucket = 0;
        bucket = (bucket + 1) % BUCKETS;
        late_in[bucket] = 0;
        wake_late_ns = *std::max_element(std::begin(late_in), std::end(late_in));
    }
    update();
}

void AheadFloor::update() {
    floor = std::min(std::max(least + long(ns_to_frames(wake_late_ns, rate)), two_periods), most);
    end = long(ns_to_frames(end_ns, rate));
}
