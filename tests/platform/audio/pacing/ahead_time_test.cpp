// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/ahead_time.h"

#include <gtest/gtest.h>

namespace {
constexpr int RATE = 44100;
constexpr int64_t MS = 1'000'000;
constexpr int BLOCKS_A_SECOND = 5; // of 8192 frames

double ms(long frames) {
    return 1000.0 * frames / RATE;
}

// Clean blocks, each waking at most `late_ns` late.
void run_blocks(AheadFloor &floor, int seconds, int64_t late_ns) {
    for (int b = 0; b < seconds * BLOCKS_A_SECOND; b++) {
        floor.note_late_wake(late_ns);
        floor.note_block_end(0);
    }
}
} // namespace

TEST(AheadTime, StartsAtTwoPeriodsAboveAFloorAndRisesAfterUnderrunsWithinTheGoal) {
    EXPECT_EQ(initial_ahead(512, RATE), 1024);
    // Short periods, or none (the clock), start where nothing measured yet
    // can break up.
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
    // Periods longer than that keep two of them, whatever the dry spells: a
    // server at 1024 frames with 32 ms ahead runs dry on a wake 8 ms late.
    EXPECT_EQ(initial_ahead(1024, RATE), 2048);
    EXPECT_EQ(raised_ahead(2048, 1024, RATE), 2048);
    EXPECT_EQ(AheadFloor(1024, RATE).frames(), 2048);
    EXPECT_EQ(lowered_ahead(raised_ahead(600, 256, RATE), 256, RATE), 600);
}

TEST(AheadTime, TheFloorFollowsTheLatestWakeOfTheLastMinuteAboveThePeriodAndItsSlack) {
    // A device that plays continuously: no period, only the slack.
    AheadFloor floor(0, RATE);
    EXPECT_EQ(floor.frames(), initial_ahead(0, RATE));
    const double least = ms(RATE / 1000);
    // Wakes 0.2 ms late bring it down once the first minute has gone by.
    run_blocks(floor, 70, MS / 5);
    EXPECT_NEAR(ms(floor.frames()), least + 0.2, 0.05);
    // A wake 7 ms late raises it at once, and holds it for a minute.
    EXPECT_TRUE(floor.note_late_wake(7 * MS));
    EXPECT_NEAR(ms(floor.frames()), least + 7, 0.05);
    run_blocks(floor, 45, 0);
    EXPECT_NEAR(ms(floor.frames()), least + 7, 0.05);
    run_blocks(floor, 25, 0);
    EXPECT_NEAR(ms(floor.frames()), least, 0.05);
    // A stop of the whole process is no hold-up any ahead-time covers.
    EXPECT_FALSE(floor.note_late_wake(10'000 * MS));
    EXPECT_NEAR(ms(floor.frames()), least, 0.05);

    // A device of periods keeps two of them, whatever the wakes.
    AheadFloor periods(256, RATE);
    run_blocks(periods, 70, 0);
    EXPECT_EQ(periods.frames(), 512);
    periods.note_late_wake(7 * MS);
    EXPECT_NEAR(ms(periods.frames()), ms(256) + 1 + 7, 0.05);
}
