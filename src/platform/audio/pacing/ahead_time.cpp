// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/ahead_time.h"

#include <algorithm>

namespace {
// The preview takes up to about 3 ms, and on a busy machine the stream thread
// wakes up to 7 ms late now and then: 12 ms covers either.
constexpr long FLOOR_MS = 12;
constexpr long LEAST_STEP_MS = 4;
// With a piece of 128 frames (2.9 ms) and a server period on top, this keeps
// a key within 50 ms of its sound.
constexpr long MOST_MS = 32;

long frames_of_ms(long ms, int rate) {
    return ms * rate / 1000;
}

long step_of(long period, int rate) {
    return std::max(period, frames_of_ms(LEAST_STEP_MS, rate));
}
} // namespace

long initial_ahead(long period, int rate) {
    return std::clamp(2 * period, frames_of_ms(FLOOR_MS, rate), frames_of_ms(MOST_MS, rate));
}

long raised_ahead(long ahead, long period, int rate) {
    return std::min(ahead + step_of(period, rate), frames_of_ms(MOST_MS, rate));
}

long lowered_ahead(long ahead, long period, int rate) {
    return std::max(ahead - step_of(period, rate), initial_ahead(period, rate));
}
