// SPDX-License-Identifier: MIT
#include "platform/midi/midi_decoder.h"
#include "platform/midi/midi_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
struct Decoded {
    int status, data1, data2;
    bool operator==(const Decoded &) const = default;
};

// Feeds `bytes` through `decoder` in pieces of `piece` bytes (the reads of a
// source), and returns every message.
std::vector<Decoded> decode(const std::vector<uint8_t> &bytes, size_t piece = 1,
                            MidiDecoder decoder = {}) {
    std::vector<Decoded> out;
    for (size_t at = 0; at < bytes.size(); at += piece)
        for (size_t i = at; i < std::min(bytes.size(), at + piece); i++) {
            MidiMessage m;
            if (midi_decode(decoder, bytes[i], &m))
                out.push_back({m.status, m.data1, m.data2});
        }
    return out;
}
} // namespace

TEST(MidiDecoder, RunningStatusAndRealTimeBytesInsideMessagesAreDecodedRight) {
    // Two note-ons by running status, a clock and active sensing inside the
    // second, a program change by running status twice, a controller.
    const std::vector<uint8_t> bytes = {0x90, 0x3C, 0x64, 0x3E, 0xF8, 0x65, 0xFE,
                                        0xC2, 0x01, 0x04, 0xB0, 0xF8, 0x07, 0x40};
    const std::vector<Decoded> expected = {{0x90, 0x3C, 0x64},
                                           {0x90, 0x3E, 0x65},
                                           {0xC2, 0x01, 0},
                                           {0xC2, 0x04, 0},
                                           {0xB0, 0x07, 0x40}};
    // However the reads split the bytes, the messages are the same.
    for (size_t piece : {1, 2, 3, 5, 14})
        EXPECT_EQ(decode(bytes, piece), expected) << "pieces of " << piece;
}

TEST(MidiDecoder, SystemMessagesOfAnyLengthAndStrayBytesGiveNothing) {
    // A long system exclusive (with a real-time byte in it), then a
    // note-on; a song position and an undefined status that end running
    // status, so that the data bytes after them are stray; a note-on cut
    // short by a new status.
    std::vector<uint8_t> bytes = {0x90, 0x40, 0x50, 0xF0};
    bytes.insert(bytes.end(), 65534, 0x41);
    bytes.insert(bytes.begin() + 1000, 0xF8);
    const std::vector<uint8_t> tail = {0xF7, 0x45, 0x46, 0x91, 0x3C, 0x7F, 0xF2, 0x10, 0x20, 0x3C,
                                       0x7F, 0xF4, 0x41, 0x42, 0x93, 0x30, 0x80, 0x30, 0x00};
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    const std::vector<Decoded> expected = {{0x90, 0x40, 0x50}, {0x91, 0x3C, 0x7F}, {0x80, 0x30, 0}};
    EXPECT_EQ(decode(bytes), expected);
    EXPECT_EQ(decode(bytes, 4096), expected);
    // Data bytes with no status before them, as from a source joined late.
    EXPECT_TRUE(decode({0x3C, 0x64, 0x45}).empty());
}

TEST(MidiQueue, MessagesFromManyThreadsArriveWholeAndInEachThreadsOrder) {
    MidiQueue queue;
    constexpr int THREADS = 3, EACH = 16000; // 14 bits a count, past the size
    std::vector<std::thread> pushers;
    for (int t = 0; t < THREADS; t++)
        pushers.emplace_back([&queue, t] {
            for (int i = 0; i < EACH; i++) {
                const MidiMessage m{uint8_t(0x90 + t), uint8_t(i & 0x7F), uint8_t(i >> 7 & 0x7F)};
                while (!queue.push(m))
                    std::this_thread::yield();
            }
        });
    int next[THREADS] = {};
    for (int taken = 0; taken < THREADS * EACH;) {
        MidiMessage m;
        if (!queue.pop(&m))
            continue;
        const int t = m.status - 0x90;
        ASSERT_TRUE(t >= 0 && t < THREADS);
        EXPECT_EQ(m.data1 | m.data2 << 7, next[t]++);
        taken++;
    }
    for (std::thread &p : pushers)
        p.join();
    MidiMessage m;
    EXPECT_FALSE(queue.pop(&m));
}

TEST(MidiQueue, AFullQueueRefusesMessagesWithoutLosingThoseItHolds) {
    MidiQueue queue;
    for (uint32_t i = 0; i < MidiQueue::SIZE; i++)
        ASSERT_TRUE(queue.push({0xB0, uint8_t(i & 0x7F), uint8_t(i >> 7 & 0x7F)}));
    EXPECT_FALSE(queue.push({0x90, 1, 1}));
    MidiMessage m;
    ASSERT_TRUE(queue.pop(&m));
    EXPECT_EQ(m.data1 | m.data2 << 7, 0);
    EXPECT_TRUE(queue.push({0x90, 1, 1}));
    for (uint32_t i = 1; i < MidiQueue::SIZE; i++) {
        ASSERT_TRUE(queue.pop(&m));
        EXPECT_EQ(uint32_t(m.data1 | m.data2 << 7), i);
    }
    ASSERT_TRUE(queue.pop(&m));
    EXPECT_EQ(m.status, 0x90);
}
