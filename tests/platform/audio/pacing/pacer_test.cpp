// SPDX-License-Identifier: MIT
#include "fake_time.h"
#include "platform/audio/pacing/ahead_time.h"
#include "platform/audio/pacing/frame_time.h"
#include "platform/audio/pacing/pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

// The pacer driven as the stream thread drives it, a block at a time with a
// progress report every piece, against a device and a time of the test's own.
namespace {
constexpr int RATE = 44100;
constexpr long BLOCK = 8192;
constexpr long PIECE = 256;
constexpr int BYTES_PER_FRAME = 4;

// A device that plays a period of frames at every period's end, as the fake
// time passes, and counts a dry spell for every run of periods that found it
// short. It can stop playing until a given time (for ever: stalled), or fail
// as a JACK server that has gone away fails: its level is no longer known.
class FakeDevice final : public AudioSink {
  public:
    FakeDevice(FakeTime &time, long period, long capacity)
        : time(time), period_frames(period), capacity(capacity),
          next_period_ns(time.now + frames_to_ns(period, RATE)) {}

    AudioError start() override { return AudioError::None; }
    bool level(long *held_out, long *room) override {
        play();
        *held_out = held;
        *room = capacity - held;
        return !failed;
    }
    bool write(const char *frames, long count) override {
        EXPECT_LE(held + count, capacity);
        received.insert(received.end(), frames, frames + count * BYTES_PER_FRAME);
        held += count;
        return true;
    }
    long period() override { return period_frames; }
    uint32_t dry_spells() override { return dry; }

    long frames_received() const { return long(received.size()) / BYTES_PER_FRAME; }

    std::vector<char> received;
    long held = 0;
    int64_t frozen_until_ns = 0;
    bool failed = false;

  private:
    void play() {
        for (; time.now >= next_period_ns; next_period_ns += frames_to_ns(period_frames, RATE)) {
            if (next_period_ns <= frozen_until_ns)
                continue;
            const bool short_period = held < period_frames && !received.empty();
            if (short_period && !was_short)
                dry++;
            was_short = short_period;
            held = std::max(0L, held - period_frames);
        }
    }

