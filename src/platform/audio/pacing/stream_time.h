// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The time the stream thread keeps: the present, and a wait until a moment to
// come that a stop of the stream cuts short. The stream thread's own is the
// monotonic clock with the stream's wait; tests drive the pacer with time of
// their own.
class StreamTime {
  public:
    virtual ~StreamTime() = default;

    // Nanoseconds on a clock that never goes back.
    virtual int64_t now_ns() = 0;

    // Waits until now_ns() reaches `deadline_ns` (at once when it has). False,
    // at once, once the stream is being stopped: then every later wait is
    // false too.
    virtual bool wait_until(int64_t deadline_ns) = 0;
};
