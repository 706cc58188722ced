#include "block_clock.h"

#include <gtest/gtest.h>

// The stream is paced at absolute deadlines of frames_to_ns(frames played),
// so any rounding here would add up block after block.
TEST(BlockClock, FramesToNsIsExactForYearsOfFrames) {
    EXPECT_EQ(frames_to_ns(44100, 44100), 1'000'000'000);
    EXPECT_EQ(frames_to_ns(8192, 44100), 185'759'637); // 185759637.19 truncated
    // A year of frames: frames * 10^9 alone would overflow 64 bits.
    const int64_t year_s = 365LL * 24 * 3600;
    EXPECT_EQ(frames_to_ns(year_s * 44100, 44100), year_s * 1'000'000'000);
}

TEST(BlockClock, WaitsUntilTheDeadlineOrUntilWoken) {
    ASSERT_TRUE(block_clock_open());
    const int64_t deadline = monotonic_ns() + 20'000'000;
    EXPECT_TRUE(block_clock_wait_until(deadline));
    EXPECT_GE(monotonic_ns(), deadline);
    block_clock_wake();
    // Without the wake each would sleep for a minute; the wake lasts until close.
    EXPECT_FALSE(block_clock_wait_until(monotonic_ns() + 60'000'000'000));
    EXPECT_FALSE(block_clock_wait_until(monotonic_ns() + 60'000'000'000));
    block_clock_close();
    ASSERT_TRUE(block_clock_open());
    EXPECT_TRUE(block_clock_wait_until(monotonic_ns()));
    block_clock_close();
}
