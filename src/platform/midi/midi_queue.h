// SPDX-License-Identifier: MIT
#pragma once

#include "platform/midi/midi_message.h"

#include <atomic>
#include <cstdint>

// The messages that MIDI inputs hand to the control loop, in order, without a
// lock: any number of threads push (JACK's process thread, a MIDI library's
// threads), the main thread alone pops. Each cell carries a sequence number
// that says whose turn it is; a message is stored before its cell's number
// is published with release, and read after it is seen with acquire. Full,
// it refuses a message rather than wait: a keyboard's thread must never
// block. It holds many seconds of the densest controller sweep, so only a
// control loop stopped for that long loses any.
class MidiQueue {
  public:
    static constexpr uint32_t SIZE = 1 << 14; // messages; a power of two

    MidiQueue() {
        for (uint32_t i = 0; i < SIZE; i++)
            cells[i].turn.store(i, std::memory_order_relaxed);
    }
    MidiQueue(const MidiQueue &) = delete;
    MidiQueue &operator=(const MidiQueue &) = delete;

    // Any thread. False when the queue is full and the message is lost.
    bool push(const MidiMessage &message) {
        uint32_t at = tail.load(std::memory_order_relaxed);
        for (;;) {
            Cell &cell = cells[at & (SIZE - 1)];
            const auto lead = static_cast<int32_t>(cell.turn.load(std::memory_order_acquire) - at);
            if (lead < 0)
                return false; // the cell still holds a message a lap behind
            if (lead > 0) {
                at = tail.load(std::memory_order_relaxed); // another pusher took it
                continue;
            }
            if (tail.compare_exchange_weak(at, at + 1, std::memory_order_relaxed)) {
                cell.message = message;
                cell.turn.store(at + 1, std::memory_order_release);
                return true;
            }
        }
    }

    // The main thread only. False when no message waits.
    bool pop(MidiMessage *message) {
        Cell &cell = cells[head & (SIZE - 1)];
        if (cell.turn.load(std::memory_order_acquire) != head + 1)
            return false;
        *message = cell.message;
        cell.turn.store(head + SIZE, std::memory_order_release);
        head++;
        return true;
    }

  private:
    struct Cell {
        std::atomic<uint32_t> turn;
        MidiMessage message;
    };
    Cell cells[SIZE];
    std::atomic<uint32_t> tail{0}; // the next cell to push into
    uint32_t head = 0;             // the next cell to pop, the main thread's
};
