// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/ahead_time.h"

#include <gtest/gtest.h>

namespace {
constexpr int RATE = 44100;

double ms(long frames) {
    return 1000.0 * frames / RATE;
}
} // namespace

TEST(AheadTime, StartsAtTwoPeriodsAboveAFloorAndRisesAfterUnderrunsWithinTheGoal) {
    EXPECT_EQ(initial_ahead(512, RATE), 1024);
    // Short periods, or none (the clock), still cover the preview drawn at
    // the end of every block.
    EXPECT_NEAR(ms(initial_ahead(64, RATE)), 12.0, 0.05);
    EXPECT_EQ(initial_ahead(0, RATE), initial_ahead(64, RATE));
    EXPECT_EQ(raised_ahead(600, 256, RATE), 856);
    EXPECT_NEAR(ms(raised_ahead(initial_ahead(0, RATE), 0, RATE)), 16.0, 0.05);

    // However often the device runs dry, and however long its periods, a key
    // stays within 50 ms: the ahead-time, a piece of 256 frames and a period.
    for (long period : {0L, 64L, 256L, 512L}) {
        long ahead = initial_ahead(period, RATE);
        for (int underrun = 0; underrun < 20; underrun++) {
            const long raised = raised_ahead(ahead, period, RATE);
            EXPECT_GE(raised, ahead);
            ahead = raised;
        }
        EXPECT_LE(ms(ahead + 256 + period), 50.0) << period;
    }
    EXPECT_LE(ms(initial_ahead(2048, RATE)), 32.0);

    // Back down step by step, never below the start.
    EXPECT_EQ(lowered_ahead(raised_ahead(1024, 512, RATE), 512, RATE), 1024);
    EXPECT_EQ(lowered_ahead(initial_ahead(0, RATE), 0, RATE), initial_ahead(0, RATE));
}
