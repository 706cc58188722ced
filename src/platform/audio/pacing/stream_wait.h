// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/pacing/stream_time.h"
#include "platform/monotonic_clock.h"

#include <cstdint>

// The stream thread's wait: until a moment on the monotonic clock
// (monotonic_ns), at an absolute deadline, so that waking late never shifts
// the deadlines after it; and cut short from another thread when the stream
// stops. One wait at a time, on the stream thread.

bool stream_wait_open();
void stream_wait_close();

// Waits until the monotonic clock reaches `deadline_ns`. Returns false, at
// once, when stream_wait_wake has been called since the wait was opened,
// before or during this wait.
bool stream_wait_until(int64_t deadline_ns);

// From any thread.
void stream_wait_wake();

// The stream thread's time: the monotonic clock, and the wait above.
class SystemTime final : public StreamTime {
  public:
    int64_t now_ns() override { return monotonic_ns(); }
    bool wait_until(int64_t deadline_ns) override { return stream_wait_until(deadline_ns); }
};
