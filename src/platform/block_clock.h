#pragma once

#include <cstdint>

// Paces the stream when no device does: blocks are "played" at real time on
// the monotonic clock, each at an absolute deadline, so waking late never
// shifts the blocks after it. The wait can be cut short from another thread.

int64_t monotonic_ns();

// The time that `frames` frames last at `rate` frames per second, exact to
// the nanosecond and free of overflow for years of frames.
int64_t frames_to_ns(int64_t frames, int rate);

// The whole frames that `ns` nanoseconds last at `rate`, free of overflow too.
int64_t ns_to_frames(int64_t ns, int rate);

bool block_clock_open();
void block_clock_close();

// Waits until the monotonic clock reaches `deadline_ns`. Returns false at
// once when block_clock_wake has been called (before or during the wait).
bool block_clock_wait_until(int64_t deadline_ns);
void block_clock_wake();
