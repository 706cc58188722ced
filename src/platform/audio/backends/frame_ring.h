// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

// A ring of frames between two threads without a lock: one writes (the
// stream thread), one reads (a device's own thread). Each side alone moves
// its count; the other reads it with acquire, after the frames it covers were
// stored with release, so that it sees them whole. Counts are in frames.
template <typename Frame> class FrameRing {
  public:
    explicit FrameRing(size_t least_frames) {
        while (size < least_frames)
            size *= 2;
        frames = std::make_unique<Frame[]>(size);
    }

    size_t held() const {
        return written.load(std::memory_order_acquire) - taken.load(std::memory_order_acquire);
    }
    size_t room() const { return size - held(); }

    // Writer only: appends `count` frames, which must fit.
    void write(const Frame *from, size_t count) {
        const size_t at = written.load(std::memory_order_relaxed);
        for (size_t i = 0; i < count; i++)
            frames[(at + i) & (size - 1)] = from[i];
        written.store(at + count, std::memory_order_release);
    }

    // Reader only: takes up to `count` frames; returns how many it took.
    size_t read(Frame *to, size_t count) {
        const size_t at = taken.load(std::memory_order_relaxed);
        const size_t n = std::min(count, written.load(std::memory_order_acquire) - at);
        for (size_t i = 0; i < n; i++)
            to[i] = frames[(at + i) & (size - 1)];
        taken.store(at + n, std::memory_order_release);
        return n;
    }

  private:
    size_t size = 1; // a power of two
    std::unique_ptr<Frame[]> frames;
    std::atomic<size_t> written{0};
    std::atomic<size_t> taken{0};
};
