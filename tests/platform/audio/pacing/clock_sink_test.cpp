// SPDX-License-Identifier: MIT
#include "fake_time.h"
#include "platform/audio/pacing/clock_sink.h"
#include "platform/audio/pacing/frame_time.h"

#include <gtest/gtest.h>

namespace {
constexpr int RATE = 44100;
constexpr long BLOCK = 8192;

constexpr int64_t ORIGIN_NS = 5'000'000'000;

// What the clock holds a tenth of a frame after it has played `frames`.
long held_at(ClockSink &clock, FakeTime &time, int64_t frames) {
    time.now = ORIGIN_NS + frames_to_ns(frames, RATE) + 2'000;
    long held, room;
    EXPECT_TRUE(clock.level(&held, &room));
    EXPECT_EQ(room, BLOCK);
    return held;
}
} // namespace

// Without a device the stream must keep to real time however late its
// thread wakes, yet after a stop of the process go on from there.
TEST(ClockSink, MakesGoodALateWakeUpButStartsAgainAfterAStop) {
    FakeTime time(ORIGIN_NS);
    ClockSink clock(time, RATE, BLOCK);
    clock.write(nullptr, 1000);
    EXPECT_EQ(held_at(clock, time, 400), 600);

    // 40 ms late: dry, and the frames handed on at once are played in the
    // time already gone.
    EXPECT_EQ(held_at(clock, time, 2764), 0);
    clock.write(nullptr, 2000);
    EXPECT_EQ(held_at(clock, time, 2764), 236);

    // Just over a block behind, as after a stop: played from now on.
    EXPECT_EQ(held_at(clock, time, 3000 + BLOCK + 1), 0);
    clock.write(nullptr, 256);
    EXPECT_EQ(held_at(clock, time, 3000 + BLOCK + 1), 256);
    EXPECT_EQ(held_at(clock, time, 3000 + BLOCK + 101), 156);
}