    FakeTime &time;
    const long period_frames;
    const long capacity;
    int64_t next_period_ns;
    bool was_short = false;
    uint32_t dry = 0;
};

// A block whose frames count up from `first`, left and right alike.
std::vector<char> numbered_block(int first) {
    std::vector<char> block(BLOCK * BYTES_PER_FRAME);
    for (long f = 0; f < BLOCK; f++)
        for (int side = 0; side < 2; side++) {
            const auto v = static_cast<uint16_t>(first + f);
            std::memcpy(&block[f * BYTES_PER_FRAME + 2 * side], &v, 2);
        }
    return block;
}

// One block as the stream thread runs it: a progress report every piece.
void run_block(Pacer &pacer) {
    pacer.begin_block();
    for (long done = PIECE; done <= BLOCK; done += PIECE)
        pacer.progress(done);
    pacer.end_block();
}

class PacerTest : public testing::Test {
  protected:
    FakeTime time{1'000'000'000};
    AudioStats stats;
    std::vector<char> block = numbered_block(0);
};

TEST_F(PacerTest, FramesReachTheSinkInPiecesJustAheadOfWhatPlays) {
    FakeDevice device(time, 256, 4096);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    const long ahead = pacer.ahead_frames();
    EXPECT_EQ(ahead, initial_ahead(256, RATE));
    pacer.begin_block();
    for (long done = PIECE; done < BLOCK; done += PIECE) {
        pacer.progress(done);
        // Every finished frame has gone out, none beyond, and the loop goes
        // on only once the device has played down to the ahead-time.
        ASSERT_EQ(device.frames_received(), done);
        long held, room;
        device.level(&held, &room);
        ASSERT_LE(held, ahead);
    }
    pacer.progress(BLOCK);
    pacer.end_block();
    EXPECT_EQ(device.received, block);
    EXPECT_EQ(stats.underruns, 0u);
    EXPECT_EQ(stats.callbacks, 1u);
    // One wake a piece at most, the block's last piece aside, which the
    // preview follows.
    EXPECT_LE(stats.wakes, uint32_t(BLOCK / PIECE));
}

// A device of periods longer than a piece is not waited for step by step:
// the loop still wakes once a piece at most, and runs a period ahead at most.
TEST_F(PacerTest, LongPeriodsKeepOneWakeAPiece) {
    FakeDevice device(time, 1024, 8192);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    for (int b = 0; b < 4; b++)
        run_block(pacer);
    EXPECT_EQ(stats.underruns, 0u);
    EXPECT_LE(stats.wakes, 4u * BLOCK / PIECE);
    EXPECT_LE(stats.worst_latency_ns, frames_to_ns(pacer.ahead_frames() + 1024 + PIECE, RATE));
}

// Every block ends with 40 ms of preview and present, more than the most
// ahead-time: only the frames made ahead for it keep the device playing, and
// the keys of the rest of the block are not held back for it.
TEST_F(PacerTest, ASlowEndOfTheBlockIsCoveredByItsLastPieces) {
    FakeDevice device(time, 256, 8192);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    for (int b = 0; b < 6; b++) {
        pacer.begin_block();
        for (long done = PIECE; done <= BLOCK; done += PIECE) {
            pacer.progress(done);
            long held, room;
            device.level(&held, &room);
            if (done <= BLOCK / 2) {
                ASSERT_LE(held, pacer.ahead_frames()) << "block " << b << " frame " << done;
            }
        }
        time.now += 40'000'000;
        pacer.end_block();
    }
    EXPECT_EQ(stats.underruns, 1u) << "only the first end, which came unforeseen";
}

// The device's server stalls for 20 ms in the middle of a block: the pieces
// made meanwhile wait for it instead of queuing up in front of later keys.
TEST_F(PacerTest, AStalledServerIsNotFedPiecesThatWouldOnlyQueueUp) {
    FakeDevice device(time, 256, 8192);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    run_block(pacer);
    pacer.begin_block();
    for (long done = PIECE; done <= BLOCK; done += PIECE) {
        if (done == BLOCK / 2)
            device.frozen_until_ns = time.now + 20'000'000;
        pacer.progress(done);
    }
    pacer.end_block();
    EXPECT_EQ(stats.underruns, 0u);
    const long late_wake = ns_to_frames(1'000'000, RATE);
    EXPECT_LE(stats.worst_latency_ns,
              frames_to_ns(pacer.ahead_frames() + 256 + late_wake + PIECE, RATE));
}

TEST_F(PacerTest, ACallbackWithoutProgressIsHandedOnWhole) {
    FakeDevice device(time, 256, 16384);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    pacer.begin_block();
    pacer.end_block();
    EXPECT_EQ(device.received, block);
}

TEST_F(PacerTest, TheAheadTimeFallsWithCleanBlocksAndALateWakeRaisesItAtOnce) {
    FakeDevice device(time, 128, 8192);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    while (time.now < 70'000'000'000)
        run_block(pacer);
    // Down to two periods (5.8 ms).
    EXPECT_EQ(pacer.ahead_frames(), 256);
    EXPECT_EQ(stats.min_ahead_ns, stats.ahead_floor_ns);
    // The next pieces keep a wake 3 ms late covered, more than two periods.
    time.late_ns = 3'000'000;
    pacer.begin_block();
    for (long done = PIECE; time.late_ns > 0; done += PIECE)
        pacer.progress(done);
    EXPECT_GE(pacer.ahead_frames(), ns_to_frames(3'000'000, RATE) + 128);
    EXPECT_EQ(stats.ahead_ns, frames_to_ns(pacer.ahead_frames(), RATE));
    EXPECT_EQ(stats.underruns, 0u);
}

TEST_F(PacerTest, AnUnderrunRaisesTheAheadTimeByTheRuleUntilALongCleanStretch) {
    FakeDevice device(time, 512, 8192);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    run_block(pacer);
    EXPECT_EQ(stats.underruns, 0u);
    const long initial = pacer.ahead_frames();
    // The thread is held up 50 ms, far more than the device holds, and not
    // in a wait: nothing of it is measured.
    time.now += 50'000'000;
    run_block(pacer);
    EXPECT_EQ(stats.underruns, 1u);
    const long raised = raised_ahead(initial, 512, RATE);
    EXPECT_EQ(pacer.ahead_frames(), raised);
    EXPECT_EQ(stats.ahead_ns, frames_to_ns(pacer.ahead_frames(), RATE));
    // A long clean stretch brings it a step back down.
    const int64_t raised_at = time.now;
    while (time.now - raised_at < CLEAN_STRETCH_NS - frames_to_ns(BLOCK, RATE))
        run_block(pacer);
    EXPECT_EQ(pacer.ahead_frames(), raised);
    run_block(pacer);
    run_block(pacer);
    // Not below the floor, still at its start within the first minute.
    EXPECT_EQ(pacer.ahead_frames(), std::max(lowered_ahead(raised, 512, RATE), initial));
    EXPECT_LT(pacer.ahead_frames(), raised);
    EXPECT_EQ(stats.underruns, 1u);
}

TEST_F(PacerTest, DrySpellsCloseTogetherAreOneStallAndRaiseTheAheadTimeOnce) {
    FakeDevice device(time, 128, 8192);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    run_block(pacer);
    const long initial = pacer.ahead_frames();
    // Three hold-ups of 50 ms within a second, each in a block of its own.
    for (int i = 0; i < 3; i++) {
        time.now += 50'000'000;
        run_block(pacer);
        run_block(pacer);
    }
    EXPECT_EQ(stats.underruns, 3u);
    EXPECT_EQ(pacer.ahead_frames(), raised_ahead(initial, 128, RATE));
    // A stall well after those raises it again.
    const int64_t from = time.now;
    while (time.now - from < Pacer::ONE_STALL_NS)
        run_block(pacer);
    time.now += 50'000'000;
    run_block(pacer);
    EXPECT_EQ(stats.underruns, 4u);
    EXPECT_EQ(pacer.ahead_frames(), raised_ahead(raised_ahead(initial, 128, RATE), 128, RATE));
    // The last dry spell is placed in time, to be set beside a recording.
    EXPECT_GE(stats.last_underrun_ns, from + Pacer::ONE_STALL_NS);
    EXPECT_LE(stats.last_underrun_ns, time.now);
}

TEST_F(PacerTest, ASinkThatStopsTakingFramesIsLeftForTheClockAfterTheStallTime) {
    FakeDevice device(time, 256, 2048);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    run_block(pacer);
    device.frozen_until_ns = INT64_MAX;
    const int64_t stalled_at = time.now;
    time.stop_ns = stalled_at + 3 * Pacer::STALL_NS;
    const long received = device.frames_received();
    while (!pacer.on_clock() && pacer.running())
        run_block(pacer);
    ASSERT_TRUE(pacer.on_clock()) << "never left the stalled sink";
    EXPECT_GE(time.now - stalled_at, Pacer::STALL_NS);
    // The stream goes on at real time, and the device gets nothing more than
    // the room it had when it stalled.
    const long stuck = device.frames_received();
    EXPECT_LE(stuck - received, 2048);
    time.stop_ns = INT64_MAX;
    const int64_t before = time.now;
    for (int i = 0; i < 10; i++)
        run_block(pacer);
    EXPECT_NEAR(time.now - before, frames_to_ns(10 * BLOCK, RATE), frames_to_ns(BLOCK, RATE));
    EXPECT_EQ(device.frames_received(), stuck);
}

// Stopped as a whole (Ctrl-Z), the process stops the device's thread too
// (JACK's runs in it): only the time that the pacer asked to wait counts.
TEST_F(PacerTest, AStopOfTheWholeProcessIsNoStall) {
    FakeDevice device(time, 256, 2048);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    run_block(pacer);
    time.late_ns = 3 * Pacer::STALL_NS;
    device.frozen_until_ns = time.now + time.late_ns;
    run_block(pacer);
    run_block(pacer);
    EXPECT_FALSE(pacer.on_clock());
}

TEST_F(PacerTest, AFailedDeviceIsLeftForTheClockAtOnce) {
    FakeDevice device(time, 256, 2048);
    Pacer pacer(&device, time, stats, RATE, block.data(), BLOCK);
    time.late_ns = 50'000'000;
    run_block(pacer);
    ASSERT_EQ(stats.underruns, 1u);
    device.failed = true;
    const long received = device.frames_received();
    run_block(pacer);
    EXPECT_TRUE(pacer.on_clock());
    EXPECT_EQ(device.frames_received(), received);
    EXPECT_EQ(stats.underruns, 1u) << "the clock's own count is not the device's";
}

// The device fails mid-block and is given up; the one opened again in its
// place takes the stream on from the next piece, at the ahead-time a device
// starts with: the frames in between went to the clock, none is played twice.
TEST_F(PacerTest, AFailedDeviceIsGivenUpAndTheOneOfferedTakesTheNextPieceOn) {
    FakeDevice first(time, 256, 4096), second(time, 512, 8192);
    SinkSwap swap;
    Pacer pacer(&first, time, stats, RATE, block.data(), BLOCK, &swap);
    run_block(pacer);
    pacer.begin_block();
    long done = PIECE;
    for (; done <= BLOCK / 4; done += PIECE)
        pacer.progress(done);
    first.failed = true;
    for (; done <= BLOCK / 2; done += PIECE)
        pacer.progress(done);
    EXPECT_EQ(swap.take_failed(), &first);
    const long heard_before = first.frames_received() - BLOCK;
    const int64_t opened_ns = time.now;
    swap.offer(&second, opened_ns);
    const long offered_at = done - PIECE;
    for (; done <= BLOCK; done += PIECE)
        pacer.progress(done);
    EXPECT_EQ(pacer.ahead_frames(), initial_ahead(512, RATE));
    pacer.end_block();
    run_block(pacer);

    EXPECT_FALSE(pacer.on_clock());
    EXPECT_LT(heard_before, offered_at);
    std::vector<char> expected(block.begin() + offered_at * BYTES_PER_FRAME, block.end());
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(second.received, expected);
    ASSERT_EQ(stats.outages, 1u);
    EXPECT_EQ(stats.outage[0].opened_ns, opened_ns);
    EXPECT_GE(stats.outage[0].back_ns, opened_ns);
}

TEST_F(PacerTest, AStopLongerThanABlockResumesFromThePresentWithoutABurst) {
    Pacer pacer(nullptr, time, stats, RATE, block.data(), BLOCK);
    run_block(pacer);
    run_block(pacer);
    // Stopped for ten seconds (Ctrl-Z) while it waits for the next block.
    const int64_t stopped_at = time.now;
    time.late_ns = 10'000'000'000;
    run_block(pacer);
    const int64_t resumed = time.now;
    ASSERT_GE(resumed - stopped_at, 10'000'000'000);
    // From the present on, the blocks play at real time: the ten seconds are
    // not made up in a burst.
    for (int b = 0; b < 3; b++)
        run_block(pacer);
    EXPECT_GE(time.now - resumed, frames_to_ns(2 * BLOCK, RATE));
    EXPECT_LE(time.now - resumed, frames_to_ns(4 * BLOCK, RATE));
    EXPECT_EQ(stats.underruns, 0u) << "nothing is heard without a device";
}
} // namespace
