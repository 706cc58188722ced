#include "block_clock.h"

#include <gtest/gtest.h>

TEST(FramesToNs, IsExactAndDoesNotOverflow) {
    EXPECT_EQ(frames_to_ns(44100, 44100), 1'000'000'000);
    // One block of 8192 frames: 185759637.19 ns, truncated.
    EXPECT_EQ(frames_to_ns(8192, 44100), 185'759'637);
    EXPECT_EQ(frames_to_ns(3 * 8192, 44100), 557'278'911);
    // A year of frames: frames * 10^9 alone would overflow 64 bits.
    const int64_t year_s = 365LL * 24 * 3600;
    EXPECT_EQ(frames_to_ns(year_s * 44100, 44100), year_s * 1'000'000'000);
}

TEST(BlockClock, WaitsForAPastDeadlineWithoutBlocking) {
    ASSERT_TRUE(block_clock_open());
    const int64_t now = monotonic_ns();
    EXPECT_TRUE(block_clock_wait_until(now - 1'000'000));
    EXPECT_GE(monotonic_ns(), now);
    block_clock_close();
}

TEST(BlockClock, WakeEndsAWaitForAFarDeadline) {
    ASSERT_TRUE(block_clock_open());
    block_clock_wake();
    // Without the wake this would sleep for a minute and return true.
    EXPECT_FALSE(block_clock_wait_until(monotonic_ns() + 60'000'000'000));
    // The wake stays in force until the clock is closed.
    EXPECT_FALSE(block_clock_wait_until(monotonic_ns() + 60'000'000'000));
    block_clock_close();
    ASSERT_TRUE(block_clock_open());
    EXPECT_TRUE(block_clock_wait_until(monotonic_ns()));
    block_clock_close();
}
