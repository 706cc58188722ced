#include "block_clock.h"
#include "clock_sink.h"

#include <gtest/gtest.h>

namespace {
constexpr int RATE = 44100;
constexpr long BLOCK = 8192;

constexpr int64_t ORIGIN_NS = 5'000'000'000;

// The moment a tenth of a frame after the clock has played `frames`.
int64_t at(int64_t frames) {
    return ORIGIN_NS + frames_to_ns(frames, RATE) + 2'000;
}
} // namespace

// Without a device the stream must keep to real time however late its
// thread wakes, yet after a stop of the process go on from there.
TEST(ClockSink, MakesGoodALateWakeUpButStartsAgainAfterAStop) {
    ClockSink clock = {RATE, BLOCK, ORIGIN_NS, 0};
    clock.frames += 1000;
    EXPECT_EQ(clock_held(clock, at(400)), 600);

    // 40 ms late: dry, and the frames handed on at once are played in the
    // time already gone.
    EXPECT_EQ(clock_held(clock, at(2764)), 0);
    clock.frames += 2000;
    EXPECT_EQ(clock_held(clock, at(2764)), 236);

    // Just over a block behind, as after a stop: played from now on.
    EXPECT_EQ(clock_held(clock, at(3000 + BLOCK + 1)), 0);
    clock.frames += 256;
    EXPECT_EQ(clock_held(clock, at(3000 + BLOCK + 1)), 256);
    EXPECT_EQ(clock_held(clock, at(3000 + BLOCK + 101)), 156);
}
