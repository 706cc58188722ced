// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The one clock of the program's own timing, shared by the audio layer and
// the console: monotonic, in nanoseconds from an arbitrary origin. On Linux it
// is CLOCK_MONOTONIC, the clock that the stream's waits count on.
int64_t monotonic_ns();
