// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/frame_time.h"

#include <gtest/gtest.h>

// The stream is paced at deadlines of frames_to_ns(frames played), so any
// rounding here would add up block after block.
TEST(FrameTime, FramesToNsIsExactForYearsOfFrames) {
    EXPECT_EQ(frames_to_ns(44100, 44100), 1'000'000'000);
    EXPECT_EQ(frames_to_ns(8192, 44100), 185'759'637); // 185759637.19 truncated
    // A year of frames: frames * 10^9 alone would overflow 64 bits.
    const int64_t year_s = 365LL * 24 * 3600;
    EXPECT_EQ(frames_to_ns(year_s * 44100, 44100), year_s * 1'000'000'000);
}
