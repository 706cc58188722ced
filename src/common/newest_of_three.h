// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>

// Hands the newest of a series of large values from one thread to another
// without either ever waiting: three slots go round, one being written, one
// being read, and one between them holding the newest value not yet taken.
// A value that the reader never took is replaced by the next. Handing a slot
// over is a single exchange, whose acquire and release order the slot's
// contents with it.
template <typename T> class NewestOfThree {
  public:
    // The writer's slot, to fill before publish().
    T &to_write() { return slots[writing]; }

    // From the writer: the slot just filled becomes the newest, and the
    // writer takes another.
    void publish() {
        const uint32_t old = middle.exchange(writing | FRESH, std::memory_order_acq_rel);
        writing = old & SLOT;
    }

    // From the reader: the newest value published since the last take, or
    // null when there is none. It stays the reader's until the next take.
    const T *take() {
        if (!(middle.load(std::memory_order_acquire) & FRESH))
            return nullptr;
        reading = middle.exchange(reading, std::memory_order_acq_rel) & SLOT;
        return &slots[reading];
    }

  private:
    static constexpr uint32_t SLOT = 3;
    static constexpr uint32_t FRESH = 4; // the middle slot has not been taken

    T slots[3];
    uint32_t writing = 0; // the writer's own
    uint32_t reading = 2; // the reader's own
    std::atomic<uint32_t> middle{1};
};
