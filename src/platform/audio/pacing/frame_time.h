// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Frames and nanoseconds at a rate in Hz, exact to the nanosecond and the
// frame, and free of overflow for years of frames: the stream is paced at
// deadlines counted from its start, where any rounding would add up.

// The time that `frames` frames last at `rate` frames per second.
int64_t frames_to_ns(int64_t frames, int rate);

// The whole frames that `ns` nanoseconds last at `rate` frames per second.
int64_t ns_to_frames(int64_t ns, int rate);
