// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/audio_sink.h"

#include <atomic>
#include <cstdint>

// Hands sinks between the stream thread and the thread that reopens an
// output that failed. The stream thread gives up a sink that failed or
// stalled and plays on its clock; the reopener closes that sink, opens the
// same output again, starts it and offers it; the stream thread takes the
// offer at the next piece and plays on it. Each hand-over is one exchange of
// a pointer, whose release and acquire order the sink's state with it:
// neither thread ever waits for the other.
class SinkSwap {
  public:
    // From the stream thread: `sink` has failed and is never touched again.
    void give_up(AudioSink *sink) { failed.store(sink, std::memory_order_release); }

    // From the stream thread: a started sink to play on from now on, or null.
    // Also when it was opened, on the monotonic clock (ns).
    AudioSink *take_offer(int64_t *opened_ns) {
        if (!offered.load(std::memory_order_relaxed))
            return nullptr;
        AudioSink *sink = offered.exchange(nullptr, std::memory_order_acquire);
        *opened_ns = offered_ns;
        return sink;
    }

    // From the reopener: the sink that the stream gave up, now the
    // reopener's to close, or null.
    AudioSink *take_failed() { return failed.exchange(nullptr, std::memory_order_acquire); }

    // From the reopener: a started sink for the stream, opened at
    // `opened_ns`. At most one offer is outstanding.
    void offer(AudioSink *sink, int64_t opened_ns) {
        offered_ns = opened_ns;
        offered.store(sink, std::memory_order_release);
    }

  private:
    std::atomic<AudioSink *> failed{nullptr};
    std::atomic<AudioSink *> offered{nullptr};
    int64_t offered_ns = 0; // ordered by `offered`
};
