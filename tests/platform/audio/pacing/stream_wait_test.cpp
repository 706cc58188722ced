// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/stream_wait.h"
#include "platform/monotonic_clock.h"

#include <gtest/gtest.h>

TEST(StreamWait, WaitsUntilTheDeadlineOrUntilWoken) {
    ASSERT_TRUE(stream_wait_open());
    const int64_t deadline = monotonic_ns() + 20'000'000;
    EXPECT_TRUE(stream_wait_until(deadline));
    EXPECT_GE(monotonic_ns(), deadline);
    stream_wait_wake();
    // Without the wake each would sleep for a minute; the wake lasts until close.
    EXPECT_FALSE(stream_wait_until(monotonic_ns() + 60'000'000'000));
    EXPECT_FALSE(stream_wait_until(monotonic_ns() + 60'000'000'000));
    stream_wait_close();
    ASSERT_TRUE(stream_wait_open());
    EXPECT_TRUE(stream_wait_until(monotonic_ns()));
    stream_wait_close();
}
