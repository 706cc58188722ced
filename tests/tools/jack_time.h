// SPDX-License-Identifier: MIT
#pragma once

#include <jack/jack.h>

#include <cstdint>
#include <ctime>

// JACK's clock (jack_get_time) is not CLOCK_MONOTONIC on Linux: jackd2 reads
// CLOCK_MONOTONIC_RAW, which NTP does not slew. The test clients give their
// times on CLOCK_MONOTONIC, the clock of the program and of Python's
// time.monotonic().

inline int64_t monotonic_us() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// A time on JACK's clock as a time on CLOCK_MONOTONIC, by the difference of
// the two clocks read now. Both reads are vDSO calls, fit for the real-time
// thread.
inline int64_t on_monotonic(jack_time_t t) {
    return int64_t(t) + (monotonic_us() - int64_t(jack_get_time()));
}
